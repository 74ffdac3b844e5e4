// The UCI protocol loop.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "book/book.h"
#include "config/settings.h"
#include "frontend/frontend.h"
#include "frontend/reports.h"
#include "search/flags.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

namespace {

constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

void clear_tables() {
    tt_clear();
    for (int i = 1; i <= settings.threads; ++i) pawn_clear(search_thread(i));
}

// "position [startpos | fen FEN] [moves M1 M2 ...]"
void uci_position(const std::string& line) {
    std::string fen_part = line, moves;
    bool has_moves = false;
    if (line.size() >= 19) {
        const size_t at = line.find("moves", 18);
        if (at != std::string::npos) {
            fen_part = line.substr(0, at > 0 ? at - 1 : 0);
            moves = at + 6 <= line.size() ? line.substr(at + 6) : std::string();
            has_moves = true;
        }
    }
    // The first word after "position ".
    const size_t word = line.find_first_not_of(' ', 8);
    std::string fen = kStartFen;
    if (word != std::string::npos && line.compare(word, 3, "fen") == 0)
        fen = fen_part.size() > 13 ? fen_part.substr(13) : std::string();
    if (!read_fen(main_search.stack, fen.c_str(), has_moves ? moves.c_str() : nullptr))
        std::printf("#DEBUG: BAD FEN|MOVES!\n");
}

// The number in the word after words[i], if there is one.
bool number_after(const std::vector<std::string>& words, size_t i, long& value) {
    if (i + 1 >= words.size()) return false;
    const char* text = words[i + 1].c_str();
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text;
}

int32_t centiseconds(long ms) {
    const long cs = ms / 10;
    return static_cast<int32_t>(cs > 2000000000 ? 2000000000 : cs < -2000000000 ? -2000000000 : cs);
}

void uci_go(const std::string& line) {
    std::vector<std::string> words;
    for (size_t p = 0; p < line.size();) {
        const size_t start = line.find_first_not_of(' ', p);
        if (start == std::string::npos) break;
        const size_t end = line.find(' ', start);
        words.push_back(line.substr(start, end - start));
        p = end == std::string::npos ? line.size() : end;
    }
    SearchThread& main = main_search;
    search_flags.infinite.store(0, std::memory_order_relaxed);
    search_flags.ponder_wait.store(0, std::memory_order_relaxed);
    // Cleared before any monitor starts, so that an early "stop" is never lost.
    search_flags.stop.store(0, std::memory_order_relaxed);
    search_flags.abort.store(0, std::memory_order_relaxed);
    main.engine_side = main.stack.current->side;
    const bool white = main.stack.current->side == WHITE;
    TimeControl& tc = time_control;
    bool monitor = false, analysing = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        long v = 0;
        if (w == "wtime" && number_after(words, i, v)) {
            (white ? tc.own_time : tc.opponent_time) = centiseconds(v);
        } else if (w == "btime" && number_after(words, i, v)) {
            (white ? tc.opponent_time : tc.own_time) = centiseconds(v);
        } else if ((w == "winc" || w == "binc") && number_after(words, i, v)) {
            tc.increment = centiseconds(v);
        } else if (w == "movestogo" && number_after(words, i, v)) {
            tc.moves_to_go = static_cast<int32_t>(v < 0 ? 0 : v > 10000 ? 10000 : v);
        } else if (w == "movetime" && number_after(words, i, v)) {
            tc.move_time = centiseconds(v);
        } else if (w == "depth" && number_after(words, i, v)) {
            if (v >= 2 && v <= 64) search_info.max_depth = static_cast<int>(v);
        } else if (w == "infinite") {
            std::printf("Command: %s\n", w.c_str());
            search_flags.infinite.store(1, std::memory_order_relaxed);
            search_flags.ponder_wait.store(1, std::memory_order_relaxed);
            monitor = analysing = true;
        } else if (w == "ponder") {
            search_flags.ponder_wait.store(1, std::memory_order_relaxed);
            monitor = true;
        }
    }
    // The clock starts before the monitor does: a "ponderhit" that comes at once starts the
    // timer from this moment.
    tc.start_ms = now_ms();
    if (monitor) start_input_monitor(frontend_mode);

    uint64_t result = 0;
    bool from_book = false;
    if (!analysing && settings.book && tt.age <= 40) {
        char fen[FEN_BUFFER_SIZE], text[MOVE_TEXT_SIZE + 2] = {};
        write_fen(*main.stack.current, fen);
        const int found = book_probe(settings.book_file, fen, text);
        if (found < 0) settings.book = false; // no book file: play without it from now on
        if (found > 0) {
            const Move m = text_to_move(*main.stack.current, text);
            if (m) {
                result = make_result(m, 0);
                search_info.ponder_move = 0;
                from_book = true;
            }
        }
    }
    if (!from_book) {
        // Decided by the words of the line, not by the flags: the monitor may already have
        // taken a "stop" or "ponderhit" and changed them, and its stop must not be undone here.
        if (!monitor) allocate_time(tc, tt.age);
        result = think(main);
    }

    // Pondering or analysing: the move is held back until "ponderhit" or "stop".
    while (search_flags.ponder_wait.load(std::memory_order_relaxed))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    join_input_monitor();
    stop_timer(); // a timer started by a late "ponderhit" has nothing left to stop

    if (result_move(result)) {
        make_move(main.stack.current, result_move(result), main.stack.boards);
        game_advance(main.stack);
    }
    report_best_move(result, search_info.ponder_move);
    announce_game_end(main.stack);
}

} // namespace

int uci_loop() {
    std::printf("id name brontavel\nid author Orvakt\n");
    std::printf("option name Ponder type check default true\n");
    std::printf("option name OwnBook type check default true\n");
    tt_allocate(settings.hash_entries, static_cast<uint32_t>(settings.hash_mb));
    for (int i = 1; i <= settings.threads; ++i)
        pawn_allocate(search_thread(i), settings.pawn_hash_entries,
                      static_cast<uint32_t>(settings.pawn_hash_mb), 1, i);
    if (settings.syzygy) tb_init(settings.dtz_path, settings.wdl_path);
    std::printf("uciok\n");

    std::string line;
    for (;;) {
        std::fflush(stdout);
        if (!read_line(line)) return 1;
        if (line.rfind("isready", 0) == 0) {
            clear_tables();
            search_flags.ponder_move.store(1, std::memory_order_relaxed);
            std::printf("readyok\n");
            std::fflush(stdout);
        } else if (line.rfind("ucinewgame", 0) == 0) {
            clear_tables();
            main_search.engine_side = 1;
            search_flags.stop.store(0, std::memory_order_relaxed);
            start_new_game();
        } else if (line.rfind("position", 0) == 0) {
            uci_position(line);
        } else if (line.rfind("go", 0) == 0) {
            uci_go(line);
        } else if (!line.empty() && line[0] == 'q') {
            return 1;
        }
    }
}
