// Move generation and make-move: the reference perft counts, and invariants along the trees.
#include "board/perft.h"

#include <cstring>
#include <set>

#include "board_helpers.h"
#include "testdata.h"

static std::set<Move> move_set(MoveEntry* begin, MoveEntry* end, const Board* legal_in = nullptr) {
    std::set<Move> s;
    for (MoveEntry* e = begin; e < end; ++e)
        if (!legal_in || !leaves_king_attacked(*legal_in, e->move)) s.insert(e->move);
    return s;
}

// At every node: the key is the full key, flipping twice changes nothing, the mover is not in
// check; evasions are the legal moves; a quiet move giving direct check is among the checks.
static void check_tree(const Board* cur, const Board* first, int depth, int& in_check_nodes) {
    ASSERT_EQ(cur->key, compute_key(*cur));
    Board twice = *cur;
    flip_board(twice);
    flip_board(twice);
    ASSERT_EQ(0, std::memcmp(&twice, cur, sizeof(Board)));
    if (depth == 0) return;
    MoveEntry list[MAX_MOVES], other[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(*cur, list);
    const std::set<Move> legal = move_set(list, end);
    if (const Bitboard checkers = king_attackers(*cur)) {
        ++in_check_nodes;
        ASSERT_EQ(legal, move_set(other, gen_evasions(*cur, checkers, other), cur)) << fen_of(*cur);
    } else {
        const std::set<Move> checks = move_set(other, gen_checks(*cur, other));
        for (Move m : legal) {
            if (is_capture(m) || move_type(m) == MT_PROMOTION_PUSH || move_piece(m) == KING)
                continue;
            const Board* nb = make_move(cur, m, first);
            const Bitboard direct =
                attackers_to(*nb, our_king_square(*nb), occupied(*nb), them(*nb)) &
                bit(move_to(m) ^ 56);
            ASSERT_TRUE(!direct || checks.count(m)) << fen_of(*cur) << " " << text_of(m, cur->side);
        }
    }
    for (MoveEntry* e = list; e < end; ++e) {
        const Board* next = make_move(cur, e->move, first);
        Board mover = *next;
        flip_board(mover);
        ASSERT_EQ(0u, king_attackers(mover)) << fen_of(*cur) << " " << text_of(e->move, cur->side);
        check_tree(next, first, depth - 1, in_check_nodes);
    }
}

TEST(Perft, SuiteCountsMatchReference) {
    REQUIRE_TESTDATA(dir);
    const auto suite = read_perft_suite(dir);
    ASSERT_GT(suite.size(), 100u);
    const uint64_t limit = quick_mode() ? 300000 : ~uint64_t{0};
    auto stack = make_stack();
    for (const auto& s : suite) {
        ASSERT_TRUE(read_fen(*stack, s.fen.c_str(), nullptr)) << s.fen;
        const Board before = *stack->current;
        for (const auto& [depth, expected] : s.counts) {
            if (expected > limit) break;
            EXPECT_EQ(expected, perft(*stack, depth)) << s.fen << " depth " << depth;
        }
        EXPECT_EQ(0, std::memcmp(&before, stack->current, sizeof(Board))) << "perft moved it";
    }
}

TEST(Perft, InvariantsHoldAlongEveryPath) {
    REQUIRE_TESTDATA(dir);
    auto stack = make_stack();
    int in_check_nodes = 0;
    for (const auto& s : read_perft_suite(dir)) {
        ASSERT_TRUE(read_fen(*stack, s.fen.c_str(), nullptr));
        check_tree(stack->current, stack->boards, quick_mode() ? 2 : 3, in_check_nodes);
        if (HasFatalFailure()) FAIL() << s.fen;
    }
    EXPECT_GT(in_check_nodes, 100);
}
