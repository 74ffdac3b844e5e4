// The principal-variation alpha-beta search.
#include "search/search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "board/makemove.h"
#include "board/movegen.h"
#include "config/settings.h"
#include "eval/evaluate.h"
#include "search/flags.h"
#include "search/ordering.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

namespace {

struct LmrTable {
    uint8_t r[64][64];
    LmrTable() {
        for (int d = 0; d < 64; ++d)
            for (int n = 0; n < 64; ++n) {
                const double x = d < 2 || n < 2 ? 0 : std::log(d) * std::log(n) / 3;
                r[d][n] = static_cast<uint8_t>(x >= 1 ? std::floor(x) : 0);
            }
    }
};
const LmrTable kLmr;

inline bool normal_window(int alpha, int beta) {
    return std::abs(alpha) < MATE_SCORE && std::abs(beta) < MATE_SCORE;
}

// A quiet move or castling, for the killer and history tables: no capture, promotion or en
// passant.
inline bool is_quiet(Move m) {
    return (m & MF_CAPTURE) == 0 && move_type(m) != MT_PROMOTION_PUSH;
}

inline void set_pv(PVLine& pv, Move m, const PVLine& child) {
    pv.moves[0] = m;
    const int n = std::min<int>(child.length, 62);
    std::copy(child.moves, child.moves + n, pv.moves + 1);
    pv.length = static_cast<uint8_t>(n + 1);
}

inline bool has_pieces(const Board& b) {
    // Anything besides pawns and kings, of either side.
    return (occupied(b) & ~pawns(b) & ~kings(b)) != 0;
}

// Makes m on the thread's stack and searches the child with the given window.
inline int16_t child_search(SearchThread& t, Board* cur, Move m, int depth, int ply, int alpha,
                            int beta, int tb_limit, PVLine& child) {
    t.stack.current = make_move(cur, m, t.stack.boards);
    const int16_t score =
        static_cast<int16_t>(-search(t, depth, ply, alpha, beta, tb_limit, child));
    t.stack.current = cur;
    return score;
}

} // namespace

const uint8_t (&LMR_R)[64][64] = kLmr.r;

bool is_legal_move(const Board& b, Move m) {
    if (m == 0) return false;
    MoveEntry list[MAX_MOVES];
    const bool capture_list = (move_type(m) & MF_CAPTURE) || move_type(m) == MT_PROMOTION_PUSH;
    MoveEntry* end = capture_list ? gen_captures(b, list) : gen_quiets(b, list);
    for (MoveEntry* e = list; e < end; ++e)
        if (e->move == m) return leaves_king_attacked(b, m) == 0;
    return false;
}

int16_t search(SearchThread& t, int depth, int ply, int alpha, int beta, int tb_limit, PVLine& pv) {
    Board* const cur = t.stack.current;
    pv.length = 0;
    const bool pv_node = beta != alpha + 1;

    // 1. Check.
    const bool in_check = king_attackers(*cur) != 0;

    // 2. Stop polling at every node.
    if (must_unwind(t)) return static_cast<int16_t>(alpha);

    // 3. Count the node ("go nodes" ends the search when the thread's share is spent).
    if (++t.nodes >= t.node_budget) search_flags.stop.store(1, std::memory_order_relaxed);

    // 4. Draws by repetition and by the fifty-move rule (unless mated on the hundredth ply).
    if (cur->repetitions == 2) return 0;
    if (cur->halfmove > 100 || (cur->halfmove == 100 && !in_check)) return 0;

    // 5. Check extension at PV nodes.
    const bool extended = in_check && pv_node;
    if (extended) ++depth;

    // 6. Deep lines end in the quiescence search, the deepest in the static evaluation.
    if (ply > 62) {
        ++t.nodes;
        if (ply + 1 > 126) return evaluate(t);
        return qsearch(t, 0, ply + 1, alpha, beta, tb_limit);
    }

    // 7. Selective depth.
    t.seldepth = std::max(t.seldepth, ply);

    // 8. Mate distance pruning: no line from here can beat a mate already found nearer the root.
    alpha = std::max(alpha, ply - MATE);
    beta = std::min(beta, MATE - ply);
    if (alpha >= beta) return static_cast<int16_t>(alpha);

    // 9. Transposition table: a decisive entry ends a non-PV node; any entry gives a move.
    uint64_t tt_data = 0;
    const int16_t tt_value = tt_probe(*cur, &tt_data, depth, ply, static_cast<int16_t>(alpha),
                                      static_cast<int16_t>(beta));
    const bool tt_found = tt_value != TT_MISS;
    if (!pv_node && tt_found && tt_value != TT_UNUSABLE) return tt_value;
    Move hash_move = tt_found ? tt_move(tt_data) : 0;
    const int tt_bound_found = tt_found ? tt_bound(tt_data) : 0;

    // 10. Tablebases, right after a capture or pawn move.
    if (settings.syzygy && cur->halfmove == 0 && popcount(occupied(*cur)) <= tb_limit) {
        int success = 0;
        const int wdl = tb_probe_wdl(*cur, &success);
        if (success) {
            ++t.tb_hits;
            const int16_t value = static_cast<int16_t>(wdl == -2  ? -TB_WIN
                                                       : wdl == 2 ? TB_WIN
                                                                  : 2 * wdl);
            tt_store(*cur, depth, ply, BOUND_EXACT, value, 0);
            return value;
        }
    }

    // 11. Horizon: the quiescence search takes over.
    if (depth < 1) {
        ++t.nodes;
        if (must_unwind(t)) return static_cast<int16_t>(alpha);
        return qsearch(t, 0, ply + 1, alpha, beta, tb_limit);
    }

    // 12. Static evaluation.
    const int eval = evaluate(t);
    const bool normal = normal_window(alpha, beta);

    // 13. Reverse futility: far above beta near the horizon, the opponent will not catch up.
    if (depth <= 3 && normal && !in_check && eval >= beta + 70 * depth)
        return static_cast<int16_t>(eval - 70 * depth);

    // 14. Null move: if passing still fails high, the position is good enough. Not in pawn
    // endings (zugzwang), nor when the table says a shallower search already failed low.
    if (!in_check && depth > 1 && eval >= beta && normal && tt_bound_found != BOUND_EXACT &&
        has_pieces(*cur) &&
        !(tt_found && tt_depth(tt_data) >= depth - 3 && tt_bound_found == BOUND_UPPER &&
          tt_score(tt_data) < beta)) {
        PVLine child;
        t.stack.current = make_null_move(cur);
        const int score = -search(t, depth - 4, ply + 1, -beta, -beta + 1, tb_limit, child);
        t.stack.current = cur;
        if (score >= beta) {
            tt_store(*cur, depth, ply, BOUND_LOWER, static_cast<int16_t>(eval), 0);
            return static_cast<int16_t>(std::abs(score) >= MATE_SCORE ? score : beta);
        }
    }

    // 15. Razoring with futility pruning of quiet moves, or internal iterative deepening.
    bool futility = false;
    if (!pv_node && depth <= 3 && !in_check && normal) {
        const int margin_alpha = alpha - 70 * depth;
        if (eval < margin_alpha) {
            const int score =
                qsearch_counted(t, 0, ply + 1, margin_alpha - 1, margin_alpha, tb_limit);
            if (score < margin_alpha) return static_cast<int16_t>(score);
            futility = true;
        }
    } else if (depth > 4 && pv_node) {
        if (tt_bound_found == BOUND_UPPER) {
            hash_move = 0;
        } else if (!hash_move) {
            PVLine iid;
            search(t, depth / 2, 0, alpha, beta, tb_limit, iid);
            if (iid.length > 0) hash_move = iid.moves[0];
        }
    }

    Move best = 0;
    int searched = 0; // moves searched before the quiet phase
    PVLine child;
    child.length = 0;

    // 16. The hash move first.
    if (hash_move && is_legal_move(*cur, hash_move)) {
        ++searched;
        const int score =
            child_search(t, cur, hash_move, depth - 1, ply + 1, -beta, -alpha, tb_limit, child);
        if (score >= beta) {
            if (is_quiet(hash_move)) {
                update_killers(t, ply, hash_move);
                update_history(t, depth, hash_move);
            }
            tt_store(*cur, depth, ply, BOUND_LOWER, static_cast<int16_t>(score), hash_move);
            return static_cast<int16_t>(score);
        }
        if (score > alpha) {
            best = hash_move;
            alpha = score;
            set_pv(pv, hash_move, child);
        }
    } else {
        hash_move = 0;
    }

    // 17. Captures, most valuable victim first.
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(*cur, list);
    while (end > list) {
        const Move m = pick_capture(list, end);
        if (m == hash_move || leaves_king_attacked(*cur, m)) continue;
        ++searched;
        int score;
        if (best) {
            score =
                child_search(t, cur, m, depth - 1, ply + 1, -alpha - 1, -alpha, tb_limit, child);
            if (score > alpha && score < beta)
                score = child_search(t, cur, m, depth - 1, ply + 1, -beta, -alpha, tb_limit, child);
        } else {
            score = child_search(t, cur, m, depth - 1, ply + 1, -beta, -alpha, tb_limit, child);
        }
        if (score >= beta) {
            tt_store(*cur, depth, ply, BOUND_LOWER, static_cast<int16_t>(score), m);
            return static_cast<int16_t>(score);
        }
        if (score > alpha) {
            best = m;
            alpha = score;
            set_pv(pv, m, child);
        }
    }

    // 18. Quiet moves: killers first, then by history, with late move reductions.
    end = gen_quiets(*cur, list);
    int quiet_count = 0;
    for (MoveEntry* slot = end - 1; slot >= list; --slot) {
        if (!pick_killer(t, ply, slot, list)) pick_history(t, slot, list);
        const Move m = slot->move;
        if (m == hash_move || leaves_king_attacked(*cur, m)) continue;
        ++quiet_count;
        Board* next = make_move(cur, m, t.stack.boards);
        const bool gives_check = king_attackers(*next) != 0;
        if (futility && !gives_check) continue;
        int r = 0;
        if (!in_check && !gives_check && depth > 1 && !extended && quiet_count > 3)
            r = LMR_R[std::min(depth, 63)][std::min(searched + quiet_count, 63)];
        int score;
        t.stack.current = next;
        if (best || r > 0) {
            score = -search(t, depth - 1 - r, ply + 1, -alpha - 1, -alpha, tb_limit, child);
            // A reduced move that fails high is searched again at full depth before its
            // cut-off is taken; at a PV node a move inside the window gets the full window.
            if (r > 0 && score > alpha)
                score = -search(t, depth - 1, ply + 1, -alpha - 1, -alpha, tb_limit, child);
            if (score > alpha && score < beta)
                score = -search(t, depth - 1, ply + 1, -beta, -alpha, tb_limit, child);
        } else {
            score = -search(t, depth - 1, ply + 1, -beta, -alpha, tb_limit, child);
        }
        t.stack.current = cur;
        if (score >= beta) {
            update_killers(t, ply, m);
            update_history(t, depth, m);
            tt_store(*cur, depth, ply, BOUND_LOWER, static_cast<int16_t>(score), m);
            return static_cast<int16_t>(score);
        }
        if (score > alpha) {
            best = m;
            alpha = score;
            set_pv(pv, m, child);
        }
    }

    // 19. End of the node: the result, or mate / stalemate when nothing could be played.
    if (searched + quiet_count > 0) {
        tt_store(*cur, depth, ply, best ? BOUND_EXACT : BOUND_UPPER, static_cast<int16_t>(alpha),
                 best);
        return static_cast<int16_t>(alpha);
    }
    const int16_t score = static_cast<int16_t>(in_check ? ply - MATE : 0);
    tt_store(*cur, depth, ply, BOUND_EXACT, score, 0);
    return score;
}

void print_reduction_table() {
    std::printf("static const int CT_LMR_R[2][64][64]={\n");
    for (int plane = 0; plane < 2; ++plane) {
        std::printf("{\n");
        for (int d = 0; d < 64; ++d) {
            std::printf("{");
            for (int n = 0; n < 64; ++n) {
                unsigned v;
                if (plane == 1) {
                    v = LMR_R[d][n];
                } else {
                    const double x = d < 2 || n < 2 ? 0 : std::log(d) * std::log(n) / 2.25 + 0.33;
                    v = x >= 1 ? static_cast<unsigned>(std::floor(x)) : 0;
                    if (v > 2) ++v;
                }
                std::printf(n < 63 ? "%u," : "%u", v);
            }
            std::printf("},\n");
        }
        std::printf("},\n");
    }
    std::printf("}\n");
}
