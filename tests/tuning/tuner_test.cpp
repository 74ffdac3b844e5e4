// The tuner: preparation filters and files, the error functions, the line search and the
// optimiser's edge cases. Every test runs in a fresh temporary working directory and puts the
// parameter table, the evaluation variables and the settings back afterwards.
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
// Black to move is stalemated: a depth-2 search scores it -30000.
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

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

double sigmoid(double q) {
    return 1.0 / (1.0 + std::pow(10.0, -TUNE_K * q / 400.0));
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
        for (int i = 0; i < EVAL_PARAM_COUNT; ++i)
            if (std::strcmp(EvalParamTable[i].name, name) == 0) return i;
        ADD_FAILURE() << name;
        return 0;
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

TEST_F(TunerTest, SearchScorePreparationsLabelWithDepthTwoScores) {
    write_file("input.epd", mixed_input());
    std::string out = run(tune_td1);
    EXPECT_NE(std::string::npos, out.find("Tuning First Stage completed\nProcessed positions: 12\n"
                                          "Skipped   positions: 6\nInitial Overall Error:      "))
        << out;
    // The start position is not special here; the stalemate is a mate score.
    EXPECT_EQ("not a fen;BadFEN;\n" + std::string(kSixPieces) + ";EGTB;\n" + kInCheck +
                  ";inCheck;\n" + kHangingQueen + ";noQuiete;\n" + kStalemate + ";Mate;\n" +
                  std::string(254, 'x') + ";BadFEN;\n",
              read_file("skip.csv"));
    const std::string first = read_file("output.csv");
    for (const char* fen : {kStart, kQuiet1, kQuiet2, kQuiet3, kPawnUp, kPawnUpBlack})
        EXPECT_NE(std::string::npos, first.find(std::string(fen) + ";")) << fen;
    EXPECT_EQ(6, count_of(first, "\n"));
    // A pawn up in a pawn ending is worth the same from both sides' view.
    const size_t w = first.find(std::string(kPawnUp) + ";"),
                 b = first.find(std::string(kPawnUpBlack) + ";");
    EXPECT_EQ(std::stoi(first.substr(w + std::strlen(kPawnUp) + 1)),
              -std::stoi(first.substr(b + std::strlen(kPawnUpBlack) + 1)));

    // The second stage keeps every readable position, mate scores included, then optimises with
    // no row switched on: one iteration and an empty result.
    out = run(tune_td2);
    EXPECT_NE(std::string::npos, out.find("Tuning Second Stage completed\nProcessed positions: 12\n"
                                          "Skipped   positions: 2\n"));
    EXPECT_EQ("not a fen;BadFEN;\n" + std::string(254, 'x') + ";BadFEN;\n", read_file("skip.csv"));
    const std::string second = read_file("output.csv");
    EXPECT_NE(std::string::npos, second.find(std::string(kStalemate) + ";-30000;\n"));
    EXPECT_NE(std::string::npos, second.find(std::string(kHangingQueen) + ";"));
    EXPECT_EQ(10, count_of(second, "\n"));
    EXPECT_NE(std::string::npos, out.find("Iteration 1\nderA  0.000000\ne +"));
    EXPECT_NE(std::string::npos, out.find("norm    0.000000\n\nBest Overall Error: "));
    EXPECT_EQ(std::string::npos, out.find("Iteration 2"));
    EXPECT_EQ("", read_file("tuned.csv"));

    out = run(tune_td3);
    EXPECT_EQ(0u, out.find("Tuning Third Stage started\nIteration 1\nderA  0.000000\n")) << out;
    EXPECT_NE(std::string::npos, out.find("norm    0.000000\n\nTuning Third Stage completed\n"
                                          "Best Overall Error: "));
    EXPECT_EQ(std::string::npos, out.find("Iteration 2"));
    EXPECT_EQ("", read_file("tuned.csv"));
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

// A synthetic error of the first row's working value: a flat plateau past `plateau`, so that the
// bracketing would run forever without a bound.
double plateau_error(SearchThread&) {
    const double x = EvalParamTable[0].value;
    return x <= 81 ? 1.0 : 0.0;
}

// A bowl with its bottom at 100.
double bowl_error(SearchThread&) {
    const double x = EvalParamTable[0].value;
    return (x - 100) * (x - 100) / 1000.0;
}

} // namespace

TEST_F(TunerTest, LineSearchFindsTheBottomAndStaysBounded) {
    EvalParamTable[0].tune = 1;
    double gradient[EVAL_PARAM_COUNT];
    TuneGradient(*thread_, bowl_error, gradient);
    EXPECT_NEAR((18.0 * 18 - 19 * 19) / 1000.0 * 1000, gradient[0], 1e-9);
    EXPECT_EQ(0.0, gradient[1]);

    double direction[EVAL_PARAM_COUNT] = {};
    direction[0] = 37;
    std::string out =
        capture([&] { EXPECT_EQ(0, TuneLineSearch(*thread_, bowl_error, direction)); });
    EXPECT_EQ(0u, out.find("derA  0.037000\n"));
    EXPECT_NEAR(100, EvalParamTable[0].value, 1);

    // Uphill: no descent, the table is unchanged.
    EvalParamTable[0].value = 81;
    direction[0] = -5;
    capture([&] { EXPECT_EQ(1, TuneLineSearch(*thread_, bowl_error, direction)); });
    EXPECT_EQ(81, EvalParamTable[0].value);

    // A plateau: the bracket stops before the weight leaves its 32-bit range.
    for (double step : {1.0, 1e9}) {
        EvalParamTable[0].value = 81;
        direction[0] = step;
        capture([&] { EXPECT_EQ(0, TuneLineSearch(*thread_, plateau_error, direction)); });
        EXPECT_GT(EvalParamTable[0].value, 81);
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

TEST_F(TunerTest, TuneWithoutSwitchesStopsAtOnce) {
    write_file("output.csv", std::string(kQuiet1) + ";1-0;\n" + kPawnUp + ";1-0;\n");
    const std::string out = run(tune_texel);
    EXPECT_EQ(0u, out.find("Texel Tuning started\nIteration 1\nderA  0.000000\ne +")) << out;
    EXPECT_NE(std::string::npos, out.find("d 0\n\nTexel Tuning completed\nBest Overall Error: "));
    EXPECT_EQ(std::string::npos, out.find("Iteration 2"));
    EXPECT_TRUE(out.ends_with("\n\n")); // the empty report of WriteTunedParams
    EXPECT_TRUE(fs::exists("tuned.csv"));
    EXPECT_EQ("", read_file("tuned.csv"));
}

TEST_F(TunerTest, TuneLowersTheErrorAndKeepsTheWeights) {
    // Four pawns against a knight: White wins these games, so pawns are worth more than the
    // table says; with one pawn fewer the games are drawn.
    std::string text;
    for (int i = 0; i < 10; ++i) {
        text += "2n1k3/pppp4/8/8/8/8/PPPPPPPP/4K3 w - - 0 1;1-0;\n";
        text += "2n1k3/pppp4/8/8/8/8/PPPPPPPP/4K3 b - - 0 1;1-0;\n";
        text += "2n1k3/ppppp3/8/8/8/8/PPPPPPPP/4K3 w - - 0 1;1/2-1/2;\n";
        text += std::string(kQuiet1) + ";1/2-1/2;\n";
    }
    write_file("output.csv", text);
    write_file("tune.txt", "P_Pawn\nP_SideToMove\n");
    const double before = TuneErrorSigmoid(*thread_);

    const std::string out = run(tune_texel);
    const size_t at = out.find("Best Overall Error: ");
    ASSERT_NE(std::string::npos, at) << out;
    const double after = std::stod(out.substr(at + 20));
    EXPECT_LT(after, before);

    const int pawn = row_of("P_Pawn"), stm = row_of("P_SideToMove");
    EXPECT_GT(EvalParamTable[pawn].value, 81);
    EXPECT_EQ(EvalParamTable[pawn].value, EvalParamTable[pawn].best);
    EXPECT_EQ(EvalParamTable[pawn].value, P_Pawn);
    EXPECT_EQ(EvalParamTable[stm].best, P_SideToMove);
    EXPECT_EQ("P_Pawn;" + std::to_string(P_Pawn) + ";\nP_SideToMove;" +
                  std::to_string(P_SideToMove) + ";\n",
              read_file("tuned.csv"));
    EXPECT_NE(std::string::npos, out.find("Tuned param P_Pawn value " + std::to_string(P_Pawn)));
    // The switches are the table's own again; the error with the tuned weights is the one reported.
    EXPECT_EQ(0, EvalParamTable[pawn].tune);
    EXPECT_NEAR(after, TuneErrorSigmoid(*thread_), 1e-6);
}

TEST_F(TunerTest, MinkScansElevenScales) {
    write_file("output.csv",
               std::string(kQuiet1) + ";1-0;\n" + kPawnUp + ";1-0;\n" + kQuiet3 + ";0-1;\n");
    const std::string out = run(tune_scan_k);
    std::istringstream in(out);
    std::string line;
    double best = 3.0, best_k = 0;
    for (int i = 0; i < 11; ++i) {
        ASSERT_TRUE(std::getline(in, line));
        double k = 0, e = 0, root = 0;
        ASSERT_EQ(3, std::sscanf(line.c_str(), "with k = %lf, e = %lf (%lf%%)", &k, &e, &root))
            << line;
        EXPECT_NEAR(1.640 + 0.001 * i, k, 1e-9);
        EXPECT_NEAR(std::sqrt(e), root, 0.006);
        if (e < best) best = e, best_k = k;
    }
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ("", line);
    ASSERT_TRUE(std::getline(in, line));
    char expected[128];
    std::snprintf(expected, sizeof expected, "e min %f     best k %f", best, best_k);
    EXPECT_EQ(expected, line);
    EXPECT_FALSE(std::getline(in, line));
}
