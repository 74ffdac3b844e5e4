// A search-ready engine state for the search tests: small tables, one thread, the console front-end
// without a timer, and the global state put back afterwards.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "board/board_helpers.h"
#include "config/settings.h"
#include "eval/params.h"
#include "frontend/frontend.h"
#include "search/flags.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"
#include "testdata.h"

class SearchFixture : public testing::Test {
  protected:
    void SetUp() override {
        saved_settings_ = settings;
        saved_mode_ = frontend_mode;
        ResetEvalParams();
        testing::internal::CaptureStdout();
        tt_allocate(1 << 16, 1);
        testing::internal::GetCapturedStdout();
        settings.threads = 1;
        settings.syzygy = false; // results must not depend on tablebases other tests loaded
        settings.post_thinking = true;
        frontend_mode = MODE_CONSOLE;
        reset_flags();
        t = std::make_unique<SearchThread>();
        new_game(t->stack);
    }
    void TearDown() override {
        stop_timer();
        reset_flags();
        settings = saved_settings_;
        frontend_mode = saved_mode_;
    }
    static void reset_flags() {
        time_control = TimeControl{};
        time_control.start_ms = now_ms();
        search_info = SearchInfo{};
        search_flags.stop = 0;
        search_flags.abort = 0;
        search_flags.ponder_move = 1;
        search_flags.ponder_wait = 0;
    }

    // Sets the thread's position; fails the test when the FEN or a move is refused.
    void set(const std::string& fen, const char* moves = nullptr) {
        ASSERT_EQ(1, read_fen(t->stack, fen.c_str(), moves)) << fen;
    }
    Board& board() { return *t->stack.current; }
    std::string text(Move m) { return text_of(m, board().side); }

    // A fixed-depth search of the current position from a cleared table; the iteration lines
    // are captured into *out when given.
    uint64_t think_to_depth(int depth, std::string* out = nullptr) {
        tt_clear();
        clear_killers(*t);
        clear_history(*t);
        search_info.max_depth = depth;
        time_control.start_ms = now_ms();
        testing::internal::CaptureStdout();
        const uint64_t r = think(*t);
        const std::string lines = testing::internal::GetCapturedStdout();
        if (out) *out = lines;
        return r;
    }

    std::unique_ptr<SearchThread> t;

  private:
    Settings saved_settings_;
    uint32_t saved_mode_ = MODE_CONSOLE;
};
