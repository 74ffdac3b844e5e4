#include "board/makemove.h"

#include "board/movegen.h"

namespace {

constexpr int A1 = 0, C1 = 2, D1 = 3, E1 = 4, F1 = 5, G1 = 6, H1 = 7, A8 = 56, H8 = 63;

// Castling rights (our bits 0/1, their bits 4/5) lost when a piece leaves or is captured on a
// square; indexed by square, before the flip.
constexpr uint8_t rights_lost_from(int sq) {
    return sq == A1 ? 1 : sq == H1 ? 2 : 0;
}
constexpr uint8_t rights_lost_on(int sq) {
    return sq == A8 ? 0x10 : sq == H8 ? 0x20 : 0;
}

// Moves a piece of the given code from one square to another in the type bitboards.
inline void move_piece_bits(Board& b, int code, Bitboard from_to) {
    if (code & 1) b.pbq ^= from_to;
    if (code & 2) b.nbk ^= from_to;
    if (code & 4) b.rqk ^= from_to;
}

inline void set_piece_bits(Board& b, int code, int sq) {
    if (code & 1) b.pbq |= bit(sq);
    if (code & 2) b.nbk |= bit(sq);
    if (code & 4) b.rqk |= bit(sq);
}

inline void clear_square(Board& b, int sq) {
    b.pbq &= ~bit(sq);
    b.nbk &= ~bit(sq);
    b.rqk &= ~bit(sq);
}

inline void clear_en_passant(Board& nxt, uint64_t& key) {
    key ^= zobrist::en_passant[nxt.ep_file];
    nxt.ep_file = 8;
}

} // namespace

Board* make_move(const Board* cur, Move m, const Board* first) {
    Board* nxt = const_cast<Board*>(cur) + 1;
    *nxt = *cur;
    nxt->repetitions = 0;

    const uint32_t side = cur->side, them_side = side ^ 1;
    const int from = move_from(m), to = move_to(m);
    const Bitboard from_to = bit(from) | bit(to);
    uint64_t key = cur->key ^ zobrist::castling[cur->castling] ^ zobrist::side[0];
    uint8_t rights = cur->castling;
    bool reversible = false;

    switch (move_type(m)) {
    case PAWN:
        nxt->us ^= from_to;
        nxt->pbq ^= from_to;
        key ^= piece_key(side, PAWN, from) ^ piece_key(side, PAWN, to);
        clear_en_passant(*nxt, key);
        if (to - from == 16) {
            nxt->ep_file = static_cast<uint8_t>(to & 7);
            key ^= zobrist::en_passant[nxt->ep_file];
        }
        nxt->halfmove = 0;
        break;
    case KNIGHT:
    case BISHOP:
    case ROOK:
    case QUEEN:
    case KING: {
        const int code = move_piece(m);
        nxt->us ^= from_to;
        move_piece_bits(*nxt, code, from_to);
        key ^= piece_key(side, code, from) ^ piece_key(side, code, to);
        if (nxt->ep_file != 8) clear_en_passant(*nxt, key);
        rights &= static_cast<uint8_t>(~(code == KING   ? 3
                                         : code == ROOK ? rights_lost_from(from)
                                                        : 0));
        nxt->halfmove++;
        reversible = true;
        break;
    }
    case PAWN | MF_CAPTURE:
    case KNIGHT | MF_CAPTURE:
    case BISHOP | MF_CAPTURE:
    case ROOK | MF_CAPTURE:
    case QUEEN | MF_CAPTURE:
    case KING | MF_CAPTURE: {
        const int code = move_piece(m), victim = piece_at(*cur, to);
        key ^= piece_key(side, code, from) ^ piece_key(side, code, to) ^
               piece_key(them_side, victim, to ^ 56);
        clear_square(*nxt, to);
        set_piece_bits(*nxt, code, to);
        clear_square(*nxt, from);
        nxt->us ^= from_to;
        clear_en_passant(*nxt, key);
        rights &= static_cast<uint8_t>(~(code == KING   ? 3
                                         : code == ROOK ? rights_lost_from(from)
                                                        : 0));
        rights &= static_cast<uint8_t>(~rights_lost_on(to));
        nxt->halfmove = 0;
        break;
    }
    case MT_PROMOTION_PUSH:
    case MT_PROMOTION_CAPTURE: {
        const int promotion = move_promotion(m);
        key ^= piece_key(side, PAWN, from) ^ piece_key(side, promotion, to);
        if (move_type(m) == MT_PROMOTION_CAPTURE) {
            key ^= piece_key(them_side, piece_at(*cur, to), to ^ 56);
            clear_square(*nxt, to);
            rights &= static_cast<uint8_t>(~rights_lost_on(to));
        }
        nxt->pbq &= ~bit(from);
        set_piece_bits(*nxt, promotion, to);
        nxt->us ^= from_to;
        clear_en_passant(*nxt, key);
        nxt->halfmove = 0;
        break;
    }
    case MT_EN_PASSANT:
        nxt->us ^= from_to;
        nxt->pbq ^= from_to | bit(to - 8);
        key ^= piece_key(side, PAWN, from) ^ piece_key(side, PAWN, to) ^
               piece_key(them_side, PAWN, (to - 8) ^ 56);
        clear_en_passant(*nxt, key);
        nxt->halfmove = 0;
        break;
    case MT_CASTLE_KING:
        nxt->us ^= bit(E1) | bit(G1) | bit(F1) | bit(H1);
        nxt->rqk ^= bit(E1) | bit(G1) | bit(F1) | bit(H1);
        nxt->nbk ^= bit(E1) | bit(G1);
        key ^= piece_key(side, KING, E1) ^ piece_key(side, KING, G1) ^ piece_key(side, ROOK, H1) ^
               piece_key(side, ROOK, F1);
        if (nxt->ep_file != 8) clear_en_passant(*nxt, key);
        rights &= static_cast<uint8_t>(~3);
        nxt->halfmove++;
        reversible = true;
        break;
    case MT_CASTLE_QUEEN:
        nxt->us ^= bit(E1) | bit(C1) | bit(D1) | bit(A1);
        nxt->rqk ^= bit(E1) | bit(C1) | bit(D1) | bit(A1);
        nxt->nbk ^= bit(E1) | bit(C1);
        key ^= piece_key(side, KING, E1) ^ piece_key(side, KING, C1) ^ piece_key(side, ROOK, A1) ^
               piece_key(side, ROOK, D1);
        if (nxt->ep_file != 8) clear_en_passant(*nxt, key);
        rights &= static_cast<uint8_t>(~3);
        nxt->halfmove++;
        reversible = true;
        break;
    default: return nxt; // not a move: an exact copy, not flipped
    }

    // Hand the turn over: mirror the ranks and swap the sides.
    const Bitboard other = occupied(*nxt) ^ nxt->us;
    nxt->us = bswap(other);
    nxt->pbq = bswap(nxt->pbq);
    nxt->nbk = bswap(nxt->nbk);
    nxt->rqk = bswap(nxt->rqk);
    nxt->castling = static_cast<uint8_t>((rights >> 4) | (rights << 4));
    nxt->side = them_side;

    // Repetitions: only a reversible move can repeat an earlier position, and only one within
    // the last `halfmove` plies with the same side to move.
    if (reversible && nxt->halfmove >= 2) {
        const long depth = nxt - first;
        for (int back = 2; back <= nxt->halfmove && back <= depth; back += 2) {
            const Board* old = nxt - back;
            if (old->us == nxt->us && old->pbq == nxt->pbq && old->nbk == nxt->nbk &&
                old->rqk == nxt->rqk) {
                nxt->repetitions = static_cast<uint8_t>(old->repetitions + 1);
                break;
            }
        }
    }

    nxt->key = key ^ zobrist::castling[nxt->castling];
    return nxt;
}

Board* make_null_move(const Board* cur) {
    Board* nxt = const_cast<Board*>(cur) + 1;
    *nxt = *cur;
    flip_board(*nxt);
    nxt->ep_file = 8;
    nxt->halfmove = 0;
    nxt->repetitions = 0;
    nxt->key = cur->key ^ zobrist::en_passant[cur->ep_file] ^ zobrist::side[0] ^
               zobrist::castling[nxt->castling] ^ zobrist::castling[cur->castling];
    return nxt;
}
