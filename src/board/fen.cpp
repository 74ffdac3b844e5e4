#include "board/fen.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"

namespace {

// Once the current Board reaches this index, the oldest history is dropped; the kept part always
// covers the 255 plies the fifty-move counter can reach.
constexpr int kGameStackLimit = 600;
constexpr int kKeptHistory = 300;

constexpr char kPieceLetters[] = " pnbrqk  PNBRQK";
constexpr char kPromotionLetters[6] = {0, 0, 'n', 'b', 'r', 'q'};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Splits text at runs of blanks into at most max_fields fields (in place).
int split_fields(char* text, char** fields, int max_fields) {
    int n = 0;
    char* p = text;
    while (*p && n < max_fields) {
        while (is_blank(*p)) *p++ = 0;
        if (!*p) break;
        fields[n++] = p;
        while (*p && !is_blank(*p)) ++p;
    }
    return n;
}

bool parse_placement(const char* text, Board& b) {
    b.us = b.pbq = b.nbk = b.rqk = 0;
    const char* p = text;
    for (int rank = 7; rank >= 0; --rank) {
        int file = 0;
        while (file < 8) {
            char c = *p;
            if (c == 0 || c == '/') return false;
            ++p;
            if (c >= '1' && c <= '8') {
                file += c - '0';
                if (file > 8) return false;
                continue;
            }
            const char* letter = std::strchr("pnbrqkPNBRQK", c);
            if (!letter) return false;
            int index = static_cast<int>(letter - "pnbrqkPNBRQK");
            int code = index % 6 + 1, sq = rank * 8 + file;
            if (code & 1) b.pbq |= bit(sq);
            if (code & 2) b.nbk |= bit(sq);
            if (code & 4) b.rqk |= bit(sq);
            if (index >= 6) b.us |= bit(sq);
            ++file;
        }
        // Anything after the eighth square of a rank is ignored.
        while (*p && *p != '/') ++p;
        if (rank > 0) {
            if (*p != '/') return false;
            ++p;
        }
    }
    return true;
}

// Material a real game can reach: one king each, no pawn on the first or last rank, at most 16
// pieces a side and no more promoted pieces than missing pawns.
bool plausible_material(const Board& b) {
    if (pawns(b) & (RANK_1 | RANK_8)) return false;
    for (Bitboard side : {b.us, them(b)}) {
        if (popcount(kings(b) & side) != 1 || popcount(side) > 16) return false;
        int promoted = 0;
        auto extra = [&](Bitboard set, int normal) {
            int n = popcount(set & side);
            if (n > normal) promoted += n - normal;
        };
        extra(queens(b), 1);
        extra(rooks(b), 2);
        extra(bishops(b), 2);
        extra(knights(b), 2);
        if (popcount(pawns(b) & side) + promoted > 8) return false;
    }
    return true;
}

// Drops castling rights whose king or rook is not on its home square (White's view: White's
// pieces are `us`), so castling can never move a piece that is not there.
uint8_t consistent_castling(const Board& b, uint8_t rights) {
    auto has = [&](Bitboard set, int sq) { return (set >> sq) & 1; };
    Bitboard white = b.us, black = them(b);
    Bitboard r = rooks(b), k = kings(b);
    if (!has(k & white, 4)) rights &= static_cast<uint8_t>(~0x03);
    if (!has(r & white, 0)) rights &= static_cast<uint8_t>(~0x01);
    if (!has(r & white, 7)) rights &= static_cast<uint8_t>(~0x02);
    if (!has(k & black, 60)) rights &= static_cast<uint8_t>(~0x30);
    if (!has(r & black, 56)) rights &= static_cast<uint8_t>(~0x10);
    if (!has(r & black, 63)) rights &= static_cast<uint8_t>(~0x20);
    return rights;
}

// The halfmove field as atoi reads it (leading digits); -1 for a negative number.
int parse_halfmove(const char* s) {
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    long value = 0;
    while (*s >= '0' && *s <= '9') {
        value = value * 10 + (*s++ - '0');
        if (value > 1000000) value = 1000000 + value % 256; // keeps value mod 256
    }
    if (negative && value > 0) return -1;
    return static_cast<int>(value % 256);
}

// Whether the move names a legal move on the board.
bool is_legal(const Board& b, Move m) {
    if (m == 0) return false;
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_all_moves(b, list);
    for (MoveEntry* e = list; e < end; ++e)
        if (e->move == m) return leaves_king_attacked(b, m) == 0;
    return false;
}

void compact(PositionStack& s) {
    long index = s.current - s.boards;
    if (index < kGameStackLimit) return;
    std::memmove(static_cast<void*>(s.boards), s.current - (kKeptHistory - 1),
                 sizeof(Board) * kKeptHistory);
    s.current = s.boards + (kKeptHistory - 1);
}

} // namespace

void game_advance(PositionStack& stack) {
    ++stack.current;
    compact(stack);
}

int read_fen(PositionStack& stack, const char* fen, const char* moves) {
    if (!fen || strnlen(fen, FEN_MAX_LENGTH + 1) > FEN_MAX_LENGTH) return 0;
    char copy[FEN_MAX_LENGTH + 1];
    std::strcpy(copy, fen);
    char* fields[6];
    int n = split_fields(copy, fields, 6);
    if (n < 4) return 0;
    if (std::strcmp(fields[1], "w") != 0 && std::strcmp(fields[1], "b") != 0) return 0;
    const bool black = fields[1][0] == 'b';

    Board b{};
    if (!parse_placement(fields[0], b) || !plausible_material(b)) return 0;

    uint8_t rights = 0;
    if (std::strcmp(fields[2], "-") != 0) {
        rights = 0x33;
        for (const char* c = fields[2]; *c; ++c)
            if (!std::strchr("KQkq", *c)) return 0;
        if (!std::strchr(fields[2], 'K')) rights &= static_cast<uint8_t>(~0x02);
        if (!std::strchr(fields[2], 'Q')) rights &= static_cast<uint8_t>(~0x01);
        if (!std::strchr(fields[2], 'k')) rights &= static_cast<uint8_t>(~0x20);
        if (!std::strchr(fields[2], 'q')) rights &= static_cast<uint8_t>(~0x10);
    }
    b.castling = consistent_castling(b, rights);

    int halfmove = n >= 5 ? parse_halfmove(fields[4]) : 0;
    if (halfmove < 0) return 0;
    b.halfmove = static_cast<uint8_t>(halfmove);
    if (black) flip_board(b);

    b.ep_file = 8;
    if (std::strcmp(fields[3], "-") != 0) {
        const char* ep = fields[3];
        if (ep[0] < 'a' || ep[0] > 'h' || ep[1] != (black ? '3' : '6')) return 0;
        const int file = ep[0] - 'a';
        b.ep_file = static_cast<uint8_t>(file);
        // An en passant capture needs their pawn beside ours and an empty square behind it;
        // without them the capture would corrupt the board, so the field is dropped.
        if ((pawns(b) & b.us & attacks::ep_capturers[file]) &&
            (!(pawns(b) & them(b) & bit(32 + file)) || (occupied(b) & bit(40 + file))))
            b.ep_file = 8;
    }

    // The side that is not to move must not be in check.
    Board other = b;
    flip_board(other);
    if (king_attackers(other)) return 0;
    b.key = compute_key(b);

    // Play the moves on a scratch stack so a bad token leaves the caller's stack untouched.
    static thread_local PositionStack scratch;
    scratch.boards[0] = b;
    scratch.current = scratch.boards;
    if (moves) {
        const char* p = moves;
        while (*p) {
            while (is_blank(*p)) ++p;
            if (!*p) break;
            char token[8] = {};
            size_t len = 0;
            while (p[len] && !is_blank(p[len])) ++len;
            if (len < 4 || len > 5) return 0;
            std::memcpy(token, p, len);
            p += len;
            const Move m = text_to_move(*scratch.current, token);
            if (!is_legal(*scratch.current, m)) return 0;
            make_move(scratch.current, m, scratch.boards);
            game_advance(scratch);
            if (scratch.current->halfmove == 0) {
                scratch.boards[0] = *scratch.current;
                scratch.current = scratch.boards;
            }
        }
    }
    scratch.current->key = compute_key(*scratch.current);

    const long used = scratch.current - scratch.boards + 1;
    std::memcpy(static_cast<void*>(stack.boards), scratch.boards, sizeof(Board) * used);
    stack.current = stack.boards + (used - 1);
    return 1;
}

int write_fen(const Board& board, char* buffer) {
    Board b = board;
    const bool black = b.side == BLACK;
    if (black) flip_board(b);
    char* p = buffer;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            int sq = rank * 8 + file, code = piece_at(b, sq);
            if (code == EMPTY) {
                ++empty;
                continue;
            }
            if (empty) *p++ = static_cast<char>('0' + empty);
            empty = 0;
            *p++ = kPieceLetters[code + ((b.us >> sq) & 1 ? 8 : 0)];
        }
        if (empty) *p++ = static_cast<char>('0' + empty);
        if (rank) *p++ = '/';
    }
    *p++ = ' ';
    *p++ = black ? 'b' : 'w';
    *p++ = ' ';
    if (b.castling == 0) *p++ = '-';
    if (b.castling & 0x02) *p++ = 'K';
    if (b.castling & 0x01) *p++ = 'Q';
    if (b.castling & 0x20) *p++ = 'k';
    if (b.castling & 0x10) *p++ = 'q';
    *p++ = ' ';
    if (b.ep_file < 8) {
        *p++ = static_cast<char>('a' + b.ep_file);
        *p++ = black ? '3' : '6';
    } else {
        *p++ = '-';
    }
    *p++ = ' ';
    *p = 0;
    return 1;
}

void move_to_text(char* buffer, Move move, uint32_t side) {
    auto square = [&](char* out, int sq) {
        out[0] = static_cast<char>('a' + (sq & 7));
        out[1] = static_cast<char>('1' + (side ? 7 - (sq >> 3 & 7) : (sq >> 3 & 7)));
    };
    square(buffer, move_from(move) & 63);
    square(buffer + 2, move_to(move) & 63);
    int promotion = move_promotion(move);
    buffer[4] = promotion < 6 ? kPromotionLetters[promotion] : 0;
    buffer[5] = 0;
}

Move text_to_move(const Board& board, const char* text) {
    if (!text) return 0;
    for (int i = 0; i < 4; ++i) {
        const char lo = i % 2 ? '1' : 'a', hi = i % 2 ? '8' : 'h';
        if (text[i] < lo || text[i] > hi) return 0;
    }
    int from = (text[0] - 'a') + 8 * (text[1] - '1');
    int to = (text[2] - 'a') + 8 * (text[3] - '1');
    if (board.side == BLACK) {
        from ^= 56;
        to ^= 56;
    }
    int promotion = 0;
    switch (text[4]) {
    case 'n': promotion = KNIGHT; break;
    case 'b': promotion = BISHOP; break;
    case 'r': promotion = ROOK; break;
    case 'q': promotion = QUEEN; break;
    default: break;
    }
    const int piece = piece_at(board, from);
    uint32_t type = static_cast<uint32_t>(piece);
    if (piece == PAWN && to >= 56) {
        type = MT_PROMOTION_PUSH;
    } else if (piece == PAWN && board.ep_file != 8 && to == 40 + board.ep_file) {
        type = MT_EN_PASSANT;
    } else if (piece == KING && to - from == 2) {
        type = MT_CASTLE_KING;
    } else if (piece == KING && from - to == 2) {
        type = MT_CASTLE_QUEEN;
    }
    if (occupied(board) & bit(to)) type |= MF_CAPTURE;
    return encode_move(type, from, to, promotion);
}

int play_move_if_legal(PositionStack& stack, Move move) {
    if (!is_legal(*stack.current, move)) return 0;
    make_move(stack.current, move, stack.boards);
    game_advance(stack);
    return 1;
}

int announce_game_end(const PositionStack& stack) {
    const Board& b = *stack.current;
    int drawn = 0;
    if (b.repetitions == 2) {
        std::printf("1/2-1/2 {Draw by repetition}\n");
        drawn = 1;
    }
    if (b.halfmove > 99) {
        std::printf("1/2-1/2 {Draw by 50 move rule}\n");
        drawn = 1;
    }
    MoveEntry list[MAX_MOVES];
    bool has_move = false;
    MoveEntry* end = gen_captures(b, list);
    for (MoveEntry* e = list; e < end && !has_move; ++e)
        has_move = !leaves_king_attacked(b, e->move);
    if (!has_move) {
        end = gen_quiets(b, list);
        for (MoveEntry* e = list; e < end && !has_move; ++e)
            has_move = !leaves_king_attacked(b, e->move);
    }
    if (!has_move) {
        if (!king_attackers(b))
            std::printf("1/2-1/2 {Stalemate}\n");
        else if (b.side == BLACK)
            std::printf("1-0 {White mates}\n");
        else
            std::printf("0-1 {Black mates}\n");
    }
    return drawn;
}
