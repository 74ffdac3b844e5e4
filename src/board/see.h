// Static exchange evaluation: the material outcome of the captures on one square when each side
// recaptures with its least valuable piece and may stop when going on would lose.
#pragma once

#include "board/board.h"

// Value of a piece code (1 pawn .. 6 king) from the evaluation weights; 0 for anything else.
int see_piece_value(int code);

// Exchange score of the move for the side to move; positive is a material gain. Uses the Board
// above `board` in its stack as scratch space.
int see(const Board& board, Move move);

// 1 if the move loses material by exchange.
int see_is_losing(const Board& board, Move move);

// Runs the exchange evaluation on the stored test positions and prints a report.
void see_test(PositionStack& stack);
