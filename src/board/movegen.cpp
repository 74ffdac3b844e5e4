#include "board/movegen.h"

#include "board/attacks.h"

namespace {

constexpr int16_t kPromotionScore[6] = {0, 0, -3, -2, -1, 85};

inline MoveEntry* add(MoveEntry* list, uint32_t type, int from, int to) {
    list->move = encode_move(type, from, to);
    return list + 1;
}

inline MoveEntry* add_scored(MoveEntry* list, uint32_t type, int from, int to, int16_t score,
                             int promotion = 0) {
    list->move = encode_move(type, from, to, promotion);
    list->score = score;
    return list + 1;
}

// Quiet moves of one piece to every square of targets.
inline MoveEntry* add_all(MoveEntry* list, int piece, int from, Bitboard targets) {
    while (targets) list = add(list, static_cast<uint32_t>(piece), from, pop_lsb(targets));
    return list;
}

// Captures of one piece on every square of targets, scored most valuable victim first.
inline MoveEntry* add_captures(MoveEntry* list, const Board& b, int piece, int from,
                               Bitboard targets) {
    while (targets) {
        int to = pop_lsb(targets);
        list = add_scored(list, static_cast<uint32_t>(piece) | MF_CAPTURE, from, to,
                          static_cast<int16_t>(piece_at(b, to) * 16 + (6 - piece)));
    }
    return list;
}

inline MoveEntry* add_promotions(MoveEntry* list, uint32_t type, int from, int to) {
    for (int promotion = QUEEN; promotion >= KNIGHT; --promotion)
        list = add_scored(list, type, from, to, kPromotionScore[promotion], promotion);
    return list;
}

inline Bitboard piece_attacks(int piece, int sq, Bitboard occ) {
    switch (piece) {
    case KNIGHT: return attacks::knight[sq];
    case BISHOP: return bishop_attacks(sq, occ);
    case ROOK: return rook_attacks(sq, occ);
    case QUEEN: return queen_attacks(sq, occ);
    default: return attacks::king[sq];
    }
}

inline Bitboard pieces_of(const Board& b, int piece) {
    switch (piece) {
    case KNIGHT: return knights(b);
    case BISHOP: return bishops(b);
    case ROOK: return rooks(b);
    case QUEEN: return queens(b);
    default: return kings(b);
    }
}

inline bool attacked(const Board& b, int sq) {
    return attackers_to(b, sq, occupied(b), them(b)) != 0;
}

constexpr int E1 = 4, C1 = 2, G1 = 6;

inline bool can_castle_queen_side(const Board& b, Bitboard occ) {
    return (b.castling & 1) && !(occ & 0x0EULL) && !attacked(b, 2) && !attacked(b, 3) &&
           !attacked(b, 4);
}

inline bool can_castle_king_side(const Board& b, Bitboard occ) {
    return (b.castling & 2) && !(occ & 0x60ULL) && !attacked(b, 4) && !attacked(b, 5) &&
           !attacked(b, 6);
}

// Single pushes (not onto rank 8) into mask, then double pushes into mask.
inline MoveEntry* add_pushes(MoveEntry* list, Bitboard our_pawns, Bitboard empty, Bitboard mask) {
    Bitboard single = (our_pawns << 8) & empty & ~RANK_8;
    Bitboard doubles = (single << 8) & empty & RANK_4 & mask;
    single &= mask;
    while (single) {
        int to = pop_lsb(single);
        list = add(list, PAWN, to - 8, to);
    }
    while (doubles) {
        int to = pop_lsb(doubles);
        list = add(list, PAWN, to - 16, to);
    }
    return list;
}

} // namespace

Bitboard attackers_to(const Board& b, int sq, Bitboard occ, Bitboard their) {
    Bitboard k = bit(sq);
    Bitboard pawn_sources = ((k << 9) & ~FILE_A) | ((k << 7) & ~FILE_H);
    return ((pawn_sources & pawns(b)) | (attacks::knight[sq] & knights(b)) |
            (attacks::king[sq] & kings(b)) | (rook_attacks(sq, occ) & straight_sliders(b)) |
            (bishop_attacks(sq, occ) & diagonal_sliders(b))) &
           their;
}

Bitboard leaves_king_attacked(const Board& b, Move m) {
    int from = move_from(m), to = move_to(m);
    Bitboard occ = (occupied(b) ^ bit(from)) | bit(to);
    Bitboard their = them(b) & ~bit(to);
    uint32_t type = move_type(m);
    int sq;
    if (move_piece(m) == KING) {
        sq = to;
    } else {
        sq = our_king_square(b);
        if (type == MT_EN_PASSANT) {
            their &= ~bit(to - 8);
            occ ^= bit(to - 8);
        }
    }
    return attackers_to(b, sq, occ, their);
}

MoveEntry* gen_quiets(const Board& b, MoveEntry* list) {
    const Bitboard occ = occupied(b), empty = ~occ;
    list = add_all(list, KING, our_king_square(b), attacks::king[our_king_square(b)] & empty);
    for (int piece = QUEEN; piece >= KNIGHT; --piece) {
        Bitboard set = pieces_of(b, piece) & b.us;
        while (set) {
            int from = pop_lsb(set);
            list = add_all(list, piece, from, piece_attacks(piece, from, occ) & empty);
        }
    }
    list = add_pushes(list, pawns(b) & b.us, empty, ~0ULL);
    if (can_castle_queen_side(b, occ)) list = add(list, MT_CASTLE_QUEEN, E1, C1);
    if (can_castle_king_side(b, occ)) list = add(list, MT_CASTLE_KING, E1, G1);
    return list;
}

MoveEntry* gen_captures(const Board& b, MoveEntry* list) {
    const Bitboard occ = occupied(b), their = them(b);
    for (int piece = KING; piece >= KNIGHT; --piece) {
        Bitboard set = pieces_of(b, piece) & b.us;
        while (set) {
            int from = pop_lsb(set);
            list = add_captures(list, b, piece, from, piece_attacks(piece, from, occ) & their);
        }
    }
    const Bitboard our_pawns = pawns(b) & b.us;
    Bitboard set = our_pawns & ~RANK_7;
    while (set) {
        int from = pop_lsb(set);
        list = add_captures(list, b, PAWN, from, attacks::pawn[from] & their);
    }
    set = our_pawns & RANK_7;
    while (set) {
        int from = pop_lsb(set);
        Bitboard targets = attacks::pawn[from] & their;
        while (targets) list = add_promotions(list, MT_PROMOTION_CAPTURE, from, pop_lsb(targets));
    }
    set = our_pawns & RANK_7 & ~(occ >> 8);
    while (set) {
        int from = pop_lsb(set);
        list = add_promotions(list, MT_PROMOTION_PUSH, from, from + 8);
    }
    if (b.ep_file != 8) {
        set = our_pawns & attacks::ep_capturers[b.ep_file & 7];
        while (set) list = add_scored(list, MT_EN_PASSANT, pop_lsb(set), 40 + b.ep_file, 21);
    }
    return list;
}

MoveEntry* gen_all_moves(const Board& b, MoveEntry* list) {
    return gen_captures(b, gen_quiets(b, list));
}

MoveEntry* gen_legal_moves(const Board& b, MoveEntry* list) {
    MoveEntry all[MAX_MOVES] = {}; // quiet moves get no score from the generator: they keep 0
    MoveEntry* end = gen_all_moves(b, all);
    for (MoveEntry* e = all; e < end; ++e)
        if (!leaves_king_attacked(b, e->move)) *list++ = *e;
    return list;
}

MoveEntry* gen_checks(const Board& b, MoveEntry* list) {
    const Bitboard occ = occupied(b), empty = ~occ, us = b.us;
    const int E = lsb(kings(b) & ~us);
    Bitboard R = 0, B = 0, RX = 0, BX = 0;
    if ((b.rqk | bishops(b)) & us & ~kings(b)) {
        R = rook_attacks(E, occ);
        B = bishop_attacks(E, occ);
        Bitboard ur = rook_attacks(E, us), ub = bishop_attacks(E, us);
        RX = ur ^ rook_attacks(E, us & ~(us & ur));
        BX = ub ^ bishop_attacks(E, us & ~(us & ub));
    }
    Bitboard S = 0, D = 0; // straight and diagonal discovered-check candidates

    Bitboard set = queens(b) & us;
    while (set) {
        int from = pop_lsb(set);
        list = add_all(list, QUEEN, from, queen_attacks(from, occ) & empty & (R | B));
        Bitboard line = between(E, from) & us;
        D |= line & ~BX;
        S |= line & ~RX;
    }
    set = rooks(b) & us;
    while (set) {
        int from = pop_lsb(set);
        list = add_all(list, ROOK, from, rook_attacks(from, occ) & empty & R);
        S |= between(E, from) & us & ~RX;
    }
    set = bishops(b) & us;
    while (set) {
        int from = pop_lsb(set);
        list = add_all(list, BISHOP, from, bishop_attacks(from, occ) & empty & B);
        D |= between(E, from) & us & ~BX;
    }
    set = knights(b) & us;
    while (set) {
        int from = pop_lsb(set);
        list = add_all(list, KNIGHT, from, attacks::knight[from] & empty & attacks::knight[E]);
    }
    const Bitboard our_pawns = pawns(b) & us;
    list = add_pushes(list, our_pawns, empty, attacks::pawn_attackers[E]);
    if ((rook_attacks(3, occ) & bit(E)) && can_castle_queen_side(b, occ))
        list = add(list, MT_CASTLE_QUEEN, E1, C1);
    if ((rook_attacks(5, occ) & bit(E)) && can_castle_king_side(b, occ))
        list = add(list, MT_CASTLE_KING, E1, G1);

    const Bitboard N = S | D;
    const int K = our_king_square(b);
    if (N & bit(K)) list = add_all(list, KING, K, attacks::king[K] & empty);
    set = rooks(b) & us & D;
    while (set) {
        int from = pop_lsb(set);
        list = add_all(list, ROOK, from, rook_attacks(from, occ) & empty & ~R);
    }
    set = bishops(b) & us & S;
    while (set) {
        int from = pop_lsb(set);
        list = add_all(list, BISHOP, from, bishop_attacks(from, occ) & empty & ~B);
    }
    set = knights(b) & us & N;
    while (set) {
        int from = pop_lsb(set);
        list = add_all(list, KNIGHT, from, attacks::knight[from] & empty & ~attacks::knight[E]);
    }
    return add_pushes(list, our_pawns & N, empty, ~0ULL);
}

MoveEntry* gen_evasions(const Board& b, Bitboard checkers, MoveEntry* list) {
    const Bitboard occ = occupied(b), empty = ~occ, their = them(b);
    const int K = our_king_square(b);
    if (popcount(checkers) != 1) {
        Bitboard lines = 0;
        for (Bitboard c = checkers; c;) lines |= between(K, pop_lsb(c));
        list = add_all(list, KING, K, attacks::king[K] & empty & ~lines);
        return add_captures(list, b, KING, K, attacks::king[K] & their);
    }
    const int Q = lsb(checkers);
    const Bitboard L = between(K, Q);
    list = add_all(list, KING, K, attacks::king[K] & empty & ~L);
    list = add_captures(list, b, KING, K, attacks::king[K] & their);
    for (int piece = QUEEN; piece >= KNIGHT; --piece) {
        Bitboard set = pieces_of(b, piece) & b.us;
        while (set) {
            int from = pop_lsb(set);
            Bitboard reach = piece_attacks(piece, from, occ);
            list = add_all(list, piece, from, reach & L);
            list = add_captures(list, b, piece, from, reach & checkers);
        }
    }
    const Bitboard our_pawns = pawns(b) & b.us;
    list = add_pushes(list, our_pawns, empty, L);
    if (b.ep_file != 8) {
        Bitboard set = our_pawns & attacks::ep_capturers[b.ep_file & 7];
        while (set) list = add_scored(list, MT_EN_PASSANT, pop_lsb(set), 40 + b.ep_file, 21);
    }
    Bitboard set = our_pawns & ~RANK_7 & attacks::pawn_attackers[Q];
    while (set) list = add_captures(list, b, PAWN, pop_lsb(set), checkers);
    Bitboard pushes = (our_pawns << 8) & empty & RANK_8 & L;
    while (pushes) {
        int to = pop_lsb(pushes);
        list = add_promotions(list, MT_PROMOTION_PUSH, to - 8, to);
    }
    set = our_pawns & RANK_7 & attacks::pawn_attackers[Q];
    while (set) list = add_promotions(list, MT_PROMOTION_CAPTURE, pop_lsb(set), Q);
    return list;
}

Bitboard pinned_pieces(const Board& b) {
    const Bitboard occ = occupied(b), their = them(b);
    const int K = our_king_square(b);
    Bitboard snipers = (rook_attacks(K, their) & straight_sliders(b) & their) |
                       (bishop_attacks(K, their) & diagonal_sliders(b) & their);
    Bitboard pinned = 0;
    while (snipers) {
        const Bitboard line = between(K, pop_lsb(snipers)) & occ;
        if (line && !(line & (line - 1))) pinned |= line & b.us;
    }
    return pinned;
}

Bitboard immobile_pinned(const Board& b) {
    const Bitboard occ = occupied(b), their = them(b);
    const int K = our_king_square(b);
    Bitboard pinned = 0;
    Bitboard a = rook_attacks(K, occ);
    Bitboard pinners = (a ^ rook_attacks(K, occ & ~(b.us & a))) & straight_sliders(b) & their;
    while (pinners) pinned |= between(pop_lsb(pinners), K) & (knights(b) | bishops(b)) & b.us;
    a = bishop_attacks(K, occ);
    pinners = (a ^ bishop_attacks(K, occ & ~(b.us & a))) & diagonal_sliders(b) & their;
    while (pinners) pinned |= between(pop_lsb(pinners), K) & (knights(b) | rooks(b)) & b.us;
    return pinned;
}
