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

TEST_F(Time, TargetAndHardLimitFromTheClock) {
    // Times in hundredths. The target shares the clock over the divisor (never fewer than 10
    // moves, whatever the settings), plus the increment when there is time to spare; the hard
    // limit is three targets, but never more than the clock less its reserve and the overhead.
    struct Case {
        int sudden_death, more_time, own, opponent, increment, moves_to_go, generation, overhead_ms;
        int allotted, hard;
    };
    const Case cases[] = {
        {20, 5, 6000, 6000, 0, 0, 30, 0, 300, 900},
        {20, 5, 6000, 6000, 0, 0, 20, 0, 6000 / 35, 3 * (6000 / 35)}, // opening: +FastOpening
        {20, 5, 6000, 3000, 0, 0, 30, 0, 6000 / 15, 1200},            // ahead on the clock
        {20, 5, 6000, 9000, 0, 0, 30, 0, 6000 / 25, 720},             // behind
        {20, 5, 1500, 1500, 200, 0, 30, 0, 1500 / 25 + 200, 780},     // fast game, increment
        {10, 15, 6000, 3000, 0, 0, 30, 0, 600, 1800},                 // divisor 10 - 15 -> 10
        {20, 5, 6000, 6000, 0, 1, 30, 0, 600, 1800},                  // one move to go -> 10
        {20, 5, 6000, 6000, 200, 40, 30, 0, 150 + 200, 1050},         // 40 to go, increment
        {20, 5, 1400, 1400, 200, 2, 30, 0, 140 + 200, 1020},          // 1400 - 140 - 200 > 500
        {20, 5, 600, 600, 0, 1, 30, 5000, 60, 70}, // 600 - 30 reserve - 500 overhead
        {20, 5, 20, 6000, 0, 1, 30, 0, 2, 6},
        {20, 5, 2, 6000, 0, 1, 30, 100, 1, 1}, // nothing left: a hundredth
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "own " << c.own << " to go " << c.moves_to_go);
        TimeControl& tc = time_control;
        tc = TimeControl{};
        tc.clock = true;
        tc.sudden_death = c.sudden_death;
        tc.more_time = c.more_time;
        tc.own_time = c.own;
        tc.opponent_time = c.opponent;
        tc.increment = c.increment;
        tc.moves_to_go = c.moves_to_go;
        tc.overhead_ms = c.overhead_ms;
        tc.start_ms = now_ms();
        allocate_time(tc, c.generation);
        stop_timer();
        EXPECT_EQ(c.allotted, tc.allotted);
        EXPECT_EQ(c.hard, tc.hard);
    }
    // Without a clock (a depth or a move time only) no time share applies.
    time_control = TimeControl{};
    allocate_time(time_control, 30);
    stop_timer();
    EXPECT_EQ(720000, time_control.allotted);
    EXPECT_EQ(720000, time_control.hard);
}

TEST_F(Time, NoIterationStartsPastHalfTheTargetAndTheHardLimitEndsTheSearch) {
    frontend_mode = MODE_UCI;
    set(kMiddlegame);
    TimeControl& tc = time_control;
    tc.clock = true;
    tc.own_time = tc.opponent_time = 60000; // a target of 30 s, 90 s hard
    // Half the target is long past: the first iteration completes, and no second one starts.
    tc.start_ms = now_ms() - 20000;
    allocate_time(tc, 30);
    testing::internal::CaptureStdout();
    uint64_t r = think(*t);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(is_legal(board(), result_move(r)));
    EXPECT_EQ(1u, line_count(out)) << out; // the line of depth 1
    EXPECT_EQ(0, search_flags.stop.load());

    // Six seconds left and 5 s of move overhead: the hard limit is 0.7 s, whatever the target.
    tc.own_time = tc.opponent_time = 600;
    tc.moves_to_go = 1;
    tc.overhead_ms = 5000;
    search_flags.abort = 0;
    tc.start_ms = now_ms();
    allocate_time(tc, 30);
    EXPECT_EQ(70, tc.hard);
    testing::internal::CaptureStdout();
    r = think(*t);
    out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(is_legal(board(), result_move(r)));
    EXPECT_LT(now_ms() - tc.start_ms, 700 + 300) << out;
}

TEST_F(Time, AStoppedIterationPlaysItsBestCompletedMove) {
    // One thread, stopped by node counts at points inside iterations: a stop that comes after a
    // root move of the iteration was searched through plays that iteration's best so far.
    set(kMiddlegame);
    int partial = 0;
    for (uint64_t limit = 2000; limit <= 256000; limit *= 2) {
        SCOPED_TRACE(limit);
        tt_clear();
        clear_killers(*t);
        clear_history(*t);
        search_info.node_limit = limit;
        search_flags.stop = 0;
        search_flags.abort = 0;
        testing::internal::CaptureStdout();
        const uint64_t r = think(*t);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(is_legal(board(), result_move(r))) << out;
        if (!iteration_partial()) continue;
        ++partial;
        const SearchThread& w = search_thread(iteration_winner());
        EXPECT_EQ(w.iteration_best, result_move(r));
        EXPECT_EQ(w.iteration_score, result_score(r));
        EXPECT_EQ(w.iteration_best, winner_pv().moves[0]);
    }
    EXPECT_GT(partial, 0);
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
