// Opening book in the Polyglot format.
//
// A book file is a sequence of 16-byte records sorted by position key, every field big-endian:
// key (8 bytes), move (2), weight (2), learn (4). The file is opened, searched by bisection and
// closed on every call; it is never loaded into memory, and nothing is cached between calls.
// A book file is untrusted input: a file whose size is not a whole number of records holds no
// moves, and every read is checked.
#pragma once

#include <cstdint>

// Entries taken for one position; more than this is an error.
constexpr int BOOK_MAX_ENTRIES = 100;

// The Polyglot key of the position a FEN text describes, computed from the text alone: the
// placement, the side letter, the castling letters and the en passant file (counted only when a
// pawn of the side to move stands beside the pawn that has just advanced two squares). Any text is
// accepted; what cannot be read contributes nothing.
uint64_t polyglot_key(const char* fen);

// Writes the coordinate text of a Polyglot move into text (at least 6 characters): from-square,
// to-square and, for promotion codes 1 to 4, the letter n, b, r or q (higher codes write no
// letter). The king-takes-rook castling texts e1h1, e1a1, e8h8 and e8a8 become e1g1, e1c1, e8g8
// and e8c8.
void book_move_text(char* text, uint16_t move);

// Looks the position (a FEN) up in the book file; on success writes the chosen move in coordinate
// notation into move_text (at least 6 characters) and returns 1. Only entries whose move is legal
// in the position are candidates: with RandBook a random one of them (the generator seeded with
// the time in seconds), otherwise the first in the file. Returns 0 when the position is not in the
// book or none of its moves is legal, and also, after a "#DEBUG" line, when it has more than
// BOOK_MAX_ENTRIES entries. Returns -1 when the file cannot be opened.
int book_probe(const char* file, const char* fen, char* move_text);

// Prints every book entry of the position (a FEN) in file order, as "move=%s weight=%5.2f%%" with
// its share of the summed weights (0.00 for all when they sum to 0). Returns 0 when it printed the
// list, 1 when the file cannot be opened (the system's message on the error stream), the position
// is not in the book, or it has too many entries.
int book_list(const char* file, const char* fen);
