// A search-ready engine state: small tables, one thread, the console front-end, no timer.
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
        ResetEvalParams();
        testing::internal::CaptureStdout();
        tt_allocate(1 << 16, 1);
        testing::internal::GetCapturedStdout();
        settings.threads = 1;
        settings.syzygy = false; // results must not depend on tablebases other tests loaded
        settings.post_thinking = true;
        frontend_mode = MODE_CONSOLE;
        reset_flags();
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
        search_flags.stop = search_flags.abort = search_flags.ponder_wait = 0;
        search_flags.ponder_move = 1;
    }
    void set(const std::string& fen, const char* moves = nullptr) {
        ASSERT_EQ(1, read_fen(t->stack, fen.c_str(), moves)) << fen;
    }
    Board& board() { return *t->stack.current; }
    std::string text(Move m) { return text_of(m, board().side); }
    bool is_legal(Move m) { return contains(texts(board(), gen_legal_moves), text(m)); }

    void clear_tables() { tt_clear(), clear_killers(*t), clear_history(*t); }
    // A fixed-depth search from cleared tables; the iteration lines go to *out when given.
    uint64_t think_to_depth(int depth, std::string* out = nullptr) {
        clear_tables();
        search_info.max_depth = depth;
        time_control.start_ms = now_ms();
        testing::internal::CaptureStdout();
        const uint64_t r = think(*t);
        const std::string lines = testing::internal::GetCapturedStdout();
        if (out) *out = lines;
        return r;
    }

    const std::unique_ptr<SearchThread> t = std::make_unique<SearchThread>();

  private:
    const Settings saved_settings_ = settings;
    const uint32_t saved_mode_ = frontend_mode;
};
