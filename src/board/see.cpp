#include "board/see.h"

#include <algorithm>
#include <cstdio>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/params.h"

int see_piece_value(int code) {
    switch (code) {
    case PAWN: return P_Pawn;
    case KNIGHT: return P_Knight;
    case BISHOP: return P_Bishop;
    case ROOK: return P_Rook;
    case QUEEN: return P_Queen;
    case KING: return P_King;
    default: return 0;
    }
}

int see(const Board& board, Move move) {
    const int to = move_to(move);
    int gain;
    if (move_type(move) == MT_EN_PASSANT || move_type(move) == MT_PROMOTION_PUSH) {
        gain = P_Pawn;
    } else {
        gain = see_piece_value(piece_at(board, to));
        if (gain == P_King) return gain;
    }

    // Play the move on the scratch Board; from now on the opponent is to move.
    Board* b = make_move(&board, move, &board);
    int target = to ^ 56;
    int value = see_piece_value(piece_at(*b, target));
    Bitboard occ = occupied(*b);

    int swap[32];
    int n = 0;
    while (n < 32) {
        const Bitboard mine = b->us & occ;
        const Bitboard diagonal = bishop_attacks(target, occ);
        const Bitboard straight = rook_attacks(target, occ);
        Bitboard attacker;
        int kind;
        if ((attacker = attacks::pawn_attackers[target] & pawns(*b) & mine))
            kind = PAWN;
        else if ((attacker = attacks::knight[target] & knights(*b) & mine))
            kind = KNIGHT;
        else if ((attacker = diagonal & bishops(*b) & mine))
            kind = BISHOP;
        else if ((attacker = straight & rooks(*b) & mine))
            kind = ROOK;
        else if ((attacker = (diagonal | straight) & queens(*b) & mine))
            kind = QUEEN;
        else if ((attacker = attacks::king[target] & kings(*b) & mine))
            kind = KING;
        else
            break;

        swap[n++] = value;
        if (value == P_King) break;
        value = see_piece_value(kind);
        occ &= ~bit(lsb(attacker));
        // Pass the turn on the scratch board: mirror it and the occupancy.
        flip_board(*b);
        occ = bswap(occ);
        target ^= 56;
    }
    if (n == 0) return gain;
    int s = 0;
    for (int i = n - 1; i >= 0; --i) s = swap[i] - s > 0 ? swap[i] - s : 0;
    return gain - s;
}

int see_is_losing(const Board& board, Move move) {
    if (see_piece_value(piece_at(board, move_to(move))) >= see_piece_value(move_piece(move)))
        return 0;
    return see(board, move) < 0 ? 1 : 0;
}

namespace {

struct SeeCase {
    const char* fen;
    const char* move;
    int score;
};

constexpr SeeCase kSeeCases[25] = {
    {"3r3k/3r4/2n1n3/8/3p4/2PR4/1B1Q4/3R3K w - - 0 1", "c3d4", -125},
    {"1k1r4/1ppn3p/p4b2/4n3/8/P2N2P1/1PP1R1BP/2K1Q3 w - - 0 1", "d3e5", 150},
    {"1k1r3q/1ppn3p/p4b2/4p3/8/P2N2P1/1PP1R1BP/2K1Q3 w - - 0 1", "d3e5", -1025},
    {"rnb2b1r/ppp2kpp/5n2/4P3/q2P3B/5R2/PPP2PPP/RN1QKB2 w Q - 1 1", "e5f6", 325},
    {"r2q1rk1/2p1bppp/p2p1n2/1p2P3/4P1b1/1nP1BN2/PP3PPP/RN1QR1K1 b - - 1 1", "b3a1", 500},
    {"r1bqkb1r/2pp1ppp/p1n5/1p2p3/3Pn3/1B3N2/PPP2PPP/RNBQ1RK1 b kq - 2 1", "e5d4", 0},
    {"r1bq1r2/pp1ppkbp/4N1p1/n3P1B1/8/2N5/PPP2PPP/R2QK2R w KQ - 2 1", "e6d8", 625},
    {"rnq1k2r/1b3ppp/p2bpn2/1p1p4/3N4/1BN1P3/PPP2PPP/R1BQR1K1 b kq - 0 1", "c8c3", -625},
    {"rn2k2r/1bq2ppp/p2bpn2/1p1p4/3N4/1BN1P3/PPP2PPP/R1BQR1K1 b kq - 5 1", "c7c3", -625},
    {"r2qkbn1/ppp1pp1p/3p1rp1/3Pn3/4P1b1/2N2N2/PPP2PPP/R1BQKB1R b KQq - 2 1", "e5f3", 725},
    {"rnbq1rk1/pppp1ppp/4pn2/8/1bPP4/P1N5/1PQ1PPPP/R1B1KBNR b KQ - 1 1", "b4c3", 0},
    {"r4rk1/3nppbp/bq1p1np1/2pP4/8/2N2NPP/PP2PPB1/R1BQR1K1 b - - 1 1", "f6d5", -225},
    {"r4rk1/1q1nppbp/b2p1np1/2pP4/8/2N2NPP/PP2PPB1/R1BQR1K1 b - - 1 1", "f6d5", -850},
    {"1r3r2/5p2/4p2p/2k1n1P1/2PN1nP1/1P3P2/8/2KR1B1R b - - 0 29", "h6g5", 100},
    {"1r3r2/5p2/4p2p/4n1P1/kPPN1nP1/5P2/8/2KR1B1R b - - 0 1", "h6g5", 100},
    {"2r2rk1/5pp1/pp5p/q2p4/P3n3/1Q3NP1/1P2PP1P/2RR2K1 b - - 1 22", "c8c1", 0},
    {"1r3r1k/p4pp1/2p1p2p/qpQP3P/2P5/3R4/PP3PP1/1K1R4 b - - 0 1", "b5c4", 0},
    {"1r5k/p4pp1/2p1p2p/qpQP3P/2P2P2/1P1R4/P4rP1/1K1R4 b - - 0 1", "b5c4", 0},
    {"r2q1rk1/1b2bppp/p2p1n2/1ppNp3/3nP3/P2P1N1P/BPP2PP1/R1BQR1K1 w - - 4 14", "d5e7", 0},
    {"rnbqrbn1/pp3ppp/3p4/2p2k2/4p3/3B1K2/PPP2PPP/RNB1Q1NR w - - 0 1", "d3e4", 275},
    {"rnb1k2r/p3p1pp/1p3p1b/7n/1N2N3/3P1PB1/PPP1P1PP/R2QKB1R w KQkq - 0 1", "g3b8", 0},
    {"r1b1k2r/p4npp/1pp2p1b/7n/1N2N3/3P1PB1/PPP1P1PP/R2QKB1R w KQkq - 0 1", "e4f6", -225},
    {"2r1k3/pbr3pp/5p1b/2KB3n/1N2N3/3P1PB1/PPP1P1PP/R2Q3R w - - 0 1", "g3c7", 175},
    {"r5k1/p2P2pp/8/1pb5/1Nn1P1n1/5Q2/PPP4P/R3K1NR w KQ - 0 1", "d7d8q", 0},
    {"5k2/p2P2pp/1b6/1p6/1Nn1P1n1/8/PPP4P/R2QK1NR w KQ - 0 1", "d7d8q", -625},
};

// The legal capture with the highest ordering score (the later one on equal scores); 0 if none.
Move best_capture(const Board& b) {
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(b, list);
    while (end > list) {
        MoveEntry* best = list;
        for (MoveEntry* e = list; e < end; ++e)
            if (e->score >= best->score) best = e;
        const Move m = best->move;
        std::copy(best + 1, end--, best);
        if (!leaves_king_attacked(b, m)) return m;
    }
    return 0;
}

// Sets up the case's position and returns its move; 0 when the position is refused (the stack is
// then left as it was) or the move is not legal there.
Move set_up(PositionStack& stack, const SeeCase& c) {
    if (!read_fen(stack, c.fen, nullptr)) return 0;
    const Move move = text_to_move(*stack.current, c.move);
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(*stack.current, list);
    return std::any_of(list, end, [move](const MoveEntry& e) { return e.move == move; }) ? move : 0;
}

} // namespace

void see_test(PositionStack& stack) {
    int number = 1;
    for (const SeeCase& c : kSeeCases) {
        const Move move = set_up(stack, c);
        const Board& b = *stack.current;
        if (!move) {
            std::printf("\nTestCase %2i cannot be set up: %s %s\n", number++, c.fen, c.move);
            continue;
        }
        const Move best = best_capture(b);
        char best_text[MOVE_TEXT_SIZE] = "none";
        if (best) move_to_text(best_text, best, b.side);
        std::printf("\n");
        std::printf("TestCase %2i                      ", number++);
        std::printf("Score:          %5i\n", c.score);
        std::printf("Move:           %8s      ", c.move);
        std::printf("SEE move:       %8i\n", see(b, move));
        std::printf("Best:           %8s      ", best_text);
        std::printf("SEE best:       %8i\n", best ? see(b, best) : 0);
    }
}
