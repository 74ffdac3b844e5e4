// Attack tables and the move rules the perft suite exercises least directly.
#include "board/movegen.h"

#include "board/attacks.h"
#include "board_helpers.h"

static Bitboard squares(std::initializer_list<const char*> list) {
    Bitboard b = 0;
    for (const char* s : list) b |= bit((s[0] - 'a') + 8 * (s[1] - '1'));
    return b;
}

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
    EXPECT_EQ(0u, between(0, 10)); // a1 and c2 share no line
}

TEST(MoveGen, CastlingNeedsRightsEmptyAndUnattackedSquares) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"e1c1", "e1g1"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", {"e8c8", "e8g8"}},
        // A piece on b1 blocks the queen side although the king does not pass it.
        {"r3k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1", {"e1g1"}},
        // f1 attacked by a bishop, d1 by a rook.
        {"r3k2r/8/8/8/8/8/6b1/R3K2R w KQkq - 0 1", {"e1c1"}},
        {"r2rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", {"e1g1"}},
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

// Double checks and en passant pins are in the perft suite's trees.
TEST(MoveGen, DoublePushBlocksAndImmobilePins) {
    // A rook check along the fourth rank is blocked by the double push.
    EXPECT_TRUE(contains(
        texts(*stack_from("4k3/8/8/8/K6r/8/2P5/8 w - - 0 1")->current, gen_legal_moves), "c2c4"));
    // The knight on f2 and the bishop on g2 are pinned without a move; both count.
    EXPECT_EQ(squares({"f2", "g2"}),
              immobile_pinned(*stack_from("6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - 2 1")->current));
    EXPECT_EQ(0u, immobile_pinned(*make_stack()->current));
}
