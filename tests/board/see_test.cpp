// Static exchange evaluation on hand-worked exchanges, in units of the evaluation's piece values.
#include "board/see.h"

#include "board_helpers.h"
#include "eval/params.h"

TEST(See, ExchangesWorkedByHand) {
    ResetEvalParams();
    const int pawn = P_Pawn, knight = P_Knight, rook = P_Rook, queen = P_Queen;
    const std::tuple<const char*, const char*, int> cases[] = {
        {"4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5", knight},
        {"4k3/8/2p5/3p4/8/8/3Q4/4K3 w - - 0 1", "d2d5", pawn - queen},
        {"4k3/8/2p5/8/8/4N3/8/4K3 w - - 0 1", "e3d5", -knight}, // quiet, onto a guarded square
        // The rear rook joins after the front one has taken; the king comes last.
        {"3r3k/3r4/8/8/8/8/3R4/3RK3 w - - 0 1", "d2d7", rook},
        {"3r3k/3r4/8/8/8/8/3R4/4K3 w - - 0 1", "d2d7", 0},
        {"3rk3/3r4/8/8/8/8/3R4/3RK3 w - - 0 1", "d2d7", 0},
        // A promotion push scores a pawn, less the queen when the new queen is taken.
        {"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", pawn},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", pawn - queen},
        // Black's exchange, seen from Black's side.
        {"3qk3/8/8/8/3R4/2P5/8/4K3 b - - 0 1", "d8d4", rook - queen},
    };
    for (const auto& [fen, move, score] : cases) {
        SCOPED_TRACE(testing::Message() << fen << " " << move);
        auto s = stack_from(fen);
        const Move m = text_to_move(*s->current, move);
        EXPECT_EQ(score, see(*s->current, m));
        EXPECT_EQ(score < 0, see_is_losing(*s->current, m) != 0);
    }
    // The values follow the weights, which the tuner changes.
    P_Knight = 400;
    auto s = stack_from(std::get<0>(cases[0]));
    EXPECT_EQ(400, see(*s->current, text_to_move(*s->current, "e4d5")));
    ResetEvalParams();
}
