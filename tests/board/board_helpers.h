// Helpers shared by the board tests.
#pragma once

#include <memory>
#include <string>
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

inline std::vector<Move> moves_of(const MoveEntry* begin, const MoveEntry* end) {
    std::vector<Move> v;
    for (const MoveEntry* e = begin; e < end; ++e) v.push_back(e->move);
    return v;
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
