// Several workers searching one position at once, sharing the transposition table. Run under
// ThreadSanitizer in CI.
#include <memory>

#include <gtest/gtest.h>

#include "board/fen.h"
#include "config/settings.h"
#include "eval/params.h"
#include "frontend/frontend.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"
#include "testdata.h"

namespace {

uint64_t search_with_threads(const char* fen, int threads, int depth) {
    ResetEvalParams();
    testing::internal::CaptureStdout();
    tt_allocate(1 << 16, 1);
    for (int i = 1; i <= threads; ++i) pawn_allocate(search_thread(i), 1024, 0, 0, i);
    settings.threads = static_cast<uint8_t>(threads);
    frontend_mode = MODE_CONSOLE;
    search_info.max_depth = depth;
    time_control.move_time = 720000;
    time_control.start_ms = now_ms();
    EXPECT_EQ(1, read_fen(main_search.stack, fen, nullptr));
    allocate_time(time_control, 0);
    const uint64_t result = think(main_search);
    testing::internal::GetCapturedStdout();
    return result;
}

} // namespace

TEST(SmpSearch, WorkersShareTheTableAndAgreeOnALegalMove) {
    const char* fen = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";
    for (int threads : {2, 4}) {
        const uint64_t result = search_with_threads(fen, threads, quick_mode() ? 4 : 6);
        EXPECT_TRUE(is_legal_move(*main_search.stack.current, result_move(result))) << threads;
        EXPECT_GT(search_info.nodes, 0u);
    }
    settings.threads = 1;
}

TEST(SmpSearch, TwentyFourWorkersFinish) {
    const uint64_t result = search_with_threads(
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 24, quick_mode() ? 2 : 4);
    EXPECT_TRUE(is_legal_move(*main_search.stack.current, result_move(result)));
    settings.threads = 1;
}
