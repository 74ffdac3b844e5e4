// Reading and writing FEN, playing move lists on the stack, and the end of games.
#include "board/fen.h"

#include <cstring>

#include "board_helpers.h"

static const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// The side not to move in check and illegal move texts are in the UCI position test.
TEST(Fen, MalformedAndImpossiblePositionsAreRejectedWithoutSideEffects) {
    const std::pair<std::string, const char*> cases[] = {
        {"", nullptr},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", nullptr},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1", nullptr},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1", nullptr},          // 7 ranks
        {"rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", nullptr}, // digit 9
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1", nullptr},  // short rank
        {"rnbqkbnr/pppxpppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", nullptr}, // bad letter
        {"rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1", nullptr},   // no black king
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w kq - 0 1", nullptr},   // two kings
        {"4k3/8/8/8/8/8/8/P3K3 w - - 0 1", nullptr},                           // pawn rank 1
        {"QQQQkQQQ/QQQQQQQQ/8/8/8/8/8/4K3 w - - 0 1", nullptr},                // too many
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkx - 0 1", nullptr},
        {"4k3/8/8/8/3pP3/8/8/4K3 b - d6 0 1", nullptr}, // en passant square of the wrong side
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 1", nullptr},
        {"4k3/8/8/8/8/8/8/4K3 w - - -1 1", nullptr},
        {std::string(216, ' ') + kStart, nullptr}, // over 215 characters
        // A move not legal where it is played rejects the whole line.
        {kStart, "e2e4 e7e8q"},
    };
    auto s = stack_from("4k3/8/8/8/8/8/8/4K2R w K - 0 1", "e1f1 e8d8");
    const auto before = std::make_unique<PositionStack>(*s);
    for (const auto& [fen, moves] : cases) {
        SCOPED_TRACE(fen + " / " + (moves ? moves : ""));
        EXPECT_EQ(0, read_fen(*s, fen.c_str(), moves));
        EXPECT_EQ(before->current, s->current);
        EXPECT_EQ(0, std::memcmp(before->boards, s->boards, sizeof s->boards));
    }
}

// The FEN written back, with the halfmove count, after reading the FEN and playing the moves.
TEST(Fen, WrittenBackAfterTheMoves) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"r3k2r/8/8/3pP3/8/8/8/R3K3 b Qkq - 7 30", nullptr, "r3k2r/8/8/3pP3/8/8/8/R3K3 b Qkq - 7"},
        {"4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1", nullptr, "4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w qkQK - 0 1", nullptr, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0"},
        {"8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - -", nullptr, "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0"},
        // En passant squares no pawn could have made and rights without king or rook are dropped.
        {"4k3/8/8/3nP3/8/8/8/4K3 w - d6 0 1", nullptr, "4k3/8/8/3nP3/8/8/8/4K3 w - - 0"},
        {"r4k1r/8/8/8/8/8/8/4K2R w KQkq - 0 1", nullptr, "r4k1r/8/8/8/8/8/8/4K2R w K - 0"},
        {kStart, "e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0"},
        {kStart, "e2e4 e7e5 g1f3", "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1"},
        // A rook or king move drops its rights; taking a rook drops the opponent's.
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "h1h2 e8e7", "r6r/4k3/8/8/8/8/7R/R3K3 w Q - 2"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "h1h8", "r3k2R/8/8/8/8/8/8/R3K3 b Qq - 0"},
        // Castling on both wings is a reversible move.
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 3 1", "e1g1 e8c8", "2kr3r/8/8/8/8/8/8/R4RK1 w - - 5"},
        {"4k3/1P6/8/3pP3/8/8/8/4K3 w - d6", "e5d6 e8f7 b7b8n", "1N6/5k2/3P4/8/8/8/8/4K3 b - - 0"},
    };
    for (const auto& [fen, moves, after] : cases) {
        SCOPED_TRACE(testing::Message() << fen << " / " << (moves ? moves : ""));
        auto s = stack_from(fen, moves);
        ASSERT_TRUE(s);
        EXPECT_EQ(after, fen_of(*s->current) + std::to_string(s->current->halfmove));
        EXPECT_EQ(s->current->key, compute_key(*s->current));
    }
    EXPECT_EQ(0, std::memcmp(make_stack()->current, stack_from(kStart)->current, sizeof(Board)));
    // Passing the turn clears the en passant square and keeps the key right.
    auto s = stack_from("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 5 1");
    const Board before = *s->current;
    const Board* n = make_null_move(s->current);
    EXPECT_EQ(8, n->ep_file);
    EXPECT_EQ(n->key, compute_key(*n));
    EXPECT_EQ(0, std::memcmp(&before, s->current, sizeof(Board)));
}

// Mates, stalemate and the fifty moves are announced in the console transcript test.
TEST(Fen, ThirdOccurrenceIsADrawAndAPawnMoveStartsTheCountAgain) {
    auto s = stack_from(kStart, "e2e4 e7e5 g1f3 b8c6 f3g1 c6b8 g1f3 b8c6 f3g1");
    EXPECT_EQ(1, s->current->repetitions);
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, announce_game_end(*s));
    ASSERT_EQ(1, play_move_if_legal(*s, text_to_move(*s->current, "c6b8")));
    EXPECT_EQ(2, s->current->repetitions);
    EXPECT_EQ(1, announce_game_end(*s));
    EXPECT_EQ("1/2-1/2 {Draw by repetition}\n", testing::internal::GetCapturedStdout());
    ASSERT_EQ(1, play_move_if_legal(*s, text_to_move(*s->current, "d2d4")));
    EXPECT_EQ(0, s->current->repetitions);
}

TEST(Fen, LongReversibleGamesStayInsideTheStack) {
    // 1200 knight moves without a capture or pawn move, read at once and then played one by one.
    std::string moves;
    for (int i = 0; i < 300; ++i) moves += "g1f3 g8f6 f3g1 f6g8 ";
    auto s = stack_from(kStart, moves.c_str());
    ASSERT_TRUE(s);
    for (int i = 0; i < 1200; ++i)
        ASSERT_EQ(1, play_move_if_legal(
                         *s, text_to_move(*s->current, moves.substr(i % 4 * 5, 4).c_str())));
    EXPECT_LT(s->current - s->boards, 700);
    EXPECT_GT(s->current->repetitions, 0); // the kept history still shows the repetition
    EXPECT_EQ(s->current->key, compute_key(*s->current));
}

TEST(Fen, MoveTexts) {
    auto s = stack_from("k7/4P3/8/8/8/8/8/4K2R w K - 0 1");
    const Board& b = *s->current;
    EXPECT_EQ(0, play_move_if_legal(*s, text_to_move(b, "e7e8"))); // a promotion needs its letter
    for (const char* bad : {"e7", "z9e8", "\xC3\xA9\xC3\xA9", ""})
        EXPECT_EQ(0u, text_to_move(b, bad)) << bad;
    EXPECT_EQ("e7e8n", text_of(text_to_move(b, "e7e8n"), WHITE));
    EXPECT_EQ("e7e5", text_of(text_to_move(*stack_from(kStart, "e2e4")->current, "e7e5"), BLACK));
}
