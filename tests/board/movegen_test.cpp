// Attack tables and the move rules the perft suite exercises least directly.
#include "board/movegen.h"

#include "board/attacks.h"
#include "board_helpers.h"

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
    EXPECT_EQ(0x0040201008040200ULL, between(0, 63)); // b2 to g7
    EXPECT_EQ(0u, between(0, 10));                    // a1 and c2 share no line
}

TEST(MoveGen, DoublePushBlocksAndImmobilePins) {
    // A rook check along the fourth rank is blocked by the double push.
    EXPECT_TRUE(contains(
        texts(*stack_from("4k3/8/8/8/K6r/8/2P5/8 w - - 0 1")->current, gen_legal_moves), "c2c4"));
    // The knight on f2 and the bishop on g2 are pinned without a move; both count.
    EXPECT_EQ(bit(13) | bit(14),
              immobile_pinned(*stack_from("6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - 2 1")->current));
    EXPECT_EQ(0u, immobile_pinned(*make_stack()->current));
}
