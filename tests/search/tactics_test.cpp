// Tactical positions from the shared test data, solved by a fixed-depth search on one thread.
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "search/search_fixture.h"
#include "testdata.h"

namespace {

// "FEN;best moves;name" per line, '#' lines are comments: name -> (FEN, "best moves").
std::map<std::string, std::pair<std::string, std::string>> read_tactics(const std::string& path) {
    std::map<std::string, std::pair<std::string, std::string>> tactics;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const size_t a = line.find(';'), b = line.find(';', a + 1);
        if (line.empty() || line[0] == '#' || b == std::string::npos) continue;
        tactics[line.substr(b + 1)] = {line.substr(0, a),
                                       " " + line.substr(a + 1, b - a - 1) + " "};
    }
    return tactics;
}

// Positions this search solves within depth 7; the first group already within depth 5.
const char* const kShallow[] = {"WAC.003", "WAC.004", "WAC.006", "WAC.010", "WAC.017", "WAC.022",
                                "WAC.027", "WAC.029", "WAC.037", "WAC.042", "WAC.053", "WAC.056"};
const char* const kDeeper[] = {"WAC.005", "WAC.013", "WAC.014", "WAC.021", "WAC.030", "WAC.046"};

using Tactics = SearchFixture;

} // namespace

TEST_F(Tactics, SolvedAtFixedDepth) {
    REQUIRE_TESTDATA(dir);
    const auto tactics = read_tactics(dir + "/tactics.txt");
    ASSERT_GE(tactics.size(), 40u);
    settings.post_thinking = false;
    const int depth = quick_mode() ? 5 : 7;
    std::vector<const char*> names(std::begin(kShallow), std::end(kShallow));
    if (!quick_mode()) names.insert(names.end(), std::begin(kDeeper), std::end(kDeeper));
    for (const char* name : names) {
        const auto it = tactics.find(name);
        ASSERT_NE(tactics.end(), it) << name;
        const auto& [fen, best] = it->second;
        set(fen);
        const std::string played = text(result_move(think_to_depth(depth)));
        EXPECT_NE(std::string::npos, best.find(" " + played + " ")) << name << ": " << fen;
    }
}
