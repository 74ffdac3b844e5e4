#include "board/see.h"

#include "board_helpers.h"
#include "eval/params.h"

namespace {

struct SeeFixture : testing::Test {
    void SetUp() override { ResetEvalParams(); }
    int see_of(const char* fen, const char* move) {
        stack = stack_from(fen);
        EXPECT_TRUE(stack) << fen;
        if (!stack) return 0;
        return see(*stack->current, text_to_move(*stack->current, move));
    }
    int losing(const char* fen, const char* move) {
        stack = stack_from(fen);
        return see_is_losing(*stack->current, text_to_move(*stack->current, move));
    }
    std::unique_ptr<PositionStack> stack;
};

} // namespace

TEST_F(SeeFixture, SimpleExchanges) {
    EXPECT_EQ(330, see_of("4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5"));
    EXPECT_EQ(81 - 1071, see_of("4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1", "d2d5"));
    EXPECT_EQ(-330, see_of("4k3/8/2p5/8/8/4N3/8/4K3 w - - 0 1", "e3d5"));
    // Taking the king returns the king's value at once (the rook is put on a8 by hand).
    stack = stack_from("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    Board& b = *stack->current;
    b.rqk ^= bit(0) | bit(56);
    b.us ^= bit(0) | bit(56);
    EXPECT_EQ(10000, see(b, encode_move(ROOK | MF_CAPTURE, 56, 60)));
}

TEST_F(SeeFixture, XRaysAndPromotions) {
    // Rook takes a rook defended by a rook; the rear rook joins after the front one has taken.
    EXPECT_EQ(521, see_of("3r3k/3r4/8/8/8/8/3R4/3RK3 w - - 0 1", "d2d7"));
    EXPECT_EQ(0, see_of("3r3k/3r4/8/8/8/8/3R4/4K3 w - - 0 1", "d2d7"));
    // The king joins the exchange last.
    EXPECT_EQ(0, see_of("3rk3/3r4/8/8/8/8/3R4/3RK3 w - - 0 1", "d2d7"));
    EXPECT_EQ(81, see_of("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q"));
    EXPECT_EQ(81 - 1071, see_of("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q"));
}

TEST_F(SeeFixture, LosingCaptures) {
    EXPECT_EQ(0, losing("4k3/8/2p5/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5"));
    EXPECT_EQ(1, losing("4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1", "d2d5"));
}

TEST_F(SeeFixture, ValuesFollowTheWeights) {
    EXPECT_EQ(81, see_piece_value(PAWN));
    EXPECT_EQ(10000, see_piece_value(KING));
    EXPECT_EQ(0, see_piece_value(0));
    EXPECT_EQ(0, see_piece_value(7));
    P_Knight = 400;
    EXPECT_EQ(400, see_of("4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5"));
    ResetEvalParams();
}

TEST_F(SeeFixture, SelfTestPrintsTwentyFiveCases) {
    auto s = make_stack();
    testing::internal::CaptureStdout();
    see_test(*s);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find("\nTestCase  1                      Score:           -125\n"
                           "Move:               c3d4      SEE move:       "));
    size_t n = 0;
    for (size_t p = out.find("TestCase"); p != std::string::npos; p = out.find("TestCase", p + 1))
        ++n;
    EXPECT_EQ(25u, n);
    EXPECT_NE(std::string::npos, out.find("TestCase 25                      Score:           -625\n"
                                          "Move:              d7d8q      SEE move:       "));
    EXPECT_EQ(std::string::npos, out.find("cannot be set up")) << out;
    // Case 24 on its own board: the new queen is taken by the rook at once.
    EXPECT_NE(std::string::npos,
              out.find("TestCase 24                      Score:              0\n"
                       "Move:              d7d8q      SEE move:           -990\n"))
        << out;
}
