// The weight table and the EvalFile loader: a good file, a missing or unreadable one, damaged
// lines, the tuner's own output and the shipped file read back.
#include <cstring>
#include <set>
#include <tuple>

#include "config/config_fixture.h"
#include "eval/params.h"
#include "tuning/tuner.h"

namespace {

// The weight table and its variables are put back after each test.
class EvalFileTest : public ScratchDir {
  protected:
    void SetUp() override {
        std::memcpy(static_cast<void*>(saved_), EvalParamTable, sizeof saved_);
        ResetEvalParams();
        ScratchDir::SetUp();
    }
    void TearDown() override {
        ScratchDir::TearDown();
        std::memcpy(static_cast<void*>(EvalParamTable), saved_, sizeof saved_);
        ResetEvalParams();
    }
    bool defaults_kept() const {
        for (int i = 0; i < EVAL_PARAM_COUNT; ++i)
            if (EvalParamTable[i].value != saved_[i].value || *saved_[i].var != saved_[i].value)
                return false;
        return true;
    }

    EvalParam saved_[EVAL_PARAM_COUNT];
    std::string message_;
};

TEST_F(EvalFileTest, EachRowGovernsOneVariableAndResetInstallsTheValues) {
    std::set<const int32_t*> vars;
    for (const EvalParam& row : EvalParamTable) {
        ASSERT_LT(strnlen(row.name, sizeof(row.name)), sizeof(row.name)) << "unterminated name";
        vars.insert(row.var);
        *row.var = -12345;
    }
    EXPECT_EQ(static_cast<size_t>(EVAL_PARAM_COUNT), vars.size());
    EvalParamTable[4].value = 2000; // the tuner edits values in place, even beyond the range
    ResetEvalParams();
    EXPECT_EQ(2000, P_Queen);
    for (const EvalParam& row : EvalParamTable) EXPECT_EQ(row.value, *row.var) << row.name;
}

TEST_F(EvalFileTest, GoodFileIsApplied) {
    write("# tuned\r\n\r\n; note\nP_SideToMove;12;\r\n  PT_PawnPassed[3] ; 25\nP_Rook;600;  \n",
          "w.csv");
    ASSERT_TRUE(load_eval_file("w.csv", message_)) << message_;
    EXPECT_EQ("EvalFile w.csv: 3 weights loaded", message_);
    EXPECT_EQ((std::tuple{12, 25, 600, 81}),
              std::tie(P_SideToMove, PT_PawnPassed[3], P_Rook, P_Pawn));
    EXPECT_EQ(600, EvalParamTable[3].value); // the tuner starts from the loaded value
}

TEST_F(EvalFileTest, MissingUnreadableOrDamagedFileKeepsDefaults) {
    write(std::string(EVAL_FILE_MAX_BYTES + 1, '\n'), "big.csv");
    for (const auto& [file, why] : {std::pair{"none.csv", " not found"},
                                    {".", " cannot be read"},
                                    {"big.csv", " is larger than 1 MB"}}) {
        EXPECT_FALSE(load_eval_file(file, message_));
        EXPECT_EQ("EvalFile " + std::string(file) + why + ": built-in weights used", message_);
    }
    EXPECT_TRUE(defaults_kept());
    // One damaged line refuses the whole file.
    const struct {
        std::string line, why;
        int number = 2; // line of the refusal
    } cases[] = {
        {"P_Rooks;500;", "unknown weight P_Rooks"},
        {"PT_PawnPassed;3;", "unknown weight PT_PawnPassed"},
        {"P_Rook;", "no number for P_Rook"},
        {"P_Rook", "no number for P_Rook"},
        {"P_Rook;500x;", "characters after the value of P_Rook"},
        {"P_Rook;500;7", "characters after the value of P_Rook"},
        {"P_Rook;" + std::string(300, '5'), "line too long"},
        {"P_Rook;651;", "value of P_Rook outside its range 350..650"},
        {"P_Rook;-99999999999999999999;", "value of P_Rook outside its range 350..650"},
        {"P_King;10000;", "value of P_King outside its range 10000..0"},
        {"\n#\nP_Pawn;90;", "P_Pawn given again (first on line 1)", 4},
        {std::string(EVAL_FILE_MAX_LINES, '\n'), "more than 4096 lines", 4097},
    };
    for (const auto& c : cases) {
        write("P_Pawn;90;\n" + c.line + "\nP_Knight;400;\n", "w.csv");
        EXPECT_FALSE(load_eval_file("w.csv", message_)) << c.line;
        EXPECT_EQ("EvalFile w.csv line " + std::to_string(c.number) + ": " + c.why +
                      "; file refused, built-in weights used",
                  message_);
        EXPECT_TRUE(defaults_kept()) << c.line;
    }
}

TEST_F(EvalFileTest, TunerOutputRoundTrips) {
    const int rows[] = {0, 18, 140,
                        244}; // P_Pawn, PT_PawnPassed[3], PT_KingSafety[4], P_SideToMove
    for (int r : rows) {
        EvalParamTable[r].tune = 1;
        EvalParamTable[r].best = EvalParamTable[r].max;
    }
    testing::internal::CaptureStdout();
    WriteTunedParams();
    testing::internal::GetCapturedStdout();
    for (int r : rows) EvalParamTable[r].tune = 0;
    ASSERT_TRUE(load_eval_file("tuned.csv", message_)) << message_;
    EXPECT_EQ("EvalFile tuned.csv: 4 weights loaded", message_);
    for (int r : rows) EXPECT_EQ(EvalParamTable[r].max, *EvalParamTable[r].var) << r;
}

// The weight file shipped beside the settings file loads whole: every name known, every value
// inside its weight's range.
TEST_F(EvalFileTest, TheShippedWeightFileLoadsWhole) {
    const std::string path = std::string(BRONTAVEL_SOURCE_DIR) + "/tuned.csv";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    int rows = 0;
    for (std::string line; std::getline(in, line);) rows += !line.empty() && line[0] != '#';
    ASSERT_TRUE(load_eval_file(path.c_str(), message_)) << message_;
    EXPECT_EQ("EvalFile " + path + ": " + std::to_string(rows) + " weights loaded", message_);
}

} // namespace
