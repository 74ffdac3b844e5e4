// The tuner: preparation filters and files, the error over threads, the optimiser on a bowl.
#include "tuning/tuner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "board/fen.h"
#include "config/config_fixture.h"
#include "config/settings.h"
#include "eval/params.h"
#include "search/thread.h"
#include "testdata.h"

namespace {

// Quiet positions the preparation keeps; Black to move is stalemated in the last.
const std::string kQuiet1 = "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - 4 4";
const std::string kQuiet2 = "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R b KQkq - 4 4";
const std::string kQuiet3 = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R2QKB1R w KQ - 0 8";
const std::string kPawnUp = "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 w - - 0 1";
const std::string kPawnUpBlack = "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 b - - 0 1";
const std::string kStalemate = "k7/8/1Q6/7p/7P/8/6PP/7K b - - 0 1";

// A bowl in P_Pawn and P_Knight with its bottom at bowl_bottom, on the scale of a search-score
// error (centipawns): the gradient (x 1000) is in the thousands.
int bowl_bottom[2];
double bowl_error(SearchThread&) {
    const double x = EvalParamTable[0].value - bowl_bottom[0],
                 y = EvalParamTable[1].value - bowl_bottom[1];
    return x * x + y * y;
}

std::string read_file(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// In a scratch folder; the weight table and the settings are put back afterwards.
struct TunerTest : ScratchDir {
    TunerTest() {
        ResetEvalParams();
        settings.threads = 2;
        new_game(thread_->stack);
    }
    ~TunerTest() override {
        std::ranges::copy(saved_table_, EvalParamTable);
        ResetEvalParams();
        settings = saved_settings_;
    }
    const Settings saved_settings_ = settings;
    const std::vector<EvalParam> saved_table_{std::begin(EvalParamTable), std::end(EvalParamTable)};
    std::unique_ptr<SearchThread> thread_ = std::make_unique<SearchThread>();
};
using TunerDeathTest = TunerTest;

} // namespace

TEST_F(TunerTest, TexelPreparationSortsLinesByReason) {
    const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    const std::string six_pieces = "4k3/8/8/8/8/8/2PPPP2/4K3 w - - 0 1";
    const std::string in_check = "4k3/8/8/8/8/8/PPPP4/r3K3 w - - 0 1";
    const std::string hanging_queen = "4k3/8/8/3q4/4P3/8/PPP5/4K3 w - - 0 1";
    const std::string overlong(400, 'x'); // longer than a line may be
    const std::string kept = kStalemate + ";1/2-1/2;\n" + kQuiet1 + ";1/2-1/2;\n" + kQuiet2 +
                             ";0-1;\n" + kQuiet3 + ";1-0;\n" + kPawnUp + ";1-0;\n";
    write(start + ";1/2-1/2;\nnot a fen;1-0;\n" + six_pieces + ";1-0;\n" + in_check + ";0-1;\n" +
              hanging_queen + ";1-0;\n" + kept + overlong + ";1-0;\n" + kPawnUpBlack +
              "\n", // no result: a loss
          "input.epd");
    testing::internal::CaptureStdout();
    tune_texel_prepare(*thread_);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(kept + kPawnUpBlack + "\n", read_file("output.csv"));
    EXPECT_EQ(start + ";StartPos;\nnot a fen;BadFEN;\n" + six_pieces + ";EGTB;\n" + in_check +
                  ";inCheck;\n" + hanging_queen + ";noQuiete;\n" + overlong.substr(0, 254) +
                  ";BadFEN;\n",
              read_file("skip.csv"));
    EXPECT_EQ(start_position().key, thread_->stack.current->key); // the game position is back
}

TEST_F(TunerDeathTest, MissingInputLeavesTheFilesOfAnEarlierStage) {
    write("kept;1-0;\n", "output.csv");
    write("skipped;BadFEN;\n", "skip.csv");
    for (auto command : {tune_texel_prepare, tune_td1, tune_td2}) {
        EXPECT_EXIT(command(*thread_), testing::ExitedWithCode(1), "");
        EXPECT_EQ("kept;1-0;\n", read_file("output.csv"));
        EXPECT_EQ("skipped;BadFEN;\n", read_file("skip.csv"));
    }
}

// Enough lines for several chunks of work.
TEST_F(TunerTest, ErrorDoesNotDependOnTheThreadCount) {
    const std::string fens[] = {kQuiet1, kQuiet2, kQuiet3, kPawnUp, kPawnUpBlack, kStalemate};
    const char* results[] = {"1-0", "0-1", "1/2-1/2"};
    std::string text;
    for (int i = 0; i < (quick_mode() ? 5000 : 9000); ++i)
        text += fens[i % 6] + ";" + results[i % 7 % 3] + ";\n";
    write(text, "output.csv");
    settings.threads = 1;
    const double one = TuneErrorSigmoid(*thread_);
    settings.threads = 3;
    EXPECT_EQ(one, TuneErrorSigmoid(*thread_));
    EXPECT_GT(one, 0.0);
}

TEST_F(TunerTest, OptimiserReachesTheBottomInsideTheRanges) {
    ASSERT_STREQ("P_Pawn", EvalParamTable[0].name);   // ranges over 40..200
    ASSERT_STREQ("P_Knight", EvalParamTable[1].name); // ranges over 200..500
    // The knight's start; the bottom; where the pawn and the knight end.
    const int cases[][5] = {
        {330, 150, 320, 150, 320}, // far up and a little down
        {330, 83, 331, 83, 331},   // small steps both
        {330, 300, 100, 200, 200}, // both bottoms beyond the ranges
        {150, 81, 260, 81, 260},   // a start below the range
    };
    EvalParamTable[0].tune = EvalParamTable[1].tune = 1;
    for (const auto& [knight_start, pawn_bottom, knight_bottom, pawn_end, knight_end] : cases) {
        SCOPED_TRACE(testing::Message() << pawn_bottom << " " << knight_bottom);
        EvalParamTable[0].value = 81;
        EvalParamTable[1].value = knight_start;
        bowl_bottom[0] = pawn_bottom;
        bowl_bottom[1] = knight_bottom;
        testing::internal::CaptureStdout();
        TuneOptimize(*thread_, bowl_error, TUNE_STOP_SEARCH_SCORE);
        std::istringstream out(testing::internal::GetCapturedStdout());
        EXPECT_NEAR(pawn_end, EvalParamTable[0].value, 1);
        EXPECT_NEAR(knight_end, EvalParamTable[1].value, 1);
        // Every weight listed ("name value direction"), at every iteration, is inside its range.
        int listed = 0, value = 0;
        char name[128];
        double direction = 0;
        for (std::string line; std::getline(out, line);) {
            if (std::sscanf(line.c_str(), "%127s %d %lf", name, &value, &direction) != 3) continue;
            for (const EvalParam& p : EvalParamTable)
                if (std::strcmp(p.name, name) == 0) {
                    ++listed;
                    EXPECT_TRUE(value >= p.min && value <= p.max) << line;
                }
        }
        EXPECT_GT(listed, 2);
    }
    // Uphill, or only against a bound: the line search finds no descent and leaves the table.
    bowl_bottom[0] = 100;
    EvalParamTable[1].tune = 0;
    double direction[EVAL_PARAM_COUNT] = {};
    for (int start : {81, 200}) {
        EvalParamTable[0].value = start;
        direction[0] = start == 200 ? 3 : -3;
        testing::internal::CaptureStdout();
        EXPECT_EQ(1, TuneLineSearch(*thread_, bowl_error, direction));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(start, EvalParamTable[0].value);
    }
}
