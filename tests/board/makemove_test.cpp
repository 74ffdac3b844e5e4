#include "board/makemove.h"

#include <cstring>

#include "board_helpers.h"

namespace {

// Plays coordinate moves on the stack, asserting each is legal.
void play(PositionStack& s, std::initializer_list<const char*> moves) {
    for (const char* m : moves)
        ASSERT_EQ(1, play_move_if_legal(s, text_to_move(*s.current, m))) << m;
}

} // namespace

TEST(MakeMove, NewGameAndFlip) {
    auto s = make_stack();
    const Board& b = *s->current;
    EXPECT_EQ(b.key, compute_key(b));
    EXPECT_EQ(0x33, b.castling);
    EXPECT_EQ(8, b.ep_file);
    EXPECT_EQ(0u, b.side);
    Board f = b;
    flip_board(f);
    EXPECT_EQ(0xFFFFu, f.us);
    EXPECT_EQ(b.pbq, f.pbq);
    EXPECT_EQ(b.nbk, f.nbk);
    EXPECT_EQ(b.rqk, f.rqk);
    EXPECT_EQ(0x33, f.castling);
    EXPECT_EQ(1u, f.side);
    // The stale key: pieces keep their own-view squares, so only the side key differs.
    EXPECT_EQ(b.key ^ zobrist::side[0], compute_key(f));
}

TEST(MakeMove, PushPopAndEnPassantFile) {
    auto s = make_stack();
    const Board start = *s->current;
    play(*s, {"e2e4"});
    EXPECT_EQ(4, s->current->ep_file); // set although no pawn can take
    EXPECT_EQ("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 ", fen_of(*s->current));
    play(*s, {"e7e5"});
    EXPECT_EQ(4, s->current->ep_file);
    play(*s, {"g1f3"});
    EXPECT_EQ(8, s->current->ep_file);
    EXPECT_EQ(s->current->key, compute_key(*s->current));
    s->current -= 3;
    EXPECT_EQ(0, std::memcmp(&start, s->current, sizeof(Board)));
}

TEST(MakeMove, RepetitionsCountEarlierOccurrences) {
    auto s = make_stack();
    play(*s, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(1, s->current->repetitions);
    EXPECT_EQ(4, s->current->halfmove);
    play(*s, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(2, s->current->repetitions);
    // A pawn move starts the count again.
    play(*s, {"e2e4"});
    EXPECT_EQ(0, s->current->halfmove);
    EXPECT_EQ(0, s->current->repetitions);
}

TEST(MakeMove, CastlingRights) {
    auto s = stack_from("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    ASSERT_TRUE(s);
    play(*s, {"h1h2"});
    EXPECT_EQ("r3k2r/8/8/8/8/8/7R/R3K3 b Qkq - ", fen_of(*s->current));
    play(*s, {"e8e7"});
    EXPECT_EQ("r6r/4k3/8/8/8/8/7R/R3K3 w Q - ", fen_of(*s->current));
    s = stack_from("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    play(*s, {"h1h8"}); // takes the rook: both h-file rights go
    EXPECT_EQ("r3k2R/8/8/8/8/8/8/R3K3 b Qq - ", fen_of(*s->current));
    EXPECT_EQ(0, s->current->halfmove);
    play(*s, {"e8d7"});
    EXPECT_EQ(1, s->current->halfmove);
    s = stack_from("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 3 1");
    play(*s, {"e1g1"});
    EXPECT_EQ("r3k2r/8/8/8/8/8/8/R4RK1 b kq - ", fen_of(*s->current));
    EXPECT_EQ(4, s->current->halfmove); // castling is a reversible move
    play(*s, {"e8c8"});
    EXPECT_EQ("2kr3r/8/8/8/8/8/8/R4RK1 w - - ", fen_of(*s->current));
    EXPECT_EQ(s->current->key, compute_key(*s->current));
}

TEST(MakeMove, EnPassantAndPromotionKeepKeys) {
    auto s = stack_from("4k3/1P6/8/3pP3/8/8/8/4K3 w - d6 0 1");
    ASSERT_TRUE(s);
    play(*s, {"e5d6"});
    EXPECT_EQ("4k3/1P6/3P4/8/8/8/8/4K3 b - - ", fen_of(*s->current));
    EXPECT_EQ(s->current->key, compute_key(*s->current));
    play(*s, {"e8f7", "b7b8n"});
    EXPECT_EQ("1N6/5k2/3P4/8/8/8/8/4K3 b - - ", fen_of(*s->current));
    EXPECT_EQ(s->current->key, compute_key(*s->current));
}

TEST(MakeMove, NullMove) {
    auto s = stack_from("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 5 1");
    ASSERT_TRUE(s);
    const Board before = *s->current;
    const Board* n = make_null_move(s->current);
    EXPECT_EQ(8, n->ep_file);
    EXPECT_EQ(0, n->halfmove);
    EXPECT_EQ(0u, n->side);
    EXPECT_EQ(n->key, compute_key(*n));
    EXPECT_EQ(0, std::memcmp(&before, s->current, sizeof(Board)));
}

TEST(MakeMove, NotAMoveGivesAnUnflippedCopy) {
    auto s = make_stack();
    const Board* n = make_move(s->current, 0, s->boards);
    EXPECT_EQ(0, std::memcmp(s->current, n, sizeof(Board)));
}
