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

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

double sigmoid(double q, double k = TUNE_K) {
    return 1.0 / (1.0 + std::pow(10.0, -k * q / 400.0));
}

// The number printed after `label` in `out`.
double number_after(const std::string& out, const std::string& label) {
    const size_t at = out.find(label);
    EXPECT_NE(std::string::npos, at) << label << " in\n" << out;
    return at == std::string::npos ? NAN : std::stod(out.substr(at + label.size()));
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

    // The error over the kept lines, each result against White's view of the evaluation.
    const double kept[][2] = {
        {0.5, static_cast<double>(-eval_of(kStalemate))},
        {0.5, 1.0 * eval_of(kQuiet1)},
        {0.0, -1.0 * eval_of(kQuiet2)},
        {1.0, 1.0 * eval_of(kQuiet3)},
        {1.0, 1.0 * eval_of(kPawnUp)},
        {0.0, -1.0 * eval_of(kPawnUpBlack)},
    };
    double sum = 0;
    for (const auto& k : kept) sum += (k[0] - sigmoid(k[1])) * (k[0] - sigmoid(k[1]));
    const double e = sum / 6;
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "Texel Tuning First Stage completed\nProcessed positions: 12\n"
                  "Skipped   positions: 6\nInitial Overall Error:      %3.6f (%2.2f%%)\n\n",
                  e, std::sqrt(e));
    EXPECT_EQ(expected, out);
    // The game position of the thread is back.
    EXPECT_EQ(start_position().key, thread_->stack.current->key);
}

TEST_F(TunerTest, TexelPreparationRejectsMateSizedEvaluations) {
    // A weight large enough to push a quiet position past the mate bound.
    P_Queen = 25000;
    const char* fen = "4k3/pppp4/8/8/8/8/PPPP4/Q3K3 w - - 0 1";
    write_file("input.epd", std::string(fen) + ";1-0;\n");
    const std::string out = run(tune_texel_prepare);
    EXPECT_EQ(std::string(fen) + ";Mate;\n", read_file("skip.csv"));
    EXPECT_EQ("", read_file("output.csv"));
    EXPECT_NE(std::string::npos, out.find("No position was kept"));
    EXPECT_NE(std::string::npos, out.find("Initial Overall Error:      0.000000 (0.00%)\n"));
}

TEST_F(TunerTest, EmptyInputGivesZeroErrorInEveryPreparation) {
    write_file("input.epd", "");
    for (auto command : {tune_texel_prepare, tune_td1}) {
        const std::string out = run(command);
        EXPECT_NE(std::string::npos, out.find("Processed positions: 0\n")) << out;
        EXPECT_NE(std::string::npos, out.find("Initial Overall Error:      0.000000")) << out;
        EXPECT_EQ("", read_file("output.csv"));
    }
}

TEST_F(TunerTest, SearchScoreStagesLabelWithDepthTwoScoresAndLowerTheError) {
    write_file("input.epd", mixed_input() + kMated + ";0-1;\n");
    std::string out = run(tune_td1);
    EXPECT_NE(std::string::npos, out.find("Tuning First Stage completed\nProcessed positions: 13\n"
                                          "Skipped   positions: 6\nInitial Overall Error:      "))
        << out;
    // The start position is not special here.
    EXPECT_EQ("not a fen;BadFEN;\n" + std::string(kSixPieces) + ";EGTB;\n" + kInCheck +
                  ";inCheck;\n" + kHangingQueen + ";noQuiete;\n" + std::string(254, 'x') +
                  ";BadFEN;\n" + kMated + ";EGTB;\n",
              read_file("skip.csv"));
    // A stalemate is a draw, not a mate.
    const std::string first = read_file("output.csv");
    EXPECT_NE(std::string::npos, first.find(std::string(kStart) + ";"));
    EXPECT_NE(std::string::npos, first.find(std::string(kStalemate) + ";0;\n"));
    EXPECT_EQ(7, count_of(first, "\n"));

    // The second stage keeps every readable position, the side mated at the root scored as mated
    // at ply 0, and then lowers the error.
    int32_t defaults[EVAL_PARAM_COUNT];
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) defaults[i] = EvalParamTable[i].value;
    write_file("tune.txt", "P_Pawn\nP_Knight\nP_SideToMove\nPT_PawnPassed\n");
    out = run(tune_td2);
    EXPECT_NE(std::string::npos, out.find("Tuning Second Stage completed\nProcessed positions: 13\n"
                                          "Skipped   positions: 2\n"));
    EXPECT_EQ("not a fen;BadFEN;\n" + std::string(254, 'x') + ";BadFEN;\n", read_file("skip.csv"));
    const std::string second = read_file("output.csv");
    EXPECT_NE(std::string::npos, second.find(std::string(kStalemate) + ";0;\n"));
    EXPECT_NE(std::string::npos, second.find(std::string(kMated) + ";-20000;\n"));
    EXPECT_EQ(11, count_of(second, "\n"));
    EXPECT_LT(number_after(out, "Best Overall Error: "),
              number_after(out, "Initial Overall Error:      ") - 0.01)
        << out;
    EXPECT_NE(std::string::npos, out.find("Iteration 2"));
    EXPECT_GT(expect_listed_weights_in_range(out), 9);
    EXPECT_EQ(9, count_of(read_file("tuned.csv"), "\n"));

    // The third stage, from the defaults again, on the same positions.
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) EvalParamTable[i].value = defaults[i];
    const double start = TuneErrorAbs(*thread_);
    out = run(tune_td3);
    EXPECT_LT(number_after(out, "Best Overall Error: "), start - 0.01) << out;
    EXPECT_GT(expect_listed_weights_in_range(out), 9);
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

TEST_F(TunerTest, ErrorFunctionsAverageOverEveryLineRead) {
    const int e1 = eval_of(kQuiet1), e3 = eval_of(kQuiet3);
    // Unreadable, overlong and result-less lines all count in the average; "1-0" directly
    // followed by the line break is not a recognised result.
    write_file("output.csv", std::string(kQuiet1) + ";1-0;\n" + "garbage;1-0;\n" +
                                 std::string(1000, 'r') + "\n" + kQuiet3 + ";1-0\n" + kQuiet1 +
                                 "\n");
    const double expected = ((1 - sigmoid(e1)) * (1 - sigmoid(e1)) + sigmoid(e3) * sigmoid(e3) +
                             sigmoid(e1) * sigmoid(e1)) /
                            5;
    std::string out = capture([&] { EXPECT_NEAR(expected, TuneErrorSigmoid(*thread_), 1e-12); });
    EXPECT_EQ("", out);

    // Targets are 16-bit: 65636 is 100.
    write_file("output.csv", std::string(kQuiet1) + ";65636;\n" + kQuiet3 + ";-7;\nbad;0;\n");
    EXPECT_NEAR((std::abs(e1 - 100) + std::abs(e3 + 7)) / 3.0, TuneErrorAbs(*thread_), 1e-12);

    // Nothing to average: 0 and a message instead of a division by zero.
    write_file("output.csv", "");
    out = capture([&] {
        EXPECT_EQ(0.0, TuneErrorSigmoid(*thread_));
        EXPECT_EQ(0.0, TuneErrorAbs(*thread_));
    });
    EXPECT_EQ(2, count_of(out, "holds no positions"));
    write_file("output.csv", "x;1-0;\ny;0-1;\n");
    out = capture([&] { EXPECT_EQ(0.0, TuneErrorSigmoid(*thread_)); });
    EXPECT_NE(std::string::npos, out.find("no readable position"));
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

TEST_F(TunerTest, TexelTuningReachesTheMinimumOfOneWeight) {
    // One symmetric position, White to move: the side-to-move bonus alone makes its evaluation,
    // and the results put the error's minimum somewhere in or beyond P_SideToMove's range 5..30.
    struct Case {
        int wins, draws;
    } cases[] = {{1, 10}, {0, 10}, {10, 0}};
    const int stm = row_of("P_SideToMove");
    std::vector<int> lowest_of;
    for (const Case& c : cases) {
        std::string text;
        for (int i = 0; i < c.wins; ++i) text += std::string(kQuiet1) + ";1-0;\n";
        for (int i = 0; i < c.draws; ++i) text += std::string(kQuiet1) + ";1/2-1/2;\n";
        write_file("output.csv", text);
        int lowest = 0;
        double lowest_e = 2.0;
        for (int v = EvalParamTable[stm].min; v <= EvalParamTable[stm].max; ++v) {
            EvalParamTable[stm].value = v;
            const double e = TuneErrorSigmoid(*thread_);
            if (e < lowest_e) lowest_e = e, lowest = v;
        }
        EvalParamTable[stm].value = 9;
        lowest_of.push_back(lowest);

        write_file("tune.txt", "P_SideToMove\n");
        const std::string out = run(tune_texel);
        EXPECT_NEAR(lowest, EvalParamTable[stm].value, 1) << c.wins << " " << c.draws << out;
        EXPECT_EQ(EvalParamTable[stm].value, P_SideToMove);
        EXPECT_EQ("P_SideToMove;" + std::to_string(P_SideToMove) + ";\n", read_file("tuned.csv"));
        EXPECT_LE(number_after(out, "Best Overall Error: "), lowest_e + 1e-6);
        EXPECT_GT(expect_listed_weights_in_range(out), 0);
    }
    // Several steps above the default, at the lower and at the upper bound.
    EXPECT_GE(lowest_of[0], 14);
    EXPECT_LT(lowest_of[0], 30);
    EXPECT_EQ(5, lowest_of[1]);
    EXPECT_EQ(30, lowest_of[2]);
}

TEST_F(TunerTest, TuningWithoutSwitchesStopsAtOnce) {
    struct Case {
        void (*command)(SearchThread&);
        const char* start;
        const char* stop;
    } cases[] = {
        {tune_texel, "Texel Tuning started\nIteration 1\nderA  0.000000\ne +",
         "d 0\n\nTexel Tuning completed\nBest Overall Error: "},
        {tune_td3, "Tuning Third Stage started\nIteration 1\nderA  0.000000\ne +",
         "norm    0.000000\n\nTuning Third Stage completed\nBest Overall Error: "},
    };
    for (const Case& c : cases) {
        write_file("output.csv", std::string(kQuiet1) + ";1-0;\n" + kPawnUp + ";1-0;\n");
        const std::string out = run(c.command);
        EXPECT_EQ(0u, out.find(c.start)) << out;
        EXPECT_NE(std::string::npos, out.find(c.stop)) << out;
        EXPECT_EQ(std::string::npos, out.find("Iteration 2"));
        EXPECT_TRUE(out.ends_with("\n\n")); // the empty report of WriteTunedParams
        EXPECT_TRUE(fs::exists("tuned.csv"));
        EXPECT_EQ("", read_file("tuned.csv"));
        fs::remove("tuned.csv");
    }
}

TEST_F(TunerTest, MinkPrintsTheErrorOfElevenScales) {
    write_file("output.csv",
               std::string(kQuiet1) + ";1-0;\n" + kPawnUp + ";0-1;\n" + kQuiet3 + ";1/2-1/2;\n");
    const double lines[][2] = {{1.0, 1.0 * eval_of(kQuiet1)},
                               {0.0, 1.0 * eval_of(kPawnUp)},
                               {0.5, 1.0 * eval_of(kQuiet3)}};
    std::string expected;
    char text[128];
    double best = 3.0, best_k = 0, k = 1.640;
    for (int i = 0; i < 11; ++i, k += 0.001) {
        double sum = 0;
        for (const auto& l : lines) sum += (l[0] - sigmoid(l[1], k)) * (l[0] - sigmoid(l[1], k));
        const double e = sum / 3;
        if (e < best) best = e, best_k = k;
        std::snprintf(text, sizeof text, "with k = %f, e = %f (%2.2f%%)\n", k, e, std::sqrt(e));
        expected += text;
    }
    std::snprintf(text, sizeof text, "\ne min %f     best k %f\n", best, best_k);
    expected += text;
    EXPECT_EQ(expected, run(tune_scan_k));
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
