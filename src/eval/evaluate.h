// The static evaluation: a two-pass score of the thread's current position from the point of
// view of the side to move, built from the weights of params.h.
#pragma once

#include <cstdint>

#include "board/board.h"

struct SearchThread;

// Score of the thread's current Board for its side to move. The Board is flipped twice in place
// and is back as it was on return; only the thread's pawn table changes.
int16_t evaluate(SearchThread& thread);

// Terms of one evaluation by kind, for the side to move (0) and the opponent (1); filled only by
// evaluate_with_breakdown.
constexpr int EVAL_TERMS = 50;
extern int16_t EvalBreakdown[2][EVAL_TERMS];

// The slots of EvalBreakdown. Every term the evaluation adds lands in exactly one slot that the
// printed Total adds up, so that Total(side to move) - Total(opponent) is the score:
// - the outpost bonuses are counted with the piece's placement terms instead of the Outpost cells
//   (which the Total skips): knight and rook outposts in their Adjustment cell (next to the
//   pawn-count delta), the bishop outpost in the bishop's square bonus; the Outpost slots stay 0;
// - the long-diagonal and the fianchetto bonus share "open diagonals";
// - the queen's seventh-rank bonus is in the queen's square bonus, the queen's closeness to the
//   enemy king (10 - distance) in the queen's mobility cell;
// - the king shield is in the pawn column's KingShield cell, the passed-pawn / enemy king distance
//   term in "enemy king tropism";
// - the attack weights of pawns and pieces are not terms of their own: they show only through the
//   King Safety cell they index;
// - chains, candidates, pins and the unprinted slots have no counterpart and stay 0.
enum EvalTerm : int {
    TERM_PAWN_MATERIAL = 0,
    TERM_PAWN_PST = 1,
    TERM_ISOLATED = 2,
    TERM_PASSED = 3,
    TERM_DOUBLED = 4,
    TERM_BACKWARD = 5,
    TERM_DISPERSION = 6, // pawn islands
    TERM_DISTORTION = 7, // file transitions
    TERM_PAWN_ENDING = 8,
    TERM_KING_SUPPORT = 9,
    TERM_KING_TROPISM = 10, // passed pawns against the enemy king's distance
    TERM_KING_SHIELD = 11,
    TERM_CHAINS = 12,
    TERM_CANDIDATES = 13,
    TERM_KNIGHT_MATERIAL = 14,
    TERM_KNIGHT_PST = 15,
    TERM_KNIGHT_TRAPPED = 16,
    TERM_KNIGHT_ADJUSTMENT = 17, // pawn-count delta and outpost
    TERM_KNIGHT_OUTPOST = 18,
    TERM_KNIGHT_MOBILITY = 19,
    TERM_BISHOP_MATERIAL = 20,
    TERM_BISHOP_PST = 21, // square bonus and outpost
    TERM_BISHOP_TRAPPED = 22,
    TERM_BISHOP_OUTPOST = 24,
    TERM_BISHOP_MOBILITY = 25,
    TERM_OPEN_DIAGONALS = 26, // long diagonal and fianchetto
    TERM_COLOUR_WEAKNESS = 27,
    TERM_BISHOP_PAIR = 29,
    TERM_ROOK_MATERIAL = 30,
    TERM_ROOK_PST = 31,
    TERM_ROOK_TRAPPED = 32,
    TERM_ROOK_ADJUSTMENT = 33, // pawn-count delta and outpost
    TERM_ROOK_OUTPOST = 34,
    TERM_ROOK_MOBILITY = 35,
    TERM_OPEN_FILE = 36,
    TERM_HALF_OPEN_FILE = 37,
    TERM_SEVENTH_RANK = 38,
    TERM_TARRASCH = 39,
    TERM_QUEEN_MATERIAL = 40,
    TERM_QUEEN_PST = 41,      // square bonus and seventh rank
    TERM_QUEEN_MOBILITY = 43, // mobility and closeness to the enemy king
    TERM_KING_PST = 44,       // middle game / end game blend
    TERM_KING_SAFETY = 47,
    TERM_SIDE_TO_MOVE = 48,
    TERM_PINS = 49,
};

// Evaluates like evaluate, and records every term in EvalBreakdown (cleared first). The pawn
// structure is computed afresh (and stored) rather than taken from the pawn table, so that its
// terms can be recorded.
int16_t evaluate_with_breakdown(SearchThread& thread);

// The last number of the printed Total row of a side (0 side to move, 1 opponent): the column sums
// formed in 16 bits, added in 32 bits.
int eval_breakdown_total(int side);

// Prints the breakdown table of the last evaluate_with_breakdown.
void print_eval_breakdown();
