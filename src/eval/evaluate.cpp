// The static evaluation.
//
// Two passes over the thread's current Board: the first scores the side to move, then the Board
// is flipped in place and the second scores the opponent, then it is flipped back. Each pass adds
// its terms to the negated total of the previous pass, so the result is S(side to move) -
// S(opponent). Every pass works in the evaluated side's own frame (it plays up the board), so no
// term ever looks at the real colour. All sums are 16-bit with wrap-around; the attack weight on
// the enemy king zone is 8-bit.
//
// The pawn structure (pawn terms, passed pawns, the pawns' attack weight, the king shield and the
// count of healthy pawns) is cached per side in the thread's pawn table, keyed by pawns, both
// kings and the side to move.
//
// The implementation is a template on Trace: evaluate instantiates it without any breakdown
// bookkeeping, evaluate_with_breakdown with every term also recorded in EvalBreakdown.
#include "eval/evaluate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "search/thread.h"

int16_t EvalBreakdown[2][EVAL_TERMS];

namespace {

// ---------------------------------------------------------------------------------------------
// Fixed tables, all relative to the side being evaluated; built at compile time.

constexpr int file_of(int s) {
    return s & 7;
}
constexpr int rank_of(int s) {
    return s >> 3;
}
// The square (file, rank) as a set, empty off the board.
constexpr Bitboard square_set(int f, int r) {
    return f >= 0 && f < 8 && r >= 0 && r < 8 ? Bitboard{1} << (r * 8 + f) : 0;
}
// Files f-1..f+1 of rank r.
constexpr Bitboard three_files(int f, int r) {
    return square_set(f - 1, r) | square_set(f, r) | square_set(f + 1, r);
}

template <size_t N, typename F> constexpr std::array<Bitboard, N> bitboard_table(F f) {
    std::array<Bitboard, N> t{};
    for (size_t i = 0; i < N; ++i) t[i] = f(static_cast<int>(i));
    return t;
}

constexpr Bitboard kRank3 = 0xFF0000ULL;
constexpr Bitboard kDarkSquares = 0xAA55AA55AA55AA55ULL; // a1 is dark
constexpr Bitboard kLongDiagonals = 0x8040201008040201ULL | 0x0102040810204080ULL;
// d4, e4, c5, d5, e5, f5, c6, d6, e6, f6.
constexpr Bitboard kOutpostSquares = 0x00003C3C18000000ULL;

constexpr auto kFileMask = bitboard_table<8>([](int f) { return FILE_A << f; });
constexpr auto kAdjacentFiles = bitboard_table<8>(
    [](int f) { return (f > 0 ? FILE_A << (f - 1) : 0) | (f < 7 ? FILE_A << (f + 1) : 0); });
// Files f-1..f+1 from the rank ahead of s up to the seventh rank.
constexpr auto kPassedSpan = bitboard_table<64>([](int s) {
    Bitboard span = 0;
    for (int r = rank_of(s) + 1; r <= 6; ++r) span |= three_files(file_of(s), r);
    return span;
});
// The squares a pawn on s attacks; none from the first and the last rank.
constexpr auto kPawnAttackSquares = bitboard_table<64>([](int s) {
    const int r = rank_of(s);
    if (r == 0 || r == 7) return Bitboard{0};
    return square_set(file_of(s) - 1, r + 1) | square_set(file_of(s) + 1, r + 1);
});
constexpr auto kKingZone = bitboard_table<64>([](int s) {
    return three_files(file_of(s), rank_of(s) - 1) | three_files(file_of(s), rank_of(s)) |
           three_files(file_of(s), rank_of(s) + 1);
});
constexpr auto kKingNeighbours =
    bitboard_table<64>([](int s) { return kKingZone[s] & ~square_set(file_of(s), rank_of(s)); });
constexpr auto kShieldNear =
    bitboard_table<64>([](int s) { return three_files(file_of(s), rank_of(s) + 1); });
constexpr auto kShieldFar =
    bitboard_table<64>([](int s) { return three_files(file_of(s), rank_of(s) + 2); });
// Both diagonals through s without s itself and without the seventh rank, whose pawns do not
// close a long diagonal.
constexpr auto kOpenDiagonalMask = bitboard_table<64>([](int s) {
    Bitboard rays = 0;
    for (int df : {-1, 1})
        for (int dr : {-1, 1})
            for (int f = file_of(s) + df, r = rank_of(s) + dr; f >= 0 && f < 8 && r >= 0 && r < 8;
                 f += df, r += dr)
                rays |= square_set(f, r);
    return rays & ~RANK_7;
});
// Enemy pawns that trap a knight in the corner: a8 by a7/c7, a7 by a6/b7, h8 by f7/h7, h7 by
// h6/g7.
constexpr auto kTrappedKnightPawns = bitboard_table<64>([](int s) {
    switch (s) {
    case 56: return square_set(0, 6) | square_set(2, 6);
    case 48: return square_set(0, 5) | square_set(1, 6);
    case 63: return square_set(5, 6) | square_set(7, 6);
    case 55: return square_set(7, 5) | square_set(6, 6);
    default: return Bitboard{0};
    }
});
// Enemy pawns that shut a bishop in on a7 (b6) or h7 (g6).
constexpr auto kTrappedBishopPawns = bitboard_table<64>([](int s) {
    return s == 48 ? square_set(1, 5) : s == 55 ? square_set(6, 5) : Bitboard{0};
});
// Own pawns that make a fianchetto of a bishop on g2 (f2, g3) or b2 (c2, b3).
constexpr auto kFianchettoPawns = bitboard_table<64>([](int s) {
    return s == 14  ? square_set(5, 1) | square_set(6, 2)
           : s == 9 ? square_set(2, 1) | square_set(1, 2)
                    : Bitboard{0};
});

constexpr std::array<std::array<uint8_t, 64>, 64> kDistance = [] {
    std::array<std::array<uint8_t, 64>, 64> d{};
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const int df = file_of(a) - file_of(b), dr = rank_of(a) - rank_of(b);
            d[a][b] = static_cast<uint8_t>(std::max(df < 0 ? -df : df, dr < 0 ? -dr : dr));
        }
    return d;
}();

// Weight of a passed pawn's distance from the enemy king, by the pawn's rank.
constexpr int16_t kPassedKingWeight[8] = {0, 2, 3, 5, 10, 15, 20, 0};

// Square tables are written as diagrams, the far rank on top, and indexed by square (a1 = 0).
using SquareTable = std::array<int16_t, 64>;
constexpr SquareTable from_diagram(const SquareTable& diagram) {
    SquareTable t{};
    for (int s = 0; s < 64; ++s) t[s] = diagram[s ^ 56];
    return t;
}

constexpr SquareTable kPawnPst = from_diagram({
    0,   0,   0,   0,   0,   0,   0,   0,   //
    100, 100, 100, 100, 100, 100, 100, 100, //
    30,  30,  30,  40,  40,  30,  30,  30,  //
    10,  10,  10,  16,  16,  10,  10,  10,  //
    0,   0,   0,   12,  12,  0,   0,   0,   //
    5,   -5,  -5,  0,   0,   -5,  -5,  5,   //
    5,   5,   5,   -20, -20, 5,   5,   5,   //
    0,   0,   0,   0,   0,   0,   0,   0,   //
});
constexpr SquareTable kKnightPst = from_diagram({
    -5, -5, 0,  0,  0,  0,  -5, -5, //
    -5, 0,  10, 10, 10, 10, 0,  -5, //
    0,  10, 15, 15, 15, 15, 10, 0,  //
    0,  10, 15, 20, 20, 15, 10, 0,  //
    0,  10, 15, 20, 20, 15, 10, 0,  //
    0,  10, 15, 15, 15, 15, 10, 0,  //
    -5, 0,  10, 10, 10, 10, 0,  -5, //
    -5, -5, 0,  0,  0,  0,  -5, -5, //
});
constexpr SquareTable kBishopPst = from_diagram({
    -5, -5, 0,  0,  0,  0,  -5, -5, //
    -5, 0,  10, 10, 10, 10, 0,  -5, //
    -5, 10, 15, 15, 15, 15, 10, -5, //
    -5, 10, 15, 20, 20, 15, 10, -5, //
    -5, 10, 15, 20, 20, 15, 10, -5, //
    -5, 10, 15, 15, 15, 15, 10, -5, //
    -5, 0,  10, 10, 10, 10, 0,  -5, //
    -5, -5, 0,  0,  0,  0,  -5, -5, //
});
constexpr SquareTable kRookPst = from_diagram({
    10, 10, 10, 10, 10, 10, 10, 10, //
    20, 20, 20, 20, 20, 20, 20, 20, //
    0,  0,  0,  10, 10, 0,  0,  0,  //
    0,  0,  0,  10, 10, 0,  0,  0,  //
    0,  0,  0,  10, 10, 0,  0,  0,  //
    0,  0,  0,  10, 10, 0,  0,  0,  //
    0,  0,  0,  10, 10, 0,  0,  0,  //
    0,  -5, -5, 10, 10, -5, -5, 0,  //
});
constexpr SquareTable kQueenPst = from_diagram({
    -4, -4, -4, -4, -4, -4, -4, -4, //
    -4, 0,  0,  0,  0,  0,  0,  -4, //
    -4, 0,  4,  4,  4,  4,  0,  -4, //
    -4, 0,  4,  8,  8,  4,  0,  -4, //
    -4, 0,  4,  8,  8,  4,  0,  -4, //
    -4, 0,  4,  4,  4,  4,  0,  -4, //
    -4, 0,  0,  0,  0,  0,  0,  -4, //
    -4, -4, 0,  4,  0,  0,  -4, -4, //
});
constexpr SquareTable kKingMg = from_diagram({
    -5, -5, -5, -5,  -5, -5,  -5, -5, //
    -5, -5, -5, -5,  -5, -5,  -5, -5, //
    -5, -5, -5, -5,  -5, -5,  -5, -5, //
    -5, -5, -5, -5,  -5, -5,  -5, -5, //
    -5, -5, -5, -5,  -5, -5,  -5, -5, //
    -5, -5, -5, -5,  -5, -5,  -5, -5, //
    -5, -5, -5, -5,  -5, -5,  -5, -5, //
    -5, 25, 25, -10, 0,  -10, 30, -5, //
});
constexpr SquareTable kKingEg = from_diagram({
    0, 0,  0,  0,  0,  0,  0,  0, //
    0, 5,  5,  5,  5,  5,  5,  0, //
    0, 5,  10, 10, 10, 10, 5,  0, //
    0, 5,  10, 15, 15, 10, 5,  0, //
    0, 5,  10, 15, 15, 10, 5,  0, //
    0, 5,  10, 10, 10, 10, 5,  0, //
    0, 5,  5,  5,  5,  5,  5,  0, //
    0, -5, -5, 0,  0,  0,  -5, 0, //
});

// ---------------------------------------------------------------------------------------------
// Pawn sets

// The squares on or in front of the pawns, on their files (up the board).
inline Bitboard fill_up(Bitboard b) {
    b |= b << 8;
    b |= b << 16;
    return b | b << 32;
}
// The same looking down the board (for the enemy's pawns).
inline Bitboard fill_down(Bitboard b) {
    b |= b >> 8;
    b |= b >> 16;
    return b | b >> 32;
}
// The squares diagonally ahead of the given squares, up the board and down the board.
inline Bitboard diagonal_up(Bitboard b) {
    return ((b << 9) & ~FILE_A) | ((b << 7) & ~FILE_H);
}
inline Bitboard diagonal_down(Bitboard b) {
    return ((b >> 7) & ~FILE_A) | ((b >> 9) & ~FILE_H);
}

// ---------------------------------------------------------------------------------------------
// The running 16-bit total of a pass; with Trace, each addition is also recorded in its slot.

template <bool Trace> struct Sum {
    int16_t total;
    int16_t* terms; // the side's breakdown row (Trace only)

    void add(EvalTerm term, int value) {
        total = static_cast<int16_t>(total + value);
        if constexpr (Trace) terms[term] = static_cast<int16_t>(terms[term] + value);
    }
};

// The cached part of the pawn evaluation of one side: own pawns `own`, enemy pawns `enemy`, own
// king on k, enemy king on e. The returned entry has no key yet.
template <bool Trace>
PawnHashEntry pawn_structure(Bitboard own, Bitboard enemy, int k, int e, int16_t* terms) {
    PawnHashEntry entry{};
    if (!own) return entry;
    Sum<Trace> sum{0, terms};
    int attack = 0, shield = 0, healthy = 0;
    Bitboard passed = 0;
    const Bitboard zone = kKingZone[e], near = kShieldNear[k], far = kShieldFar[k];

    for (Bitboard set = own; set;) {
        const int s = pop_lsb(set), f = file_of(s), r = rank_of(s);
        sum.add(TERM_PAWN_MATERIAL, P_Pawn);
        sum.add(TERM_PAWN_PST, kPawnPst[s]);
        const int on_file = popcount(own & kFileMask[f]);
        if (!(enemy & kPassedSpan[s]) || r >= 6) {
            passed |= bit(s);
            sum.add(TERM_PASSED, PT_PawnPassed[r]);
        }
        const bool isolated = !(own & kAdjacentFiles[f]);
        if (isolated) sum.add(TERM_ISOLATED, -P_PawnIsolated);
        // Every pawn of a file with n pawns pays n times the weight.
        if (on_file > 1) sum.add(TERM_DOUBLED, -on_file * P_PawnDoubled);
        if (!(isolated && on_file > 1)) ++healthy;
        if (kPawnAttackSquares[s] & zone) attack += P_PawnAttWeight;
        if (near & bit(s))
            shield += P_KingShield1;
        else if (far & bit(s))
            shield += P_KingShield2;
    }

    // Distortion: for each rank, the files holding a pawn on that rank or above; count the
    // neighbouring file pairs of which exactly one is such a file.
    unsigned files = 0;
    int transitions = 0;
    for (int r = 7; r >= 0; --r) {
        files |= static_cast<unsigned>((own >> (8 * r)) & 0xFF);
        transitions += std::popcount((files ^ (files << 1)) & 0xFEu);
    }
    sum.add(TERM_DISTORTION, -transitions);
    // Dispersion: islands of adjacent pawn files against the number of pawns.
    const int islands = std::popcount(files & ~(files << 1));
    sum.add(TERM_DISPERSION, -std::abs(3 * islands * islands - popcount(own)));
    // Backward pawns on the second and third ranks: the stop square is attacked by an enemy pawn,
    // no own pawn can ever defend it, and no enemy pawn stands ahead on the file.
    const Bitboard stops = (own & (RANK_2 | kRank3)) << 8;
    const int backward =
        popcount(stops & diagonal_down(enemy) & ~diagonal_up(fill_up(own)) & ~fill_down(enemy));
    if (backward) sum.add(TERM_BACKWARD, -backward * P_BackwardPawn);

    entry.passed = passed;
    entry.attack_weight = static_cast<uint8_t>(attack);
    entry.shield = static_cast<uint8_t>(shield);
    entry.healthy_pawns = static_cast<uint8_t>(healthy);
    entry.score = sum.total;
    return entry;
}

template <bool Trace> int16_t evaluate_impl(SearchThread& thread) {
    Board& board = *thread.stack.current;
    if constexpr (Trace) std::memset(EvalBreakdown, 0, sizeof EvalBreakdown);

    // Facts about the whole board, the same in both passes.
    const Bitboard all_pawns = pawns(board), all_kings = kings(board);
    const Bitboard occupied_start = occupied(board);
    const int pieces = popcount(occupied_start & ~all_pawns & ~all_kings);
    const bool endgame = pieces < P_Endgame;
    const bool pawn_ending = pieces == 0;
    const bool no_queens = queens(board) == 0;
    const bool rook_ending = occupied_start == (all_pawns | all_kings | rooks(board));
    const int knight_mobility = endgame ? P_NmobEg : P_NmobMg;
    const int bishop_mobility = endgame ? P_BmobEg : P_BmobMg;
    const int rook_mobility = endgame ? P_RmobEg : P_RmobMg;
    const int queen_mobility = endgame ? P_QmobEg : P_QmobMg;

    // The opponent's pawn key differs only in the side key.
    uint64_t key = pawn_key(board);
    const uint64_t side_keys = zobrist::side[0] ^ zobrist::side[1];
    PawnHashEntry* const table = thread.pawn_table;
    const uint64_t index_mask = thread.pawn_table_entries - 1;

    int16_t carry = 0;
    for (int pass = 0; pass < 2; ++pass) {
        Sum<Trace> sum{carry, Trace ? EvalBreakdown[pass] : nullptr};
        const Bitboard us = board.us, occ = occupied(board);
        const Bitboard pawn_set = pawns(board), own_pawns = pawn_set & us;
        const Bitboard enemy_pawns = pawn_set ^ own_pawns;
        const Bitboard king_set = kings(board);
        const int k = lsb(king_set & us), e = lsb(king_set & ~us);

        // Pawns.
        PawnHashEntry info;
        PawnHashEntry* const slot = table ? &table[key & index_mask] : nullptr;
        if (!Trace && slot && slot->key == key) {
            info = *slot;
        } else {
            info = pawn_structure<Trace>(own_pawns, enemy_pawns, k, e, sum.terms);
            info.key = key;
            if (slot) {
                *slot = info;
                thread.pawn_table_dirty = true;
            }
        }
        sum.total = static_cast<int16_t>(sum.total + info.score);
        const Bitboard passed = info.passed;
        if (pawn_ending)
            sum.add(TERM_PAWN_ENDING, PT_PawnEnding[std::min<int>(info.healthy_pawns, 8)]);
        if (endgame) {
            if (kKingNeighbours[k] & passed) sum.add(TERM_KING_SUPPORT, P_KingSupport);
            if (no_queens)
                for (Bitboard set = passed; set;) {
                    const int p = pop_lsb(set);
                    sum.add(TERM_KING_TROPISM, kDistance[p][e] * kPassedKingWeight[rank_of(p)]);
                }
        }

        // Sets shared by the pieces. Sliders see through everything but pawns.
        const Bitboard not_own = ~us;
        // Mobility counts squares no enemy pawn guards; a first-rank square never counts as
        // guarded.
        const Bitboard safe = ~(diagonal_down(enemy_pawns) & ~RANK_1);
        const Bitboard zone = kKingZone[e];
        const int own_pawn_count = popcount(own_pawns);
        const Bitboard outposts = popcount(enemy_pawns) > 4
                                      ? kOutpostSquares & diagonal_up(fill_up(own_pawns)) &
                                            ~diagonal_down(fill_down(enemy_pawns))
                                      : 0;
        int attack = info.attack_weight;

        for (Bitboard set = knights(board) & us; set;) {
            const int s = pop_lsb(set);
            sum.add(TERM_KNIGHT_MATERIAL, P_Knight);
            sum.add(TERM_KNIGHT_PST, kKnightPst[s]);
            if (kTrappedKnightPawns[s] & enemy_pawns)
                sum.add(TERM_KNIGHT_TRAPPED, -P_TrappedKnight);
            sum.add(TERM_KNIGHT_ADJUSTMENT, PT_KnightDelta[own_pawn_count]);
            if (outposts & bit(s)) sum.add(TERM_KNIGHT_ADJUSTMENT, PT_KnightOutpost[s]);
            const Bitboard targets = attacks::knight[s] & not_own;
            sum.add(TERM_KNIGHT_MOBILITY, (popcount(targets & safe) - 4) * knight_mobility);
            attack += popcount(targets & zone) * P_KnightAttWeight;
        }

        const Bitboard own_bishops = bishops(board) & us;
        for (Bitboard set = own_bishops; set;) {
            const int s = pop_lsb(set);
            sum.add(TERM_BISHOP_MATERIAL, P_Bishop);
            sum.add(TERM_BISHOP_PST, kBishopPst[s]);
            if ((kTrappedBishopPawns[s] & enemy_pawns) ||
                (s == 5 && (own_pawns & bit(12)) && (occ & bit(20))) ||
                (s == 2 && (own_pawns & bit(11)) && (occ & bit(19))))
                sum.add(TERM_BISHOP_TRAPPED, -P_TrappedBishop);
            if ((kLongDiagonals & bit(s)) && !(pawn_set & kOpenDiagonalMask[s]))
                sum.add(TERM_OPEN_DIAGONALS, P_BishopBigOpenDiag);
            if (kFianchettoPawns[s] & own_pawns) sum.add(TERM_OPEN_DIAGONALS, P_BishopFianchetto);
            if (outposts & bit(s)) sum.add(TERM_BISHOP_PST, P_BishopOutpost);
            const Bitboard targets = bishop_attacks(s, pawn_set) & not_own;
            sum.add(TERM_BISHOP_MOBILITY, (popcount(targets & safe) - 7) * bishop_mobility);
            attack += popcount(targets & zone) * P_BishopAttWeight;
        }
        const int bishop_count = popcount(own_bishops);
        if (bishop_count == 2 && (own_bishops & kDarkSquares) && (own_bishops & ~kDarkSquares)) {
            sum.add(TERM_BISHOP_PAIR, P_BishopPair);
        } else if (bishop_count == 1) {
            const Bitboard colour = (own_bishops & kDarkSquares) ? kDarkSquares : ~kDarkSquares;
            sum.add(TERM_COLOUR_WEAKNESS, P_ColorWeakness * (popcount(own_pawns & ~colour) -
                                                             popcount(own_pawns & colour)));
        }

        const Bitboard trapping_rook_squares = (k == 5 || k == 6)   ? bit(6) | bit(7) | bit(15)
                                               : (k == 1 || k == 2) ? bit(0) | bit(1) | bit(8)
                                                                    : 0;
        for (Bitboard set = rooks(board) & us; set;) {
            const int s = pop_lsb(set), f = file_of(s);
            sum.add(TERM_ROOK_MATERIAL, P_Rook);
            sum.add(TERM_ROOK_ADJUSTMENT, PT_RookDelta[own_pawn_count]);
            sum.add(TERM_ROOK_PST, kRookPst[s]);
            if (!pawn_set) continue;
            if (trapping_rook_squares & bit(s)) sum.add(TERM_ROOK_TRAPPED, -P_TrappedRook);
            const Bitboard file = kFileMask[f];
            if ((outposts & bit(s)) && !(own_pawns & file))
                sum.add(TERM_ROOK_ADJUSTMENT, P_RookOutpost);
            if (!(pawn_set & file)) {
                sum.add(TERM_OPEN_FILE, P_RookOpenFile);
            } else if (!(own_pawns & file)) {
                sum.add(TERM_HALF_OPEN_FILE, P_RookSemiOpenFile);
                if (!endgame && (zone & bit(s)))
                    sum.add(TERM_HALF_OPEN_FILE, 3 * P_RookSemiOpenFile);
            }
            if (rank_of(e) == 7 && rank_of(s) == 6) sum.add(TERM_SEVENTH_RANK, P_Rook7th);
            if (rook_ending) {
                const int behind = popcount(passed & file & (bit(s) - 1));
                if (behind) sum.add(TERM_TARRASCH, -behind * P_TarraschRule);
            }
            const Bitboard targets = rook_attacks(s, pawn_set) & not_own;
            sum.add(TERM_ROOK_MOBILITY, (popcount(targets & safe) - 7) * rook_mobility);
            attack += popcount(targets & zone) * P_RookAttWeight;
        }

        for (Bitboard set = queens(board) & us; set;) {
            const int s = pop_lsb(set);
            sum.add(TERM_QUEEN_MATERIAL, P_Queen);
            sum.add(TERM_QUEEN_PST, kQueenPst[s]);
            if (rank_of(e) == 7 && rank_of(s) == 6) sum.add(TERM_QUEEN_PST, P_Queen7th);
            const Bitboard targets = queen_attacks(s, pawn_set) & not_own;
            sum.add(TERM_QUEEN_MOBILITY, (popcount(targets & safe) - 14) * queen_mobility);
            attack += popcount(targets & zone) * P_QueenAttWeight;
            sum.add(TERM_QUEEN_MOBILITY, 10 - kDistance[s][e]);
        }

        // The king's square, blended by the material left (the weights add up to 14).
        sum.add(TERM_KING_PST, (kKingMg[k] * pieces + kKingEg[k] * (14 - pieces)) >> 4);
        if (!endgame) {
            sum.add(TERM_KING_SHIELD, info.shield);
            // The attack weight is 8-bit; sums beyond the table's last entry read that entry.
            sum.add(TERM_KING_SAFETY, PT_KingSafety[std::min(attack & 0xFF, 99)]);
            if (pass == 0) sum.add(TERM_SIDE_TO_MOVE, P_SideToMove);
        }

        carry = static_cast<int16_t>(-sum.total);
        key ^= side_keys;
        flip_board(board);
    }
    return carry;
}

} // namespace

int16_t evaluate(SearchThread& thread) {
    return evaluate_impl<false>(thread);
}

int16_t evaluate_with_breakdown(SearchThread& thread) {
    return evaluate_impl<true>(thread);
}
