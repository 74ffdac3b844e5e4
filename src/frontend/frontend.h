// The two front-ends (console and UCI), the mode chosen by the first input line, and line input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "board/board.h"

enum FrontendMode : uint32_t { MODE_CONSOLE = 0, MODE_UCI = 2 };
extern uint32_t frontend_mode;

// Reads one line from standard input into buf (at most size - 1 characters; the rest of a longer
// line is read and dropped). The line break, and a carriage return before it, are removed.
// Returns false at end of input when no character was read.
bool read_line(char* buf, size_t size);

// Reads one whole line of any length; false at end of input when nothing was read.
bool read_line(std::string& line);

// A new game on the game state: the start position, and the hash table's age counter back to 0.
void start_new_game();

// Starts the thread that reads "ponderhit" and "stop" while a UCI search ponders or analyses.
void start_input_monitor(uint32_t mode);
// Waits for the monitor to end (it ends on "ponderhit" or "stop").
void join_input_monitor();

// The interactive console; returns 1 when a line beginning with 'q' ends it.
int console_loop();

// The UCI protocol loop; returns 1 when a line beginning with 'q' ends it.
int uci_loop();

// Prints the board diagram (White at the bottom, whoever is to move).
void print_board(const Board& board);
