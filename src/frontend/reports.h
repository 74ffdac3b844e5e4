// Search reports: the line after every iteration, the principal variation, and the best move, as
// UCI "info"/"bestmove" lines or as readable console lines.
#pragma once

#include <cstdint>

#include "search/thread.h"

// The iteration line for the main search state's current iteration depth.
void report_iteration(const SearchThread& main, uint64_t result, const PVLine& pv);

// The moves of the variation from the main state's current position, then a line break.
void print_pv(const SearchThread& main, const PVLine& pv);

// The chosen move, printed after it has been made on the game position.
void report_best_move(uint64_t result, Move ponder);

// The coordinate text of a move played by `side`; "0000" for the zero move.
void move_text_or_null(char* buffer, Move m, uint32_t side);
