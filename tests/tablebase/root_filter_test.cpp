// The root filter: ranking of the root moves, the tablebase score, the fifty-move cut, the
// repetition rule, and tables that are missing when the filter needs them.
#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board_helpers.h"
#include "tablebase/tablebase.h"
#include "tablebase/tb_helpers.h"
#include "testdata.h"

using namespace tbtest;

namespace {

struct Filtered {
    int result = 0;
    int16_t tb_score = 0;
    std::vector<std::pair<std::string, int>> kept; // in list order
};

Filtered run_filter(const PositionStack& s, const Board* history) {
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(*s.current, list);
    Filtered f;
    f.result = tb_root_filter(*s.current, list, &f.tb_score, &end, history);
    for (MoveEntry* e = list; e < end; ++e)
        f.kept.emplace_back(text_of(e->move, s.current->side), e->score);
    return f;
}

Filtered filter_fen(const std::string& fen, const char* moves = nullptr) {
    auto s = stack_from(fen, moves);
    EXPECT_TRUE(s) << fen;
    if (!s) return {};
    return run_filter(*s, s->boards);
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
    return parts;
}

// "VALUE:move,move VALUE:move" as (value, set of moves) groups in their order.
std::vector<std::pair<int, std::set<std::string>>> groups_of(const std::string& kept) {
    std::vector<std::pair<int, std::set<std::string>>> groups;
    if (kept == "-") return groups;
    for (const std::string& g : split(kept, ' ')) {
        const size_t colon = g.find(':');
        const auto moves = split(g.substr(colon + 1), ',');
        groups.emplace_back(std::stoi(g.substr(0, colon)),
                            std::set<std::string>(moves.begin(), moves.end()));
    }
    return groups;
}

// The kept list cut into runs of equal value, in list order.
std::vector<std::pair<int, std::set<std::string>>> runs_of(const Filtered& f) {
    std::vector<std::pair<int, std::set<std::string>>> runs;
    for (const auto& [move, value] : f.kept) {
        if (runs.empty() || runs.back().first != value)
            runs.emplace_back(value, std::set<std::string>());
        runs.back().second.insert(move);
    }
    return runs;
}

using TbRootFilter = TbTest;

} // namespace

TEST_F(TbRootFilter, ReferencePositions) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy5"), table_dir(data, "syzygy5"));
    std::ifstream in(data + "/tb-root-cases.txt");
    ASSERT_TRUE(in) << "tb-root-cases.txt";
    int cases = 0;
    testing::internal::CaptureStdout(); // tables missing for some lines are reported
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = split(line, ';');
        ASSERT_EQ(f.size(), 5u) << line;
        ++cases;
        const Filtered got = filter_fen(f[0]);
        ASSERT_EQ(got.result, std::stoi(f[1])) << line;
        if (got.result == 0) continue;
        EXPECT_EQ(got.tb_score, std::stoi(f[2])) << line;
        const auto want = groups_of(f[4]);
        if (f[3] == "sorted") {
            EXPECT_EQ(runs_of(got), want) << line;
        } else {
            std::map<std::string, int> want_pairs, got_pairs(got.kept.begin(), got.kept.end());
            for (const auto& [value, moves] : want)
                for (const auto& m : moves) want_pairs[m] = value;
            EXPECT_EQ(got_pairs, want_pairs) << line;
            EXPECT_EQ(got_pairs.size(), got.kept.size()) << line;
        }
    }
    testing::internal::GetCapturedStdout();
    EXPECT_GT(cases, 200);
}

TEST_F(TbRootFilter, RepetitionKeepsOnlyTheFastestWins) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    const std::string fen = "2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1";
    const std::set<std::string> fastest = {"c8b7", "c8c7", "c8d7", "e8d7",
                                           "e8d8", "e8e1", "e8e2", "e8e3"};
    auto moves_of = [](const Filtered& f) {
        std::set<std::string> m;
        for (const auto& kept : f.kept) m.insert(kept.first);
        return m;
    };
    // Without history every win that beats the fifty-move rule stays, the slowest first.
    const Filtered fresh = filter_fen(fen);
    ASSERT_EQ(fresh.result, 1);
    EXPECT_EQ(fresh.tb_score, 15000);
    EXPECT_EQ(fresh.kept.size(), 23u);
    EXPECT_EQ(fresh.kept.front().second, 19);
    EXPECT_EQ(fresh.kept.back().second, 15);

    // The root itself is a repetition.
    const Filtered again = filter_fen(fen, "e8e7 c2c3 e7e8 c3c2");
    ASSERT_EQ(again.result, 1);
    EXPECT_EQ(moves_of(again), fastest);

    // A repetition two plies back, within the plies since the last zeroing move, counts too.
    auto s = stack_from(fen, "e8e7 c2c3 e7e8 c3c2 e8d8 c2c3 d8e8 c3c2");
    ASSERT_TRUE(s);
    ASSERT_EQ(s->current->halfmove, 8);
    ASSERT_TRUE(s->current[-4].repetitions & 1);
    Filtered back = run_filter(*s, s->boards);
    ASSERT_EQ(back.result, 1);
    for (const auto& [move, value] : back.kept) EXPECT_EQ(value, back.kept.front().second) << move;

    // A history that reaches back past the zeroing move is not looked at; nor is anything
    // before the first board of the stack, whatever the halfmove counter says.
    s->current->halfmove = 3;
    back = run_filter(*s, s->boards);
    EXPECT_GT(back.kept.size(), 8u);
    s->current->halfmove = 200;
    EXPECT_EQ(run_filter(*s, s->boards).result, 1);
    EXPECT_EQ(run_filter(*s, nullptr).result, 1);
}

TEST_F(TbRootFilter, FiftyMoveCountersSetScoresAndCuts) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    // Mate (a zeroing move) is 15 plies away at best; after 82 plies without one, only the wins
    // within 17 plies still beat the fifty-move rule.
    Filtered f = filter_fen("2K1Q3/8/8/8/8/8/2k5/8 w - - 82 100");
    ASSERT_EQ(f.result, 1);
    EXPECT_EQ(f.tb_score, 15000);
    EXPECT_EQ(f.kept.size(), 20u);
    for (const auto& [move, value] : f.kept) EXPECT_LE(value, 17) << move;
    // The win is spoilt by the counter: the score says so, the fastest moves still lead.
    f = filter_fen("2K1Q3/8/8/8/8/8/2k5/8 w - - 99 100");
    ASSERT_EQ(f.result, 1);
    EXPECT_EQ(f.tb_score, 2);
    ASSERT_FALSE(f.kept.empty());
    for (const auto& [move, value] : f.kept) EXPECT_EQ(value, 15) << move;
    // The defender's side of the same game: its loss is saved by the counter.
    f = filter_fen("2K1Q3/8/8/8/8/8/2k5/8 b - - 99 100");
    ASSERT_EQ(f.result, 1);
    EXPECT_EQ(f.tb_score, -2);
    ASSERT_FALSE(f.kept.empty());
}

TEST_F(TbRootFilter, MissingDtzFileFailsTheProbeOnceAndPlaysOn) {
    REQUIRE_TESTDATA(data);
    TempDir dir("wdlonly");
    fs::copy_file(fs::path(data) / "syzygy" / "KQvK.rtbw", dir.path / "KQvK.rtbw");
    init_tables(dir.str(), dir.str());
    const std::string fen = "2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1";
    testing::internal::CaptureStdout();
    const Probe first = dtz_of(fen);
    const Probe wdl = wdl_of(fen);
    const Filtered f = filter_fen(fen);
    // The table slot is reused by other materials; the file is still not asked for again.
    for (const auto& c : {"8/8/8/4k3/8/8/8/R3K3 w - - 0 1", "8/8/8/8/8/8/1Q6/K6k b - - 0 1"})
        dtz_of(c);
    const Probe again = dtz_of(fen);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(first.success, 0);
    EXPECT_EQ(again.success, 0);
    EXPECT_EQ(wdl.success, 1);
    EXPECT_EQ(wdl.value, 2);
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(out, "Could not open " + dir.str() + "/KQvK.rtbz for reading.\n");

    // A WDL file that disappears after start-up is reported when it is first needed.
    TempDir gone("gone");
    fs::copy_file(fs::path(data) / "syzygy" / "KRvK.rtbw", gone.path / "KRvK.rtbw");
    init_tables(gone.str(), gone.str());
    fs::remove(gone.path / "KRvK.rtbw");
    testing::internal::CaptureStdout();
    const Probe a = wdl_of("8/8/8/4k3/8/8/8/R3K3 w - - 0 1");
    const Probe b = wdl_of("8/8/8/4k3/8/8/8/R3K3 b - - 0 1");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Could not open " + gone.str() + "/KRvK.rtbw for reading.\n");
    EXPECT_EQ(a.success + b.success, 0);
}

TEST_F(TbRootFilter, PositionsBeyondTheTablesAreNotResolved) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    // Seven pieces, and five pieces of a material without a table.
    EXPECT_EQ(filter_fen("8/8/1k6/3ppp2/8/3K4/3PN3/8 w - - 0 1").result, 0);
    EXPECT_EQ(filter_fen("8/6R1/7K/8/8/8/4k3/1Q1r4 w - - 0 1").result, 0);
    // The tables know no castling: with the right, the rook and knight ending is left to the
    // search, whose castling forks king and knight with check; without it the table says draw.
    const std::string castling = "8/5n2/8/8/8/8/8/k3K2R w K - 0 1";
    EXPECT_EQ(filter_fen(castling).result, 0);
    EXPECT_EQ(wdl_of(castling).success + dtz_of(castling).success, 0);
    const Filtered none = filter_fen("8/5n2/8/8/8/8/8/k3K2R w - - 0 1");
    EXPECT_EQ(none.result, 1);
    EXPECT_EQ(none.tb_score, 0);
    // Bare kings are a draw without any table; every king move keeps it.
    const Filtered kings = filter_fen("8/8/8/8/K7/8/3k4/8 w - - 0 1");
    EXPECT_EQ(kings.result, 1);
    EXPECT_EQ(kings.tb_score, 0);
    EXPECT_EQ(kings.kept.size(), 5u);
}
