// Helpers shared by the tests that set up positions.
#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"

// A heap-allocated position stack (it is too large for a test's own stack frame).
inline std::unique_ptr<PositionStack> make_stack() {
    auto s = std::make_unique<PositionStack>();
    new_game(*s);
    return s;
}

// The stack after the FEN and the moves, or null when either is refused.
inline std::unique_ptr<PositionStack> stack_from(const std::string& fen,
                                                 const char* moves = nullptr) {
    auto s = make_stack();
    if (!read_fen(*s, fen.c_str(), moves)) return nullptr;
    return s;
}

inline std::string fen_of(const Board& b) {
    char buf[FEN_BUFFER_SIZE];
    write_fen(b, buf);
    return buf;
}

inline std::string text_of(Move m, uint32_t side) {
    char buf[MOVE_TEXT_SIZE];
    move_to_text(buf, m, side);
    return buf;
}

// Coordinate texts of the moves a generator produced, in list order.
template <typename Gen> std::vector<std::string> texts(const Board& b, Gen gen) {
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen(b, list);
    std::vector<std::string> v;
    for (MoveEntry* e = list; e < end; ++e) v.push_back(text_of(e->move, b.side));
    return v;
}

inline bool contains(const std::vector<std::string>& v, const std::string& s) {
    for (const auto& x : v)
        if (x == s) return true;
    return false;
}

// One line of the perft reference suite: the FEN and its leaf counts by depth.
struct SuiteLine {
    std::string fen;
    std::vector<std::pair<int, uint64_t>> counts;
};

// "FEN;depth count;depth count..." per line of perft-suite.txt in the test data folder.
inline std::vector<SuiteLine> read_perft_suite(const std::string& dir) {
    std::vector<SuiteLine> suite;
    std::ifstream in(dir + "/perft-suite.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::stringstream ss(line);
        SuiteLine s;
        std::getline(ss, s.fen, ';');
        for (std::string field; std::getline(ss, field, ';');) {
            std::stringstream fs(field);
            int depth = 0;
            uint64_t count = 0;
            fs >> depth >> count;
            s.counts.emplace_back(depth, count);
        }
        suite.push_back(s);
    }
    return suite;
}
