// The two front-ends (console and UCI), the mode chosen by the first input line, and line input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "board/board.h"

// MODE_BENCH: the command-line benchmark, whose searches report nothing.
enum FrontendMode : uint32_t { MODE_CONSOLE = 0, MODE_BENCH = 1, MODE_UCI = 2 };
extern uint32_t frontend_mode;

// Reads one line from standard input into buf (at most size - 1 characters; the rest of a longer
// line is read and dropped). The line break, and a carriage return before it, are removed.
// Returns false at end of input when no character was read.
bool read_line(char* buf, size_t size);

// Reads one whole line of any length; false at end of input when nothing was read.
bool read_line(std::string& line);

// A new game on the game state: the start position, and the hash table's age counter back to 0.
void start_new_game();

// UCI input. The reader thread takes every input line from its start until "quit" or the end
// of input; during a search (from the "go" being read to its best move) it answers "isready" and
// acts on "stop", "ponderhit", "quit" and the end of input itself, and queues the rest.
void uci_input_start();
// The next queued line for the UCI loop, waiting for one; false at the end of input.
bool uci_next_line(std::string& line);
// The loop starts the search of the "go" it took (after setting up the search flags): "stop" and
// "ponderhit" read since that "go" apply now.
void uci_search_begin();
// The search is over and its best move is about to be printed.
void uci_search_end();

// Prints a message that is not part of a protocol: as it stands in the console, as an
// "info string" line in UCI mode. The format gives one line, without its line break.
void print_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The interactive console; returns 1 when a line beginning with 'q' ends it.
int console_loop();

// The UCI protocol loop; returns 1 when a line beginning with 'q' or the end of input ends it.
int uci_loop();

// Prints the board diagram (White at the bottom, whoever is to move).
void print_board(const Board& board);
