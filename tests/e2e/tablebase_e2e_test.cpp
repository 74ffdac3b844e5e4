// Endgame tables through the real engine: the console's "probe" report, won endgames played out
// to mate under UCI, drawn ones held, the piece limit and tables that are only partly present.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "e2e/harness.h"
#include "tablebase/tablebase.h"
#include "tablebase/tb_helpers.h"
#include "testdata.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

std::string tables_ini(const std::string& dir, int men = 5) {
    return std::string(e2e::kSmallTables) + "Thread=1\n[TABLEBASE]\nSyzygy=true\ndtzPath=" + dir +
           "\nwdlPath=" + dir + "\nSyzygyMen=" + std::to_string(men) + "\n";
}

struct Case {
    std::string fen;
    int dtz;
    int wdl;
};

int pieces_of(const std::string& fen) {
    int n = 0;
    for (char c : fen.substr(0, fen.find(' '))) n += std::isalpha(static_cast<unsigned char>(c));
    return n;
}

// The material of a FEN as sorted piece letters, to spread the chosen positions over tables.
std::string material_of(const std::string& fen) {
    std::string m;
    for (char c : fen.substr(0, fen.find(' ')))
        if (std::isalpha(static_cast<unsigned char>(c))) m += c;
    std::sort(m.begin(), m.end());
    return m;
}

// Up to `count` reference positions with the given result and a distance to zeroing between
// `min_dtz` and `max_dtz`: for each material the farthest from zeroing, the farthest first.
std::vector<Case> pick(const std::string& data, int wdl, int min_dtz, int max_dtz, size_t count) {
    std::map<std::string, Case> farthest;
    std::ifstream in(data + "/tb-cases.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t c2 = line.rfind(','), c1 = line.rfind(',', c2 - 1);
        Case c{line.substr(0, c1), std::stoi(line.substr(c1 + 1, c2 - c1 - 1)),
               std::stoi(line.substr(c2 + 1))};
        if (c.wdl != wdl || std::abs(c.dtz) < min_dtz || std::abs(c.dtz) > max_dtz ||
            pieces_of(c.fen) < 3)
            continue;
        auto [it, fresh] = farthest.emplace(material_of(c.fen), c);
        if (!fresh && std::abs(c.dtz) > std::abs(it->second.dtz)) it->second = c;
    }
    std::vector<Case> chosen;
    for (const auto& [material, c] : farthest) chosen.push_back(c);
    std::stable_sort(chosen.begin(), chosen.end(), [](const Case& a, const Case& b) {
        return std::abs(a.dtz) > std::abs(b.dtz);
    });
    if (chosen.size() > count) chosen.resize(count);
    return chosen;
}

enum class Outcome { Mate, Stalemate, FiftyMoves, Repetition, TooLong, EngineFailed };

struct Game {
    Outcome outcome;
    int plies;
    uint32_t mated_side;
    std::string moves;
    Board last; // the position the game ended in
};

// The engine plays both sides from `fen` until the game ends by the rules or `max_plies` pass.
Game play_out(e2e::Session& s, const std::string& fen, int max_plies) {
    Game g{Outcome::TooLong, 0, 0, "", {}};
    s.send("ucinewgame");
    auto stack = std::make_unique<PositionStack>();
    for (; g.plies < max_plies; ++g.plies) {
        new_game(*stack);
        if (!read_fen(*stack, fen.c_str(), g.moves.empty() ? nullptr : g.moves.c_str())) {
            g.outcome = Outcome::EngineFailed;
            return g;
        }
        const Board& b = *stack->current;
        g.last = b;
        MoveEntry list[MAX_MOVES];
        if (gen_legal_moves(b, list) == list) {
            g.outcome = king_attackers(b) ? Outcome::Mate : Outcome::Stalemate;
            g.mated_side = b.side;
            return g;
        }
        if (b.halfmove >= 100) {
            g.outcome = Outcome::FiftyMoves;
            return g;
        }
        if (b.repetitions >= 2) {
            g.outcome = Outcome::Repetition;
            return g;
        }
        s.send("position fen " + fen + (g.moves.empty() ? "" : " moves " + g.moves));
        s.send("go depth 6");
        const auto reply = s.wait_for("bestmove", 20s);
        if (!reply) {
            g.outcome = Outcome::EngineFailed;
            return g;
        }
        const std::string move = reply->substr(9, reply->find(' ', 9) - 9);
        if (!text_to_move(b, move.c_str())) {
            g.outcome = Outcome::EngineFailed;
            return g;
        }
        g.moves += (g.moves.empty() ? "" : " ") + move;
    }
    return g;
}

const char* name_of(Outcome o) {
    static const char* names[] = {"mate",       "stalemate", "fifty moves",
                                  "repetition", "too long",  "engine failed"};
    return names[static_cast<int>(o)];
}

uint32_t side_of(const std::string& fen) {
    return fen.find(" b ") != std::string::npos ? BLACK : WHITE;
}

} // namespace

TEST(TablebaseE2e, ConsoleProbeReportsTheValuesAndTheKeptMoves) {
    REQUIRE_TESTDATA(data);
    const std::string out = e2e::after_startup(
        e2e::run_engine("c\nsetboard 2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1\nprobe\n"
                        "setboard 8/6R1/7K/8/8/8/4k3/1Q1r4 w - - 0 1\nprobe\nquit\n",
                        60s, {{"brontavel.ini", tables_ini(data + "/syzygy")}})
            .out);
    EXPECT_NE(out.find("Legal moves:    23\nMove: "), std::string::npos) << out;
    EXPECT_NE(out.find("\nEGTB position:  1  (1=true, 0=false)\nDTZ:            15\n"
                       "WDL:            2\nTBScore:        15000\n\nEGTB moves:     23\n"),
              std::string::npos)
        << out;
    // The slowest wins are printed last: the list is ranked largest first.
    const size_t first_block = out.find("EGTB moves:     23\n");
    const std::string kept =
        out.substr(first_block, out.find("\nbrontavel> ", first_block) - first_block);
    EXPECT_NE(kept.find("   DTZ: 15\n"), std::string::npos);
    EXPECT_EQ(kept.rfind("DTZ: 19\n") + 8, kept.size()) << kept;
    // Five pieces without a table: the position itself resolves by capturing the queen into a
    // four-piece table, but the moves that do not capture cannot be ranked: the filter fails and
    // no ranked list follows.
    EXPECT_NE(out.find("\nEGTB position:  0  (1=true, 0=false)\nDTZ:            1\n"
                       "WDL:            2\nTBScore:        0\n\nEGTB moves:     35\n\nbrontavel> "),
              std::string::npos)
        << out;
}

TEST(TablebaseE2e, WonEndgamesAreConvertedToMate) {
    REQUIRE_TESTDATA(data);
    const size_t count = quick_mode() ? 5 : 24;
    const auto cases = pick(data, 2, 5, 70, count);
    ASSERT_EQ(cases.size(), count);
    e2e::Session s(tables_ini(data + "/syzygy"));
    s.send("uci");
    ASSERT_TRUE(s.wait_for("uciok", 10s));
    int longest = 0;
    std::string materials;
    for (const Case& c : cases) {
        materials += " " + material_of(c.fen);
        const Game g = play_out(s, c.fen, 400);
        EXPECT_EQ(g.outcome, Outcome::Mate)
            << c.fen << ": " << name_of(g.outcome) << " after " << g.plies << " plies: " << g.moves;
        EXPECT_NE(g.mated_side, side_of(c.fen)) << c.fen << ": " << g.moves;
        longest = std::max(longest, g.plies);
    }
    std::printf("[  games   ] %zu won positions mated, longest game %d plies:%s\n", cases.size(),
                longest, materials.c_str());
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(TablebaseE2e, DrawnEndgamesAreHeld) {
    REQUIRE_TESTDATA(data);
    const size_t count = quick_mode() ? 3 : 8;
    const auto cases = pick(data, 0, 0, 0, count);
    ASSERT_EQ(cases.size(), count);
    e2e::Session s(tables_ini(data + "/syzygy"));
    s.send("uci");
    ASSERT_TRUE(s.wait_for("uciok", 10s));
    // The referee reads the same tables to check that the draw is still there at the end.
    tbtest::init_tables(data + "/syzygy");
    for (const Case& c : cases) {
        const Game g = play_out(s, c.fen, 60);
        EXPECT_NE(g.outcome, Outcome::Mate) << c.fen << ": " << g.moves;
        EXPECT_NE(g.outcome, Outcome::EngineFailed) << c.fen << ": " << g.moves;
        int success = 0;
        EXPECT_EQ(tb_probe_wdl(g.last, &success), 0) << c.fen << ": " << g.moves;
        EXPECT_NE(success, 0) << c.fen;
    }
    tbtest::unload_tables();
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}
