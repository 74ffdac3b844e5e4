// Iterative deepening, the thread pool and the time allocation.
#include "search/think.h"

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "search/search_fixture.h"
#include "search/threads.h"
#include "testdata.h"

namespace {

using Think = SearchFixture;

size_t line_count(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

bool is_legal(const Board& b, Move m) {
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(b, list);
    for (MoveEntry* e = list; e < end; ++e)
        if (e->move == m) return true;
    return false;
}

constexpr const char* kMiddlegame =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";

} // namespace

TEST_F(Think, NoLegalMoveGivesTheZeroMove) {
    std::string out;
    set("R6k/6pp/8/8/8/8/8/6K1 b - - 0 1"); // mated
    EXPECT_EQ(0u, think_to_depth(10, &out));
    EXPECT_EQ(0u, search_info.nodes);
    set("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"); // stalemated
    EXPECT_EQ(0u, think_to_depth(10, &out));
    EXPECT_EQ(0u, search_info.nodes);
}

TEST_F(Think, SingleLegalMoveIsPlayedWithoutSearching) {
    set("r6k/8/8/8/8/8/7r/K7 w - - 0 1"); // Ka1 in check: only Kb1
    std::string out;
    const uint64_t r = think_to_depth(20, &out);
    EXPECT_EQ("a1b1", text_of(result_move(r), WHITE));
    EXPECT_EQ(0u, search_info.nodes);
    // Reported once, with the move as the variation.
    EXPECT_EQ(1u, line_count(out)) << out;
    EXPECT_EQ(0u, out.find(" 0 ")) << out;
    EXPECT_EQ(out.size() - 7, out.rfind(" a1b1 \n")) << out;
    EXPECT_EQ(1, search_info.pv.length);
}

TEST_F(Think, OneThreadIsDeterministic) {
    const int depth = quick_mode() ? 4 : 6;
    set(kMiddlegame);
    std::string out1, out2;
    const uint64_t r1 = think_to_depth(depth, &out1);
    const uint64_t nodes1 = search_info.nodes;
    const PVLine pv1 = search_info.pv;
    const uint64_t r2 = think_to_depth(depth, &out2);
    EXPECT_EQ(r1, r2);
    EXPECT_EQ(nodes1, search_info.nodes);
    EXPECT_GT(nodes1, 0u);
    ASSERT_EQ(pv1.length, search_info.pv.length);
    for (int i = 0; i < pv1.length; ++i) EXPECT_EQ(pv1.moves[i], search_info.pv.moves[i]) << i;
    EXPECT_TRUE(is_legal(board(), result_move(r1)));
    EXPECT_EQ(result_move(r1), search_info.pv.moves[0]);
    // One line per iteration at least, numbered up to the depth limit.
    EXPECT_GE(line_count(out1), static_cast<size_t>(depth));
    EXPECT_NE(std::string::npos, out1.find((depth < 10 ? " " : "") + std::to_string(depth) + " "));
    // The game position is where it was.
    EXPECT_EQ(t->stack.boards, t->stack.current);
}

TEST_F(Think, SeveralThreadsReturnALegalMove) {
    set(kMiddlegame);
    for (int threads : {2, 4}) {
        settings.threads = static_cast<uint8_t>(threads);
        const uint64_t r = think_to_depth(quick_mode() ? 3 : 5);
        EXPECT_TRUE(is_legal(board(), result_move(r))) << threads;
        EXPECT_GT(search_info.nodes, 0u) << threads;
        EXPECT_GE(iteration_winner(), 1) << threads;
        EXPECT_LE(iteration_winner(), threads) << threads;
        EXPECT_EQ(result_move(r), search_info.pv.moves[0]) << threads;
    }
}

TEST_F(Think, MateInSix) {
    // White mates in six (eleven plies): 20000 - 11.
    set("8/RP6/2k5/8/8/6P1/7P/7K w - - 1 62");
    std::string out;
    uint64_t r = think_to_depth(10, &out);
    EXPECT_EQ(MATE - 11, result_score(r)) << out;
    EXPECT_EQ("b7b8q", text_of(result_move(r), WHITE));
    EXPECT_NE(std::string::npos, out.find("Mate in 6 \n")) << out;

    // Black mates in six as well; at depth 12 the search sees a mate, not necessarily the
    // shortest, and never a shorter one than there is.
    if (quick_mode()) return;
    set("5k2/8/6r1/5K2/8/8/7p/8 b - - 3 75");
    r = think_to_depth(12, &out);
    EXPECT_GE(result_score(r), MATE - 13) << out;
    EXPECT_LE(result_score(r), MATE - 11) << out;
}

// ---------------------------------------------------------------------------------------------
// Time allocation

using Time = SearchFixture;

TEST_F(Time, SuddenDeath) {
    TimeControl& tc = time_control;
    tc.own_time = 6000;
    tc.opponent_time = 6000;
    allocate_time(tc, 30);
    EXPECT_EQ(300, tc.allotted);
    // In the opening the divisor grows by FastOpening.
    allocate_time(tc, 10);
    EXPECT_EQ(6000 / (20 + 15), tc.allotted);
    allocate_time(tc, 20);
    EXPECT_EQ(6000 / (20 + 15), tc.allotted);
    allocate_time(tc, 21);
    EXPECT_EQ(300, tc.allotted);
    // More time on our clock: a smaller divisor; less: a larger one.
    tc.opponent_time = 3000;
    allocate_time(tc, 30);
    EXPECT_EQ(6000 / 15, tc.allotted);
    tc.opponent_time = 9000;
    allocate_time(tc, 30);
    EXPECT_EQ(6000 / 25, tc.allotted);
    // A fast game: at most 15 s and an increment of at most 2 s.
    tc.own_time = 1500;
    tc.opponent_time = 1500;
    tc.increment = 200;
    allocate_time(tc, 30);
    EXPECT_EQ(1500 / 25 + 200, tc.allotted);
    EXPECT_EQ(1, search_flags.ponder_move.load());
}

TEST_F(Time, MovesToGoAndIncrement) {
    TimeControl& tc = time_control;
    tc.own_time = 6000;
    tc.opponent_time = 6000;
    tc.moves_to_go = 10;
    allocate_time(tc, 30);
    EXPECT_EQ(600, tc.allotted);
    tc.increment = 200;
    allocate_time(tc, 30);
    EXPECT_EQ(800, tc.allotted); // 6000 - 600 - 200 > 500
    // Without more than 5 s to spare the increment is not added.
    tc.own_time = 1400;
    tc.moves_to_go = 2;
    allocate_time(tc, 30);
    EXPECT_EQ(700, tc.allotted); // 1400 - 700 - 200 = 500
    tc.own_time = 1402;
    allocate_time(tc, 30);
    EXPECT_EQ(701 + 200, tc.allotted);
}

// A divisor of 1 (or the last move before the time control) would hand out the whole clock: 5%
// stays in hand.
TEST_F(Time, ExtremeDivisorIsRaisedToOneAndTheClockIsNeverSpentWhole) {
    TimeControl& tc = time_control;
    tc.sudden_death = 10;
    tc.more_time = 15;
    tc.own_time = 6000;
    tc.opponent_time = 3000; // 10 - 15 < 1
    allocate_time(tc, 30);
    EXPECT_EQ(5700, tc.allotted);
    tc.sudden_death = 15;
    allocate_time(tc, 30); // a divisor of exactly 0
    EXPECT_EQ(5700, tc.allotted);
    tc.sudden_death = 20;
    tc.moves_to_go = 1;
    tc.own_time = 300;
    allocate_time(tc, 30);
    EXPECT_EQ(270, tc.allotted);
    tc.own_time = 20;
    allocate_time(tc, 30);
    EXPECT_EQ(10, tc.allotted);
    tc.moves_to_go = 0;
}

TEST_F(Time, ShortOpponentClockClearsPonder) {
    TimeControl& tc = time_control;
    tc.own_time = 6000;
    tc.opponent_time = 1200;
    search_flags.ponder_wait = 1;
    allocate_time(tc, 30);
    EXPECT_EQ(1, search_flags.ponder_move.load());
    EXPECT_EQ(1, search_flags.ponder_wait.load());
    tc.opponent_time = 1199;
    allocate_time(tc, 30);
    EXPECT_EQ(0, search_flags.ponder_move.load());
    EXPECT_EQ(0, search_flags.ponder_wait.load());
}

TEST_F(Time, ConsoleStartsNoTimerWithoutMoveTime) {
    // Without "st" the console search is not timed: an allotted time long past ends nothing.
    TimeControl& tc = time_control;
    tc.own_time = 1;
    tc.opponent_time = 6000;
    tc.moves_to_go = 1;
    tc.start_ms = now_ms() - 60000;
    allocate_time(tc, 30);
    EXPECT_EQ(1, tc.allotted);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(0, search_flags.stop.load());
}

TEST_F(Time, TimerNeverOutlivesItsSearch) {
    frontend_mode = MODE_UCI;
    TimeControl& tc = time_control;
    tc.own_time = 720000;
    tc.opponent_time = 720000;
    tc.moves_to_go = 1;
    tc.move_time = 20; // 0.2 s

    // Stopped by hand.
    tc.start_ms = now_ms();
    allocate_time(tc, 30);
    stop_timer();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(0, search_flags.stop.load());
    EXPECT_EQ(0, search_flags.abort.load());

    // Ended with a search that reached its depth limit long before the time was up.
    set(kMiddlegame);
    search_info.max_depth = 1;
    tc.start_ms = now_ms();
    allocate_time(tc, 30);
    testing::internal::CaptureStdout();
    const uint64_t r = think(*t);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(is_legal(board(), result_move(r)));
    search_flags.abort = 0; // the winning worker leaves it set
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(0, search_flags.stop.load());
    EXPECT_EQ(0, search_flags.abort.load());
}

TEST_F(Time, TimedSearchStopsByItself) {
    frontend_mode = MODE_UCI;
    TimeControl& tc = time_control;
    tc.move_time = 10; // 0.1 s
    tc.own_time = 720000;
    tc.opponent_time = 720000;
    set(kMiddlegame);
    search_info.max_depth = 64;
    tc.start_ms = now_ms();
    allocate_time(tc, 30);
    testing::internal::CaptureStdout();
    const uint64_t r = think(*t);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(1, search_flags.stop.load());
    EXPECT_TRUE(is_legal(board(), result_move(r))) << out;
    EXPECT_EQ(0u, out.find("info depth  1 ")) << out;
    EXPECT_EQ(t->stack.boards, t->stack.current);
}
