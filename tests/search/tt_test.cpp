#include "search/tt.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "board/board.h"
#include "search/flags.h"

namespace {

struct TtFixture : testing::Test {
    void SetUp() override {
        testing::internal::CaptureStdout();
        tt_allocate(1024, 1);
        testing::internal::GetCapturedStdout();
        tt.age = 0;
        search_flags.stop = 0;
        search_flags.abort = 0;
    }
    static Board board_with_key(uint64_t key) {
        Board b{};
        b.key = key;
        return b;
    }
    int16_t probe(uint64_t key, int depth, int ply, int16_t alpha, int16_t beta,
                  uint64_t* data = nullptr) {
        uint64_t d = 0;
        const int16_t r = tt_probe(board_with_key(key), &d, depth, ply, alpha, beta);
        if (data) *data = d;
        return r;
    }
    void store(uint64_t key, int depth, int ply, int bound, int16_t score, Move move) {
        tt_store(board_with_key(key), depth, ply, bound, score, move);
    }
};

} // namespace

TEST_F(TtFixture, AllocationLineAndEntryCount) {
    testing::internal::CaptureStdout();
    tt_allocate(4194304, 100);
    EXPECT_EQ("Allocated 100 MB for the Hash Table\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(4194304u, tt.entries);
    EXPECT_EQ(TT_MISS, probe(12345, 0, 0, -30000, 30000));
}

// When memory is short the table shrinks until it fits, and stays usable.
TEST_F(TtFixture, FailedAllocationFallsBackToASmallerTable) {
    tt_table_calloc = [](size_t count, size_t size) -> void* {
        return count > 4096 + 4 ? nullptr : std::calloc(count, size);
    };
    testing::internal::CaptureStdout();
    tt_allocate(1 << 20, 16);
    const std::string out = testing::internal::GetCapturedStdout();
    tt_table_calloc = std::calloc;
    EXPECT_EQ("Hash Table Memory Allocation Failed!\n"
              "Hash table reduced to 4096 entries\n"
              "Allocated 0 MB for the Hash Table\n",
              out);
    ASSERT_NE(nullptr, tt.table);
    EXPECT_EQ(4096u, tt.entries);
    store(0x12345678, 3, 0, BOUND_EXACT, 42, 0);
    EXPECT_EQ(42, probe(0x12345678, 3, 0, -100, 100));
}

TEST_F(TtFixture, MateScoresAreStoredFromTheNode) {
    store(0xABCDEF, 10, 5, BOUND_EXACT, 19990, 0);
    uint64_t data = 0;
    EXPECT_EQ(19992, probe(0xABCDEF, 1, 3, -30000, 30000, &data));
    EXPECT_EQ(19995, tt_score(data));
    store(0xABCDE0, 10, 5, BOUND_EXACT, -19990, 0);
    EXPECT_EQ(-19992, probe(0xABCDE0, 1, 3, -30000, 30000));
    // Ordinary scores are stored as they are.
    store(0xABCDE1, 10, 5, BOUND_EXACT, 1500, 0);
    EXPECT_EQ(1500, probe(0xABCDE1, 1, 3, -30000, 30000));
}

TEST_F(TtFixture, DepthAndBoundsDecideWhetherTheScoreIsUsable) {
    const Move move = 0x00120C01; // e2e4 as a word
    store(0x1000, 4, 0, BOUND_EXACT, 30, move);
    uint64_t data = 0;
    EXPECT_EQ(TT_UNUSABLE, probe(0x1000, 6, 0, -100, 100, &data));
    EXPECT_EQ(move, tt_move(data)); // the move is handed out anyway
    EXPECT_EQ(30, probe(0x1000, 4, 0, -100, 100));

    store(0x2000, 8, 0, BOUND_LOWER, 50, 0);
    EXPECT_EQ(TT_UNUSABLE, probe(0x2000, 8, 0, 0, 60));
    EXPECT_EQ(50, probe(0x2000, 8, 0, 0, 40));
    store(0x3000, 8, 0, BOUND_UPPER, 50, 0);
    EXPECT_EQ(50, probe(0x3000, 8, 0, 60, 100));
    EXPECT_EQ(TT_UNUSABLE, probe(0x3000, 8, 0, 40, 100));
    store(0x4000, 8, 0, 0, 50, 0);
    EXPECT_EQ(TT_UNUSABLE, probe(0x4000, 8, 0, 40, 100));
}

TEST_F(TtFixture, ZeroMoveKeepsTheStoredMove) {
    store(0x5000, 3, 0, BOUND_LOWER, 10, 0x12345);
    store(0x5000, 5, 0, BOUND_EXACT, 20, 0);
    uint64_t data = 0;
    EXPECT_EQ(20, probe(0x5000, 5, 0, -100, 100, &data));
    EXPECT_EQ(0x12345u, tt_move(data));
    EXPECT_EQ(5, tt_depth(data));
}

TEST_F(TtFixture, ReplacementPrefersOldGenerationsThenShallowEntries) {
    // Four keys with the same home slot 7 fill its bucket (slots 7..10).
    const uint64_t home = 7, step = 1024;
    const int depths[4] = {5, 3, 3, 7};
    for (int i = 0; i < 4; ++i) store(home + i * step, depths[i], 0, BOUND_EXACT, 0, 0);
    // All current age: the shallowest, first of equals (the second slot), is replaced.
    store(home + 4 * step, 9, 0, BOUND_EXACT, 0, 0);
    EXPECT_EQ(TT_MISS, probe(home + 1 * step, 0, 0, -1, 1));
    EXPECT_NE(TT_MISS, probe(home + 2 * step, 0, 0, -1, 1));
    EXPECT_EQ(0, probe(home + 4 * step, 9, 0, -1, 1));

    // An entry from an older search is replaced before any current one, however deep.
    tt_clear();
    tt.age = 3;
    store(home, 1, 0, BOUND_EXACT, 0, 0);
    tt.age = 2;
    store(home + step, 60, 0, BOUND_EXACT, 0, 0);
    tt.age = 3;
    store(home + 2 * step, 1, 0, BOUND_EXACT, 0, 0);
    store(home + 3 * step, 1, 0, BOUND_EXACT, 0, 0);
    store(home + 4 * step, 1, 0, BOUND_EXACT, 0, 0);
    EXPECT_EQ(TT_MISS, probe(home + step, 0, 0, -1, 1));
}

TEST_F(TtFixture, GenerationsAgeAndTheDepthFieldIsClamped) {
    // A new search clears nothing: older entries stay usable, and the generation wraps around.
    store(0x6000, 3, 0, BOUND_EXACT, 1, 0);
    for (int i = 0; i < 256; ++i) tt_new_search();
    EXPECT_EQ(0, tt.age);
    EXPECT_EQ(1, probe(0x6000, 0, 0, -1, 2));
    // In a full bucket the entry of the oldest search goes first, across the wrap.
    const uint64_t home = 0x7001;
    const int ages[] = {250, 255, 1, 3};
    for (int i = 0; i < 4; ++i) {
        tt.age = static_cast<uint8_t>(ages[i]);
        store(home + static_cast<uint64_t>(i) * tt.entries, 10, 0, BOUND_EXACT, 7, 0);
    }
    tt.age = 4;
    store(home + 5 * tt.entries, 10, 0, BOUND_EXACT, 7, 0);
    EXPECT_EQ(TT_MISS, probe(home, 0, 0, -1, 2)); // age 250: ten searches ago
    EXPECT_EQ(7, probe(home + tt.entries, 0, 0, -1, 2));
    EXPECT_EQ(7, probe(home + 5 * tt.entries, 0, 0, -1, 2));
    // Depths outside 0..63 are clamped, not wrapped: -1 (below a null move) is not deep, 64 is
    // not shallow.
    store(0x8000, -1, 0, BOUND_EXACT, 5, 0);
    EXPECT_EQ(TT_UNUSABLE, probe(0x8000, 1, 0, -1, 2));
    store(0x9000, 64, 0, BOUND_EXACT, 5, 0);
    EXPECT_EQ(5, probe(0x9000, 63, 0, -1, 2));
}

TEST_F(TtFixture, NothingIsStoredWhileTheSearchStops) {
    search_flags.stop = 1;
    store(0x7000, 3, 0, BOUND_EXACT, 1, 0);
    search_flags.stop = 0;
    search_flags.abort = 1;
    store(0x7000, 3, 0, BOUND_EXACT, 1, 0);
    search_flags.abort = 0;
    EXPECT_EQ(TT_MISS, probe(0x7000, 0, 0, -1, 2));
}

// Two writers storing different results for the same key while a reader probes: every hit must be
// one of the entries written whole, never a mix of two (a torn entry fails the check).
TEST_F(TtFixture, ConcurrentWritersNeverProduceATornHit) {
    const uint64_t key = 0x9E3779B97F4A7C15ULL;
    std::atomic<bool> done{false};
    auto writer = [&](int16_t score, Move move, int depth) {
        for (int i = 0; i < 20000 && !done; ++i) store(key, depth, 0, BOUND_EXACT, score, move);
    };
    std::thread a(writer, int16_t{111}, Move{0x1111}, 11);
    std::thread b(writer, int16_t{222}, Move{0x2222}, 22);
    for (int i = 0; i < 20000; ++i) {
        uint64_t data = 0;
        const int16_t r = probe(key, 0, 0, -30000, 30000, &data);
        if (r == TT_MISS) continue;
        const bool first = r == 111 && tt_move(data) == 0x1111 && tt_depth(data) == 11;
        const bool second = r == 222 && tt_move(data) == 0x2222 && tt_depth(data) == 22;
        ASSERT_TRUE(first || second) << "torn entry " << std::hex << data;
    }
    done = true;
    a.join();
    b.join();
    // Tearing an entry apart by hand turns it into a miss. The two writers may have left the key
    // in more than one slot of the bucket: start again from a single entry.
    for (uint64_t i = 0; i < 4; ++i) tt.table[(key & (tt.entries - 1)) + i] = HashEntry{};
    store(key, 5, 0, BOUND_EXACT, 333, 0x3333);
    ASSERT_EQ(333, probe(key, 0, 0, -30000, 30000));
    tt.table[key & (tt.entries - 1)].data ^= 1ULL << 40;
    EXPECT_EQ(TT_MISS, probe(key, 0, 0, -30000, 30000));
}
