// Per-thread search state. One record, the main search state, is also the game state of the
// front-ends: its position stack holds the game.
#pragma once

#include <cstdint>

#include "board/board.h"

struct SearchThread {
    uint32_t engine_side = 2; // real colour the engine plays (2: none yet)
    PositionStack stack{};
};

extern SearchThread main_search;
