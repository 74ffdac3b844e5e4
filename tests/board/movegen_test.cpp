// Attack tables and the move rules that the perft suite exercises least directly.
#include "board/movegen.h"

#include "board/attacks.h"
#include "board_helpers.h"

namespace {

Bitboard squares(std::initializer_list<const char*> list) {
    Bitboard b = 0;
    for (const char* s : list) b |= bit((s[0] - 'a') + 8 * (s[1] - '1'));
    return b;
}

} // namespace

TEST(Attacks, EveryOccupancySubsetMatchesTheRayWalk) {
    for (int s = 0; s < 64; ++s) {
        for (bool bishop : {true, false}) {
            const Magic& m = bishop ? attacks::bishop_magic[s] : attacks::rook_magic[s];
            Bitboard subset = 0;
            do {
                // Pieces outside the mask never change the result.
                const Bitboard noisy = subset | (~m.mask & 0x8100000000000081ULL);
                ASSERT_EQ(slider_attacks_slow(s, subset, bishop),
                          bishop ? bishop_attacks(s, noisy) : rook_attacks(s, noisy));
                subset = (subset - m.mask) & m.mask;
            } while (subset);
        }
    }
    EXPECT_EQ(squares({"b2", "c3", "d4", "e5", "f6", "g7"}), between(0, 63));
    EXPECT_EQ(squares({"b1", "c1", "d1", "e1", "f1", "g1"}), between(0, 7));
    EXPECT_EQ(0u, between(0, 10)); // a1 and c2 share no line
    EXPECT_EQ(0u, between(0, 1));
    EXPECT_EQ(between(50, 15), between(15, 50));
}

TEST(MoveGen, CastlingNeedsRightsEmptyAndUnattackedSquares) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"e1c1", "e1g1"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", {"e8c8", "e8g8"}},
        // A piece on b1 blocks the queen side although the king does not pass it.
        {"r3k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1", {"e1g1"}},
        // f1 attacked by a bishop, d1 by a rook, g1 by a knight.
        {"r3k2r/8/8/8/8/8/6b1/R3K2R w KQkq - 0 1", {"e1c1"}},
        {"r2rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", {"e1g1"}},
        {"r3k2r/8/8/8/8/7n/8/R3K2R w KQkq - 0 1", {"e1c1"}},
        // Not out of check; rights without the rook on its square are dropped by the reader.
        {"r3k2r/8/8/8/8/8/4r3/R3K2R w KQkq - 0 1", {}},
        {"r3k2r/8/8/8/8/8/8/4K2R w KQkq - 0 1", {"e1g1"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1", {}},
    };
    for (const auto& [fen, expected] : cases) {
        auto s = stack_from(fen);
        ASSERT_TRUE(s) << fen;
        std::vector<std::string> castles;
        for (const auto& m : texts(*s->current, gen_legal_moves))
            if (m == "e1g1" || m == "e1c1" || m == "e8g8" || m == "e8c8") castles.push_back(m);
        std::sort(castles.begin(), castles.end());
        EXPECT_EQ(expected, castles) << fen;
    }
}

TEST(MoveGen, ChecksPinsAndEnPassant) {
    // Double check (knight and rook): only king moves.
    auto d = stack_from("4k3/8/8/8/8/3n4/8/r3K3 w - - 0 1");
    ASSERT_TRUE(d);
    EXPECT_EQ(2, popcount(king_attackers(*d->current)));
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(*d->current, list);
    ASSERT_GT(end - list, 0);
    for (MoveEntry* e = list; e < end; ++e) EXPECT_EQ(KING, move_piece(e->move));
    // A rook check along the fourth rank is blocked by the double push.
    EXPECT_TRUE(contains(
        texts(*stack_from("4k3/8/8/8/K6r/8/2P5/8 w - - 0 1")->current, gen_legal_moves), "c2c4"));
    // En passant that uncovers the king along the rank is illegal; a normal one is generated.
    EXPECT_FALSE(contains(
        texts(*stack_from("8/8/8/K2pP2r/8/8/8/4k3 w - d6 0 1")->current, gen_legal_moves), "e5d6"));
    EXPECT_TRUE(contains(
        texts(*stack_from("8/8/8/K2pP3/8/8/8/4k3 w - d6 0 1")->current, gen_captures), "e5d6"));
    // The knight on f2 and the bishop on g2 are pinned without a move; both count.
    EXPECT_EQ(squares({"f2", "g2"}),
              immobile_pinned(*stack_from("6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - 2 1")->current));
    EXPECT_EQ(0u, immobile_pinned(*make_stack()->current));
}
