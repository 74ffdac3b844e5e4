// Perft: the number of leaves of the legal move tree, to verify move generation and make-move.
#pragma once

#include <cstdint>

#include "board/board.h"

// Leaves below the stack's current position to the given depth. Every leaf move is made. A
// position whose moves yield no leaf counts 1 when the side to move is not in check and 0 when it
// is. The stack is left as it was found; it needs `depth` free Boards above the current one.
uint64_t perft(PositionStack& stack, int depth);
