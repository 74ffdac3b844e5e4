// The table of the named evaluation weights.
#include "eval/params.h"

#include <gtest/gtest.h>

#include <set>

TEST(EvalParams, EachRowGovernsOneVariableAndResetInstallsTheValues) {
    std::set<const int32_t*> vars;
    for (const EvalParam& row : EvalParamTable) {
        ASSERT_LT(strnlen(row.name, sizeof(row.name)), sizeof(row.name)) << "unterminated name";
        vars.insert(row.var);
        *row.var = -12345;
    }
    EXPECT_EQ(static_cast<size_t>(EVAL_PARAM_COUNT), vars.size());
    ResetEvalParams();
    for (const EvalParam& row : EvalParamTable) EXPECT_EQ(row.value, *row.var) << row.name;
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
