#include "board/fen.h"

#include <cstring>

#include "board_helpers.h"

namespace {

const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// read_fen on a stack holding a known game; on failure the stack must be untouched.
void expect_rejected(const std::string& fen, const char* moves = nullptr) {
    auto s = make_stack();
    ASSERT_TRUE(read_fen(*s, "4k3/8/8/8/8/8/8/4K2R w K - 0 1", "e1f1 e8d8"));
    auto before = std::make_unique<PositionStack>(*s);
    EXPECT_EQ(0, read_fen(*s, fen.c_str(), moves)) << fen << " / " << (moves ? moves : "");
    EXPECT_EQ(before->current, s->current);
    EXPECT_EQ(0, std::memcmp(before->boards, s->boards, sizeof s->boards)) << fen;
}

} // namespace

TEST(Fen, StartPositionEqualsNewGame) {
    auto a = make_stack();
    auto b = stack_from(kStart);
    ASSERT_TRUE(b);
    EXPECT_EQ(0, std::memcmp(a->current, b->current, sizeof(Board)));
    EXPECT_EQ("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ", fen_of(*b->current));
}

TEST(Fen, BlackToMoveIsStoredMirrored) {
    const char* fen = "r3k2r/8/8/3pP3/8/8/8/R3K3 b Qkq - 7 30";
    auto s = stack_from(fen);
    ASSERT_TRUE(s);
    const Board& b = *s->current;
    EXPECT_EQ(1u, b.side);
    EXPECT_EQ(0x13, b.castling); // Black's rights low, White's queen side high
    EXPECT_EQ(7, b.halfmove);
    EXPECT_EQ(KING, piece_at(b, 4)); // e8 is stored as e1
    EXPECT_EQ("r3k2r/8/8/3pP3/8/8/8/R3K3 b Qkq - ", fen_of(b));
    EXPECT_EQ(b.key, compute_key(b));
}

TEST(Fen, EnPassantField) {
    EXPECT_TRUE(stack_from("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1"));
    EXPECT_FALSE(stack_from("4k3/8/8/8/3pP3/8/8/4K3 b - d6 0 1"));
    EXPECT_TRUE(stack_from("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1"));
    EXPECT_FALSE(stack_from("4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 1"));
    EXPECT_FALSE(stack_from("4k3/8/8/3pP3/8/8/8/4K3 w - i6 0 1"));
    auto s = stack_from("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1");
    EXPECT_EQ("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 ", fen_of(*s->current));
    // A field that no pawn could have made is dropped where a capture onto it would be generated.
    auto bad = stack_from("4k3/8/8/3nP3/8/8/8/4K3 w - d6 0 1");
    ASSERT_TRUE(bad);
    EXPECT_EQ(8, bad->current->ep_file);
    for (const auto& m : texts(*bad->current, gen_captures)) EXPECT_NE("e5d6", m);
}

TEST(Fen, CastlingAndCounters) {
    auto a = stack_from("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    auto b = stack_from("r3k2r/8/8/8/8/8/8/R3K2R w qkQK - 0 1");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->current->castling, b->current->castling);
    EXPECT_FALSE(stack_from("r3k2r/8/8/8/8/8/8/R3K2R w KQkx - 0 1"));
    auto none = stack_from("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
    EXPECT_EQ(0, none->current->castling);
    EXPECT_EQ("r3k2r/8/8/8/8/8/8/R3K2R w - - ", fen_of(*none->current));
    EXPECT_FALSE(stack_from("4k3/8/8/8/8/8/8/4K3 w - - -1 1"));
    EXPECT_EQ(44, stack_from("4k3/8/8/8/8/8/8/4K3 w - - 300 1")->current->halfmove);
    auto four = stack_from("8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - -");
    ASSERT_TRUE(four);
    EXPECT_EQ(0, four->current->halfmove);
}

TEST(Fen, MalformedAndImpossiblePositionsAreRejectedWithoutSideEffects) {
    expect_rejected("");
    expect_rejected("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR");
    expect_rejected("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1");
    expect_rejected("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1");          // 7 ranks
    expect_rejected("rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"); // digit 9
    expect_rejected("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1");  // short rank
    expect_rejected("rnbqkbnr/pppxpppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"); // bad letter
    expect_rejected("rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1");   // no black king
    expect_rejected("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w kq - 0 1");   // two kings
    expect_rejected("4k3/8/8/8/8/8/8/P3K3 w - - 0 1");                           // pawn rank 1
    expect_rejected("p3k3/8/8/8/8/8/8/4K3 w - - 0 1");                           // pawn rank 8
    expect_rejected("QQQQkQQQ/QQQQQQQQ/8/8/8/8/8/4K3 w - - 0 1");                // too many
    expect_rejected("4k3/8/8/8/8/8/4R3/4K3 w - - 0 1"); // side not to move in check
    expect_rejected(std::string(216, ' ') + kStart);    // over 215 characters
    // A move that is not legal in the position reached rejects the whole line.
    expect_rejected(kStart, "e2e4 e7e5 e1e3");
    expect_rejected(kStart, "e2e4 zz");
    expect_rejected(kStart, "e2e4 e7");
    expect_rejected(kStart, "e2e4 e7e8q");
}

TEST(Fen, MoveListsReplayTheGame) {
    auto s = make_stack();
    ASSERT_TRUE(read_fen(*s, kStart, "e2e4 e7e5 g1f3 b8c6 f3g1 c6b8 g1f3 b8c6 f3g1 c6b8"));
    // Both pawn moves restart the stack: e7e5 is the first Board now.
    EXPECT_EQ(8, s->current - s->boards);
    EXPECT_EQ("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 ", fen_of(s->boards[0]));
    EXPECT_EQ(2, s->current->repetitions);
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, announce_game_end(*s));
    EXPECT_EQ("1/2-1/2 {Draw by repetition}\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(s->current->key, compute_key(*s->current));
}

TEST(Fen, LongReversibleMoveListsStayInsideTheStack) {
    // 1200 knight moves without a capture or pawn move.
    std::string moves;
    for (int i = 0; i < 300; ++i) moves += "g1f3 g8f6 f3g1 f6g8 ";
    auto s = make_stack();
    ASSERT_TRUE(read_fen(*s, kStart, moves.c_str()));
    EXPECT_LT(s->current - s->boards, 700);
    EXPECT_GT(s->current->repetitions, 0); // the kept history still shows the repetition
    EXPECT_EQ(s->current->key, compute_key(*s->current));
    EXPECT_EQ(0u, s->current->side);
    // The console keeps playing on the same stack.
    for (int i = 0; i < 300; ++i)
        for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"})
            ASSERT_EQ(1, play_move_if_legal(*s, text_to_move(*s->current, m)));
    EXPECT_LT(s->current - s->boards, 700);
    EXPECT_GT(s->current->repetitions, 0);
}

TEST(Fen, MoveText) {
    char buf[MOVE_TEXT_SIZE];
    move_to_text(buf, encode_move(PAWN, 12, 28), BLACK);
    EXPECT_STREQ("e7e5", buf);
    move_to_text(buf, encode_move(MT_PROMOTION_PUSH, 48, 56, KNIGHT), WHITE);
    EXPECT_STREQ("a7a8n", buf);
    auto s = stack_from("k7/4P3/8/8/8/8/8/4K2R w K - 0 1");
    const Board& b = *s->current;
    EXPECT_EQ(22u, move_type(text_to_move(b, "e1g1")));
    const Move e8 = text_to_move(b, "e7e8");
    EXPECT_EQ(MT_PROMOTION_PUSH, move_type(e8));
    EXPECT_EQ(0, move_promotion(e8));
    EXPECT_EQ(0, play_move_if_legal(*s, e8)); // a promotion needs its piece letter
    EXPECT_EQ(0u, text_to_move(b, "e7"));
    EXPECT_EQ(0u, text_to_move(b, "z9e8"));
    EXPECT_EQ(0u, text_to_move(b, "\xC3\xA9\xC3\xA9"));
}

TEST(Fen, GameEndAnnouncements) {
    auto mated = stack_from("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    ASSERT_TRUE(mated);
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, announce_game_end(*mated));
    EXPECT_EQ("0-1 {Black mates}\n", testing::internal::GetCapturedStdout());
    auto stale = stack_from("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, announce_game_end(*stale));
    EXPECT_EQ("1/2-1/2 {Stalemate}\n", testing::internal::GetCapturedStdout());
    auto fifty = stack_from("4k3/8/8/8/8/8/8/R3K3 b - - 100 80");
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, announce_game_end(*fifty));
    EXPECT_EQ("1/2-1/2 {Draw by 50 move rule}\n", testing::internal::GetCapturedStdout());
}
