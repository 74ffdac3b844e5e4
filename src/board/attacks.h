// Attack tables: leaper attacks per square, the squares between two squares, and slider attacks
// from magic bitboards (one table size per square). Built once before main() runs; read-only
// afterwards, so every thread shares them without locks.
#pragma once

#include "board/board.h"

struct Magic {
    Bitboard mask;           // relevant occupancy: the rays without the edge squares
    Bitboard magic;          // multiplier
    unsigned shift;          // 64 minus the number of squares in mask
    const Bitboard* attacks; // this square's part of the attack array
};

namespace attacks {
extern Bitboard king[64];
extern Bitboard knight[64];
extern Bitboard pawn[64];               // squares our pawn on s attacks (0 on ranks 1 and 8)
extern Bitboard pawn_attackers[64];     // squares from which our pawn would attack s
extern Bitboard ep_capturers[8];        // rank-5 squares next to file f
extern Bitboard between_table[64 * 64]; // squares strictly between a and b on a line, else 0
extern Magic bishop_magic[64];
extern Magic rook_magic[64];
extern Bitboard bishop_table[5248];
extern Bitboard rook_table[102400];
} // namespace attacks

inline Bitboard bishop_attacks(int sq, Bitboard occ) {
    const Magic& m = attacks::bishop_magic[sq];
    return m.attacks[((occ & m.mask) * m.magic) >> (m.shift & 63)];
}

inline Bitboard rook_attacks(int sq, Bitboard occ) {
    const Magic& m = attacks::rook_magic[sq];
    return m.attacks[((occ & m.mask) * m.magic) >> (m.shift & 63)];
}

inline Bitboard queen_attacks(int sq, Bitboard occ) {
    return bishop_attacks(sq, occ) | rook_attacks(sq, occ);
}

inline Bitboard between(int a, int b) {
    return attacks::between_table[a * 64 + b];
}

// Slider attacks by walking the rays; the reference the magic tables are built from.
Bitboard slider_attacks_slow(int sq, Bitboard occ, bool bishop);
