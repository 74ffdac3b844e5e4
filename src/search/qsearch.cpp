// The quiescence search: captures that do not lose material, and quiet checks at the first
// level, until the position is quiet enough for the static evaluation.
#include <algorithm>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/see.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "search/flags.h"
#include "search/ordering.h"
#include "search/search.h"

bool is_bad_capture(const Board& b, Move m) {
    const int from_value = see_piece_value(piece_at(b, move_from(m)));
    const int to_value = see_piece_value(piece_at(b, move_to(m)));
    if (to_value >= from_value) return false;
    return see(b, m) < 0;
}

namespace {

// Makes m and scores it from the side to move's view; sets *cut when the search is stopping, so
// that the node returns at once.
inline int quiescence_child(SearchThread& t, Board* cur, Move m, int qdepth, int ply, int best,
                            int beta, int tb_limit) {
    Board* next = make_move(cur, m, t.stack.boards);
    ++t.nodes;
    if (must_unwind(t)) return beta;
    t.stack.current = next;
    const int child =
        ply + 1 < 127 ? qsearch(t, qdepth - 1, ply + 1, -beta, -best, tb_limit) : evaluate(t);
    t.stack.current = cur;
    return -child;
}

} // namespace

int16_t qsearch(SearchThread& t, int qdepth, int ply, int alpha, int beta, int tb_limit) {
    Board* const cur = t.stack.current;

    // 1. Mate distance pruning.
    alpha = std::max(alpha, ply - MATE);
    beta = std::min(beta, MATE - ply);
    if (alpha >= beta) return static_cast<int16_t>(alpha);

    // 2-3. Stand pat, unless in check.
    const Bitboard checkers = king_attackers(*cur);
    const int eval = evaluate(t);
    if (!checkers && eval >= beta) return static_cast<int16_t>(eval);

    // 4. Delta pruning: not even winning a queen (or promoting one) would reach alpha.
    const int margin =
        (pawns(*cur) & cur->us & RANK_7) ? 2 * P_Queen - P_Pawn : static_cast<int>(P_Queen);
    if (eval < alpha - margin) return static_cast<int16_t>(alpha);

    // 5.
    int best = std::max(alpha, eval);
    MoveEntry list[MAX_MOVES];

    if (!checkers) {
        // 6.1 Captures by score, without the ones that lose material.
        MoveEntry* end = gen_captures(*cur, list);
        while (end > list) {
            const Move m = pick_capture(list, end);
            if (leaves_king_attacked(*cur, m) || is_bad_capture(*cur, m)) continue;
            best = std::max(best, quiescence_child(t, cur, m, qdepth, ply, best, beta, tb_limit));
            if (best >= beta) return static_cast<int16_t>(best);
        }
        // 6.2-6.3 Quiet checks at the first level only.
        if (qdepth < 0) return static_cast<int16_t>(best);
        end = gen_checks(*cur, list);
        for (MoveEntry* e = end - 1; e >= list; --e) {
            if (leaves_king_attacked(*cur, e->move) || is_bad_capture(*cur, e->move)) continue;
            best = std::max(best,
                            quiescence_child(t, cur, e->move, qdepth, ply, best, beta, tb_limit));
            if (best >= beta) return static_cast<int16_t>(best);
        }
        return static_cast<int16_t>(best);
    }

    // 7. In check: every evasion.
    MoveEntry* end = gen_evasions(*cur, checkers, list);
    int legal = 0;
    for (MoveEntry* e = end - 1; e >= list; --e) {
        if (leaves_king_attacked(*cur, e->move)) continue;
        ++legal;
        best = std::max(best, quiescence_child(t, cur, e->move, qdepth, ply, best, beta, tb_limit));
        if (best >= beta) return static_cast<int16_t>(best);
    }
    if (!legal) return static_cast<int16_t>(ply - MATE);
    return static_cast<int16_t>(best);
}

int16_t qsearch_counted(SearchThread& t, int qdepth, int ply, int alpha, int beta, int tb_limit) {
    ++t.nodes;
    if (must_unwind(t)) return static_cast<int16_t>(alpha);
    if (ply > 126) return evaluate(t);
    return qsearch(t, qdepth, ply, alpha, beta, tb_limit);
}
