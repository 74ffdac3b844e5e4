// A search-ready engine state for the search tests: small tables, one thread, the console front-end
// without a timer, and the global state put back afterwards.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/movegen.h"
#include "config/settings.h"
#include "eval/params.h"
#include "frontend/frontend.h"
#include "search/flags.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"

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
        time_control = TimeControl{};
        time_control.start_ms = now_ms();
        search_info = SearchInfo{};
        search_flags.stop = 0;
        search_flags.abort = 0;
        search_flags.ponder_move = 1;
        search_flags.ponder_wait = 0;
        t = std::make_unique<SearchThread>();
        new_game(t->stack);
    }

    void TearDown() override {
        stop_timer();
        search_flags.stop = 0;
        search_flags.abort = 0;
        search_flags.ponder_move = 1;
        search_flags.ponder_wait = 0;
        settings = saved_settings_;
        frontend_mode = saved_mode_;
        time_control = TimeControl{};
        search_info = SearchInfo{};
    }

    // Sets the thread's position; fails the test when the FEN or a move is refused.
    void set(const std::string& fen, const char* moves = nullptr) {
        ASSERT_EQ(1, read_fen(t->stack, fen.c_str(), moves)) << fen;
    }

    Board& board() { return *t->stack.current; }

    // The legal move of the current position with this coordinate text, 0 if none.
    Move find_move(const std::string& text) { return find_move(board(), text); }
    static Move find_move(const Board& b, const std::string& text) {
        MoveEntry list[MAX_MOVES];
        MoveEntry* end = gen_legal_moves(b, list);
        for (MoveEntry* e = list; e < end; ++e)
            if (text_of(e->move, b.side) == text) return e->move;
        return 0;
    }

    static std::string text_of(Move m, uint32_t side) {
        char buf[MOVE_TEXT_SIZE];
        move_to_text(buf, m, side);
        return buf;
    }

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
        const std::string text = testing::internal::GetCapturedStdout();
        if (out) *out = text;
        return r;
    }

    std::unique_ptr<SearchThread> t;

  private:
    Settings saved_settings_;
    uint32_t saved_mode_ = MODE_CONSOLE;
};
