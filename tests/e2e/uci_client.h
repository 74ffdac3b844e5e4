// A small UCI client for the end-to-end tests: positions replayed with the engine's own board
// code, and the search replies parsed from a transcript and checked for legality.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "board/board_helpers.h"
#include "e2e/harness.h"

namespace uci_client {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

inline double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline std::vector<std::string> split(const std::string& text, char sep = '\n') {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, sep);)
        if (sep == '\n' || !part.empty()) parts.push_back(part);
    return parts;
}

inline std::set<std::string> legal_texts(const std::string& fen, const std::string& moves = "") {
    auto s = stack_from(fen, moves.empty() ? nullptr : moves.c_str());
    EXPECT_TRUE(s) << fen << " moves " << moves;
    std::set<std::string> v;
    if (s)
        for (const auto& m : texts(*s->current, gen_legal_moves)) v.insert(m);
    return v;
}

struct Info {
    int depth = 0;
    bool mate = false;
    int score = 0; // centipawns, or moves to mate
    uint64_t nodes = 0, nps = 0, tbhits = 0;
    int hashfull = 0;
    std::vector<std::string> pv;
};

// What one "go" printed: its iteration lines, the best and ponder moves, the game-end lines after
// the best move, and anything else before it.
struct SearchReply {
    std::vector<Info> infos;
    std::string best, ponder;
    std::vector<std::string> results, other;
};

inline std::optional<Info> parse_info(const std::string& line) {
    static const std::string tail =
        R"( nodes +(\d+) time +\d+ nps (\d+) hashfull (\d+) tbhits (\d+))"
        R"( pv ((?:[a-h][1-8][a-h][1-8][nbrq]? )*))";
    static const std::regex cp(R"(info depth +(\d+) seldepth +\d+ score cp +(-?\d+))" + tail);
    static const std::regex mate(R"(info depth +(\d+) score mate +(-?\d+))" + tail);
    std::smatch m;
    Info info;
    info.mate = !std::regex_match(line, m, cp);
    if (info.mate && !std::regex_match(line, m, mate)) return std::nullopt;
    info.depth = std::stoi(m[1]);
    info.score = std::stoi(m[2]);
    info.nodes = std::stoull(m[3]);
    info.nps = std::stoull(m[4]);
    info.hashfull = std::stoi(m[5]);
    info.tbhits = std::stoull(m[6]);
    info.pv = split(m[7], ' ');
    return info;
}

// Groups the lines of a transcript by the best-move line that ends each search.
inline std::vector<SearchReply> parse_searches(const std::vector<std::string>& lines) {
    std::vector<SearchReply> searches;
    SearchReply cur;
    for (const std::string& line : lines) {
        if (line.rfind("info ", 0) == 0 && line.rfind("info string ", 0) != 0) {
            const auto info = parse_info(line);
            EXPECT_TRUE(info) << "malformed iteration line: \"" << line << "\"";
            if (info) cur.infos.push_back(*info);
        } else if (line.rfind("bestmove ", 0) == 0) {
            const auto words = split(line, ' ');
            EXPECT_TRUE(words.size() == 2 || (words.size() == 4 && words[2] == "ponder")) << line;
            cur.best = words.size() > 1 ? words[1] : "";
            cur.ponder = words.size() == 4 ? words[3] : "";
            searches.push_back(cur);
            cur = SearchReply();
        } else if (std::regex_match(line, std::regex(R"((1-0|0-1|1/2-1/2) \{.*\})")) &&
                   !searches.empty() && cur.infos.empty() && cur.other.empty()) {
            searches.back().results.push_back(line);
        } else {
            cur.other.push_back(line);
        }
    }
    return searches;
}

// Every variation is a legal line from the root, the depths run from 1 up without gaps, the best
// move is legal and leads the last variation, and a ponder move is its second move.
inline void check_search(const std::string& fen, const std::string& moves, const SearchReply& s) {
    ASSERT_FALSE(s.infos.empty()) << "no iteration line before bestmove " << s.best;
    int expected = 1;
    for (const Info& info : s.infos) {
        EXPECT_TRUE(info.depth == expected || info.depth == expected - 1) << info.depth;
        expected = info.depth + 1;
        std::string line = moves;
        for (const std::string& m : info.pv) {
            EXPECT_TRUE(legal_texts(fen, line).count(m)) << m << " after " << line;
            line += (line.empty() ? "" : " ") + m;
        }
    }
    EXPECT_TRUE(legal_texts(fen, moves).count(s.best)) << "bestmove " << s.best;
    const Info& last = s.infos.back();
    EXPECT_TRUE(last.pv.empty() || s.best == last.pv[0]) << s.best;
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

// "uci", "isready", then `commands` as an interface plays them; the lines after the first readyok.
inline std::vector<std::string> uci_script(const std::string& commands,
                                           std::chrono::milliseconds timeout = 60s,
                                           const std::vector<e2e::WorkFile>& files = {}) {
    const e2e::RunResult r = e2e::run_uci_script("uci\nisready\n" + commands, timeout, files);
    EXPECT_EQ(0, r.exit_status);
    const size_t ready = r.out.find("\nreadyok\n", r.out.find("\nuciok\n"));
    if (ready == std::string::npos) {
        ADD_FAILURE() << "no uciok and readyok in:\n" << r.out;
        return {};
    }
    return split(r.out.substr(ready + 9));
}

// An interactive session that has completed the handshake and allocated its tables.
inline bool start_uci(e2e::Session& s) {
    if (!s.started()) return false;
    s.send("uci");
    if (!s.wait_for("uciok")) return false;
    s.send("isready");
    return s.wait_for("readyok").has_value();
}

// Reads the search whose lines follow `mark` up to its best move.
inline std::optional<SearchReply> finish(e2e::Session& s, size_t mark,
                                         std::chrono::milliseconds timeout = 30s) {
    if (!s.wait_for("bestmove ", timeout)) return std::nullopt;
    const auto searches = parse_searches(s.lines_since(mark));
    EXPECT_EQ(1u, searches.size());
    if (searches.size() != 1) return std::nullopt;
    return searches[0];
}

} // namespace uci_client
