// Opening book in the Polyglot format.
#pragma once

// Looks the position (a FEN) up in the book file; on success writes the chosen move in coordinate
// notation into move_text (at least 6 characters) and returns 1. Returns 0 when the position is
// not in the book, and -1 when the file cannot be opened.
int book_probe(const char* file, const char* fen, char* move_text);
