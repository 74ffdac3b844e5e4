#include "board/perft.h"

#include "board/makemove.h"
#include "board/movegen.h"

namespace {

uint64_t perft_node(const Board* cur, const Board* first, int depth) {
    if (depth == 0) return 1;
    const Bitboard checkers = king_attackers(*cur);
    const Bitboard pinned = pinned_pieces(*cur);
    uint64_t total = 0;
    MoveEntry list[MAX_MOVES];
    for (int pass = 0; pass < 2; ++pass) {
        MoveEntry* end = pass == 0 ? gen_captures(*cur, list) : gen_quiets(*cur, list);
        for (long i = end - list - 1; i >= 0; --i) {
            const Move m = list[i].move;
            if (!is_legal_fast(*cur, m, checkers, pinned)) continue;
            const Board* next = make_move(cur, m, first);
            total += depth == 1 ? 1 : perft_node(next, first, depth - 1);
        }
    }
    if (total) return total;
    return checkers ? 0 : 1;
}

} // namespace

uint64_t perft(PositionStack& stack, int depth) {
    return perft_node(stack.current, stack.boards, depth);
}
