#include "eval/params.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Position of the row with this name, or -1.
int rowIndex(const std::string& name) {
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i)
        if (name == EvalParamTable[i].name) return i;
    return -1;
}

// The row order and the variable each row governs, written out independently of the table.
struct ExpectedRow {
    std::string name;
    int32_t* var;
};

std::vector<ExpectedRow> expectedRows() {
    std::vector<ExpectedRow> rows;
    auto family = [&rows](const char* name, int32_t* vars, int size) {
        for (int i = 0; i < size; ++i)
            rows.push_back({std::string(name) + "[" + std::to_string(i) + "]", &vars[i]});
    };
#define SCALAR(v) rows.push_back({#v, &v})
    SCALAR(P_Pawn);
    SCALAR(P_Knight);
    SCALAR(P_Bishop);
    SCALAR(P_Rook);
    SCALAR(P_Queen);
    SCALAR(P_King);
    SCALAR(P_BackwardPawn);
    SCALAR(P_PawnIsolated);
    SCALAR(P_PawnDoubled);
    SCALAR(P_KingSupport);
    SCALAR(P_KingShield1);
    SCALAR(P_KingShield2);
    SCALAR(P_bigChainScore);
    SCALAR(P_smallChainScore);
    SCALAR(P_CandidatePawnOn5th);
    family("PT_PawnPassed", PT_PawnPassed, 8);
    family("PT_PawnEnding", PT_PawnEnding, 9);
    SCALAR(P_TrappedKnight);
    family("PT_KnightOutpost", PT_KnightOutpost, 64);
    SCALAR(P_BishopPair);
    SCALAR(P_TrappedBishop);
    SCALAR(P_BishopBigOpenDiag);
    SCALAR(P_BishopFianchetto);
    SCALAR(P_BishopOutpost);
    SCALAR(P_ColorWeakness);
    SCALAR(P_Rook7th);
    SCALAR(P_RookSemiOpenFile);
    SCALAR(P_RookOpenFile);
    SCALAR(P_TarraschRule);
    SCALAR(P_TrappedRook);
    SCALAR(P_RookOutpost);
    SCALAR(P_oQueenRookFile);
    SCALAR(P_Queen7th);
    family("PT_KnightDelta", PT_KnightDelta, 9);
    family("PT_RookDelta", PT_RookDelta, 9);
    SCALAR(P_Endgame);
    SCALAR(P_KnightAttWeight);
    SCALAR(P_BishopAttWeight);
    SCALAR(P_RookAttWeight);
    SCALAR(P_QueenAttWeight);
    SCALAR(P_PawnAttWeight);
    SCALAR(P_AbsolutePins);
    family("PT_KingSafety", PT_KingSafety, 100);
    SCALAR(P_NmobMg);
    SCALAR(P_BmobMg);
    SCALAR(P_RmobMg);
    SCALAR(P_QmobMg);
    SCALAR(P_NmobEg);
    SCALAR(P_BmobEg);
    SCALAR(P_RmobEg);
    SCALAR(P_QmobEg);
    SCALAR(P_SideToMove);
#undef SCALAR
    return rows;
}

// Overwrites every variable so that a later reset has to install each default itself.
void scribbleOverVariables() {
    for (const EvalParam& row : EvalParamTable) *row.var = -12345;
}

} // namespace

TEST(EvalParams, RowsAreInOrderAndGovernTheNamedVariables) {
    ASSERT_EQ(EVAL_PARAM_COUNT, 245);
    ASSERT_EQ(sizeof(EvalParamTable) / sizeof(EvalParamTable[0]), 245u);

    const std::vector<ExpectedRow> expected = expectedRows();
    ASSERT_EQ(expected.size(), 245u);
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(std::string(EvalParamTable[i].name), expected[static_cast<std::size_t>(i)].name);
        EXPECT_EQ(EvalParamTable[i].var, expected[static_cast<std::size_t>(i)].var);
    }

    // The rows the tuner and the evaluation rely on by position.
    EXPECT_STREQ(EvalParamTable[0].name, "P_Pawn");
    EXPECT_EQ(EvalParamTable[0].var, &P_Pawn);
    EXPECT_STREQ(EvalParamTable[15].name, "PT_PawnPassed[0]");
    EXPECT_EQ(EvalParamTable[15].var, &PT_PawnPassed[0]);
    EXPECT_STREQ(EvalParamTable[32].name, "P_TrappedKnight");
    EXPECT_STREQ(EvalParamTable[96].name, "PT_KnightOutpost[63]");
    EXPECT_STREQ(EvalParamTable[136].name, "PT_KingSafety[0]");
    EXPECT_EQ(EvalParamTable[136].var, &PT_KingSafety[0]);
    EXPECT_STREQ(EvalParamTable[235].name, "PT_KingSafety[99]");
    EXPECT_EQ(EvalParamTable[235].var, &PT_KingSafety[99]);
    EXPECT_STREQ(EvalParamTable[244].name, "P_SideToMove");
    EXPECT_EQ(EvalParamTable[244].var, &P_SideToMove);
}

TEST(EvalParams, VariablesAndNamesAreDistinctAndNamesFitTheField) {
    std::set<const int32_t*> vars;
    std::set<std::string> names;
    for (const EvalParam& row : EvalParamTable) {
        ASSERT_NE(row.var, nullptr);
        vars.insert(row.var);
        const std::size_t len = strnlen(row.name, sizeof(row.name));
        ASSERT_LT(len, sizeof(row.name)) << "name is not NUL-terminated";
        ASSERT_GT(len, 0u);
        names.insert(row.name);
    }
    EXPECT_EQ(vars.size(), 245u);
    EXPECT_EQ(names.size(), 245u);
}

TEST(EvalParams, ResetInstallsEveryDefaultWithoutClamping) {
    scribbleOverVariables();
    ResetEvalParams();
    for (const EvalParam& row : EvalParamTable) EXPECT_EQ(*row.var, row.value) << row.name;

    // Defaults that lie outside their own tuning range survive the reset unchanged.
    EXPECT_EQ(P_King, 10000);
    EXPECT_EQ(P_BishopBigOpenDiag, 4);
    EXPECT_EQ(PT_KnightOutpost[33], 9);
    EXPECT_EQ(PT_KnightDelta[8], 7);
    EXPECT_EQ(P_QmobMg, 0);
    EXPECT_EQ(PT_KingSafety[26], 95);

    // A few defaults read straight through the variables.
    EXPECT_EQ(P_Pawn, 81);
    EXPECT_EQ(P_Queen, 1071);
    EXPECT_EQ(PT_PawnEnding[8], 700);
    EXPECT_EQ(PT_KingSafety[46], 334);
    EXPECT_EQ(PT_KingSafety[47], 330);
    EXPECT_EQ(PT_KingSafety[99], 500);
    EXPECT_EQ(P_SideToMove, 9);
}

TEST(EvalParams, ResetTakesTheCurrentValueOfEachRow) {
    // The tuner edits `value` in place and resets to measure; the reset must follow the edit.
    EvalParam& queen = EvalParamTable[4];
    const int32_t saved = queen.value;
    queen.value = 2000; // above max: still installed as is
    ResetEvalParams();
    EXPECT_EQ(P_Queen, 2000);
    queen.value = saved;
    ResetEvalParams();
    EXPECT_EQ(P_Queen, 1071);
}

TEST(EvalParams, OnlyTheKnownRowsHaveDefaultsOutsideTheirRange) {
    std::set<std::string> outside;
    for (const EvalParam& row : EvalParamTable)
        if (row.value < row.min || row.value > row.max) outside.insert(row.name);
    const std::set<std::string> expected = {
        "P_King",   "P_BishopBigOpenDiag", "PT_KnightOutpost[33]", "PT_KnightDelta[8]",
        "P_QmobMg", "PT_KingSafety[26]"};
    EXPECT_EQ(outside, expected);
}

TEST(EvalParams, TuneAndBestAreZeroInEveryRow) {
    for (const EvalParam& row : EvalParamTable) {
        EXPECT_EQ(row.tune, 0) << row.name;
        EXPECT_EQ(row.best, 0) << row.name;
    }
}

TEST(EvalParams, SpotChecksInEveryFamily) {
    struct Spot {
        const char* name;
        int row;
        int32_t value, min, max;
        int16_t step;
    };
    const Spot spots[] = {
        {"P_Pawn", 0, 81, 40, 200, 1},
        {"P_Queen", 4, 1071, 700, 1500, 1},
        {"P_King", 5, 10000, 10000, 0, 0},
        {"P_smallChainScore", 13, 12, 5, 25, 1},
        {"P_CandidatePawnOn5th", 14, 50, 5, 75, 5},
        {"PT_PawnPassed[0]", 15, 0, 0, 0, 0},
        {"PT_PawnPassed[6]", 21, 89, 60, 180, 1},
        {"PT_PawnPassed[7]", 22, 0, 0, 0, 0},
        {"PT_PawnEnding[1]", 24, 0, 0, 0, 0},
        {"PT_PawnEnding[2]", 25, 101, 90, 110, 1},
        {"PT_PawnEnding[8]", 31, 700, 630, 770, 1},
        {"P_TrappedKnight", 32, 15, 10, 40, 1},
        {"PT_KnightOutpost[0]", 33, 0, 0, 0, 0},
        {"PT_KnightOutpost[24]", 57, 0, 0, 0, 0},
        {"PT_KnightOutpost[25]", 58, 7, 1, 15, 1},
        {"PT_KnightOutpost[33]", 66, 9, 10, 24, 1},
        {"PT_KnightOutpost[44]", 77, 36, 32, 50, 1},
        {"PT_KnightOutpost[46]", 79, 20, 16, 30, 1},
        {"PT_KnightOutpost[47]", 80, 0, 0, 0, 0},
        {"PT_KnightOutpost[63]", 96, 0, 0, 0, 0},
        {"P_BishopPair", 97, 31, 10, 50, 1},
        {"P_BishopBigOpenDiag", 99, 4, 5, 25, 1},
        {"P_oQueenRookFile", 109, 7, 5, 25, 1},
        {"P_Queen7th", 110, 12, 5, 30, 1},
        {"PT_KnightDelta[0]", 111, -19, -30, -10, 1},
        {"PT_KnightDelta[8]", 119, 7, 8, 20, 1},
        {"PT_RookDelta[0]", 120, 12, 10, 20, 1},
        {"PT_RookDelta[8]", 128, -9, -15, -6, 1},
        {"P_Endgame", 129, 5, 1, 10, 1},
        {"P_AbsolutePins", 135, 25, 1, 50, 1},
        {"PT_KingSafety[0]", 136, 0, 0, 0, 0},
        {"PT_KingSafety[1]", 137, 0, 0, 0, 0},
        {"PT_KingSafety[2]", 138, 1, 0, 5, 1},
        {"PT_KingSafety[26]", 162, 95, 97, 113, 1},
        {"PT_KingSafety[46]", 182, 334, 319, 342, 1},
        {"PT_KingSafety[47]", 183, 330, 330, 354, 1},
        {"PT_KingSafety[60]", 196, 494, 483, 500, 1},
        {"PT_KingSafety[61]", 197, 500, 494, 510, 1},
        {"PT_KingSafety[62]", 198, 500, 494, 510, 1},
        {"PT_KingSafety[99]", 235, 500, 494, 510, 1},
        {"P_NmobMg", 236, 3, 1, 10, 1},
        {"P_QmobMg", 239, 0, 1, 10, 1},
        {"P_SideToMove", 244, 9, 5, 30, 1},
    };
    for (const Spot& s : spots) {
        SCOPED_TRACE(s.name);
        const int i = rowIndex(s.name);
        ASSERT_EQ(i, s.row);
        const EvalParam& row = EvalParamTable[i];
        EXPECT_EQ(row.value, s.value);
        EXPECT_EQ(row.min, s.min);
        EXPECT_EQ(row.max, s.max);
        EXPECT_EQ(row.step, s.step);
    }
}

TEST(EvalParams, KingSafetyCurveDipsOnlyBetween46And47) {
    for (int i = 0; i + 1 < 100; ++i) {
        const EvalParam& a = EvalParamTable[136 + i];
        const EvalParam& b = EvalParamTable[137 + i];
        SCOPED_TRACE("PT_KingSafety[" + std::to_string(i) + "]");
        if (i == 46)
            EXPECT_GT(a.value, b.value);
        else
            EXPECT_LE(a.value, b.value);
        EXPECT_LE(a.min, b.min);
        EXPECT_LE(a.max, b.max);
    }
}

// Per group of consecutive rows: the sums of each column and, to catch two entries swapped,
// the sums weighted by the position within the group. Worked out by hand from the lists.
TEST(EvalParams, ColumnSumsPerFamily) {
    struct Sums {
        const char* group;
        int first, last;
        int64_t value, valueWeighted, min, minWeighted, max, maxWeighted;
        int step;
    };
    const Sums groups[] = {
        {"material and pawn scalars", 0, 14, 12471, 58253, 11515, 54732, 3620, 11965, 18},
        {"PT_PawnPassed", 15, 22, 213, 1039, 131, 656, 375, 1860, 6},
        {"PT_PawnEnding", 23, 31, 2793, 16757, 2520, 15120, 3080, 18480, 7},
        {"P_TrappedKnight", 32, 32, 15, 0, 10, 0, 40, 0, 1},
        {"PT_KnightOutpost", 33, 96, 342, 12902, 299, 11327, 566, 20909, 18},
        {"piece scalars", 97, 110, 208, 1068, 132, 567, 575, 3180, 14},
        {"PT_KnightDelta", 111, 119, -38, 57, -82, -52, 14, 266, 9},
        {"PT_RookDelta", 120, 128, 24, -64, -9, -213, 65, 66, 9},
        {"king attack scalars", 129, 135, 45, 205, 7, 21, 110, 450, 7},
        {"PT_KingSafety", 136, 235, 30450, 2052192, 30041, 2026457, 31674, 2114060, 98},
        {"mobility scalars", 236, 244, 26, 123, 13, 68, 110, 520, 9},
    };
    int covered = 0;
    for (const Sums& g : groups) {
        SCOPED_TRACE(g.group);
        int64_t value = 0, valueWeighted = 0, min = 0, minWeighted = 0, max = 0, maxWeighted = 0;
        int step = 0;
        for (int i = g.first; i <= g.last; ++i) {
            const EvalParam& row = EvalParamTable[i];
            const int64_t k = i - g.first;
            value += row.value;
            valueWeighted += k * row.value;
            min += row.min;
            minWeighted += k * row.min;
            max += row.max;
            maxWeighted += k * row.max;
            step += row.step;
        }
        EXPECT_EQ(value, g.value);
        EXPECT_EQ(valueWeighted, g.valueWeighted);
        EXPECT_EQ(min, g.min);
        EXPECT_EQ(minWeighted, g.minWeighted);
        EXPECT_EQ(max, g.max);
        EXPECT_EQ(maxWeighted, g.maxWeighted);
        EXPECT_EQ(step, g.step);
        covered += g.last - g.first + 1;
    }
    EXPECT_EQ(covered, EVAL_PARAM_COUNT);
}
