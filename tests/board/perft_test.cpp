#include "board/perft.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "board_helpers.h"
#include "testdata.h"

namespace {

struct SuiteLine {
    std::string fen;
    std::vector<std::pair<int, uint64_t>> counts; // depth, leaves
};

std::vector<SuiteLine> read_suite(const std::string& dir) {
    std::vector<SuiteLine> suite;
    std::ifstream in(dir + "/perft-suite.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::stringstream ss(line);
        SuiteLine s;
        std::getline(ss, s.fen, ';');
        std::string field;
        while (std::getline(ss, field, ';')) {
            std::stringstream fs(field);
            int depth;
            uint64_t count;
            fs >> depth >> count;
            s.counts.emplace_back(depth, count);
        }
        suite.push_back(s);
    }
    return suite;
}

// Walks the legal move tree checking, at every node, the incremental key against the full key and
// that flipping the board twice gives back every field.
void check_tree(const Board* cur, const Board* first, int depth, int& checked) {
    ASSERT_EQ(cur->key, compute_key(*cur));
    Board twice = *cur;
    flip_board(twice);
    flip_board(twice);
    ASSERT_EQ(0, std::memcmp(&twice, cur, sizeof(Board)));
    ++checked;
    if (depth == 0) return;
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(*cur, list);
    for (MoveEntry* e = list; e < end; ++e) {
        const Board* next = make_move(cur, e->move, first);
        // The side that just moved is never left in check.
        Board mover = *next;
        flip_board(mover);
        ASSERT_EQ(0u, king_attackers(mover));
        check_tree(next, first, depth - 1, checked);
    }
}

} // namespace

TEST(Perft, SuiteCountsMatchReference) {
    REQUIRE_TESTDATA(dir);
    const auto suite = read_suite(dir);
    ASSERT_GT(suite.size(), 100u);
    const uint64_t limit = quick_mode() ? 300000 : ~uint64_t{0};
    auto stack = make_stack();
    uint64_t total = 0;
    for (const auto& s : suite) {
        ASSERT_TRUE(read_fen(*stack, s.fen.c_str(), nullptr)) << s.fen;
        const Board before = *stack->current;
        for (const auto& [depth, expected] : s.counts) {
            if (expected > limit) break;
            EXPECT_EQ(expected, perft(*stack, depth)) << s.fen << " depth " << depth;
            total += expected;
        }
        EXPECT_EQ(0, std::memcmp(&before, stack->current, sizeof(Board)))
            << "perft moved the stack";
    }
    RecordProperty("leaves", std::to_string(total));
}

TEST(Perft, KeysAndFlipsHoldAlongEveryPath) {
    REQUIRE_TESTDATA(dir);
    auto stack = make_stack();
    for (const auto& s : read_suite(dir)) {
        ASSERT_TRUE(read_fen(*stack, s.fen.c_str(), nullptr));
        int checked = 0;
        check_tree(stack->current, stack->boards, quick_mode() ? 2 : 3, checked);
        if (HasFatalFailure()) FAIL() << s.fen;
    }
}

TEST(Perft, SuitePositionsRoundTripThroughFen) {
    REQUIRE_TESTDATA(dir);
    auto stack = make_stack();
    for (const auto& s : read_suite(dir)) {
        ASSERT_TRUE(read_fen(*stack, s.fen.c_str(), nullptr)) << s.fen;
        const std::string written = fen_of(*stack->current);
        // The writer gives placement, side, castling and en passant, each followed by a blank.
        std::stringstream in(s.fen);
        std::string placement, side, castling, ep;
        in >> placement >> side >> castling >> ep;
        EXPECT_EQ(placement + " " + side + " " + castling + " " + ep + " ", written);
        const Board original = *stack->current;
        ASSERT_TRUE(read_fen(*stack, written.c_str(), nullptr)) << written;
        EXPECT_EQ(original.key, stack->current->key);
        EXPECT_EQ(0, std::memcmp(&original.us, &stack->current->us, 4 * sizeof(Bitboard)));
    }
}

TEST(Perft, SmallDepthsAndTheNoMoveRule) {
    auto stack = make_stack();
    EXPECT_EQ(20u, perft(*stack, 1));
    EXPECT_EQ(400u, perft(*stack, 2));
    EXPECT_EQ(8902u, perft(*stack, 3));
    EXPECT_EQ(1u, perft(*stack, 0));
    // Stalemate counts one leaf at any depth, checkmate none.
    ASSERT_TRUE(read_fen(*stack, "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", nullptr));
    EXPECT_EQ(1u, perft(*stack, 1));
    EXPECT_EQ(1u, perft(*stack, 3));
    ASSERT_TRUE(read_fen(*stack, "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", nullptr));
    EXPECT_EQ(0u, perft(*stack, 1));
    EXPECT_EQ(0u, perft(*stack, 2));
}
