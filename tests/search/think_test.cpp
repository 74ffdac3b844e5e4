// Iterative deepening: root cases, the aspiration window, stops, several workers, the clock.
#include "search/think.h"

#include <algorithm>
#include <tuple>

#include "search/search_fixture.h"
#include "search/threads.h"

using Think = SearchFixture;
using SmpSearch = SearchFixture;
using Time = SearchFixture;

constexpr const char* kMiddlegame =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
// Mate in two that a depth-4 search does not see.
constexpr const char* kWac027 = "7k/pp4np/2p3p1/3pN1q1/3P4/Q7/1r3rPP/2R2RK1 w - - 0 1";

// Searches, the time allocated as if the search began `ago_ms` earlier; returns the output.
static std::string timed_think(SearchThread& t, uint64_t& r, int64_t ago_ms = 0) {
    time_control.start_ms = now_ms() - ago_ms;
    allocate_time(time_control, 30);
    testing::internal::CaptureStdout();
    r = think(t);
    return testing::internal::GetCapturedStdout();
}

// A single legal move is played at once and reported once.
TEST_F(Think, ASingleLegalMoveIsPlayedUnsearched) {
    set("r6k/8/8/8/8/8/7r/K7 w - - 0 1");
    std::string out;
    EXPECT_EQ("a1b1", text(result_move(think_to_depth(20, &out))));
    EXPECT_EQ(0u, search_info.nodes);
    EXPECT_EQ(" 0 ", out.substr(0, 3));
    EXPECT_EQ(" a1b1 \n", out.substr(out.size() - 7));
}

TEST_F(Think, OneThreadRepeatsItself) {
    const int depth = quick_mode() ? 4 : 6;
    set(kMiddlegame);
    const uint64_t r1 = think_to_depth(depth);
    const uint64_t nodes = search_info.nodes;
    const PVLine pv = search_info.pv;
    EXPECT_EQ(r1, think_to_depth(depth));
    EXPECT_EQ(nodes, search_info.nodes);
    ASSERT_EQ(pv.length, search_info.pv.length);
    EXPECT_TRUE(std::equal(pv.moves, pv.moves + pv.length, search_info.pv.moves));
    EXPECT_EQ(t->stack.boards, t->stack.current); // the game position is where it was
}

// (The fail-high re-search is the depth-5 mate of the pruning table.) Failing low in the last
// iteration, at depth 3 Black sees the back-rank mate that Re5 allows and keeps the g-file.
TEST_F(Think, AspirationWindowReSearchesAFailLow) {
    set("7k/p7/1R5K/6r1/6p1/6P1/8/8 w - - 0 1", "b6b7");
    const std::string move = text(result_move(think_to_depth(3)));
    EXPECT_NE("g5e5", move);
    set("7k/p7/1R5K/6r1/6p1/6P1/8/8 w - - 0 1", ("b6b7 " + move).c_str());
    EXPECT_LT(result_score(think_to_depth(3)), MATE_SCORE) << move;
}

TEST_F(SmpSearch, ThreadsAgreeOnForcedResults) {
    set(kWac027);
    for (const int threads : {2, 4, 24}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        settings.threads = static_cast<uint8_t>(threads);
        const uint64_t r = think_to_depth(threads == 24 ? 4 : 5);
        const std::string move = text(result_move(r));
        EXPECT_TRUE(threads == 24 || (move == "a3f8" && result_score(r) == MATE - 3)) << move;
        EXPECT_TRUE(is_legal(result_move(r)));
        EXPECT_EQ(result_move(r), search_info.pv.moves[0]);
        EXPECT_GE(iteration_winner(), 1);
        EXPECT_LE(iteration_winner(), threads);
    }
}

// Wherever a stop (budget 0: before the search) or a node budget ends the search, the move played
// is one a worker completed: the first iteration always completes, so it is not the generator's
// first capture (Qxd5, losing the queen, before the mate); a mate score comes only with the mate;
// stopped inside an iteration, the winner's best root move so far is played.
TEST_F(SmpSearch, StoppedSearchesPlayACompletedMove) {
    int partial = 0;
    const std::pair<const char*, const char*> cases[] = {
        {"4k3/8/8/3q4/8/8/3Q2PP/6K1 w - - 0 1", "d2d5"},
        {"6k1/5ppp/4p3/3p4/8/8/8/R2Q2K1 w - - 0 1", "a1a8"},
        {kWac027, ""}};
    for (const int threads : {1, 3}) {
        settings.threads = static_cast<uint8_t>(threads);
        for (const uint64_t budget : {0, 1, 300, 3000, 30000}) {
            for (const auto& [fen, best] : cases) {
                SCOPED_TRACE(testing::Message()
                             << threads << " threads, " << budget << ", " << fen);
                set(fen);
                search_flags.stop = budget == 0;
                search_info.node_limit = budget;
                const uint64_t r = think_to_depth(64);
                search_flags.stop = 0;
                const std::string played = text(result_move(r));
                EXPECT_TRUE(*best ? played == best : is_legal(result_move(r))) << played;
                EXPECT_TRUE(*best || (result_score(r) >= MATE_SCORE) == (played == "a3f8"));
                EXPECT_TRUE(search_info.pv.length == 0 ||
                            result_move(r) == search_info.pv.moves[0]);
                if (!iteration_partial()) continue;
                ++partial;
                const SearchThread& w = search_thread(iteration_winner());
                EXPECT_EQ(w.iteration_best, result_move(r));
                EXPECT_EQ(w.iteration_score, result_score(r));
                EXPECT_EQ(w.iteration_best, winner_pv().moves[0]);
            }
        }
    }
    EXPECT_GT(partial, 0);
}

TEST_F(Time, TargetAndHardLimitFromTheClock) {
    // In hundredths: clock / divisor (at least 10, whatever the settings) + increment if time is
    // spare; hard limit 3 targets, within the clock less reserve and overhead. Rows: SuddenDeath,
    // MoreTime, own/opponent time, increment, to go, overhead ms, generation; target, hard.
    const int cases[][10] = {
        {20, 5, 6000, 6000, 0, 0, 0, 30, 300, 900},
        {20, 5, 6000, 6000, 0, 0, 0, 20, 6000 / 35, 3 * (6000 / 35)}, // opening: +FastOpening
        {20, 5, 6000, 3000, 0, 0, 0, 30, 6000 / 15, 1200},            // ahead on the clock
        {20, 5, 6000, 9000, 0, 0, 0, 30, 6000 / 25, 720},             // behind
        {20, 5, 1500, 1500, 200, 0, 0, 30, 1500 / 25 + 200, 780},     // fast game, increment
        {10, 15, 6000, 3000, 0, 0, 0, 30, 600, 1800},                 // divisor 10 - 15 -> 10
        {20, 5, 6000, 6000, 0, 1, 0, 30, 600, 1800},                  // one move to go -> 10
        {20, 5, 6000, 6000, 200, 40, 0, 30, 150 + 200, 1050},         // 40 to go, increment
        {20, 5, 1400, 1400, 200, 2, 0, 30, 140 + 200, 1020},          // 1400 - 140 - 200 > 500
        {20, 5, 600, 600, 0, 1, 5000, 30, 60, 70}, // 600 - 30 reserve - 500 overhead
        {20, 5, 20, 6000, 0, 1, 0, 30, 2, 6},
        {20, 5, 2, 6000, 0, 1, 100, 30, 1, 1}, // nothing left: a hundredth
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "own " << c[2] << " to go " << c[5]);
        TimeControl& tc = time_control = TimeControl{};
        tc.clock = true;
        std::tie(tc.sudden_death, tc.more_time, tc.own_time, tc.opponent_time, tc.increment,
                 tc.moves_to_go, tc.overhead_ms) =
            std::tie(c[0], c[1], c[2], c[3], c[4], c[5], c[6]);
        tc.start_ms = now_ms();
        allocate_time(tc, c[7]);
        stop_timer();
        EXPECT_EQ(c[8], tc.allotted);
        EXPECT_EQ(c[9], tc.hard);
    }
    // Without a clock (a depth or a move time only) no time share applies.
    time_control = TimeControl{};
    allocate_time(time_control, 30);
    stop_timer();
    EXPECT_EQ((std::pair{720000, 720000}), std::pair(time_control.allotted, time_control.hard));
    // Against a clock below twelve seconds there is no pondering.
    time_control.own_time = 6000;
    time_control.opponent_time = 1199;
    allocate_time(time_control, 30);
    EXPECT_EQ(0, search_flags.ponder_move.load());
}

TEST_F(Time, NoIterationStartsPastHalfTheTargetAndTheHardLimitEndsTheSearch) {
    frontend_mode = MODE_UCI;
    set(kMiddlegame);
    TimeControl& tc = time_control;
    tc.clock = true;
    tc.own_time = tc.opponent_time = 60000; // a target of 30 s, 90 s hard
    // Half the target is long past: the first iteration completes, and no second one starts.
    uint64_t r = 0;
    std::string out = timed_think(*t, r, 20000);
    EXPECT_EQ(1, std::count(out.begin(), out.end(), '\n')) << out; // the line of depth 1
    EXPECT_EQ(0, search_flags.stop.load());
    // Six seconds left and 5 s of move overhead: the hard limit is 0.7 s, whatever the target.
    tc.own_time = tc.opponent_time = 600;
    tc.moves_to_go = 1;
    tc.overhead_ms = 5000;
    search_flags.abort = 0;
    out = timed_think(*t, r);
    EXPECT_TRUE(is_legal(result_move(r)));
    EXPECT_LT(now_ms() - tc.start_ms, 700 + 300) << out;
}
