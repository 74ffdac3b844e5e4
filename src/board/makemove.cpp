#include "board/makemove.h"

#include "board/movegen.h"

namespace {

constexpr int A1 = 0, C1 = 2, D1 = 3, E1 = 4, F1 = 5, G1 = 6, H1 = 7, A8 = 56, H8 = 63;

// Castling rights (our bits 0/1, their bits 4/5) that survive a rook leaving a square or any
// capture on it; indexed by square, before the flip.
constexpr uint8_t kKeptByRookFrom[64] = {
    0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint8_t kKeptByCaptureOn(int sq) {
    return sq == A8 ? 0xEF : sq == H8 ? 0xDF : 0xFF;
}

// The three type bitboards of a piece code, as masks to apply to one square set.
inline void toggle_piece(Bitboard& pbq, Bitboard& nbk, Bitboard& rqk, int code, Bitboard squares) {
    pbq ^= (code & 1) ? squares : 0;
    nbk ^= (code & 2) ? squares : 0;
    rqk ^= (code & 4) ? squares : 0;
}

} // namespace

Board* make_move(const Board* cur, Move m, const Board* first) {
    Board* nxt = const_cast<Board*>(cur) + 1;
    Bitboard us = cur->us, pbq = cur->pbq, nbk = cur->nbk, rqk = cur->rqk;
    const uint32_t side = cur->side, them_side = side ^ 1;
    const int from = move_from(m), to = move_to(m);
    const Bitboard from_to = bit(from) | bit(to);
    // The castling and en passant parts of the key are taken out here and put back at the end.
    uint64_t key = cur->key ^ zobrist::castling[cur->castling] ^ zobrist::en_passant[cur->ep_file] ^
                   zobrist::side[0];
    uint8_t rights = cur->castling;
    uint8_t ep_file = 8;
    uint8_t halfmove = 0;
    bool reversible = false;

    switch (move_type(m)) {
    case PAWN:
        us ^= from_to;
        pbq ^= from_to;
        key ^= piece_key(side, PAWN, from) ^ piece_key(side, PAWN, to);
        if (to - from == 16) ep_file = static_cast<uint8_t>(to & 7);
        break;
    case KNIGHT:
    case BISHOP:
    case ROOK:
    case QUEEN:
    case KING: {
        const int code = move_piece(m);
        us ^= from_to;
        toggle_piece(pbq, nbk, rqk, code, from_to);
        key ^= piece_key(side, code, from) ^ piece_key(side, code, to);
        if (code == KING)
            rights &= 0xFC;
        else if (code == ROOK)
            rights &= kKeptByRookFrom[from];
        halfmove = static_cast<uint8_t>(cur->halfmove + 1);
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
        toggle_piece(pbq, nbk, rqk, victim, bit(to));
        toggle_piece(pbq, nbk, rqk, code, from_to);
        us ^= from_to;
        if (code == KING)
            rights &= 0xFC;
        else if (code == ROOK)
            rights &= kKeptByRookFrom[from];
        rights &= kKeptByCaptureOn(to);
        break;
    }
    case MT_PROMOTION_PUSH:
    case MT_PROMOTION_CAPTURE: {
        const int promotion = move_promotion(m);
        key ^= piece_key(side, PAWN, from) ^ piece_key(side, promotion, to);
        if (move_type(m) == MT_PROMOTION_CAPTURE) {
            const int victim = piece_at(*cur, to);
            key ^= piece_key(them_side, victim, to ^ 56);
            toggle_piece(pbq, nbk, rqk, victim, bit(to));
            rights &= kKeptByCaptureOn(to);
        }
        pbq ^= bit(from);
        toggle_piece(pbq, nbk, rqk, promotion, bit(to));
        us ^= from_to;
        break;
    }
    case MT_EN_PASSANT:
        us ^= from_to;
        pbq ^= from_to | bit(to - 8);
        key ^= piece_key(side, PAWN, from) ^ piece_key(side, PAWN, to) ^
               piece_key(them_side, PAWN, (to - 8) ^ 56);
        break;
    case MT_CASTLE_KING:
        us ^= bit(E1) | bit(G1) | bit(F1) | bit(H1);
        rqk ^= bit(E1) | bit(G1) | bit(F1) | bit(H1);
        nbk ^= bit(E1) | bit(G1);
        key ^= piece_key(side, KING, E1) ^ piece_key(side, KING, G1) ^ piece_key(side, ROOK, H1) ^
               piece_key(side, ROOK, F1);
        rights &= 0xFC;
        halfmove = static_cast<uint8_t>(cur->halfmove + 1);
        reversible = true;
        break;
    case MT_CASTLE_QUEEN:
        us ^= bit(E1) | bit(C1) | bit(D1) | bit(A1);
        rqk ^= bit(E1) | bit(C1) | bit(D1) | bit(A1);
        nbk ^= bit(E1) | bit(C1);
        key ^= piece_key(side, KING, E1) ^ piece_key(side, KING, C1) ^ piece_key(side, ROOK, A1) ^
               piece_key(side, ROOK, D1);
        rights &= 0xFC;
        halfmove = static_cast<uint8_t>(cur->halfmove + 1);
        reversible = true;
        break;
    default:
        *nxt = *cur; // not a move: an exact copy, not flipped
        nxt->repetitions = 0;
        return nxt;
    }

    // Hand the turn over: mirror the ranks and swap the sides.
    nxt->us = bswap((pbq | nbk | rqk) ^ us);
    nxt->pbq = bswap(pbq);
    nxt->nbk = bswap(nbk);
    nxt->rqk = bswap(rqk);
    nxt->castling = static_cast<uint8_t>((rights >> 4) | (rights << 4));
    nxt->ep_file = ep_file;
    nxt->halfmove = halfmove;
    nxt->repetitions = 0;
    nxt->side = them_side;
    nxt->key = key ^ zobrist::castling[nxt->castling] ^ zobrist::en_passant[ep_file];

    // Repetitions: only a reversible move can repeat an earlier position, and only one within
    // the last `halfmove` plies with the same side to move.
    if (reversible && halfmove >= 2) {
        const long depth = nxt - first;
        for (int back = 2; back <= halfmove && back <= depth; back += 2) {
            const Board* old = nxt - back;
            if (old->us == nxt->us && old->pbq == nxt->pbq && old->nbk == nxt->nbk &&
                old->rqk == nxt->rqk) {
                nxt->repetitions = static_cast<uint8_t>(old->repetitions + 1);
                break;
            }
        }
    }
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
