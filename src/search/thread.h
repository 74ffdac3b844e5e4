// Per-thread search state. One record, the main search state, is also the game state of the
// front-ends: its position stack holds the game.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "eval/pawnhash.h"

struct SearchThread {
    uint32_t engine_side = 2; // real colour the engine plays (2: none yet)
    PositionStack stack{};
    PawnHashEntry* pawn_table = nullptr; // pawn_entries entries, owned by this thread
    uint64_t pawn_table_entries = 0;     // entries of pawn_table (a power of two)
};

extern SearchThread main_search;

constexpr int MAX_THREADS = 24;

// The record of search thread i (1 to MAX_THREADS), created on first use.
SearchThread& search_thread(int i);
