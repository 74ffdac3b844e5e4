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

// The material of a FEN as sorted piece letters, to spread the chosen positions over tables.
std::string material_of(const std::string& fen) {
    std::string m;
    for (char c : fen.substr(0, fen.find(' ')))
        if (std::isalpha(static_cast<unsigned char>(c))) m += c;
    std::ranges::sort(m);
    return m;
}

// Up to `count` reference positions of three or more pieces with the given result and a distance
// to zeroing between `min_dtz` and `max_dtz`: the farthest of each material, the farthest first.
std::vector<tbtest::RefCase> pick(const std::string& data, int wdl, int min_dtz, int max_dtz,
                                  size_t count) {
    auto cases = tbtest::read_cases(data + "/tb-cases.txt");
    std::ranges::stable_sort(cases, std::greater{}, [](const auto& c) { return std::abs(c.dtz); });
    std::set<std::string> materials;
    std::vector<tbtest::RefCase> chosen;
    for (const auto& c : cases)
        if (chosen.size() < count && c.wdl == wdl && std::abs(c.dtz) >= min_dtz &&
            std::abs(c.dtz) <= max_dtz && material_of(c.fen).size() >= 3 &&
            materials.insert(material_of(c.fen)).second)
            chosen.push_back(c);
    EXPECT_EQ(count, chosen.size());
    return chosen;
}

struct Game {
    std::string outcome = "too long"; // or mate, stalemate, fifty moves, repetition, engine failed
    int plies = 0;
    uint32_t mated_side = 0;
    std::string moves;
    Board last; // the position the game ended in
};

// The engine plays both sides from `fen` until the game ends by the rules or `max_plies` pass.
Game play_out(Session& s, const std::string& fen, int max_plies) {
    Game g;
    const auto end = [&](const char* outcome) {
        g.outcome = outcome;
        return g;
    };
    s.send("ucinewgame");
    for (; g.plies < max_plies; ++g.plies) {
        const auto stack = stack_from(fen, g.moves.empty() ? nullptr : g.moves.c_str());
        if (!stack) return end("engine failed");
        const Board& b = g.last = *stack->current;
        MoveEntry list[MAX_MOVES];
        if (gen_legal_moves(b, list) == list) {
            g.mated_side = b.side;
            return end(king_attackers(b) ? "mate" : "stalemate");
        }
        if (b.halfmove >= 100) return end("fifty moves");
        if (b.repetitions >= 2) return end("repetition");
        s.send("position fen " + fen + (g.moves.empty() ? "" : " moves " + g.moves));
        s.send("go depth 6");
        const auto reply = s.wait_for("bestmove", 20s);
        if (!reply) return end("engine failed");
        g.moves += (g.moves.empty() ? "" : " ") + split(*reply, ' ').at(1);
    }
    return g;
}

} // namespace

TEST(TablebaseE2e, ConsoleProbeReportsTheValuesAndTheKeptMoves) {
    REQUIRE_TESTDATA(data);
    const std::string out =
        after_startup(run_engine("c\nsetboard 2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1\nprobe\n"
                                 "setboard 8/6R1/7K/8/8/8/4k3/1Q1r4 w - - 0 1\nprobe\nquit\n",
                                 {}, tables_ini(data + "/syzygy"))
                          .out);
    EXPECT_NE(out.find("Legal moves:    23\nMove: "), std::string::npos) << out;
    EXPECT_NE(out.find("\nEGTB position:  1  (1=true, 0=false)\nDTZ:            15\n"
                       "WDL:            2\nTBScore:        15000\n\nEGTB moves:     23\n"),
              std::string::npos)
        << out;
    // The slowest wins are printed last: the list is ranked largest first.
    const size_t first_block = out.find("EGTB moves:     23\n");
    const std::string kept = out.substr(first_block, out.find(kPrompt, first_block) - first_block);
    EXPECT_NE(kept.find("   DTZ: 15\n"), std::string::npos);
    EXPECT_EQ(kept.rfind("DTZ: 19\n") + 8, kept.size()) << kept;
    // Five pieces without a table: capturing the queen resolves the position itself, but the
    // moves that do not capture cannot be ranked, so no ranked list follows.
    EXPECT_NE(out.find("\nEGTB position:  0  (1=true, 0=false)\nDTZ:            1\n"
                       "WDL:            2\nTBScore:        0\n\nEGTB moves:     35\n" +
                       kPrompt),
              std::string::npos)
        << out;
}

TEST(TablebaseE2e, WonEndgamesAreMatedAndDrawnOnesHeld) {
    REQUIRE_TESTDATA(data);
    Session s(tables_ini(data + "/syzygy"));
    s.send("uci");
    ASSERT_TRUE(s.wait_for("uciok", 10s));
    for (const auto& c : pick(data, 2, 5, 70, quick_mode() ? 5 : 24)) {
        const Game g = play_out(s, c.fen, 400);
        EXPECT_EQ("mate", g.outcome) << c.fen << " after " << g.plies << " plies: " << g.moves;
        EXPECT_NE(g.mated_side, c.fen.find(" b ") != std::string::npos ? BLACK : WHITE)
            << c.fen << ": " << g.moves;
    }
    // The referee reads the same tables to check that a draw is still there at the end.
    tbtest::init_tables(data + "/syzygy");
    for (const auto& c : pick(data, 0, 0, 0, quick_mode() ? 3 : 8)) {
        const Game g = play_out(s, c.fen, 60);
        EXPECT_TRUE(g.outcome != "mate" && g.outcome != "engine failed")
            << c.fen << ": " << g.moves;
        int success = 0;
        EXPECT_EQ(0, tb_probe_wdl(g.last, &success)) << c.fen << ": " << g.moves;
        EXPECT_NE(0, success) << c.fen;
    }
    tbtest::unload_tables();
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}
