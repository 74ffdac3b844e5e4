// Tactical positions from the shared test data, solved by a fixed-depth search on one thread.
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "search/search_fixture.h"
#include "testdata.h"

namespace {

struct Tactic {
    std::string fen;
    std::set<std::string> best; // any of these solves it
};

// "FEN;best moves;name" per line; '#' starts a comment line.
std::map<std::string, Tactic> read_tactics(const std::string& path) {
    std::map<std::string, Tactic> tactics;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t a = line.find(';'), b = line.find(';', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        Tactic t{line.substr(0, a), {}};
        std::istringstream moves(line.substr(a + 1, b - a - 1));
        for (std::string m; moves >> m;) t.best.insert(m);
        tactics[line.substr(b + 1)] = t;
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
        set(it->second.fen);
        const uint64_t r = think_to_depth(depth);
        const std::string played = text_of(result_move(r), board().side);
        EXPECT_EQ(1u, it->second.best.count(played))
            << name << ": " << it->second.fen << " played " << played;
    }
}
