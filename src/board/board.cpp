#include "board/board.h"

#include <cstring>

uint64_t compute_key(const Board& b) {
    Board copy = b;
    uint64_t key = 0;
    for (int round = 0; round < 2; ++round) {
        uint32_t colour = copy.side;
        for (int code = PAWN; code <= QUEEN; ++code) {
            Bitboard set = copy.us;
            set &= (code & 1) ? copy.pbq : ~copy.pbq;
            set &= (code & 2) ? copy.nbk : ~copy.nbk;
            set &= (code & 4) ? copy.rqk : ~copy.rqk;
            while (set) key ^= piece_key(colour, code, pop_lsb(set));
        }
        Bitboard king = kings(copy) & copy.us;
        if (king) key ^= piece_key(colour, KING, lsb(king));
        flip_board(copy);
    }
    return key ^ zobrist::castling[b.castling] ^ zobrist::en_passant[b.ep_file] ^
           zobrist::side[b.side];
}

Board start_position() {
    Board b{};
    b.us = 0x000000000000FFFFULL;
    b.pbq = 0x2CFF00000000FF2CULL;
    b.nbk = 0x7600000000000076ULL;
    b.rqk = 0x9900000000000099ULL;
    b.castling = 0x33;
    b.ep_file = 8;
    b.key = compute_key(b);
    return b;
}

Board* new_game(PositionStack& stack) {
    std::memset(static_cast<void*>(stack.boards), 0, sizeof stack.boards);
    stack.boards[0] = start_position();
    stack.current = &stack.boards[0];
    return stack.current;
}
