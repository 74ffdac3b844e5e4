// The tuner: the preparation filters and files, the error over several threads, the optimiser on
// a bowl of known bottom. Every test runs in a fresh temporary working directory and puts the
// parameter table and the settings back afterwards.
#include "tuning/tuner.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "board/fen.h"
#include "config/settings.h"
#include "eval/params.h"
#include "search/thread.h"

namespace {

namespace fs = std::filesystem;

// Quiet positions the preparation keeps; Black to move is stalemated in the last.
constexpr const char* kQuiet1 =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - 4 4";
constexpr const char* kQuiet2 =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R b KQkq - 4 4";
constexpr const char* kQuiet3 = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R2QKB1R w KQ - 0 8";
constexpr const char* kPawnUp = "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 w - - 0 1";
constexpr const char* kPawnUpBlack = "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 b - - 0 1";
constexpr const char* kStalemate = "k7/8/1Q6/7p/7P/8/6PP/7K b - - 0 1";

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

template <typename F> std::string capture(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

class TunerTest : public testing::Test {
  protected:
    void SetUp() override {
        std::memcpy(static_cast<void*>(saved_table_), EvalParamTable, sizeof saved_table_);
        saved_settings_ = settings;
        ResetEvalParams();
        settings.threads = 2;
        thread_ = std::make_unique<SearchThread>();
        new_game(thread_->stack);
        ASSERT_NE(nullptr, getcwd(old_dir_, sizeof old_dir_));
        std::string pattern = (fs::temp_directory_path() / "tuner-test-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        ASSERT_EQ(0, chdir(dir_.c_str()));
    }
    void TearDown() override {
        if (chdir(old_dir_) != 0) ADD_FAILURE() << "cannot return to the old directory";
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
        std::memcpy(static_cast<void*>(EvalParamTable), saved_table_, sizeof saved_table_);
        ResetEvalParams();
        settings = saved_settings_;
    }

    std::unique_ptr<SearchThread> thread_;
    EvalParam saved_table_[EVAL_PARAM_COUNT];
    Settings saved_settings_;
    char old_dir_[4096];
    std::string dir_;
};
using TunerDeathTest = TunerTest;

} // namespace

TEST_F(TunerTest, TexelPreparationSortsLinesByReason) {
    const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    const std::string six_pieces = "4k3/8/8/8/8/8/2PPPP2/4K3 w - - 0 1";
    const std::string in_check = "4k3/8/8/8/8/8/PPPP4/r3K3 w - - 0 1";
    const std::string hanging_queen = "4k3/8/8/3q4/4P3/8/PPP5/4K3 w - - 0 1";
    const std::string overlong(400, 'x'); // longer than a line may be
    const std::string kept = std::string(kStalemate) + ";1/2-1/2;\n" + kQuiet1 + ";1/2-1/2;\n" +
                             kQuiet2 + ";0-1;\n" + kQuiet3 + ";1-0;\n" + kPawnUp + ";1-0;\n";
    write_file("input.epd", start + ";1/2-1/2;\nnot a fen;1-0;\n" + six_pieces + ";1-0;\n" +
                                in_check + ";0-1;\n" + hanging_queen + ";1-0;\n" + kept + overlong +
                                ";1-0;\n" + kPawnUpBlack + "\n"); // no result: a loss
    capture([&] { tune_texel_prepare(*thread_); });

    EXPECT_EQ(kept + kPawnUpBlack + "\n", read_file("output.csv"));
    EXPECT_EQ(start + ";StartPos;\nnot a fen;BadFEN;\n" + six_pieces + ";EGTB;\n" + in_check +
                  ";inCheck;\n" + hanging_queen + ";noQuiete;\n" + overlong.substr(0, 254) +
                  ";BadFEN;\n",
              read_file("skip.csv"));
    // The game position of the thread is back.
    EXPECT_EQ(start_position().key, thread_->stack.current->key);
}

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
    std::string text;
    for (int i = 0; i < (std::getenv("BRONTAVEL_QUICK") ? 5000 : 9000); ++i)
        text += std::string(fens[i % 6]) + ";" + results[i % 7 % 3] + ";\n";
    write_file("output.csv", text);
    settings.threads = 1;
    const double one = TuneErrorSigmoid(*thread_);
    settings.threads = 3;
    EXPECT_EQ(one, TuneErrorSigmoid(*thread_));
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

// Every weight the optimiser listed ("name value direction"), at every iteration, lies inside
// its row's range; gives the number of listed values.
int expect_listed_weights_in_range(const std::string& out) {
    std::istringstream in(out);
    int listed = 0;
    for (std::string line; std::getline(in, line);) {
        char name[128];
        int value = 0;
        double direction = 0;
        if (std::sscanf(line.c_str(), "%127s %d %lf", name, &value, &direction) != 3) continue;
        for (const EvalParam& p : EvalParamTable) {
            if (std::strcmp(p.name, name) != 0) continue;
            ++listed;
            EXPECT_GE(value, p.min) << line;
            EXPECT_LE(value, p.max) << line;
        }
    }
    return listed;
}

} // namespace

TEST_F(TunerTest, OptimiserReachesTheBottomInsideTheRanges) {
    ASSERT_STREQ("P_Pawn", EvalParamTable[0].name);   // ranges over 40..200
    ASSERT_STREQ("P_Knight", EvalParamTable[1].name); // ranges over 200..500
    struct Case {
        int knight_start, pawn_bottom, knight_bottom, pawn_end, knight_end;
    } cases[] = {
        {330, 150, 320, 150, 320}, // far up and a little down
        {330, 83, 331, 83, 331},   // small steps both
        {330, 300, 100, 200, 200}, // both bottoms beyond the ranges
        {150, 81, 260, 81, 260},   // a start below the range
    };
    EvalParamTable[0].tune = EvalParamTable[1].tune = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pawn_bottom << " " << c.knight_bottom);
        EvalParamTable[0].value = 81;
        EvalParamTable[1].value = c.knight_start;
        bowl_bottom[0] = c.pawn_bottom;
        bowl_bottom[1] = c.knight_bottom;
        const std::string out =
            capture([&] { TuneOptimize(*thread_, bowl_error, TUNE_STOP_SEARCH_SCORE); });
        EXPECT_NEAR(c.pawn_end, EvalParamTable[0].value, 1);
        EXPECT_NEAR(c.knight_end, EvalParamTable[1].value, 1);
        EXPECT_GT(expect_listed_weights_in_range(out), 2);
    }
    // Uphill, or only against a bound: the line search finds no descent and leaves the table.
    bowl_bottom[0] = 100;
    EvalParamTable[1].tune = 0;
    double direction[EVAL_PARAM_COUNT] = {};
    for (int start : {81, 200}) {
        EvalParamTable[0].value = start;
        direction[0] = start == 200 ? 3 : -3;
        capture([&] { EXPECT_EQ(1, TuneLineSearch(*thread_, bowl_error, direction)); });
        EXPECT_EQ(start, EvalParamTable[0].value);
    }
}
