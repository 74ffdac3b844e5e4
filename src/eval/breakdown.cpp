// The evaluation breakdown table printed by the console: the recorded terms of both sides by
// piece kind, with a Total row per side.
#include <cstdio>

#include "eval/evaluate.h"

namespace {

constexpr int NONE = -1;

// One printed row: its label and, per column (Pawn, Knight, Bishop, Rook, Queen, King, Others),
// the slot shown there or NONE for a ".". `negate` prints the stored term negated.
struct Row {
    const char* label;
    int cells[7];
    bool negate;
};

constexpr Row kRows[] = {
    {"Material",
     {TERM_PAWN_MATERIAL, TERM_KNIGHT_MATERIAL, TERM_BISHOP_MATERIAL, TERM_ROOK_MATERIAL,
      TERM_QUEEN_MATERIAL, NONE, NONE},
     false},
    {"PST",
     {TERM_PAWN_PST, TERM_KNIGHT_PST, TERM_BISHOP_PST, TERM_ROOK_PST, TERM_QUEEN_PST, TERM_KING_PST,
      NONE},
     false},
    {"Mobility",
     {NONE, TERM_KNIGHT_MOBILITY, TERM_BISHOP_MOBILITY, TERM_ROOK_MOBILITY, TERM_QUEEN_MOBILITY,
      NONE, NONE},
     false},
    {"Passed", {TERM_PASSED, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"Isolated", {TERM_ISOLATED, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"Doubled", {TERM_DOUBLED, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"Backward", {TERM_BACKWARD, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"Dispersion", {TERM_DISPERSION, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"Distortion", {TERM_DISTORTION, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"Chain", {TERM_CHAINS, NONE, NONE, NONE, NONE, NONE, NONE}, true},
    {"Candidate", {TERM_CANDIDATES, NONE, NONE, NONE, NONE, NONE, NONE}, true},
    {"pawnEnding", {TERM_PAWN_ENDING, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"kingSupport", {TERM_KING_SUPPORT, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"EnemyKingTrop", {TERM_KING_TROPISM, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"Trapped",
     {NONE, TERM_KNIGHT_TRAPPED, TERM_BISHOP_TRAPPED, TERM_ROOK_TRAPPED, NONE, NONE, NONE},
     false},
    {"Adjustment",
     {NONE, TERM_KNIGHT_ADJUSTMENT, NONE, TERM_ROOK_ADJUSTMENT, NONE, NONE, NONE},
     false},
    {"Outpost",
     {NONE, TERM_KNIGHT_OUTPOST, TERM_BISHOP_OUTPOST, TERM_ROOK_OUTPOST, NONE, NONE, NONE},
     false},
    {"openDiags", {NONE, NONE, TERM_OPEN_DIAGONALS, NONE, NONE, NONE, NONE}, false},
    {"colorWeakness", {NONE, NONE, TERM_COLOUR_WEAKNESS, NONE, NONE, NONE, NONE}, false},
    {"bishopPair", {NONE, NONE, TERM_BISHOP_PAIR, NONE, NONE, NONE, NONE}, false},
    {"openFile", {NONE, NONE, NONE, TERM_OPEN_FILE, NONE, NONE, NONE}, false},
    {"semiopenFile", {NONE, NONE, NONE, TERM_HALF_OPEN_FILE, NONE, NONE, NONE}, false},
    {"7th rank", {NONE, NONE, NONE, TERM_SEVENTH_RANK, NONE, NONE, NONE}, false},
    {"Tarrash Rule", {NONE, NONE, NONE, TERM_TARRASCH, NONE, NONE, NONE}, false},
    {"KingShield", {TERM_KING_SHIELD, NONE, NONE, NONE, NONE, NONE, NONE}, false},
    {"King Safety", {NONE, NONE, NONE, NONE, NONE, TERM_KING_SAFETY, NONE}, false},
    {"Side To Move", {NONE, NONE, NONE, NONE, NONE, NONE, TERM_SIDE_TO_MOVE}, false},
    {"Pinned", {NONE, NONE, NONE, NONE, NONE, NONE, TERM_PINS}, false},
};
static_assert(sizeof kRows / sizeof kRows[0] == 28);

// The slots each column of the Total row adds (the outposts are printed but not added).
constexpr int kPawnSum[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
constexpr int kKnightSum[] = {14, 15, 16, 17, 19};
constexpr int kBishopSum[] = {20, 21, 22, 25, 26, 27, 29};
constexpr int kRookSum[] = {30, 31, 32, 33, 35, 36, 37, 38, 39};
constexpr int kQueenSum[] = {40, 41, 43};
constexpr int kKingSum[] = {44, 47};
constexpr int kOthersSum[] = {48, 49};

template <size_t N> int16_t column_sum(const int16_t* terms, const int (&slots)[N]) {
    int16_t sum = 0;
    for (int slot : slots) sum = static_cast<int16_t>(sum + terms[slot]);
    return sum;
}

struct Totals {
    int16_t column[7];
    int all;
};

Totals totals_of(int side) {
    const int16_t* r = EvalBreakdown[side];
    Totals t{{column_sum(r, kPawnSum), column_sum(r, kKnightSum), column_sum(r, kBishopSum),
              column_sum(r, kRookSum), column_sum(r, kQueenSum), column_sum(r, kKingSum),
              column_sum(r, kOthersSum)},
             0};
    for (int16_t c : t.column) t.all += c;
    return t;
}

const char* const kDashes66 = "------------------------------------------------------------------";
const char* const kDashes73 =
    "-------------------------------------------------------------------------";

} // namespace

int eval_breakdown_total(int side) {
    return totals_of(side).all;
}

void print_eval_breakdown() {
    for (int side = 0; side < 2; ++side) {
        const int16_t* r = EvalBreakdown[side];
        std::printf("%s\n", side == 0 ? "\nSide to move" : "\nOpponent");
        std::printf("%s\n", kDashes66);
        std::printf("| Piece         |%6s|%6s|%6s|%6s|%6s|%6s|%6s|\n", "Pawn", "Knight", "Bishop",
                    "Rook", "Queen", "King", "Others");
        std::printf("%s\n", kDashes66);
        for (const Row& row : kRows) {
            std::printf("| %-14s|", row.label);
            for (int slot : row.cells) {
                if (slot == NONE)
                    std::printf("%6s|", ".");
                else
                    std::printf("%6i|", row.negate ? -r[slot] : r[slot]);
            }
            std::printf("\n");
        }
        const Totals t = totals_of(side);
        std::printf("%s\n", kDashes73);
        std::printf("| Total         |%6i|%6i|%6i|%6i|%6i|%6i|%6i|%6i|\n", t.column[0], t.column[1],
                    t.column[2], t.column[3], t.column[4], t.column[5], t.column[6], t.all);
        std::printf("%s\n", kDashes73);
    }
    std::printf("\n");
    std::fflush(stdout);
}
