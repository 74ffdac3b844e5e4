// The iteration lines, the principal variation and the best-move line in both front-end modes.
#include "frontend/reports.h"

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "board/makemove.h"
#include "search/search_fixture.h"

namespace {

class Report : public SearchFixture {
  protected:
    void SetUp() override {
        SearchFixture::SetUp();
        // The iteration report reads the depth of the main search state.
        t->depth = 5;
        search_info.nodes = 1234;
        search_info.seldepth = 7;
        // A variation from the start position: 1. e4 e5.
        pv_ = PVLine{};
        pv_.length = 2;
        pv_.moves[0] = find_move("e2e4");
        Board* after = make_move(t->stack.current, pv_.moves[0], t->stack.boards);
        pv_.moves[1] = find_move(*after, "e7e5");
        ASSERT_NE(0u, pv_.moves[0]);
        ASSERT_NE(0u, pv_.moves[1]);
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
    std::string pv_text(const PVLine& pv) {
        testing::internal::CaptureStdout();
        print_pv(*t, pv);
        return testing::internal::GetCapturedStdout();
    }
    std::string best(uint64_t result, Move ponder) {
        testing::internal::CaptureStdout();
        report_best_move(result, ponder);
        return testing::internal::GetCapturedStdout();
    }
    // Puts the game position of the front-ends at the FEN with the moves played.
    void game(const char* fen, const char* moves) {
        ASSERT_EQ(1, read_fen(main_search.stack, fen, moves));
    }
    static Move move_in(const char* fen, const char* moves, const char* text) {
        auto s = std::make_unique<PositionStack>();
        new_game(*s);
        EXPECT_EQ(1, read_fen(*s, fen, moves));
        return find_move(*s->current, text);
    }

    PVLine pv_{};
};

#define EXPECT_MATCHES(pattern, text)                                                              \
    EXPECT_TRUE(std::regex_match(text, std::regex(pattern))) << "[" << text << "]"

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

} // namespace

TEST_F(Report, UciIterationLines) {
    frontend_mode = MODE_UCI;
    time_control.start_ms = now_ms() - 300;
    const std::string counts = R"( nps \d+ hashfull \d+ tbhits 0 pv e2e4 e7e5 \n)";
    EXPECT_MATCHES(R"(info depth  5 score mate  1 nodes       1234 time [ \d]{5}\d)" + counts,
                   iteration(19999));
    EXPECT_MATCHES(R"(info depth  5 score mate  3 nodes       1234 time [ \d]{5}\d)" + counts,
                   iteration(19995));
    EXPECT_MATCHES(R"(info depth  5 score mate -1 nodes       1234 time [ \d]{5}\d)" + counts,
                   iteration(-19998));
    EXPECT_MATCHES(R"(info depth  5 score mate -2 nodes       1234 time [ \d]{5}\d)" + counts,
                   iteration(-19996));
    // Below 19000 a score is centipawns.
    EXPECT_MATCHES(R"(info depth  5 seldepth  7 score cp  18999 nodes       1234 time \d+)" +
                       counts,
                   iteration(18999));
    EXPECT_MATCHES(R"(info depth  5 seldepth  7 score cp    -35 nodes       1234 time \d+)" +
                       counts,
                   iteration(-35));
    // The speed is nodes per second from the first iteration on.
    for (const int64_t ms : {300, 2000}) {
        search_info.nodes = 4000000;
        time_control.start_ms = now_ms() - ms;
        const std::string line = iteration(12);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, std::regex(R"(.* time (\d+) nps (\d+) .*\n)")))
            << line;
        const double took = std::stod(m[1]), nps = std::stod(m[2]);
        EXPECT_GE(took, static_cast<double>(ms));
        EXPECT_NEAR(4000000 / took * 1000, nps, 1.0);
    }
}

TEST_F(Report, ConsoleIterationLines) {
    frontend_mode = MODE_CONSOLE;
    settings.post_thinking = true;
    time_control.start_ms = now_ms();
    EXPECT_MATCHES(R"( 5  19999 [ \d]{5}\d       1234 e2e4 e7e5 \nMate in 1 \n)", iteration(19999));
    EXPECT_MATCHES(R"( 5    -40 [ \d]{5}\d       1234 e2e4 e7e5 \n)", iteration(-40));
    settings.post_thinking = false;
    EXPECT_EQ("Mate in 1 \n", iteration(19999));
    EXPECT_EQ("Mate in 3 \n", iteration(19995));
    EXPECT_EQ("Mated to 1 \n", iteration(-19998));
    EXPECT_EQ("Mated to 2 \n", iteration(-19996));
    EXPECT_EQ("", iteration(18999));
    EXPECT_EQ("", iteration(-18999));
}

TEST_F(Report, PrincipalVariation) {
    EXPECT_EQ("e2e4 e7e5 \n", pv_text(pv_));
    // Zero entries are skipped and do not change whose move the next one is.
    PVLine pv{};
    pv.length = 3;
    pv.moves[1] = pv_.moves[0];
    pv.moves[2] = pv_.moves[1];
    EXPECT_EQ("e2e4 e7e5 \n", pv_text(pv));
    pv.moves[0] = pv_.moves[0];
    pv.moves[1] = 0;
    EXPECT_EQ("e2e4 e7e5 \n", pv_text(pv));
    EXPECT_EQ("\n", pv_text(PVLine{}));
    // With Black at the root the first move is Black's.
    set(kStart, "e2e4");
    pv = PVLine{};
    pv.length = 2;
    pv.moves[0] = find_move("c7c5");
    pv.moves[1] = move_in(kStart, "e2e4 c7c5", "g1f3");
    EXPECT_EQ("c7c5 g1f3 \n", pv_text(pv));
    // A promotion to a knight ends in n.
    set("k7/4P3/8/8/8/8/8/4K3 w - - 0 1");
    pv.moves[0] = find_move("e7e8n");
    pv.moves[1] = move_in("k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8n", "a8b7");
    EXPECT_EQ("e7e8n a8b7 \n", pv_text(pv));
}

TEST_F(Report, UciBestMove) {
    frontend_mode = MODE_UCI;
    game(kStart, "e2e4"); // the best move has been made
    const uint64_t r = make_result(pv_.moves[0], 25);
    search_flags.ponder_move = 1;
    EXPECT_EQ("bestmove e2e4 ponder e7e5\n", best(r, pv_.moves[1]));
    EXPECT_EQ("bestmove e2e4\n", best(r, 0));
    search_flags.ponder_move = 0;
    EXPECT_EQ("bestmove e2e4\n", best(r, pv_.moves[1]));
    EXPECT_EQ("bestmove 0000\n", best(0, 0));

    // Black's move, after which White is to move.
    search_flags.ponder_move = 1;
    game(kStart, "e2e4 e7e5");
    EXPECT_EQ("bestmove e7e5 ponder g1f3\n",
              best(make_result(pv_.moves[1], -10), move_in(kStart, "e2e4 e7e5", "g1f3")));
    // Black promotes to a knight.
    const char* promo = "4k3/8/8/8/8/8/4p3/K7 b - - 0 1";
    game(promo, "e2e1n");
    EXPECT_EQ("bestmove e2e1n\n", best(make_result(move_in(promo, nullptr, "e2e1n"), 300), 0));
}

TEST_F(Report, ConsoleBestMove) {
    frontend_mode = MODE_CONSOLE;
    game(kStart, "e2e4");
    const uint64_t r = make_result(pv_.moves[0], 25);
    search_info.nodes = 2500000;
    search_info.duration_ms = 0;
    EXPECT_EQ("Bestmove: e2e4   Score: 25   Pondermove: e7e5   Knps: 0\n", best(r, pv_.moves[1]));
    search_info.duration_ms = 1000;
    EXPECT_EQ("Bestmove: e2e4   Score: 25   Pondermove: e7e5   Knps: 2500\n",
              best(r, pv_.moves[1]));
    EXPECT_EQ("Bestmove: e2e4   Score: 25    Knps: 2500\n", best(r, 0));
    // The console names the ponder move whatever the ponder flag says.
    search_flags.ponder_move = 0;
    EXPECT_EQ("Bestmove: e2e4   Score: 25   Pondermove: e7e5   Knps: 2500\n",
              best(r, pv_.moves[1]));
    // Integer kilonodes per second.
    search_info.duration_ms = 3;
    search_info.nodes = 10;
    EXPECT_EQ("Bestmove: e2e4   Score: -7    Knps: 3\n", best(make_result(pv_.moves[0], -7), 0));
    search_info.duration_ms = 0;
    EXPECT_EQ("Bestmove: 0000   Score: 0    Knps: 0\n", best(0, 0));
}
