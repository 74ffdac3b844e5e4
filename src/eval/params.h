#pragma once

#include <cstdint>
#include <string>

// Evaluation weights, all in centipawns.
//
// The evaluation reads only these variables. Each one is governed by one row of
// EvalParamTable, which holds its name, its default and the range the tuner may move it
// in. The variables are zero until ResetEvalParams() installs the defaults.

// Material.
extern int32_t P_Pawn;
extern int32_t P_Knight;
extern int32_t P_Bishop;
extern int32_t P_Rook;
extern int32_t P_Queen;
extern int32_t P_King;

// Pawn structure and king shelter.
extern int32_t P_BackwardPawn;
extern int32_t P_PawnIsolated;
extern int32_t P_PawnDoubled;
extern int32_t P_KingSupport;
extern int32_t P_KingShield1;
extern int32_t P_KingShield2;
extern int32_t P_bigChainScore;
extern int32_t P_smallChainScore;
extern int32_t P_CandidatePawnOn5th;

// Index: rank of the passed pawn counted from its own side, 0 = first rank.
extern int32_t PT_PawnPassed[8];
// Index: number of healthy pawns of the side in a pawn ending, 0 to 8.
extern int32_t PT_PawnEnding[9];

// Knights.
extern int32_t P_TrappedKnight;
// Index: square of the knight seen from its own side, 0 = a1, 7 = h1, 63 = h8.
extern int32_t PT_KnightOutpost[64];

// Bishops, rooks and queens.
extern int32_t P_BishopPair;
extern int32_t P_TrappedBishop;
extern int32_t P_BishopBigOpenDiag;
extern int32_t P_BishopFianchetto;
extern int32_t P_BishopOutpost;
extern int32_t P_ColorWeakness;
extern int32_t P_Rook7th;
extern int32_t P_RookSemiOpenFile;
extern int32_t P_RookOpenFile;
extern int32_t P_TarraschRule;
extern int32_t P_TrappedRook;
extern int32_t P_RookOutpost;
extern int32_t P_oQueenRookFile;
extern int32_t P_Queen7th;

// Index: number of own pawns on the board, 0 to 8.
extern int32_t PT_KnightDelta[9];
// Index: number of own pawns on the board, 0 to 8.
extern int32_t PT_RookDelta[9];

// End game and king attack.
extern int32_t P_Endgame;
extern int32_t P_KnightAttWeight;
extern int32_t P_BishopAttWeight;
extern int32_t P_RookAttWeight;
extern int32_t P_QueenAttWeight;
extern int32_t P_PawnAttWeight;
extern int32_t P_AbsolutePins;

// Index: accumulated attack weight on the king zone, 0 to 99.
extern int32_t PT_KingSafety[100];

// Mobility per piece in the middle game (Mg) and the end game (Eg); side-to-move bonus.
extern int32_t P_NmobMg;
extern int32_t P_BmobMg;
extern int32_t P_RmobMg;
extern int32_t P_QmobMg;
extern int32_t P_NmobEg;
extern int32_t P_BmobEg;
extern int32_t P_RmobEg;
extern int32_t P_QmobEg;
extern int32_t P_SideToMove;

// One row of the parameter table.
struct EvalParam {
    int32_t* var;  // the variable this row governs
    int32_t value; // default; the tuner's working value
    int32_t min;   // tuning range, lower bound
    int32_t max;   // tuning range, upper bound
    int32_t best;  // last value the tuner accepted; 0 in the table
    int16_t step;  // increment of a stepwise scan; 0 = never tuned
    char name[102];
    int32_t tune; // non-zero: the tuner adjusts and reports this row
};

constexpr int EVAL_PARAM_COUNT = 245;

// The rows in a fixed order; the tuner pairs its own arrays with rows by position.
extern EvalParam EvalParamTable[EVAL_PARAM_COUNT];

// Copies every row's value into its variable, in row order, without clamping to min..max.
void ResetEvalParams();

// Applies a file of tuned weights, one "NAME;VALUE;" line per row as the tuner writes them
// (tuned.csv): NAME as in the table, e.g. P_SideToMove or PT_PawnPassed[3]. The trailing ';' may
// be missing; blank lines, lines starting with '#' or ';' and CRLF line ends are accepted. Each
// named row gets the value in its variable and as its value, so a later tuning starts from it.
// The file is applied whole or not at all: a missing or unreadable file, a file above
// EVAL_FILE_MAX_BYTES or EVAL_FILE_MAX_LINES, an unknown name, a line without a number, with
// characters after it, longer than EVAL_FILE_MAX_LINE, a name given twice or a value outside the
// row's min..max leave every row and variable as it was and return false. `message` receives the
// one line to report (file name, and the line number of a refused line) either way.
inline constexpr long EVAL_FILE_MAX_BYTES = 1L << 20;
inline constexpr int EVAL_FILE_MAX_LINES = 4096;
inline constexpr int EVAL_FILE_MAX_LINE = 255;
bool load_eval_file(const char* path, std::string& message);
