// Copy-make: a move writes the position after it, already seen from the opponent's side, into the
// Board above the current one. Unmaking a move is stepping the current pointer back.
#pragma once

#include "board/board.h"

// Writes the position after the pseudo-legal, legal move m into cur + 1 and returns it. `first`
// is the lowest Board of the stack: the repetition scan never looks below it. Any move word that
// is not a move (0 included) gives an unflipped copy of cur.
Board* make_move(const Board* cur, Move m, const Board* first);

// Passes the turn: writes the position with the other side to move into cur + 1 and returns it.
Board* make_null_move(const Board* cur);
