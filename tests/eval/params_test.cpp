// The table of the 245 named evaluation weights.
#include "eval/params.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(EvalParams, NamedRowsEachGovernOneVariableAndResetInstallsTheirValues) {
    ASSERT_EQ(245, EVAL_PARAM_COUNT);
    std::set<const int32_t*> vars;
    std::set<std::string> names;
    for (const EvalParam& row : EvalParamTable) {
        const std::size_t len = strnlen(row.name, sizeof(row.name));
        ASSERT_LT(len, sizeof(row.name)) << "name is not terminated";
        vars.insert(row.var);
        names.insert(row.name);
        *row.var = -12345;
        EXPECT_EQ(0, row.tune) << row.name; // nothing is tuned as delivered
    }
    EXPECT_EQ(245u, vars.size());
    EXPECT_EQ(245u, names.size());
    // The rows the tuner's switch file names: single weights and the members of families.
    for (const char* name : {"P_Pawn", "PT_PawnPassed[0]", "PT_KingSafety[99]", "P_SideToMove"})
        EXPECT_TRUE(names.count(name)) << name;
    ResetEvalParams();
    for (const EvalParam& row : EvalParamTable) EXPECT_EQ(row.value, *row.var) << row.name;
    EXPECT_EQ(81, P_Pawn);
    // The tuner edits the values in place; a reset follows the edit, even beyond the range.
    EvalParam& queen = EvalParamTable[4];
    ASSERT_EQ(&P_Queen, queen.var);
    const int32_t saved = queen.value;
    queen.value = 2000;
    ResetEvalParams();
    EXPECT_EQ(2000, P_Queen);
    queen.value = saved;
    ResetEvalParams();
}
