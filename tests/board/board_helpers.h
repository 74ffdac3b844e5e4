// Helpers shared by the tests that set up positions.
#pragma once

#include <algorithm>
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

// On the heap: a position stack is too large for a test's stack frame.
inline std::unique_ptr<PositionStack> make_stack() {
    auto s = std::make_unique<PositionStack>();
    new_game(*s);
    return s;
}

// The stack after the FEN and the moves, or null when either is refused.
inline std::unique_ptr<PositionStack> stack_from(const std::string& fen,
                                                 const char* moves = nullptr) {
    auto s = make_stack();
    return read_fen(*s, fen.c_str(), moves) ? std::move(s) : nullptr;
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
    std::vector<std::string> v;
    for (MoveEntry *e = list, *end = gen(b, list); e < end; ++e)
        v.push_back(text_of(e->move, b.side));
    return v;
}

inline bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// A line of perft-suite.txt, "FEN;depth count;depth count...".
struct SuiteLine {
    std::string fen;
    std::vector<std::pair<int, uint64_t>> counts;
};

inline std::vector<SuiteLine> read_perft_suite(const std::string& dir) {
    std::vector<SuiteLine> suite;
    std::ifstream in(dir + "/perft-suite.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::stringstream ss(line);
        SuiteLine& s = suite.emplace_back();
        std::getline(ss, s.fen, ';');
        int depth = 0;
        uint64_t count = 0;
        for (std::string field; std::getline(ss, field, ';');)
            if (std::stringstream(field) >> depth >> count) s.counts.emplace_back(depth, count);
    }
    return suite;
}
