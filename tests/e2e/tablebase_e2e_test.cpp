// Endgame tables through the real engine: the console's "probe" report, won endgames of the
// reference positions played out to mate under UCI, drawn ones held.
#include <set>

#include "e2e/harness.h"
#include "tablebase/tb_helpers.h"
#include "testdata.h"

namespace {

using namespace e2e;

std::string tables_ini(const std::string& dir) {
    return kSmallTables + "Thread=1\n[TABLEBASE]\nSyzygy=true\ndtzPath=" + dir +
           "\nwdlPath=" + dir + "\nSyzygyMen=5\n";
}

// Up to `count` reference positions of three or more pieces with the result `wdl` and a distance
// to zeroing from `min_dtz` to 70: the farthest of each material, the farthest first.
std::vector<tbtest::RefCase> pick(const std::string& data, int wdl, int min_dtz, size_t count) {
    auto cases = tbtest::read_cases(data + "/tb-cases.txt");
    std::ranges::stable_sort(cases, std::greater{}, [](const auto& c) { return std::abs(c.dtz); });
    std::set<std::string> materials;
    std::vector<tbtest::RefCase> chosen;
    for (const auto& c : cases) {
        std::string m = c.fen.substr(0, c.fen.find(' '));
        std::erase_if(m, [](char ch) { return !isalpha(ch); });
        std::ranges::sort(m);
        if (chosen.size() < count && c.wdl == wdl && std::abs(c.dtz) >= min_dtz &&
            std::abs(c.dtz) <= 70 && m.size() >= 3 && materials.insert(m).second)
            chosen.push_back(c);
    }
    EXPECT_EQ(count, chosen.size());
    return chosen;
}

// The engine plays both sides from `fen` until it announces the end of the game or `max_plies`
// pass; the result line, "" for none.
std::string play_out(Session& s, const std::string& fen, std::string& moves, int max_plies) {
    s.send("ucinewgame");
    for (int ply = 0; ply < max_plies; ++ply) {
        s.send("position fen " + fen + (moves.empty() ? "" : " moves " + moves));
        const size_t mark = s.mark();
        s.send("go depth 6");
        const bool moved = s.wait_for("bestmove ", 20s).has_value();
        s.send("isready"); // answered after the result line that follows the best move
        if (!moved || !s.wait_for("readyok", 20s)) return "engine failed";
        const SearchReply reply = parse_searches(s.lines_since(mark)).at(0);
        if (reply.best == "0000") return "no move"; // a drawn position may be stalemate
        moves += (moves.empty() ? "" : " ") + reply.best;
        if (!reply.results.empty()) return reply.results[0];
    }
    return "";
}

} // namespace

TEST(TablebaseE2e, ConsoleProbeReportsTheValuesAndTheKeptMoves) {
    REQUIRE_TESTDATA(data);
    const std::string out =
        after_startup(run_engine("c\nsetboard 2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1\nprobe\n"
                                 "setboard 8/6R1/7K/8/8/8/4k3/1Q1r4 w - - 0 1\nprobe\nquit\n",
                                 {}, tables_ini(data + "/syzygy"))
                          .out);
    // The report of a won position, then of five pieces without a table: capturing the queen
    // resolves that position itself, but the other moves cannot be ranked, so no list follows.
    for (const char* report :
         {"Legal moves:    23\nMove: ",
          "\nEGTB position:  1  (1=true, 0=false)\nDTZ:            15\nWDL:            2\n"
          "TBScore:        15000\n\nEGTB moves:     23\n",
          "\nEGTB position:  0  (1=true, 0=false)\nDTZ:            1\nWDL:            2\n"
          "TBScore:        0\n\nEGTB moves:     35\n\nbrontavel> "})
        EXPECT_NE(std::string::npos, out.find(report)) << report << " in:\n" << out;
    // The list is ranked fastest win first.
    const size_t first_block = out.find("EGTB moves:     23\n");
    const std::string kept = out.substr(first_block, out.find(kPrompt, first_block) - first_block);
    EXPECT_NE(kept.find("   DTZ: 15\n"), std::string::npos);
    EXPECT_EQ(kept.rfind("DTZ: 19\n") + 8, kept.size()) << kept;
}

TEST(TablebaseE2e, WonEndgamesAreMatedAndDrawnOnesHeld) {
    REQUIRE_TESTDATA(data);
    Session s(tables_ini(data + "/syzygy"));
    ASSERT_TRUE(start_uci(s));
    for (const auto& c : pick(data, 2, 5, quick_mode() ? 5 : 24)) {
        std::string moves;
        const bool white = c.fen.find(" w ") != std::string::npos;
        EXPECT_EQ(white ? "1-0 {White mates}" : "0-1 {Black mates}", play_out(s, c.fen, moves, 400))
            << c.fen << ": " << moves;
    }
    // The referee reads the same tables to check that the draw is still there at the end.
    tbtest::init_tables(data + "/syzygy");
    for (const auto& c : pick(data, 0, 0, quick_mode() ? 3 : 8)) {
        std::string moves;
        const std::string result = play_out(s, c.fen, moves, 60);
        EXPECT_TRUE(result.empty() || result == "no move" || result.starts_with("1/2-1/2"))
            << c.fen << ": " << moves;
        int success = 0;
        const auto end = stack_from(c.fen, moves.empty() ? nullptr : moves.c_str());
        ASSERT_TRUE(end) << c.fen << ": " << moves;
        EXPECT_EQ(0, tb_probe_wdl(*end->current, &success)) << c.fen << ": " << moves;
        EXPECT_NE(0, success) << c.fen;
    }
    tbtest::unload_tables();
}
