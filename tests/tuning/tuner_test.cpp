// The tuner: preparation filters and files, the error functions, the line search and the
// optimiser's edge cases. Every test runs in a fresh temporary working directory and puts the
// parameter table, the evaluation variables and the settings back afterwards.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "board/fen.h"
#include "config/settings.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "search/flags.h"
#include "search/search.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tuning/tuner.h"

namespace {

namespace fs = std::filesystem;

// Quiet middle-game and ending positions the tests keep.
constexpr const char* kQuiet1 =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - 4 4";
constexpr const char* kQuiet2 =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R b KQkq - 4 4";
constexpr const char* kQuiet3 = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R2QKB1R w KQ - 0 8";
constexpr const char* kPawnUp = "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 w - - 0 1";
constexpr const char* kPawnUpBlack = "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 b - - 0 1";
// Rejected positions, one for each reason.
constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* kSixPieces = "4k3/8/8/8/8/8/2PPPP2/4K3 w - - 0 1";
constexpr const char* kInCheck = "4k3/8/8/8/8/8/PPPP4/r3K3 w - - 0 1";
constexpr const char* kHangingQueen = "4k3/8/8/3q4/4P3/8/PPP5/4K3 w - - 0 1";
// Black to move is stalemated, and mated.
constexpr const char* kStalemate = "k7/8/1Q6/7p/7P/8/6PP/7K b - - 0 1";
constexpr const char* kMated = "k7/1Q6/1K6/8/8/8/8/8 b - - 0 1";

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

int find_row(const char* name) {
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i)
        if (std::strcmp(EvalParamTable[i].name, name) == 0) return i;
    return -1;
}

// Every weight the optimiser listed, at every iteration, lies inside its row's range; gives the
// number of listed values.
int expect_listed_weights_in_range(const std::string& out) {
    std::istringstream in(out);
    int listed = 0;
    for (std::string line; std::getline(in, line);) {
        char name[128];
        int value = 0;
        double direction = 0;
        if (std::sscanf(line.c_str(), "%127s %d %lf", name, &value, &direction) != 3) continue;
        const int row = find_row(name);
        if (row < 0) continue;
        ++listed;
        EXPECT_GE(value, EvalParamTable[row].min) << line;
        EXPECT_LE(value, EvalParamTable[row].max) << line;
    }
    return listed;
}

class TunerTest : public testing::Test {
  protected:
    void SetUp() override {
        std::memcpy(static_cast<void*>(saved_table_), EvalParamTable, sizeof saved_table_);
        saved_settings_ = settings;
        ResetEvalParams();
        testing::internal::CaptureStdout();
        tt_allocate(1 << 14, 1);
        testing::internal::GetCapturedStdout();
        settings.threads = 2;
        search_flags.stop = 0;
        search_flags.abort = 0;
        thread_ = std::make_unique<SearchThread>();
        new_game(thread_->stack);

        ASSERT_NE(nullptr, getcwd(old_dir_, sizeof old_dir_));
        std::string pattern = (fs::temp_directory_path() / "tuner-test-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        ASSERT_EQ(0, chdir(dir_.c_str()));
    }

    void TearDown() override {
        // Back out of the directory even when the test failed half-way.
        if (chdir(old_dir_) != 0) ADD_FAILURE() << "cannot return to the old directory";
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
        std::memcpy(static_cast<void*>(EvalParamTable), saved_table_, sizeof saved_table_);
        ResetEvalParams();
        settings = saved_settings_;
    }

    // Runs a console entry point and returns what it printed.
    std::string run(void (*command)(SearchThread&)) {
        testing::internal::CaptureStdout();
        command(*thread_);
        return testing::internal::GetCapturedStdout();
    }

    template <typename F> std::string capture(F f) {
        testing::internal::CaptureStdout();
        f();
        return testing::internal::GetCapturedStdout();
    }

    // The static evaluation of a FEN from the side to move's view.
    int eval_of(const char* fen) {
        SearchThread t;
        EXPECT_EQ(1, read_fen(t.stack, fen, nullptr)) << fen;
        return evaluate(t);
    }

    int row_of(const char* name) {
        const int row = find_row(name);
        EXPECT_GE(row, 0) << name;
        return std::max(row, 0);
    }

    std::unique_ptr<SearchThread> thread_;

  private:
    EvalParam saved_table_[EVAL_PARAM_COUNT];
    Settings saved_settings_;
    char old_dir_[4096];
    std::string dir_;
};

// A data set with one line for every rejection reason, a few kept lines and some malformed ones.
std::string mixed_input() {
    std::string s;
    s += std::string(kStart) + ";1/2-1/2;\n";
    s += "not a fen;1-0;\n";
    s += std::string(kSixPieces) + ";1-0;\n";
    s += std::string(kInCheck) + ";0-1;\n";
    s += std::string(kHangingQueen) + ";1-0;\n";
    s += std::string(kStalemate) + ";1/2-1/2;\n";
    s += std::string(kQuiet1) + ";1/2-1/2;\n";
    s += std::string(kQuiet2) + ";0-1;\n";
    s += std::string(kQuiet3) + ";1-0;\n";
    s += std::string(400, 'x') + ";1-0;\n"; // longer than a line may be
    s += std::string(kPawnUp) + ";1-0;\n";
    s += std::string(kPawnUpBlack) + "\n"; // no result field: a loss
    return s;
}

} // namespace

TEST_F(TunerTest, TexelPreparationSortsLinesByReason) {
    write_file("input.epd", mixed_input());
    const std::string out = run(tune_texel_prepare);

    EXPECT_EQ(std::string(kStalemate) + ";1/2-1/2;\n" + kQuiet1 + ";1/2-1/2;\n" + kQuiet2 +
                  ";0-1;\n" + kQuiet3 + ";1-0;\n" + kPawnUp + ";1-0;\n" + kPawnUpBlack + "\n",
              read_file("output.csv"));
    EXPECT_EQ(std::string(kStart) + ";StartPos;\nnot a fen;BadFEN;\n" + kSixPieces + ";EGTB;\n" +
                  kInCheck + ";inCheck;\n" + kHangingQueen + ";noQuiete;\n" +
                  std::string(254, 'x') + ";BadFEN;\n",
              read_file("skip.csv"));

    EXPECT_NE(std::string::npos,
              out.find("Texel Tuning First Stage completed\nProcessed positions: 12\n"
                       "Skipped   positions: 6\n"));
    // The game position of the thread is back.
    EXPECT_EQ(start_position().key, thread_->stack.current->key);
}

using TunerDeathTest = TunerTest;

TEST_F(TunerDeathTest, MissingInputLeavesTheFilesOfAnEarlierStage) {
    write_file("output.csv", "kept;1-0;\n");
    write_file("skip.csv", "skipped;BadFEN;\n");
    for (auto command : {tune_texel_prepare, tune_td1, tune_td2}) {
        EXPECT_EXIT(command(*thread_), testing::ExitedWithCode(1), "");
        EXPECT_EQ("kept;1-0;\n", read_file("output.csv"));
        EXPECT_EQ("skipped;BadFEN;\n", read_file("skip.csv"));
    }
}

TEST_F(TunerTest, ErrorDoesNotDependOnTheThreadCount) {
    // Enough lines for several chunks of work.
    const char* fens[] = {kQuiet1, kQuiet2, kQuiet3, kPawnUp, kPawnUpBlack, kStalemate};
    const char* results[] = {"1-0", "0-1", "1/2-1/2"};
    const int lines = std::getenv("BRONTAVEL_QUICK") ? 5000 : 9000;
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += std::string(fens[i % 6]) + ";" + results[i % 7 % 3] + ";\n";
    write_file("output.csv", text);
    settings.threads = 1;
    const double one = TuneErrorSigmoid(*thread_);
    settings.threads = 3;
    const double three = TuneErrorSigmoid(*thread_);
    EXPECT_EQ(one, three);
    EXPECT_GT(one, 0.0);
}

namespace {

// A bowl in P_Pawn and P_Knight with its bottom at bowl_bottom, on the scale of a search-score
// error (centipawns): the gradient (x 1000) is in the thousands.
int bowl_bottom[2];
double bowl_error(SearchThread&) {
    const double x = EvalParamTable[0].value - bowl_bottom[0],
                 y = EvalParamTable[1].value - bowl_bottom[1];
    return x * x + y * y;
}

} // namespace

TEST_F(TunerTest, OptimiserReachesTheBottomInsideTheRanges) {
    // P_Pawn may range over 40..200, P_Knight over 200..500.
    struct Case {
        int knight_start, pawn_bottom, knight_bottom, pawn_end, knight_end;
    } cases[] = {
        {330, 150, 320, 150, 320}, // far up and a little down
        {330, 83, 331, 83, 331},   // small steps both
        {330, 300, 100, 200, 200}, // both bottoms beyond the ranges
        {150, 81, 260, 81, 260},   // a start below the range
    };
    const int pawn = row_of("P_Pawn"), knight = row_of("P_Knight");
    ASSERT_EQ(0, pawn);
    ASSERT_EQ(1, knight);
    EvalParamTable[pawn].tune = EvalParamTable[knight].tune = 1;
    for (const Case& c : cases) {
        EvalParamTable[pawn].value = 81;
        EvalParamTable[knight].value = c.knight_start;
        bowl_bottom[0] = c.pawn_bottom;
        bowl_bottom[1] = c.knight_bottom;
        const std::string out =
            capture([&] { TuneOptimize(*thread_, bowl_error, TUNE_STOP_SEARCH_SCORE); });
        EXPECT_NEAR(c.pawn_end, EvalParamTable[pawn].value, 1) << c.pawn_bottom;
        EXPECT_NEAR(c.knight_end, EvalParamTable[knight].value, 1) << c.knight_bottom;
        EXPECT_GT(expect_listed_weights_in_range(out), 2);
    }

    // The gradient is the forward difference times 1000.
    bowl_bottom[0] = 100;
    double gradient[EVAL_PARAM_COUNT], direction[EVAL_PARAM_COUNT] = {};
    TuneGradient(*thread_, bowl_error, gradient);
    EXPECT_NEAR((1.0 - 2 * (100 - EvalParamTable[pawn].value)) * 1000, gradient[pawn], 1e-9);
    EXPECT_EQ(0.0, gradient[2]);
    // Uphill, or only against a bound: no descent and the table unchanged.
    EvalParamTable[knight].tune = 0;
    for (int start : {81, 200}) {
        EvalParamTable[pawn].value = start;
        direction[pawn] = start == 200 ? 3 : -3;
        const std::string out =
            capture([&] { EXPECT_EQ(1, TuneLineSearch(*thread_, bowl_error, direction)); });
        EXPECT_EQ(start == 200 ? "derA  0.000000\n" : "derA  -39.000000\n", out) << start;
        EXPECT_EQ(start, EvalParamTable[pawn].value);
    }
}

TEST_F(TunerTest, SwitchFileNamesRowsAndFamilies) {
    write_file("tune.txt", "P_Rook\r\n  PT_PawnPassed \nP_King\nP_Nothing\n# comment\n\n");
    int switched = 0;
    const std::string out = capture([&] { switched = TuneApplySwitchFile(); });
    // P_Rook and the six movable PawnPassed rows; P_King has step 0.
    EXPECT_EQ(7, switched);
    EXPECT_EQ("tune.txt: unknown parameter P_Nothing\n", out);
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
        const std::string name = EvalParamTable[i].name;
        const bool on =
            name == "P_Rook" || (name.rfind("PT_PawnPassed[", 0) == 0 &&
                                 name != "PT_PawnPassed[0]" && name != "PT_PawnPassed[7]");
        EXPECT_EQ(on ? 1 : 0, EvalParamTable[i].tune) << name;
    }
    fs::remove("tune.txt");
    EXPECT_EQ(-1, TuneApplySwitchFile());
}
