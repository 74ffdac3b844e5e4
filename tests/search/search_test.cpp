// The alpha-beta and quiescence searches on hand-picked positions, and the reduction table.
#include "search/search.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/evaluate.h"
#include "search/search_fixture.h"
#include "testdata.h"

// ---------------------------------------------------------------------------------------------
// Late move reductions

TEST(SearchLmr, TableValues) {
    EXPECT_EQ(1, LMR_R[10][6]);  // ln 10 * ln 6 / 3 = 1.37
    EXPECT_EQ(5, LMR_R[63][63]); // 5.72, the largest entry
    EXPECT_EQ(0, LMR_R[2][63]);  // 0.96 rounds down to nothing
    EXPECT_EQ(1, LMR_R[3][63]);  // 1.52
    int largest = 0;
    for (int d = 0; d < 64; ++d)
        for (int n = 0; n < 64; ++n) {
            largest = std::max<int>(largest, LMR_R[d][n]);
            if (d < 2 || n < 2) {
                EXPECT_EQ(0, LMR_R[d][n]) << d << "," << n;
            }
            // More depth or a later move never reduces less.
            if (d > 0) {
                EXPECT_GE(LMR_R[d][n], LMR_R[d - 1][n]) << d << "," << n;
            }
            if (n > 0) {
                EXPECT_GE(LMR_R[d][n], LMR_R[d][n - 1]) << d << "," << n;
            }
        }
    EXPECT_EQ(5, largest);
    // How often each reduction occurs pins the whole table to floor(ln d * ln n / 3).
    int count[6] = {};
    for (const auto& row : LMR_R)
        for (uint8_t r : row)
            if (r < 6) ++count[r];
    EXPECT_EQ(412, count[0]);
    EXPECT_EQ(392, count[1]);
    EXPECT_EQ(709, count[2]);
    EXPECT_EQ(1029, count[3]);
    EXPECT_EQ(1129, count[4]);
    EXPECT_EQ(425, count[5]);
}

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The values of one printed row "{a,b,...,z},".
std::vector<unsigned> row_values(const std::string& row) {
    std::vector<unsigned> v;
    if (row.size() < 3 || row.front() != '{' || row.substr(row.size() - 2) != "},") return v;
    std::istringstream in(row.substr(1, row.size() - 3));
    for (std::string cell; std::getline(in, cell, ',');)
        v.push_back(static_cast<unsigned>(std::stoul(cell)));
    return v;
}

} // namespace

TEST(SearchLmr, ReductionTablePrintout) {
    testing::internal::CaptureStdout();
    print_reduction_table();
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ('\n', out.back());
    const auto lines = lines_of(out);
    ASSERT_EQ(1u + 2 * (1 + 64 + 1) + 1, lines.size());
    EXPECT_EQ("static const int CT_LMR_R[2][64][64]={", lines[0]);
    EXPECT_EQ("}", lines.back());
    for (int plane = 0; plane < 2; ++plane) {
        const size_t base = 1 + static_cast<size_t>(plane) * 66;
        EXPECT_EQ("{", lines[base]) << plane;
        EXPECT_EQ("},", lines[base + 65]) << plane;
        for (int d = 0; d < 64; ++d) {
            const std::string& row = lines[base + 1 + static_cast<size_t>(d)];
            const auto v = row_values(row);
            ASSERT_EQ(64u, v.size()) << "plane " << plane << " row " << d << ": " << row;
            EXPECT_EQ(std::string::npos, row.find(",}")) << row;
            if (plane == 1) {
                for (int n = 0; n < 64; ++n)
                    EXPECT_EQ(LMR_R[d][n], v[static_cast<size_t>(n)]) << d << "," << n;
            }
        }
    }
    // Plane 0: ln * ln / 2.25 + 0.33, one more above 2; rows and columns 0 and 1 are zero.
    const auto plane0 = [&](int d) { return row_values(lines[2 + static_cast<size_t>(d)]); };
    EXPECT_EQ(std::vector<unsigned>(64, 0), plane0(0));
    EXPECT_EQ(std::vector<unsigned>(64, 0), plane0(1));
    EXPECT_EQ(0u, plane0(3)[3]);   // 0.87
    EXPECT_EQ(1u, plane0(4)[4]);   // 1.18
    EXPECT_EQ(2u, plane0(10)[6]);  // 2.16
    EXPECT_EQ(5u, plane0(20)[20]); // 4.32: 4, and one more
    EXPECT_EQ(8u, plane0(63)[63]); // 7.96: 7, and one more
}

// ---------------------------------------------------------------------------------------------
// search

using SearchNode = SearchFixture;

TEST_F(SearchNode, ThirdOccurrenceIsADraw) {
    // White is a queen up; the shuffle brings the position back for the third time.
    set("4k3/8/8/8/8/8/8/3QK3 w - - 0 1", "d1c2 e8f8 c2d1 f8e8 d1c2 e8f8 c2d1 f8e8");
    ASSERT_EQ(2, board().repetitions);
    PVLine pv{};
    EXPECT_EQ(0, search(*t, 4, 2, -30000, 30000, 0, pv));
    EXPECT_EQ(0, pv.length);
    EXPECT_EQ(1u, t->nodes);

    // The second occurrence is not a draw yet.
    set("4k3/8/8/8/8/8/8/3QK3 w - - 0 1", "d1c2 e8f8 c2d1 f8e8");
    ASSERT_EQ(1, board().repetitions);
    EXPECT_GT(search(*t, 4, 2, -30000, 30000, 0, pv), 500);
}

TEST_F(SearchNode, LosingSideRepeatsFromTheRoot) {
    // Black, a queen down, can bring the position back a third time with Kf8-e8; the root's child
    // is then scored a draw and every other move loses.
    set("4k3/8/8/8/8/8/8/3QK3 w - - 0 1", "d1c2 e8f8 c2d1 f8e8 d1c2 e8f8 c2d1");
    const uint64_t r = think_to_depth(quick_mode() ? 3 : 5);
    EXPECT_EQ("f8e8", text_of(result_move(r), BLACK));
    EXPECT_EQ(0, result_score(r));
}

TEST_F(SearchNode, FiftyMoveRuleAndMate) {
    PVLine pv{};
    // Checkmated on the hundredth ply: the mate stands.
    set("R6k/6pp/8/8/8/8/8/6K1 b - - 100 80");
    EXPECT_EQ(1 - MATE, search(*t, 2, 1, -30000, 30000, 0, pv));
    // Beyond it the game was already drawn.
    set("R6k/6pp/8/8/8/8/8/6K1 b - - 101 80");
    EXPECT_EQ(0, search(*t, 2, 1, -30000, 30000, 0, pv));
    // Not in check on the hundredth ply: drawn although White is a rook up.
    set("7k/6pp/8/8/8/8/8/R5K1 b - - 100 80");
    EXPECT_EQ(0, search(*t, 2, 1, -30000, 30000, 0, pv));
    // One ply earlier Black steers into the draw with a king move (a pawn move would reset the
    // count); further away the rook tells.
    tt_clear();
    set("7k/6pp/8/8/8/8/8/R5K1 b - - 99 80");
    EXPECT_EQ(0, search(*t, 2, 1, -30000, 30000, 0, pv));
    ASSERT_GE(pv.length, 1);
    EXPECT_EQ(KING, move_piece(pv.moves[0]));
    tt_clear();
    set("7k/6pp/8/8/8/8/8/R5K1 b - - 50 80");
    EXPECT_LT(search(*t, 2, 1, -30000, 30000, 0, pv), -300);
}

TEST_F(SearchNode, MateScoresCountThePly) {
    PVLine pv{};
    set("R6k/6pp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(4 - MATE, search(*t, 2, 4, -30000, 30000, 0, pv));
    EXPECT_EQ(0, pv.length);
    tt_clear();
    EXPECT_EQ(4 - MATE, search(*t, 1, 4, -1, 0, 0, pv)); // a null window, no extension
    tt_clear();
    EXPECT_EQ(9 - MATE, search(*t, 0, 9, -30000, 30000, 0, pv));

    // The node above gets the mate with the opposite sign.
    tt_clear();
    set("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    EXPECT_EQ(MATE - 4, search(*t, 2, 3, -30000, 30000, 0, pv));
    ASSERT_GE(pv.length, 1);
    EXPECT_EQ("a1a8", text_of(pv.moves[0], WHITE));

    // Stalemate is a draw at any ply.
    tt_clear();
    set("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(0, search(*t, 3, 5, -30000, 30000, 0, pv));
}

TEST_F(SearchNode, NothingBeatsAMateFoundNearerTheRoot) {
    // At ply 10 no score can exceed a mate in 10 plies: with alpha there the node ends at once.
    set("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    PVLine pv{};
    EXPECT_EQ(MATE - 10, search(*t, 5, 10, MATE - 10, MATE - 5, 0, pv));
    EXPECT_EQ(1u, t->nodes);
    // Nor can it fall below being mated right here.
    EXPECT_EQ(10 - MATE, search(*t, 5, 10, -30000, 5 - MATE, 0, pv));
    EXPECT_EQ(2u, t->nodes);
}

TEST_F(SearchNode, StopAbortsAtOnce) {
    set("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    PVLine pv{};
    search_flags.stop = 1;
    EXPECT_EQ(-123, search(*t, 6, 1, -123, 456, 0, pv));
    EXPECT_EQ(1, search_flags.abort.load());
    EXPECT_EQ(0u, t->nodes);
    search_flags.stop = 0;
    EXPECT_EQ(-123, search(*t, 6, 1, -123, 456, 0, pv)); // abort alone still ends it
    EXPECT_EQ(0u, t->nodes);
}

// ---------------------------------------------------------------------------------------------
// qsearch

using Qsearch = SearchFixture;

TEST_F(Qsearch, StandPatReturnsTheEvaluation) {
    set("4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
    const int eval = evaluate(*t);
    ASSERT_GT(eval, 100);
    EXPECT_EQ(eval, qsearch(*t, 0, 1, -100, 100, 0)); // not beta
    EXPECT_EQ(0u, t->nodes);
}

TEST_F(Qsearch, DeltaPruning) {
    // A capture is there, but even a queen more would not reach alpha.
    set("r3k3/8/8/3p4/4P3/8/PPPP4/R3K3 w - - 0 1");
    const int eval = evaluate(*t);
    ASSERT_GT(eval, 200);
    ASSERT_LT(eval, 1500 - P_Queen);
    EXPECT_EQ(1500, qsearch(*t, 0, 1, 1500, 1600, 0));
    EXPECT_EQ(0u, t->nodes);
    // Within a queen of alpha the capture is searched.
    EXPECT_EQ(eval + P_Queen, qsearch(*t, 0, 1, eval + P_Queen, eval + P_Queen + 100, 0));
    EXPECT_GT(t->nodes, 0u);

    // With a pawn on the seventh rank the margin is two queens less a pawn.
    t->nodes = 0;
    set("r3k3/P7/8/3p4/4P3/8/2P5/R3K3 w - - 0 1");
    ASSERT_GT(evaluate(*t), 1500 - (2 * P_Queen - P_Pawn));
    EXPECT_EQ(1500, qsearch(*t, 0, 1, 1500, 1600, 0));
    EXPECT_GT(t->nodes, 0u);
}

TEST_F(Qsearch, MatedInCheck) {
    set("R6k/6pp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(5 - MATE, qsearch(*t, 0, 5, -30000, 30000, 0));
    EXPECT_EQ(7 - MATE, qsearch(*t, -3, 7, -30000, 30000, 0));
    EXPECT_EQ(7 - MATE, qsearch_counted(*t, -3, 7, -30000, 30000, 0));
}

TEST_F(Qsearch, FindsAWinningCaptureAndAMateByCheck) {
    // The rook on d5 hangs.
    set("4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1");
    const int eval = evaluate(*t);
    EXPECT_GT(qsearch(*t, 0, 1, -30000, 30000, 0), eval + 300);
    // A quiet check at the first level mates: Ra8 is not a capture.
    set("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    EXPECT_EQ(MATE - 2, qsearch(*t, 0, 1, -30000, 30000, 0));
    // Below the first level quiet checks are not tried.
    EXPECT_LT(qsearch(*t, -1, 1, -30000, 30000, 0), 1000);
}

TEST_F(Qsearch, BadCaptures) {
    const auto bad = [&](const char* text) {
        const Move m = find_move(text);
        EXPECT_NE(0u, m) << text << " is not legal here";
        return m != 0 && is_bad_capture(board(), m);
    };
    // Queen takes a rook defended by a pawn: bad.
    set("4k3/8/4p3/3r4/8/8/8/3QK3 w - - 0 1");
    EXPECT_TRUE(bad("d1d5"));
    // The same rook undefended: good.
    set("4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1");
    EXPECT_FALSE(bad("d1d5"));
    // Rook takes a defended rook: equal value, never bad.
    set("4k3/8/4p3/3r4/8/8/8/3RK3 w - - 0 1");
    EXPECT_FALSE(bad("d1d5"));
    // Pawn takes queen, however well defended.
    set("3rkr2/8/4p3/3q4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_FALSE(bad("e4d5"));
    // For Black, with the board mirrored.
    set("3qk3/8/8/8/3R4/2P5/8/4K3 b - - 0 1");
    EXPECT_TRUE(bad("d8d4"));
    // A quiet move onto a square an enemy pawn guards loses the piece (the quiet checks of the
    // quiescence search are screened this way).
    set("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1");
    EXPECT_TRUE(bad("b1c3"));
    EXPECT_FALSE(bad("b1a3"));
}
