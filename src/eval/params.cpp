#include "eval/params.h"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

// The variables start at zero; ResetEvalParams() installs the defaults.

int32_t P_Pawn, P_Knight, P_Bishop, P_Rook, P_Queen, P_King;
int32_t P_BackwardPawn, P_PawnIsolated, P_PawnDoubled, P_KingSupport, P_KingShield1, P_KingShield2,
    P_bigChainScore, P_smallChainScore, P_CandidatePawnOn5th;
int32_t PT_PawnPassed[8];
int32_t PT_PawnEnding[9];
int32_t P_TrappedKnight;
int32_t PT_KnightOutpost[64];
int32_t P_BishopPair, P_TrappedBishop, P_BishopBigOpenDiag, P_BishopFianchetto, P_BishopOutpost,
    P_ColorWeakness, P_Rook7th, P_RookSemiOpenFile, P_RookOpenFile, P_TarraschRule, P_TrappedRook,
    P_RookOutpost, P_oQueenRookFile, P_Queen7th;
int32_t PT_KnightDelta[9];
int32_t PT_RookDelta[9];
int32_t P_Endgame, P_KnightAttWeight, P_BishopAttWeight, P_RookAttWeight, P_QueenAttWeight,
    P_PawnAttWeight, P_AbsolutePins;
int32_t PT_KingSafety[100];
int32_t P_NmobMg, P_BmobMg, P_RmobMg, P_QmobMg, P_NmobEg, P_BmobEg, P_RmobEg, P_QmobEg,
    P_SideToMove;

namespace {

// ---------------------------------------------------------------------------------------------
// Defaults and tuning ranges, family by family, in table order.
// ---------------------------------------------------------------------------------------------

struct ScalarRow {
    int32_t* var;
    const char* name;
    int32_t value, min, max;
    int16_t step = 1;
};

#define SCALAR(v) &v, #v

// Rows 0 to 14.
constexpr ScalarRow kMaterialAndPawns[] = {
    {SCALAR(P_Pawn), 81, 40, 200},
    {SCALAR(P_Knight), 330, 200, 500},
    {SCALAR(P_Bishop), 347, 200, 550},
    {SCALAR(P_Rook), 521, 350, 650},
    {SCALAR(P_Queen), 1071, 700, 1500},
    {SCALAR(P_King), 10000, 10000, 0, 0}, // fixed: never tuned
    {SCALAR(P_BackwardPawn), 9, 1, 20},
    {SCALAR(P_PawnIsolated), 7, 1, 20},
    {SCALAR(P_PawnDoubled), 7, 1, 20},
    {SCALAR(P_KingSupport), 17, 5, 20},
    {SCALAR(P_KingShield1), 5, 1, 15},
    {SCALAR(P_KingShield2), 4, 1, 10},
    {SCALAR(P_bigChainScore), 10, 5, 15},
    {SCALAR(P_smallChainScore), 12, 5, 25},
    {SCALAR(P_CandidatePawnOn5th), 50, 5, 75, 5},
};

// Per-index columns of an array family.
template <std::size_t N> struct Columns { std::array<int32_t, N> value, min, max; };

// Rows 15 to 22; indices 0 and 7 are fixed.
constexpr Columns<8> kPawnPassed = {
    {0, 3, 10, 20, 33, 58, 89, 0},
    {0, 1, 5, 10, 20, 35, 60, 0},
    {0, 10, 15, 30, 50, 90, 180, 0},
};

// Rows 23 to 31; indices 0 and 1 are fixed.
constexpr Columns<9> kPawnEnding = {
    {0, 0, 101, 197, 301, 401, 496, 597, 700},
    {0, 0, 90, 180, 270, 360, 450, 540, 630},
    {0, 0, 110, 220, 330, 440, 550, 660, 770},
};

// Row 32.
constexpr ScalarRow kTrappedKnight[] = {
    {SCALAR(P_TrappedKnight), 15, 10, 40},
};

// Rows 33 to 96. Only these squares carry a weight; every other square is 0, range 0..0, fixed.
struct OutpostSquare {
    int square;
    int32_t value, min, max;
};
constexpr OutpostSquare kKnightOutposts[] = {
    {25, 7, 1, 15},   {26, 10, 10, 24}, {27, 16, 16, 30}, {28, 17, 17, 30}, {29, 10, 10, 24},
    {30, 8, 1, 15},   {33, 9, 10, 24},  {34, 20, 16, 30}, {35, 24, 24, 40}, {36, 24, 24, 40},
    {37, 20, 16, 30}, {38, 17, 10, 24}, {41, 17, 16, 30}, {42, 28, 24, 40}, {43, 35, 32, 50},
    {44, 36, 32, 50}, {45, 24, 24, 40}, {46, 20, 16, 30},
};

// Rows 97 to 110.
constexpr ScalarRow kPieces[] = {
    {SCALAR(P_BishopPair), 31, 10, 50},      {SCALAR(P_TrappedBishop), 52, 50, 150},
    {SCALAR(P_BishopBigOpenDiag), 4, 5, 25}, {SCALAR(P_BishopFianchetto), 13, 10, 30},
    {SCALAR(P_BishopOutpost), 10, 10, 30},   {SCALAR(P_ColorWeakness), 4, 1, 10},
    {SCALAR(P_Rook7th), 14, 10, 30},         {SCALAR(P_RookSemiOpenFile), 4, 1, 10},
    {SCALAR(P_RookOpenFile), 6, 5, 25},      {SCALAR(P_TarraschRule), 15, 5, 50},
    {SCALAR(P_TrappedRook), 22, 10, 80},     {SCALAR(P_RookOutpost), 14, 5, 30},
    {SCALAR(P_oQueenRookFile), 7, 5, 25},    {SCALAR(P_Queen7th), 12, 5, 30},
};

// Rows 111 to 119.
constexpr Columns<9> kKnightDelta = {
    {-19, -15, -12, -7, -3, 0, 4, 7, 7},
    {-30, -24, -16, -12, -8, -4, 0, 4, 8},
    {-10, -8, -6, -4, 0, 4, 8, 10, 20},
};

// Rows 120 to 128.
constexpr Columns<9> kRookDelta = {
    {12, 11, 8, 6, 3, 1, -2, -6, -9},
    {10, 8, 5, 1, 0, -3, -6, -9, -15},
    {20, 15, 15, 12, 6, 6, 0, -3, -6},
};

// Rows 129 to 135.
constexpr ScalarRow kKingAttack[] = {
    {SCALAR(P_Endgame), 5, 1, 10},         {SCALAR(P_KnightAttWeight), 1, 1, 10},
    {SCALAR(P_BishopAttWeight), 2, 1, 10}, {SCALAR(P_RookAttWeight), 3, 1, 10},
    {SCALAR(P_QueenAttWeight), 4, 1, 10},  {SCALAR(P_PawnAttWeight), 5, 1, 10},
    {SCALAR(P_AbsolutePins), 25, 1, 50},
};

// A column given entry by entry for its first indices; every later index repeats `rest`.
template <std::size_t N, std::size_t H>
constexpr std::array<int32_t, N> padded(const int32_t (&head)[H], int32_t rest) {
    static_assert(H <= N);
    std::array<int32_t, N> column{};
    for (std::size_t i = 0; i < N; ++i) column[i] = i < H ? head[i] : rest;
    return column;
}

// Rows 136 to 235; indices 0 and 1 are fixed. The curve dips from 334 at 46 to 330 at 47.
constexpr Columns<100> kKingSafety = {
    padded<100>({0,   0,   1,   3,   4,   6,   7,   11,  13,  14,  20,  24,  25,  29,  33,  38,
                 40,  46,  50,  56,  62,  68,  75,  82,  85,  89,  95,  105, 113, 122, 131, 140,
                 150, 169, 180, 191, 202, 213, 225, 237, 248, 260, 272, 283, 295, 307, 334, 330,
                 354, 354, 366, 377, 389, 412, 424, 436, 448, 459, 471, 483, 494, 500},
                500),
    padded<100>({0,   0,   0,   0,   0,   3,   5,   7,   9,   12,  12,  15,  20,  26,  30,  35,
                 39,  44,  50,  56,  62,  68,  75,  82,  85,  89,  97,  105, 113, 122, 131, 140,
                 150, 169, 180, 191, 202, 213, 225, 237, 248, 260, 272, 283, 295, 307, 319, 330,
                 342, 354, 366, 377, 389, 401, 412, 424, 436, 448, 459, 471, 483, 494},
                494),
    padded<100>({0,   0,   5,   5,   5,   7,   9,   12,  15,  18,  22,  26,  30,  35,  39,  44,
                 50,  56,  62,  68,  75,  82,  85,  89,  97,  105, 113, 122, 131, 140, 150, 169,
                 180, 191, 202, 213, 225, 237, 248, 260, 272, 283, 295, 307, 319, 330, 342, 354,
                 366, 377, 389, 401, 412, 424, 436, 448, 459, 471, 483, 494, 500},
                510),
};

// Rows 236 to 244.
constexpr ScalarRow kMobility[] = {
    {SCALAR(P_NmobMg), 3, 1, 10}, {SCALAR(P_BmobMg), 3, 1, 10}, {SCALAR(P_RmobMg), 3, 1, 10},
    {SCALAR(P_QmobMg), 0, 1, 10}, {SCALAR(P_NmobEg), 3, 1, 10}, {SCALAR(P_BmobEg), 1, 1, 10},
    {SCALAR(P_RmobEg), 3, 1, 10}, {SCALAR(P_QmobEg), 1, 1, 10}, {SCALAR(P_SideToMove), 9, 5, 30},
};

#undef SCALAR

// ---------------------------------------------------------------------------------------------
// Assembling the rows. Everything below runs at compile time; a mistake in the row count or a
// name that does not fit stops the build.
// ---------------------------------------------------------------------------------------------

using Table = std::array<EvalParam, EVAL_PARAM_COUNT>;

class TableBuilder {
  public:
    constexpr void scalars(const auto& rows) {
        for (const ScalarRow& r : rows) add(r.var, r.name, -1, r.value, r.min, r.max, r.step);
    }

    // Adds one row per element of `vars`, named "name[i]"; the listed indices get step 0.
    template <std::size_t N>
    constexpr void family(int32_t (&vars)[N], std::string_view name, const Columns<N>& columns,
                          std::initializer_list<int> fixed) {
        for (std::size_t i = 0; i < N; ++i) {
            int16_t step = 1;
            for (int f : fixed)
                if (static_cast<std::size_t>(f) == i) step = 0;
            add(&vars[i], name, static_cast<int>(i), columns.value[i], columns.min[i],
                columns.max[i], step);
        }
    }

    constexpr void knightOutposts() {
        Columns<64> columns{};
        std::array<bool, 64> tunable{};
        for (const OutpostSquare& sq : kKnightOutposts) {
            const auto s = static_cast<std::size_t>(sq.square);
            columns.value[s] = sq.value;
            columns.min[s] = sq.min;
            columns.max[s] = sq.max;
            tunable[s] = true;
        }
        for (std::size_t s = 0; s < 64; ++s)
            add(&PT_KnightOutpost[s], "PT_KnightOutpost", static_cast<int>(s), columns.value[s],
                columns.min[s], columns.max[s], tunable[s] ? 1 : 0);
    }

    constexpr Table finish() const {
        if (count_ != EVAL_PARAM_COUNT) throw "parameter table has the wrong number of rows";
        for (std::size_t i = 0; i < rows_.size(); ++i)
            for (std::size_t j = i + 1; j < rows_.size(); ++j)
                if (rows_[i].var == rows_[j].var) throw "two rows govern the same variable";
        return rows_;
    }

  private:
    constexpr void add(int32_t* var, std::string_view name, int index, int32_t value, int32_t min,
                       int32_t max, int16_t step) {
        if (count_ >= EVAL_PARAM_COUNT) throw "parameter table overflows";
        EvalParam& row = rows_[static_cast<std::size_t>(count_++)];
        row.var = var;
        row.value = value;
        row.min = min;
        row.max = max;
        row.best = 0;
        row.step = step;
        row.tune = 0;
        writeName(row.name, name, index);
    }

    // Writes "name" or "name[index]", NUL-terminated; the rest of the field stays zero.
    static constexpr void writeName(char (&out)[sizeof(EvalParam::name)], std::string_view name,
                                    int index) {
        std::size_t n = 0;
        auto put = [&](char c) {
            if (n + 1 >= sizeof(out)) throw "parameter name too long";
            out[n++] = c;
        };
        for (char c : name) put(c);
        if (index >= 0) {
            char digits[12]{};
            int len = 0;
            do {
                digits[len++] = static_cast<char>('0' + index % 10);
                index /= 10;
            } while (index > 0);
            put('[');
            while (len > 0) put(digits[--len]);
            put(']');
        }
        out[n] = '\0';
    }

    Table rows_{};
    int count_ = 0;
};

constexpr Table buildTable() {
    TableBuilder b;
    b.scalars(kMaterialAndPawns);
    b.family(PT_PawnPassed, "PT_PawnPassed", kPawnPassed, {0, 7});
    b.family(PT_PawnEnding, "PT_PawnEnding", kPawnEnding, {0, 1});
    b.scalars(kTrappedKnight);
    b.knightOutposts();
    b.scalars(kPieces);
    b.family(PT_KnightDelta, "PT_KnightDelta", kKnightDelta, {});
    b.family(PT_RookDelta, "PT_RookDelta", kRookDelta, {});
    b.scalars(kKingAttack);
    b.family(PT_KingSafety, "PT_KingSafety", kKingSafety, {0, 1});
    b.scalars(kMobility);
    return b.finish();
}

constexpr Table kInitialTable = buildTable();

} // namespace

// The rows are copied one by one from the compile-time table so that EvalParamTable is
// constant-initialised: it is complete before any code of the program runs. 245 = 7 * 35.
#define ROW(i) kInitialTable[i]
#define ROWS5(i) ROW(i), ROW(i + 1), ROW(i + 2), ROW(i + 3), ROW(i + 4)
#define ROWS35(i)                                                                                  \
    ROWS5(i), ROWS5(i + 5), ROWS5(i + 10), ROWS5(i + 15), ROWS5(i + 20), ROWS5(i + 25),            \
        ROWS5(i + 30)

static_assert(EVAL_PARAM_COUNT == 7 * 35);
constinit EvalParam EvalParamTable[EVAL_PARAM_COUNT] = {
    ROWS35(0), ROWS35(35), ROWS35(70), ROWS35(105), ROWS35(140), ROWS35(175), ROWS35(210),
};

#undef ROWS35
#undef ROWS5
#undef ROW

void ResetEvalParams() {
    for (const EvalParam& row : EvalParamTable) *row.var = row.value;
}
