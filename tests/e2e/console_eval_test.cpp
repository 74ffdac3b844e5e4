// The console's "score" command through the real binary: the breakdown table and the score.
#include <sstream>

#include <gtest/gtest.h>

#include "e2e/harness.h"

namespace {

// The last number of the "| Total" row of each block.
std::vector<int> block_totals(const std::string& out) {
    std::vector<int> totals;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| Total", 0) != 0) continue;
        const size_t bar = line.find_last_of('|', line.size() - 2);
        totals.push_back(std::stoi(line.substr(bar + 1)));
    }
    return totals;
}

} // namespace

TEST(ConsoleEval, ScorePrintsBothBlocksAndTheirDifference) {
    for (const char* setup :
         {"new", "setboard r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
          "setboard 8/5pk1/6p1/8/4R3/6P1/5PK1/3r4 b - - 0 40"}) {
        const std::string out = e2e::console(std::string(setup) + "\nscore\n");
        const size_t side = out.find("\nSide to move\n");
        const size_t opponent = out.find("\nOpponent\n");
        ASSERT_NE(std::string::npos, side) << setup;
        ASSERT_NE(std::string::npos, opponent) << setup;
        EXPECT_LT(side, opponent);
        const size_t at = out.find("Score: ");
        ASSERT_NE(std::string::npos, at);
        const int score = std::stoi(out.substr(at + 7));
        const auto totals = block_totals(out);
        ASSERT_EQ(2u, totals.size()) << setup;
        EXPECT_EQ(score, totals[0] - totals[1]) << setup;
    }
    // The start position scores the side-to-move bonus.
    EXPECT_NE(std::string::npos, e2e::console("score\n").find("\nScore: 9\n"));
}
