// A small UCI client for the end-to-end tests: positions replayed with the engine's own board
// code, the search replies parsed from a transcript and checked for legality, scripted and
// interactive runs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "e2e/harness.h"
#include "e2e/session.h"

namespace uci_client {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the engine prints from the end of the first prompt to its options, for a settings file
// that sets the hash size and the thread count and leaves the rest at the defaults.
inline std::string identification(int hash_mb, int threads) {
    return "\nid name brontavel\n"
           "id author Orvakt\n"
           "option name Ponder type check default true\n"
           "option name OwnBook type check default true\n"
           "option name Hash type spin default " +
           std::to_string(hash_mb) +
           " min 1 max 8192\n"
           "option name Threads type spin default " +
           std::to_string(threads) +
           " min 1 max 24\n"
           "option name Clear Hash type button\n"
           "option name BookFile type string default Kestrane_12.9c.bin\n"
           "option name SyzygyPath type string default <empty>\n"
           "option name SyzygyProbeLimit type spin default 5 min 0 max 7\n"
           "option name Move Overhead type spin default 30 min 0 max 5000\n";
}

inline constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
// White mates with h1h8 and has no other mate in one.
inline constexpr const char* kWhiteMatesFen = "k7/8/1K6/8/8/8/8/7R w - - 0 1";
// Black mates with h8h1: a Black move, printed with the real ranks.
inline constexpr const char* kBlackMatesFen = "7r/8/8/8/8/1k6/8/K7 b - - 0 1";
// White has been mated: no legal move.
inline constexpr const char* kWhiteMatedFen =
    "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3";

inline double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Prints a measured latency with the test's output and records it in the test report.
inline void report_latency(const std::string& what, double ms) {
    std::printf("[  latency ] %s: %.1f ms\n", what.c_str(), ms);
    testing::Test::RecordProperty(what, static_cast<int>(ms + 0.5));
}

inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::vector<std::string> split_words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// ---------------------------------------------------------------------------------------------
// Positions, replayed with the engine's own board code

inline Board board_of(const std::string& fen, const std::string& moves = "") {
    auto stack = std::make_unique<PositionStack>();
    new_game(*stack);
    EXPECT_EQ(1, read_fen(*stack, fen.c_str(), moves.empty() ? nullptr : moves.c_str()))
        << fen << " moves " << moves;
    return *stack->current;
}

inline std::vector<Move> legal_moves(const Board& b) {
    MoveEntry list[MAX_MOVES];
    const MoveEntry* end = gen_legal_moves(b, list);
    std::vector<Move> moves;
    for (const MoveEntry* e = list; e < end; ++e) moves.push_back(e->move);
    return moves;
}

inline std::string text_of(const Board& b, Move m) {
    char text[MOVE_TEXT_SIZE];
    move_to_text(text, m, b.side);
    return text;
}

inline std::set<std::string> legal_texts(const Board& b) {
    std::set<std::string> texts;
    for (Move m : legal_moves(b)) texts.insert(text_of(b, m));
    return texts;
}

inline Board after(const Board& b, Move m) {
    Board two[2] = {b, b};
    make_move(&two[0], m, &two[0]);
    return two[1];
}

// Plays the move named by `text` if it is legal on `b`.
inline bool play(Board& b, const std::string& text) {
    for (Move m : legal_moves(b)) {
        if (text_of(b, m) == text) {
            b = after(b, m);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Search replies

struct Info {
    int depth = 0;
    bool mate = false;
    int score = 0; // centipawns, or moves to mate
    uint64_t nodes = 0, nps = 0;
    int hashfull = 0; // per mille
    uint64_t tbhits = 0;
    std::vector<std::string> pv;
};

// One "info" line; nothing if the line does not have the UCI iteration format.
inline std::optional<Info> parse_info(const std::string& line) {
    // The variation: moves, each followed by one blank.
    static const std::string pv = R"( pv ((?:[a-h][1-8][a-h][1-8][nbrq]? )*))";
    static const std::string counts =
        R"( nodes +(\d+) time +\d+ nps (\d+) hashfull (\d+) tbhits (\d+))";
    static const std::regex cp(R"(info depth +(\d+) seldepth +\d+ score cp +(-?\d+))" + counts +
                               pv);
    static const std::regex mate(R"(info depth +(\d+) score mate +(-?\d+))" + counts + pv);
    std::smatch m;
    Info info;
    if (std::regex_match(line, m, cp)) {
        info.mate = false;
    } else if (std::regex_match(line, m, mate)) {
        info.mate = true;
    } else {
        return std::nullopt;
    }
    info.depth = std::stoi(m[1]);
    info.score = std::stoi(m[2]);
    info.nodes = std::stoull(m[3]);
    info.nps = std::stoull(m[4]);
    info.hashfull = std::stoi(m[5]);
    info.tbhits = std::stoull(m[6]);
    info.pv = split_words(m[7]);
    return info;
}

// What one "go" printed: its iteration lines, the best move and ponder move, the game-end lines
// after the best move, and anything else before it.
struct SearchReply {
    std::vector<Info> infos;
    std::string best, ponder;
    std::vector<std::string> results;
    std::vector<std::string> other;
};

inline bool is_result_line(const std::string& line) {
    return line.rfind("1-0 {", 0) == 0 || line.rfind("0-1 {", 0) == 0 ||
           line.rfind("1/2-1/2 {", 0) == 0;
}

// Groups the lines of a transcript by the best-move line that ends each search. Lines after the
// last best move are returned in `rest`.
inline std::vector<SearchReply> parse_searches(const std::vector<std::string>& lines,
                                               std::vector<std::string>* rest = nullptr) {
    std::vector<SearchReply> searches;
    SearchReply cur;
    for (const std::string& line : lines) {
        if (line.rfind("info ", 0) == 0 && line.rfind("info string ", 0) != 0) {
            const auto info = parse_info(line);
            if (info)
                cur.infos.push_back(*info);
            else
                ADD_FAILURE() << "malformed iteration line: \"" << line << "\"";
        } else if (line.rfind("bestmove ", 0) == 0) {
            const auto words = split_words(line);
            EXPECT_TRUE(words.size() == 2 || (words.size() == 4 && words[2] == "ponder"))
                << "malformed best-move line: \"" << line << "\"";
            cur.best = words.size() > 1 ? words[1] : "";
            cur.ponder = words.size() == 4 ? words[3] : "";
            searches.push_back(cur);
            cur = SearchReply();
        } else if (is_result_line(line) && !searches.empty() && cur.infos.empty() &&
                   cur.other.empty()) {
            searches.back().results.push_back(line);
        } else {
            cur.other.push_back(line);
        }
    }
    if (rest) *rest = cur.other;
    return searches;
}

// Checks one search from `root`: every principal variation is a legal line, the depths run from
// 1 up without gaps to the last one, the best move is legal and is the first move of the last
// variation, and a ponder move is its second move and legal after it.
inline void check_search(const Board& root, const SearchReply& s) {
    ASSERT_FALSE(s.infos.empty()) << "no iteration line before bestmove " << s.best;
    int expected_depth = 1;
    for (const Info& info : s.infos) {
        EXPECT_TRUE(info.depth == expected_depth || info.depth == expected_depth - 1)
            << "depth " << info.depth << " after " << expected_depth - 1;
        expected_depth = info.depth + 1;
        Board b = root;
        for (const std::string& m : info.pv)
            EXPECT_TRUE(play(b, m))
                << "illegal move " << m << " in the variation at depth " << info.depth;
    }
    const std::set<std::string> legal = legal_texts(root);
    EXPECT_TRUE(legal.count(s.best)) << "bestmove " << s.best << " is not legal";
    const Info& last = s.infos.back();
    if (!last.pv.empty()) {
        EXPECT_EQ(s.best, last.pv[0]);
    }
    if (!s.ponder.empty()) {
        ASSERT_GE(last.pv.size(), 2u);
        EXPECT_EQ(s.ponder, last.pv[1]);
    }
}

inline int deepest(const SearchReply& s) {
    int d = 0;
    for (const Info& i : s.infos) d = std::max(d, i.depth);
    return d;
}

inline bool has_line(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// Plays "uci", "isready" and then `commands` as an interface would (each search's best move
// awaited before the next line) and returns the lines printed after the first "readyok". Records a
// failure unless the engine ended with status 0.
inline std::vector<std::string> uci_script(const std::string& commands,
                                           std::chrono::milliseconds timeout = 60s,
                                           const std::vector<e2e::WorkFile>& files = {}) {
    const e2e::RunResult r = e2e::run_uci_script("uci\nisready\n" + commands, timeout, files);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(0, r.exit_status);
    const size_t at = r.out.find("\nuciok\n");
    const size_t ready = at == std::string::npos ? at : r.out.find("\nreadyok\n", at);
    if (ready == std::string::npos) {
        ADD_FAILURE() << "no uciok and readyok in:\n" << r.out;
        return {};
    }
    return split_lines(r.out.substr(ready + 9));
}

// An interactive session that has completed the handshake and allocated its tables.
inline bool start_uci(e2e::Session& s) {
    if (!s.started()) return false;
    s.send("uci");
    if (!s.wait_for("uciok", 30s)) return false;
    s.send("isready");
    return s.wait_for("readyok", 30s).has_value();
}

// Reads the rest of a search up to its best-move line, into a SearchReply.
inline std::optional<SearchReply> finish_search(e2e::Session& s, size_t mark,
                                                std::chrono::milliseconds timeout = 30s) {
    if (!s.wait_for("bestmove ", timeout)) return std::nullopt;
    const auto searches = parse_searches(s.lines_since(mark));
    if (searches.size() != 1) {
        ADD_FAILURE() << searches.size() << " best moves in one search";
        return std::nullopt;
    }
    return searches[0];
}

} // namespace uci_client
