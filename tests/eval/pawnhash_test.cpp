#include "eval/pawnhash.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "board/board_helpers.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "search/thread.h"

namespace {

Board board_of(const std::string& fen) {
    auto s = stack_from(fen);
    EXPECT_NE(nullptr, s) << fen;
    return s ? *s->current : Board{};
}

// The position key of the board with everything but pawns and kings taken off, no castling
// rights and no en passant file.
uint64_t restricted_key(const Board& b) {
    Board r = b;
    const Bitboard keep = pawns(b) | kings(b);
    r.us &= keep;
    r.pbq &= keep;
    r.nbk &= keep;
    r.rqk &= keep;
    return compute_key(r) ^ zobrist::castling[r.castling] ^ zobrist::en_passant[r.ep_file];
}

const char* const kVaried[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
    "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 3",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/8/3k4/8/8/8/4K3 b - - 0 1",
    "2r3k1/5ppp/8/8/8/8/5PPP/2R3K1 b - - 0 1",
};

class PawnHashTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetEvalParams();
        t = std::make_unique<SearchThread>();
        new_game(t->stack);
    }
    void TearDown() override { pawn_free(*t); }
    std::unique_ptr<SearchThread> t;
};

// Restores the real allocator when a test that replaced it ends.
struct AllocatorGuard {
    ~AllocatorGuard() { pawn_table_calloc = std::calloc; }
};

void* fail_above_100(size_t count, size_t size) {
    return count > 100 ? nullptr : std::calloc(count, size);
}
void* always_fail(size_t, size_t) {
    return nullptr;
}

bool all_zero(const SearchThread& t) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(t.pawn_table);
    for (size_t i = 0; i < t.pawn_table_entries * sizeof(PawnHashEntry); ++i)
        if (bytes[i]) return false;
    return true;
}

} // namespace

TEST(PawnKey, IsThePositionKeyRestrictedToPawnsKingsAndSide) {
    for (const char* fen : kVaried) {
        const Board b = board_of(fen);
        EXPECT_EQ(restricted_key(b), pawn_key(b)) << fen;
        // Seen from the other side only the side key changes.
        Board flipped = b;
        flip_board(flipped);
        EXPECT_EQ(pawn_key(b) ^ zobrist::side[0] ^ zobrist::side[1], pawn_key(flipped)) << fen;
    }
}

TEST(PawnKey, CoversBothKingsAndTheSideButNoPiece) {
    const uint64_t base = pawn_key(board_of("4k3/8/8/8/8/8/4P3/4K1N1 w - - 0 1"));
    EXPECT_EQ(base, pawn_key(board_of("4k3/8/8/8/8/5N2/4P3/4K3 w - - 0 1"))); // knight
    EXPECT_NE(base, pawn_key(board_of("4k3/8/8/8/8/8/4P3/3K2N1 w - - 0 1"))); // own king
    EXPECT_NE(base, pawn_key(board_of("3k4/8/8/8/8/8/4P3/4K1N1 w - - 0 1"))); // other king
    EXPECT_NE(base, pawn_key(board_of("4k3/8/8/8/8/8/4P3/4K1N1 b - - 0 1"))); // side
    EXPECT_NE(base, pawn_key(board_of("4k3/8/8/8/8/4P3/8/4K1N1 w - - 0 1"))); // pawn
    EXPECT_NE(base, pawn_key(board_of("4k3/8/8/8/8/8/4p3/4K1N1 w - - 0 1"))); // pawn colour
    // Castling rights change the position key but not the pawn key.
    const Board rights = board_of("r3k3/8/8/8/8/8/4P3/4K1N1 w q - 0 1");
    const Board none = board_of("r3k3/8/8/8/8/8/4P3/4K1N1 w - - 0 1");
    EXPECT_NE(rights.key, none.key);
    EXPECT_EQ(pawn_key(rights), pawn_key(none));
}

TEST_F(PawnHashTest, StoreProbeAndAlwaysReplace) {
    pawn_allocate(*t, 1024, 0, 0, 0);
    const Board a = board_of(kVaried[0]), b = board_of(kVaried[4]);
    PawnHashEntry out;
    EXPECT_FALSE(probe_pawn_hash(*t, a, out));

    PawnHashEntry in{};
    in.passed = 0x1234;
    in.attack_weight = 7;
    in.shield = 9;
    in.healthy_pawns = 5;
    in.spare = 0xAA;
    in.score = 30002; // the old "not found" value is an ordinary score
    store_pawn_hash(*t, a, in);
    ASSERT_TRUE(probe_pawn_hash(*t, a, out));
    EXPECT_EQ(pawn_key(a), out.key);
    EXPECT_EQ(30002, out.score);
    EXPECT_EQ(0x1234u, out.passed);
    EXPECT_EQ(7, out.attack_weight);
    EXPECT_EQ(9, out.shield);
    EXPECT_EQ(5, out.healthy_pawns);
    EXPECT_EQ(0, out.spare);
    EXPECT_FALSE(probe_pawn_hash(*t, b, out));

    // A one-entry table: every key shares the slot and the last store wins.
    pawn_allocate(*t, 1, 0, 0, 0);
    store_pawn_hash(*t, a, in);
    in.score = -5;
    store_pawn_hash(*t, b, in);
    EXPECT_FALSE(probe_pawn_hash(*t, a, out));
    ASSERT_TRUE(probe_pawn_hash(*t, b, out));
    EXPECT_EQ(-5, out.score);
}

TEST_F(PawnHashTest, AllocateClearAndFree) {
    testing::internal::CaptureStdout();
    pawn_allocate(*t, 1024, 3, 1, 7);
    EXPECT_EQ("Allocated 3 MB for the HashPawn Table for Thread 7\n",
              testing::internal::GetCapturedStdout());
    ASSERT_NE(nullptr, t->pawn_table);
    EXPECT_EQ(1024u, t->pawn_table_entries);
    EXPECT_TRUE(all_zero(*t));

    // Silent without the report switch; a count that is not a power of two is rounded down.
    testing::internal::CaptureStdout();
    pawn_allocate(*t, 1000, 3, 0, 7);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(512u, t->pawn_table_entries);

    const Board a = board_of(kVaried[1]);
    store_pawn_hash(*t, a, PawnHashEntry{});
    PawnHashEntry out;
    ASSERT_TRUE(probe_pawn_hash(*t, a, out));
    pawn_clear(*t);
    EXPECT_TRUE(all_zero(*t));
    EXPECT_FALSE(probe_pawn_hash(*t, a, out));

    pawn_free(*t);
    EXPECT_EQ(nullptr, t->pawn_table);
    EXPECT_EQ(0u, t->pawn_table_entries);
    store_pawn_hash(*t, a, PawnHashEntry{}); // no table: nothing happens
    EXPECT_FALSE(probe_pawn_hash(*t, a, out));
}

TEST_F(PawnHashTest, FailedAllocationFallsBackToHalfSizes) {
    AllocatorGuard guard;
    pawn_table_calloc = fail_above_100;
    testing::internal::CaptureStdout();
    pawn_allocate(*t, 1024, 4, 1, 2);
    EXPECT_EQ("HashPawn Table Memory Allocation Failed!\n"
              "HashPawn Table reduced to 64 entries (1 KB) for Thread 2\n",
              testing::internal::GetCapturedStdout());
    ASSERT_NE(nullptr, t->pawn_table);
    EXPECT_EQ(64u, t->pawn_table_entries);
    EXPECT_TRUE(all_zero(*t));
    const int16_t cached = evaluate(*t);
    EXPECT_EQ(cached, evaluate(*t));

    // Nothing at all to be had: the thread keeps no table and evaluates uncached.
    pawn_table_calloc = always_fail;
    testing::internal::CaptureStdout();
    pawn_allocate(*t, 1024, 4, 1, 2);
    EXPECT_EQ("HashPawn Table Memory Allocation Failed!\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, t->pawn_table);
    EXPECT_EQ(0u, t->pawn_table_entries);
    EXPECT_EQ(cached, evaluate(*t));
}
