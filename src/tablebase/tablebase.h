// Endgame tablebases: win/draw/loss and distance-to-zero probes, and the root filter.
#pragma once

#include <cstdint>

#include "board/board.h"

// Registers the tables found in the two folder lists (folders separated by ':', searched in
// order; a table is taken from the first folder that holds it).
void tb_init(const char* dtz_path, const char* wdl_path);

// The tables hold no position with a castling right: the probes below fail on one, and so does
// the root filter.

// Win/draw/loss of the position for the side to move: -2 loss, -1 blessed loss, 0 draw, 1 cursed
// win, 2 win. *success is set to 1 when the value is known, else 0.
int tb_probe_wdl(const Board& b, int* success);

// Distance to zeroing the fifty-move counter, signed like the WDL value.
int tb_probe_dtz(const Board& b, int* success);

// Removes the root moves that throw away the tablebase result, ranks the rest (distance to
// zeroing in plies, positive for winning moves, larger first) and gives the position's tablebase
// score in *tb_score; *end moves back when moves are dropped. `history` is the first board of the
// stack that holds `b`, for the repetition scan (nullptr: no history before `b`). Returns 1 when
// the filter ran, 0 when the position could not be probed.
int tb_root_filter(const Board& b, MoveEntry* first, int16_t* tb_score, MoveEntry** end,
                   const Board* history = nullptr);
