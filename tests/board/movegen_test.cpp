#include "board/movegen.h"

#include <algorithm>
#include <fstream>
#include <set>

#include "board_helpers.h"
#include "testdata.h"

TEST(MoveGen, StartPosition) {
    auto s = make_stack();
    const Board& b = *s->current;
    MoveEntry list[MAX_MOVES];
    EXPECT_EQ(20, gen_quiets(b, list) - list);
    EXPECT_EQ(0, gen_captures(b, list) - list);
    EXPECT_EQ(20, gen_legal_moves(b, list) - list);
    EXPECT_EQ(0u, king_attackers(b));
    // Order: knights before pawn single pushes before double pushes, each by rising squares.
    const auto moves = texts(b, gen_quiets);
    EXPECT_EQ("b1a3", moves[0]);
    EXPECT_EQ("a2a3", moves[4]);
    EXPECT_EQ("h2h4", moves[19]);
}

TEST(MoveGen, EnPassantComesLastWithItsScore) {
    auto s = stack_from("rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 3");
    ASSERT_TRUE(s);
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(*s->current, list);
    ASSERT_GT(end - list, 0);
    EXPECT_EQ(MT_EN_PASSANT, move_type(end[-1].move));
    EXPECT_EQ("e5d6", text_of(end[-1].move, WHITE));
    EXPECT_EQ(21, end[-1].score);
}

TEST(MoveGen, PromotionsOrderAndScores) {
    auto s = stack_from("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    ASSERT_TRUE(s);
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(*s->current, list);
    ASSERT_EQ(8, end - list);
    const char* expected[8] = {"b7a8q", "b7a8r", "b7a8b", "b7a8n",
                               "b7b8q", "b7b8r", "b7b8b", "b7b8n"};
    const int scores[4] = {85, -1, -2, -3};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(expected[i], text_of(list[i].move, WHITE));
        EXPECT_EQ(i < 4 ? MT_PROMOTION_CAPTURE : MT_PROMOTION_PUSH, move_type(list[i].move));
        EXPECT_EQ(scores[i % 4], list[i].score);
    }
}

TEST(MoveGen, CaptureScoresPreferValuableVictimsAndCheapAttackers) {
    // Pawn takes queen 85, queen takes pawn 17, king takes pawn 16.
    auto s = stack_from("7k/8/8/8/3q4/2P5/3pQ3/4K3 w - - 0 1");
    ASSERT_TRUE(s);
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(*s->current, list);
    std::set<std::pair<std::string, int>> got;
    for (MoveEntry* e = list; e < end; ++e) got.insert({text_of(e->move, WHITE), e->score});
    EXPECT_TRUE(got.count({"c3d4", 85}));
    EXPECT_TRUE(got.count({"e2d2", 17}));
    EXPECT_TRUE(got.count({"e1d2", 16}));
}

TEST(MoveGen, CastlingNeedsEmptyAndUnattackedSquares) {
    auto castles = [](const char* fen) {
        auto s = stack_from(fen);
        EXPECT_TRUE(s) << fen;
        std::vector<std::string> v;
        if (!s) return v;
        for (const auto& m : texts(*s->current, gen_quiets))
            if (m == "e1g1" || m == "e1c1" || m == "e8g8" || m == "e8c8") v.push_back(m);
        return v;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"e1c1", "e1g1"}), castles("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
    EXPECT_EQ((V{"e8c8", "e8g8"}), castles("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1"));
    // A piece on b1 blocks the queen side although the king does not pass it.
    EXPECT_EQ((V{"e1g1"}), castles("r3k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1"));
    // f1 attacked by a bishop: no king side; d1 attacked by a rook: no queen side.
    EXPECT_EQ((V{"e1c1"}), castles("r3k2r/8/8/8/8/8/6b1/R3K2R w KQkq - 0 1"));
    EXPECT_EQ((V{"e1g1"}), castles("r2rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1"));
    // The king in check may not castle; a knight attacking g1 stops the king side.
    EXPECT_EQ(V{}, castles("r3k2r/8/8/8/8/8/4r3/R3K2R w KQkq - 0 1"));
    EXPECT_EQ((V{"e1c1"}), castles("r3k2r/8/8/8/8/7n/8/R3K2R w KQkq - 0 1"));
    // Rights without the rook on its square are dropped when the FEN is read.
    EXPECT_EQ((V{"e1g1"}), castles("r3k2r/8/8/8/8/8/8/4K2R w KQkq - 0 1"));
}

TEST(MoveGen, EvasionsInSingleAndDoubleCheck) {
    // Rook check along rank 4 with the king on a4: the double push c2c4 blocks.
    auto s = stack_from("4k3/8/8/8/K6r/8/2P5/8 w - - 0 1");
    ASSERT_TRUE(s);
    const Board& b = *s->current;
    const Bitboard checkers = king_attackers(b);
    ASSERT_NE(0u, checkers);
    auto evasions =
        texts(b, [&](const Board& x, MoveEntry* l) { return gen_evasions(x, checkers, l); });
    EXPECT_TRUE(contains(evasions, "c2c4"));

    // Double check (knight and rook): only king moves.
    auto d = stack_from("4k3/8/8/8/8/3n4/8/r3K3 w - - 0 1");
    ASSERT_TRUE(d);
    const Bitboard two = king_attackers(*d->current);
    EXPECT_EQ(2, popcount(two));
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_evasions(*d->current, two, list);
    ASSERT_GT(end - list, 0);
    for (MoveEntry* e = list; e < end; ++e) EXPECT_EQ(KING, move_piece(e->move));
}

TEST(MoveGen, EnPassantThatExposesTheKingIsIllegal) {
    auto s = stack_from("8/8/8/K2pP2r/8/8/8/4k3 w - d6 0 1");
    ASSERT_TRUE(s);
    const Move ep = text_to_move(*s->current, "e5d6");
    ASSERT_EQ(MT_EN_PASSANT, move_type(ep));
    EXPECT_NE(0u, leaves_king_attacked(*s->current, ep));
    EXPECT_FALSE(contains(texts(*s->current, gen_legal_moves), "e5d6"));
}

TEST(MoveGen, ImmobilePinnedPieces) {
    auto s = stack_from("6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - 2 1");
    ASSERT_TRUE(s);
    EXPECT_EQ(24576u, immobile_pinned(*s->current)); // f2 and g2
    auto none = make_stack();
    EXPECT_EQ(0u, immobile_pinned(*none->current));
}

// On positions reached from the suite: the evasion generator finds every legal move when in check,
// and every legal quiet move that checks directly with the moved piece is among the check moves.
TEST(MoveGen, EvasionsAndChecksAgreeWithTheLegalMoves) {
    REQUIRE_TESTDATA(dir);
    std::ifstream in(dir + "/perft-suite.txt");
    std::string line;
    int in_check_nodes = 0;
    std::vector<std::unique_ptr<PositionStack>> keep;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto s = stack_from(line.substr(0, line.find(';')));
        ASSERT_TRUE(s) << line;
        std::vector<const Board*> frontier{s->current};
        for (int depth = 0; depth < 2; ++depth) {
            std::vector<const Board*> next;
            for (const Board* b : frontier) {
                MoveEntry legal[MAX_MOVES];
                MoveEntry* legal_end = gen_legal_moves(*b, legal);
                std::set<Move> legal_set;
                for (MoveEntry* e = legal; e < legal_end; ++e) legal_set.insert(e->move);
                const Bitboard checkers = king_attackers(*b);
                if (checkers) {
                    ++in_check_nodes;
                    MoveEntry ev[MAX_MOVES];
                    MoveEntry* ev_end = gen_evasions(*b, checkers, ev);
                    std::set<Move> ev_legal;
                    for (MoveEntry* e = ev; e < ev_end; ++e)
                        if (!leaves_king_attacked(*b, e->move)) ev_legal.insert(e->move);
                    EXPECT_EQ(legal_set, ev_legal) << fen_of(*b);
                } else {
                    MoveEntry ch[MAX_MOVES];
                    std::set<Move> checks;
                    for (MoveEntry *e = ch, *end = gen_checks(*b, ch); e < end; ++e)
                        checks.insert(e->move);
                    for (Move m : legal_set) {
                        if (is_capture(m) || move_type(m) == MT_PROMOTION_PUSH ||
                            move_piece(m) == KING)
                            continue;
                        // Does the moved piece itself attack the enemy king after the move?
                        Board* nb = make_move(b, m, b);
                        const int to = move_to(m) ^ 56;
                        const Bitboard direct =
                            attackers_to(*nb, our_king_square(*nb), occupied(*nb), them(*nb)) &
                            bit(to);
                        if (direct) {
                            EXPECT_TRUE(checks.count(m))
                                << fen_of(*b) << " " << text_of(m, b->side);
                        }
                    }
                }
                // Children get stacks of their own so the frontier stays valid.
                if (depth == 0)
                    for (MoveEntry* e = legal; e < legal_end; ++e) {
                        keep.push_back(make_stack());
                        keep.back()->boards[0] = *make_move(b, e->move, b);
                        next.push_back(&keep.back()->boards[0]);
                    }
            }
            frontier = next;
        }
    }
    EXPECT_GT(in_check_nodes, 10);
}
