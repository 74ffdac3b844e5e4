// Positions and moves as text: FEN in and out, coordinate move notation, playing a user's move,
// and the end-of-game announcement.
#pragma once

#include "board/board.h"

constexpr int FEN_MAX_LENGTH = 215;  // longer FEN texts are refused
constexpr int FEN_BUFFER_SIZE = 128; // write_fen never writes more than this, terminator included
constexpr int MOVE_TEXT_SIZE = 6;    // "e7e8q" plus the terminator

// Sets up the position of `fen` in the stack, then plays the blank-separated coordinate moves of
// `moves` (may be null). Returns 1 on success; the current Board is then the position after the
// last move. Returns 0, leaving the stack exactly as it was, when the FEN is malformed or
// impossible (see fen.cpp for what is checked) or a move is not legal where it is played.
int read_fen(PositionStack& stack, const char* fen, const char* moves);

// Writes the FEN of the board (placement, side, castling, en passant, each followed by a blank)
// into buffer, which holds FEN_BUFFER_SIZE characters. Returns 1.
int write_fen(const Board& board, char* buffer);

// Writes the coordinate text of a move for a position whose real side to move is `side`.
void move_to_text(char* buffer, Move move, uint32_t side);

// The move the coordinate text names on the board; not checked for legality. A text that is too
// short or names no squares gives 0, which no generator produces.
Move text_to_move(const Board& board, const char* text);

// Plays the move on the stack's current position if it is a legal move there; returns 1 if so.
int play_move_if_legal(PositionStack& stack, Move move);

// Makes the Board above the current one current. When the stack nears its end, the oldest
// history is dropped (keeping every position a repetition could still refer to), so a game of any
// length leaves room for the deepest search.
void game_advance(PositionStack& stack);

// Prints the result of a finished game on the current position; returns 1 if a draw by
// repetition or by the fifty-move rule was announced.
int announce_game_end(const PositionStack& stack);
