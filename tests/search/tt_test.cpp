// The transposition table: scores, bounds, replacement, stops, short memory, concurrent writers.
#include "search/tt.h"

#include <atomic>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "search/flags.h"

struct TtFixture : testing::Test {
    void SetUp() override {
        testing::internal::CaptureStdout();
        tt_allocate(1024, 1);
        testing::internal::GetCapturedStdout();
        search_flags.stop = search_flags.abort = 0;
    }
    // The probe's result; the entry read is left in data_.
    int probe(uint64_t key, int depth, int ply, int alpha, int beta) {
        Board b{};
        b.key = key;
        return tt_probe(b, &data_, depth, ply, static_cast<int16_t>(alpha),
                        static_cast<int16_t>(beta));
    }
    static void store(uint64_t key, int depth, int ply, int bound, int score, Move move) {
        Board b{};
        b.key = key;
        tt_store(b, depth, ply, bound, static_cast<int16_t>(score), move);
    }
    uint64_t data_ = 0;
};

TEST_F(TtFixture, ScoresBoundsAndMoves) {
    // Mate scores are stored as distances from the node and read back from the probing ply.
    for (const auto& [stored, read] : {std::pair{19990, 19992}, {-19990, -19992}, {1500, 1500}}) {
        store(0xABCDE0 + read, 10, 5, BOUND_EXACT, stored, 0);
        EXPECT_EQ(read, probe(0xABCDE0 + read, 1, 3, -30000, 30000));
    }
    // Stored depth, bound and score; probed depth, alpha and beta; the result. Too shallow is
    // unusable; a lower bound decides only at or above beta, an upper bound only at or below
    // alpha; a depth outside the field is clamped, not wrapped (-1 below a null move).
    const int cases[][7] = {{4, BOUND_EXACT, 30, 6, -100, 100, TT_UNUSABLE},
                            {4, BOUND_EXACT, 30, 4, -100, 100, 30},
                            {8, BOUND_LOWER, 50, 8, 0, 60, TT_UNUSABLE},
                            {8, BOUND_LOWER, 50, 8, 0, 40, 50},
                            {8, BOUND_UPPER, 50, 8, 60, 100, 50},
                            {8, BOUND_UPPER, 50, 8, 40, 100, TT_UNUSABLE},
                            {-1, BOUND_EXACT, 5, 1, -1, 2, TT_UNUSABLE},
                            {64, BOUND_EXACT, 5, 63, -1, 2, 5}};
    for (uint64_t key = 0x1000; const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << " " << c[1] << " " << c[3] << " " << c[4]);
        store(++key, c[0], 0, c[1], c[2], 0x00120C01);
        EXPECT_EQ(c[6], probe(key, c[3], 0, c[4], c[5]));
        EXPECT_EQ(0x00120C01u, tt_move(data_)); // unusable entries still hand out their move
    }
    // A store without a move keeps the move stored before.
    store(0x5000, 3, 0, BOUND_LOWER, 10, 0x12345);
    store(0x5000, 5, 0, BOUND_EXACT, 20, 0);
    EXPECT_EQ(20, probe(0x5000, 5, 0, -100, 100));
    EXPECT_EQ(0x12345u, tt_move(data_));
    // Nothing is stored while the search stops.
    search_flags.stop = 1;
    store(0x7000, 3, 0, BOUND_EXACT, 1, 0);
    search_flags.stop = 0;
    EXPECT_EQ(TT_MISS, probe(0x7000, 0, 0, -1, 2));
}

TEST_F(TtFixture, EntriesOfEarlierSearchesStayUsableAndGoFirst) {
    // Four keys with the same home slot fill its bucket.
    const uint64_t home = 7, step = 1024;
    store(home, 1, 0, BOUND_EXACT, 5, 0);
    for (int i = 0; i < 300; ++i) tt_new_search(); // the generation wraps around
    for (uint64_t i = 1; i < 4; ++i) store(home + i * step, 1, 0, BOUND_EXACT, 0, 0);
    // The entry of the old search still reads.
    EXPECT_EQ(5, probe(home, 1, 0, -30000, 30000));
    // A fifth key replaces the entry of the earlier search, however deep the current ones.
    store(home + 4 * step, 60, 0, BOUND_EXACT, 0, 0);
    EXPECT_EQ(TT_MISS, probe(home, 0, 0, -1, 1));
    for (uint64_t i = 1; i <= 4; ++i) EXPECT_NE(TT_MISS, probe(home + i * step, 0, 0, -1, 1)) << i;
}

TEST_F(TtFixture, ShortMemoryShrinksTheTable) {
    tt_table_calloc = [](size_t count, size_t size) -> void* {
        return count > 4096 + 4 ? nullptr : std::calloc(count, size);
    };
    testing::internal::CaptureStdout();
    tt_allocate(1 << 20, 16);
    const std::string out = testing::internal::GetCapturedStdout();
    tt_table_calloc = std::calloc;
    EXPECT_EQ(0u, out.find("Hash Table Memory Allocation Failed!\n")) << out;
    EXPECT_EQ(4096u, tt.entries);
    store(0x12345678, 3, 0, BOUND_EXACT, 42, 0);
    EXPECT_EQ(42, probe(0x12345678, 3, 0, -100, 100));
}

// Two writers store different results for one key while a reader probes: every hit is one entry
// written whole, never a mix of two.
TEST_F(TtFixture, ConcurrentWritersNeverProduceATornHit) {
    const uint64_t key = 0x9E3779B97F4A7C15ULL;
    std::atomic<bool> done{false};
    auto writer = [&](int16_t score, Move move, int depth) {
        for (int i = 0; i < 20000 && !done; ++i) store(key, depth, 0, BOUND_EXACT, score, move);
    };
    std::thread a(writer, int16_t{111}, Move{0x1111}, 11);
    std::thread b(writer, int16_t{222}, Move{0x2222}, 22);
    for (int i = 0; i < 20000; ++i) {
        const int r = probe(key, 0, 0, -30000, 30000);
        if (r == TT_MISS) continue;
        const bool first = r == 111 && tt_move(data_) == 0x1111 && tt_depth(data_) == 11;
        const bool second = r == 222 && tt_move(data_) == 0x2222 && tt_depth(data_) == 22;
        ASSERT_TRUE(first || second) << "torn entry " << std::hex << data_;
    }
    done = true;
    a.join();
    b.join();
    // An entry torn apart by hand reads as a miss.
    for (uint64_t i = 0; i < 4; ++i) tt.table[(key & (tt.entries - 1)) + i] = HashEntry{};
    store(key, 5, 0, BOUND_EXACT, 333, 0x3333);
    ASSERT_EQ(333, probe(key, 0, 0, -30000, 30000));
    tt.table[key & (tt.entries - 1)].data ^= 1ULL << 40;
    EXPECT_EQ(TT_MISS, probe(key, 0, 0, -30000, 30000));
}
