// The position record, the position stack and the Zobrist keys.
//
// A Board is always seen from the side to move: our pieces are in `us`, our pawns move up the
// board, our king starts on e1. When the turn passes, every bitboard is byte-swapped (ranks
// mirrored). Squares inside a Board and inside a Move are therefore relative to the side to move;
// the real colour of the side to move is kept in `side`.
#pragma once

#include <cstdint>

#include "board/zobrist.h"

using Bitboard = uint64_t;
using Move = uint32_t;

// Piece codes (3 bits, spread over pbq / nbk / rqk).
constexpr int EMPTY = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6;
// Colours.
constexpr uint32_t WHITE = 0, BLACK = 1;

struct Board {
    Bitboard us;         // pieces of the side to move
    Bitboard pbq;        // bit 0 of the piece code: pawns, bishops, queens
    Bitboard nbk;        // bit 1 of the piece code: knights, bishops, kings
    Bitboard rqk;        // bit 2 of the piece code: rooks, queens, kings
    uint8_t castling;    // bit 0/1 our queen/king side, bit 4/5 their queen/king side
    uint8_t ep_file;     // file of a pawn that just advanced two squares, 8 = none
    uint8_t halfmove;    // plies since the last capture or pawn move
    uint8_t repetitions; // earlier occurrences of this position (0 = first)
    uint32_t side;       // real colour of the side to move
    uint64_t key;        // Zobrist key, maintained incrementally
};

struct MoveEntry {
    Move move;
    int16_t score;
};

// The game history since the last irreversible move plus the deepest search path must fit.
constexpr int STACK_SIZE = 800;

struct PositionStack {
    Board boards[STACK_SIZE];
    Board* current;
};

// ---------------------------------------------------------------------------------------------
// Piece sets

inline Bitboard occupied(const Board& b) {
    return b.pbq | b.nbk | b.rqk;
}
inline Bitboard them(const Board& b) {
    return occupied(b) ^ b.us;
}
inline Bitboard pawns(const Board& b) {
    return b.pbq & ~b.nbk & ~b.rqk;
}
inline Bitboard knights(const Board& b) {
    return b.nbk & ~b.pbq & ~b.rqk;
}
inline Bitboard bishops(const Board& b) {
    return b.pbq & b.nbk;
}
inline Bitboard rooks(const Board& b) {
    return b.rqk & ~b.pbq & ~b.nbk;
}
inline Bitboard queens(const Board& b) {
    return b.pbq & b.rqk;
}
inline Bitboard kings(const Board& b) {
    return b.nbk & b.rqk;
}
inline Bitboard diagonal_sliders(const Board& b) {
    return b.pbq & (b.nbk | b.rqk);
}
inline Bitboard straight_sliders(const Board& b) {
    return b.rqk & (b.pbq | ~b.nbk);
}

inline int piece_at(const Board& b, int sq) {
    return static_cast<int>(((b.pbq >> sq) & 1) | (((b.nbk >> sq) & 1) << 1) |
                            (((b.rqk >> sq) & 1) << 2));
}

inline int lsb(Bitboard b) {
    return __builtin_ctzll(b);
}
inline int pop_lsb(Bitboard& b) {
    int s = __builtin_ctzll(b);
    b &= b - 1;
    return s;
}
inline int popcount(Bitboard b) {
    return __builtin_popcountll(b);
}
inline Bitboard bswap(Bitboard b) {
    return __builtin_bswap64(b);
}
inline Bitboard bit(int sq) {
    return 1ULL << sq;
}

constexpr Bitboard FILE_A = 0x0101010101010101ULL;
constexpr Bitboard FILE_H = 0x8080808080808080ULL;
constexpr Bitboard RANK_1 = 0xFFULL;
constexpr Bitboard RANK_2 = 0xFF00ULL;
constexpr Bitboard RANK_4 = 0xFF000000ULL;
constexpr Bitboard RANK_5 = 0xFF00000000ULL;
constexpr Bitboard RANK_7 = 0x00FF000000000000ULL;
constexpr Bitboard RANK_8 = 0xFF00000000000000ULL;

// ---------------------------------------------------------------------------------------------
// Keys

inline uint64_t piece_key(uint32_t colour, int code, int sq) {
    return zobrist::piece[(colour * 8 + static_cast<uint32_t>(code)) * 64 +
                          static_cast<uint32_t>(sq)];
}

// The position seen from the other side, in place (the key is not touched).
inline void flip_board(Board& b) {
    Bitboard other = occupied(b) ^ b.us;
    b.us = bswap(other);
    b.pbq = bswap(b.pbq);
    b.nbk = bswap(b.nbk);
    b.rqk = bswap(b.rqk);
    b.castling = static_cast<uint8_t>((b.castling >> 4) | (b.castling << 4));
    b.side ^= 1;
}

// The full key computed from scratch.
uint64_t compute_key(const Board& b);

// The start position, with its key.
Board start_position();

// Clears the whole stack, sets up the start position in its first Board and makes it current.
// Returns the first Board.
Board* new_game(PositionStack& stack);
