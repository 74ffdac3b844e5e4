// The tuner commands through the real binary: the console rows, a whole Texel session and the
// missing-file exit.
#include <string>

#include <gtest/gtest.h>

#include "e2e/harness.h"

namespace {

const std::string kInput =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - 4 4;1/2-1/2;\n"
    "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 w - - 0 1;1-0;\n"
    "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 b - - 0 1;1-0;\n"
    "4k3/ppp2ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1;0-1;\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1;1/2-1/2;\n"
    "4k3/8/8/3q4/4P3/8/PPP5/4K3 w - - 0 1;1-0;\n";

} // namespace

TEST(TunerConsole, TexelSessionRunsEndToEnd) {
    const e2e::RunResult r =
        e2e::run_engine("c\ntexel\ntune\nmink\nscore\nquit\n", std::chrono::seconds(60),
                        {{"input.epd", kInput}, {"tune.txt", "P_Pawn\n"}});
    const std::string out = e2e::after_startup(r.out);
    EXPECT_NE(std::string::npos, out.find("Texel Tuning First Stage completed\nProcessed "
                                          "positions: 6\nSkipped   positions: 2\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("Texel Tuning started\nIteration 1\nderA  "));
    EXPECT_NE(std::string::npos, out.find("Texel Tuning completed\nBest Overall Error: "));
    EXPECT_NE(std::string::npos, out.find("\nTuned param P_Pawn value "));
    EXPECT_NE(std::string::npos, out.find("with k = 1.650000, e = "));
    EXPECT_NE(std::string::npos, out.find("\ne min "));
    // Standard output is not a terminal here: no screen clearing.
    EXPECT_EQ(std::string::npos, out.find("\033[2J"));
}

TEST(TunerConsole, SearchScoreStagesRunEndToEnd) {
    const e2e::RunResult r = e2e::run_engine("c\nTD1\nTD2\nTD3\nquit\n", std::chrono::seconds(60),
                                             {{"input.epd", kInput}});
    const std::string out = e2e::after_startup(r.out);
    EXPECT_NE(std::string::npos, out.find("Tuning First Stage completed\nProcessed positions: 6\n"
                                          "Skipped   positions: 1\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("Tuning Second Stage completed\nProcessed positions: 6\n"
                                          "Skipped   positions: 0\n"));
    EXPECT_NE(std::string::npos, out.find("Tuning Third Stage started\nIteration 1\nderA  "
                                          "0.000000\n"));
    EXPECT_NE(std::string::npos, out.find("Tuning Third Stage completed\nBest Overall Error: "));
}

TEST(TunerConsole, MissingFilesEndTheProgram) {
    for (const char* command : {"texel", "tune", "mink", "TD1", "TD2", "TD3"}) {
        const e2e::RunResult r = e2e::run_engine(std::string("c\n") + command + "\nquit\n");
        EXPECT_EQ(1, r.exit_status) << command;
        EXPECT_NE(std::string::npos, r.out.find("File not found\n")) << command;
    }
}
