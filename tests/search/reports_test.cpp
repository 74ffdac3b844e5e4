// The iteration lines and the best-move line in both front-end modes, to the byte.
#include "frontend/reports.h"

#include <regex>

#include "search/search_fixture.h"

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

class Report : public SearchFixture {
  protected:
    void SetUp() override {
        SearchFixture::SetUp();
        t->depth = 5; // the iteration report reads the depth of the main search state
        search_info.nodes = 1234;
        search_info.seldepth = 7;
        pv_.length = 2; // 1. e4 e5, then 2. Nf3 as the ponder move of the best move 1... e5
        pv_.moves[0] = text_to_move(board(), "e2e4");
        pv_.moves[1] = text_to_move(*stack_from(kStart, "e2e4")->current, "e7e5");
        ASSERT_EQ(1, read_fen(main_search.stack, kStart, "e2e4 e7e5"));
        nf3_ = text_to_move(*main_search.stack.current, "g1f3");
    }
    void TearDown() override {
        new_game(main_search.stack);
        SearchFixture::TearDown();
    }
    std::string iteration(int16_t score) {
        testing::internal::CaptureStdout();
        report_iteration(*t, make_result(pv_.moves[0], score), pv_);
        return testing::internal::GetCapturedStdout();
    }
    std::string best(bool ponder, int16_t score = 25) {
        testing::internal::CaptureStdout();
        report_best_move(make_result(pv_.moves[1], score), ponder ? nf3_ : 0);
        return testing::internal::GetCapturedStdout();
    }
    PVLine pv_{};
    Move nf3_ = 0;
};

TEST_F(Report, IterationLines) {
    frontend_mode = MODE_UCI;
    // Mates in moves for either side, centipawns below 19000.
    const std::pair<int16_t, std::string> cases[] = {
        {19999, "info depth  5 score mate  1 nodes       1234 time "},
        {-19998, "info depth  5 score mate -1 nodes       1234 time "},
        {-19996, "info depth  5 score mate -2 nodes       1234 time "},
        {18999, "info depth  5 seldepth  7 score cp  18999 nodes       1234 time "},
        {-35, "info depth  5 seldepth  7 score cp    -35 nodes       1234 time "},
    };
    const std::regex tail(R"( nps \d+ hashfull \d+ tbhits 0 pv e2e4 e7e5 \n$)");
    for (const auto& [score, head] : cases) {
        const std::string line = iteration(score);
        EXPECT_EQ(head, line.substr(0, head.size()));
        EXPECT_TRUE(std::regex_search(line, tail)) << line;
    }
    // The speed is nodes per second of the time shown.
    search_info.nodes = 4000000;
    time_control.start_ms = now_ms() - 2000;
    std::smatch m;
    const std::string line = iteration(12);
    ASSERT_TRUE(std::regex_search(line, m, std::regex(R"( time (\d+) nps (\d+) )"))) << line;
    EXPECT_NEAR(4000000 / std::stod(m[1]) * 1000, std::stod(m[2]), 1.0);
    // The console shows the same figures as a row, and the mates alone without PostThinking.
    frontend_mode = MODE_CONSOLE;
    search_info.nodes = 1234;
    time_control.start_ms = now_ms();
    EXPECT_TRUE(std::regex_match(iteration(-40),
                                 std::regex(R"( 5    -40 [ \d]{5}\d       1234 e2e4 e7e5 \n)")));
    settings.post_thinking = false;
    EXPECT_EQ("Mated to 2 \n", iteration(-19996));
    EXPECT_EQ("", iteration(18999));
}

TEST_F(Report, BestMoveLines) {
    frontend_mode = MODE_UCI;
    EXPECT_EQ("bestmove e7e5 ponder g1f3\n", best(true));
    search_flags.ponder_move = 0; // no ponder move named while the flag is off
    EXPECT_EQ("bestmove e7e5\n", best(true));
    frontend_mode = MODE_CONSOLE;
    search_info.nodes = 2500000;
    search_info.duration_ms = 1000;
    EXPECT_EQ("Bestmove: e7e5   Score: 25   Pondermove: g1f3   Knps: 2500\n", best(true));
    EXPECT_EQ("Bestmove: e7e5   Score: -7    Knps: 2500\n", best(false, -7));
}
