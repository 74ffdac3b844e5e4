// Tactical positions from the shared test data, solved by a fixed-depth search on one thread.
#include <fstream>
#include <map>

#include "search/search_fixture.h"

using Tactics = SearchFixture;

TEST_F(Tactics, SolvedAtFixedDepth) {
    REQUIRE_TESTDATA(dir);
    // "FEN;best moves;name" per line: name -> (FEN, " best moves ").
    std::map<std::string, std::pair<std::string, std::string>> tactics;
    std::ifstream in(dir + "/tactics.txt");
    for (std::string line; std::getline(in, line);) {
        const size_t a = line.find(';'), b = line.find(';', a + 1);
        if (line.empty() || line[0] == '#' || b == std::string::npos) continue;
        tactics[line.substr(b + 1)] = {line.substr(0, a),
                                       " " + line.substr(a + 1, b - a - 1) + " "};
    }
    ASSERT_GE(tactics.size(), 40u);
    // Solved within depth 5; the last six need depth 7.
    std::vector<std::string> names = {"WAC.003", "WAC.004", "WAC.006", "WAC.010", "WAC.017",
                                      "WAC.022", "WAC.027", "WAC.029", "WAC.037", "WAC.042",
                                      "WAC.053", "WAC.056", "WAC.005", "WAC.013", "WAC.014",
                                      "WAC.021", "WAC.030", "WAC.046"};
    if (quick_mode()) names.resize(12);
    settings.post_thinking = false;
    for (const std::string& name : names) {
        ASSERT_TRUE(tactics.count(name)) << name;
        const auto& [fen, best] = tactics[name];
        set(fen);
        const std::string played = text(result_move(think_to_depth(quick_mode() ? 5 : 7)));
        EXPECT_NE(std::string::npos, best.find(" " + played + " ")) << name << ": " << fen;
    }
}
