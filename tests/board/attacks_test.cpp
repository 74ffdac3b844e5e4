#include "board/attacks.h"

#include <gtest/gtest.h>

namespace {

constexpr int sq(const char* s) {
    return (s[0] - 'a') + 8 * (s[1] - '1');
}

Bitboard squares(std::initializer_list<const char*> list) {
    Bitboard b = 0;
    for (const char* s : list) b |= bit(sq(s));
    return b;
}

} // namespace

TEST(Attacks, EveryOccupancySubsetMatchesTheRayWalk) {
    size_t bishop_subsets = 0, rook_subsets = 0;
    for (int s = 0; s < 64; ++s) {
        for (bool bishop : {true, false}) {
            const Magic& m = bishop ? attacks::bishop_magic[s] : attacks::rook_magic[s];
            Bitboard subset = 0;
            do {
                const Bitboard expected = slider_attacks_slow(s, subset, bishop);
                // Pieces outside the mask never change the result.
                const Bitboard noisy = subset | (~m.mask & 0x8100000000000081ULL);
                ASSERT_EQ(expected, bishop ? bishop_attacks(s, noisy) : rook_attacks(s, noisy));
                (bishop ? bishop_subsets : rook_subsets)++;
                subset = (subset - m.mask) & m.mask;
            } while (subset);
        }
    }
    EXPECT_EQ(5248u, bishop_subsets);
    EXPECT_EQ(102400u, rook_subsets);
}

TEST(Attacks, MasksAndShifts) {
    EXPECT_EQ(squares({"a2", "a3", "a4", "a5", "a6", "a7", "b1", "c1", "d1", "e1", "f1", "g1"}),
              attacks::rook_magic[0].mask);
    EXPECT_EQ(squares({"b2", "c3", "d4", "e5", "f6", "g7"}), attacks::bishop_magic[0].mask);
    for (int s = 0; s < 64; ++s) {
        EXPECT_GE(attacks::bishop_magic[s].shift, 55u);
        EXPECT_LE(attacks::bishop_magic[s].shift, 59u);
        EXPECT_GE(attacks::rook_magic[s].shift, 52u);
        EXPECT_LE(attacks::rook_magic[s].shift, 54u);
    }
    // The parts of the attack arrays follow each other without gaps.
    EXPECT_EQ(attacks::bishop_table, attacks::bishop_magic[0].attacks);
    EXPECT_EQ(attacks::bishop_table + 5248 - 64, attacks::bishop_magic[63].attacks);
    EXPECT_EQ(attacks::rook_table + 102400 - 4096, attacks::rook_magic[63].attacks);
}

TEST(Attacks, SliderExamples) {
    EXPECT_EQ(14, popcount(rook_attacks(sq("a1"), 0)));
    EXPECT_EQ(squares({"a2", "a3", "a4", "b1", "c1", "d1", "e1", "f1", "g1", "h1"}),
              rook_attacks(sq("a1"), bit(sq("a4"))));
    EXPECT_EQ(13, popcount(bishop_attacks(sq("d4"), 0)));
    EXPECT_EQ(squares({"g7", "f6", "e5", "d4", "c3", "b2", "a1"}), bishop_attacks(sq("h8"), 0));
    EXPECT_EQ(27, popcount(queen_attacks(sq("d4"), 0)));
}

TEST(Attacks, BetweenAndLeapers) {
    EXPECT_EQ(squares({"b2", "c3", "d4", "e5", "f6", "g7"}), between(sq("a1"), sq("h8")));
    EXPECT_EQ(squares({"b1", "c1", "d1", "e1", "f1", "g1"}), between(sq("a1"), sq("h1")));
    EXPECT_EQ(0u, between(sq("a1"), sq("c2")));
    EXPECT_EQ(0u, between(sq("a1"), sq("b1")));
    EXPECT_EQ(0u, between(sq("e4"), sq("e4")));
    EXPECT_EQ(between(sq("c7"), sq("h2")), between(sq("h2"), sq("c7")));

    EXPECT_EQ(squares({"d3", "f3"}), attacks::pawn[sq("e2")]);
    EXPECT_EQ(squares({"b8"}), attacks::pawn[sq("a7")]);
    EXPECT_EQ(0u, attacks::pawn[sq("e1")]);
    EXPECT_EQ(0u, attacks::pawn[sq("e8")]);
    EXPECT_EQ(squares({"c3", "e3"}), attacks::pawn_attackers[sq("d4")]);
    EXPECT_EQ(0u, attacks::pawn_attackers[sq("e2")]);
    EXPECT_EQ(squares({"a7", "c7"}), attacks::pawn_attackers[sq("b8")]);
    EXPECT_EQ(squares({"b5"}), attacks::ep_capturers[0]);
    EXPECT_EQ(squares({"c5", "e5"}), attacks::ep_capturers[3]);
    EXPECT_EQ(squares({"b3", "c2"}), attacks::knight[sq("a1")]);
    EXPECT_EQ(8, popcount(attacks::knight[sq("e4")]));
    EXPECT_EQ(squares({"a2", "b1", "b2"}), attacks::king[sq("a1")]);
}
