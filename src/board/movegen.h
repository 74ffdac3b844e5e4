// Pseudo-legal move generation, check detection and the legality test.
//
// Generators write into a caller-owned array starting at `list` and return the address just
// behind the last entry written, so they can be chained. Every caller that needs legal moves tests
// each move with leaves_king_attacked before making it.
#pragma once

#include "board/board.h"

// Move word layout: bits 0-2 moving piece code, bit 3 capture, bit 4 promotion (pawn) or king-side
// castling (king), bit 5 en passant (pawn) or queen-side castling (king), bits 8-15 from, bits
// 16-23 to, bits 24-31 promotion piece code. 0 means no move.
constexpr uint32_t MF_CAPTURE = 8, MF_PROMOTION = 16, MF_EN_PASSANT = 32;
constexpr uint32_t MT_PROMOTION_PUSH = 17;    // pawn push onto rank 8
constexpr uint32_t MT_PROMOTION_CAPTURE = 25; // pawn capture onto rank 8
constexpr uint32_t MT_EN_PASSANT = 41;
constexpr uint32_t MT_CASTLE_KING = 22;
constexpr uint32_t MT_CASTLE_QUEEN = 38;

// Enough for any position the FEN reader accepts (the most known in a legal position is 218).
constexpr int MAX_MOVES = 320;

constexpr Move encode_move(uint32_t type, int from, int to, int promotion = 0) {
    return type | static_cast<uint32_t>(from) << 8 | static_cast<uint32_t>(to) << 16 |
           static_cast<uint32_t>(promotion) << 24;
}
constexpr uint32_t move_type(Move m) {
    return m & 0xFF;
}
constexpr int move_from(Move m) {
    return static_cast<int>((m >> 8) & 0xFF);
}
constexpr int move_to(Move m) {
    return static_cast<int>((m >> 16) & 0xFF);
}
constexpr int move_promotion(Move m) {
    return static_cast<int>(m >> 24);
}
constexpr int move_piece(Move m) {
    return static_cast<int>(m & 7);
}
constexpr bool is_capture(Move m) {
    return (m & MF_CAPTURE) != 0;
}

// Opponent pieces attacking square sq, with the given occupancy and opponent set.
Bitboard attackers_to(const Board& b, int sq, Bitboard occ, Bitboard their);

inline int our_king_square(const Board& b) {
    return lsb(kings(b) & b.us);
}

// Opponent pieces attacking our king (0: not in check).
inline Bitboard king_attackers(const Board& b) {
    return attackers_to(b, our_king_square(b), occupied(b), them(b));
}

// Opponent pieces that would attack our king after the pseudo-legal move (0: legal).
Bitboard leaves_king_attacked(const Board& b, Move m);

MoveEntry* gen_quiets(const Board& b, MoveEntry* list);
MoveEntry* gen_captures(const Board& b, MoveEntry* list);
MoveEntry* gen_all_moves(const Board& b, MoveEntry* list);
MoveEntry* gen_legal_moves(const Board& b, MoveEntry* list);
MoveEntry* gen_checks(const Board& b, MoveEntry* list);
MoveEntry* gen_evasions(const Board& b, Bitboard checkers, MoveEntry* list);

// Our pieces that stand alone between our king and an opponent slider aiming at it.
Bitboard pinned_pieces(const Board& b);

// Legality of a pseudo-legal move given the position's checkers and pinned pieces: the full test
// runs only for king moves, en passant, pinned pieces and positions in check.
inline bool is_legal_fast(const Board& b, Move m, Bitboard checkers, Bitboard pinned) {
    if (!checkers && move_piece(m) != KING && !(pinned & bit(move_from(m))) &&
        move_type(m) != MT_EN_PASSANT)
        return true;
    return leaves_king_attacked(b, m) == 0;
}

// Our knights, bishops and rooks pinned to our king so that they have no move at all.
Bitboard immobile_pinned(const Board& b);
