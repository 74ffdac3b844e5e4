// The UCI protocol loop.
#include <algorithm>
#include <cctype>
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
#include "search/search.h"
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

// The tables are allocated (and their pages touched) when the interface waits for the engine to
// be ready: at "isready" (or "ucinewgame" or "go" when none came) after the start, after "Hash"
// has changed the size or "Threads" has added threads. A size set before the first "isready" is
// the only one ever allocated.
uint64_t allocated_entries = 0; // the entry count asked for at the last allocation

void prepare_tables() {
    if (!tt.table || allocated_entries != settings.hash_entries) {
        allocated_entries = settings.hash_entries;
        tt_allocate(settings.hash_entries, static_cast<uint32_t>(settings.hash_mb));
    }
    for (int i = 1; i <= settings.threads; ++i)
        if (!search_thread(i).pawn_table)
            pawn_allocate(search_thread(i), settings.pawn_hash_entries,
                          static_cast<uint32_t>(settings.pawn_hash_mb), 1, i);
}

// The words of a line, separated by blanks and tabs.
std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    size_t p = 0;
    for (;;) {
        const size_t start = line.find_first_not_of(" \t", p);
        if (start == std::string::npos) return words;
        const size_t end = line.find_first_of(" \t", start);
        words.push_back(line.substr(start, end - start));
        if (end == std::string::npos) return words;
        p = end;
    }
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void append_word(std::string& text, const std::string& word) {
    if (!text.empty()) text += ' ';
    text += word;
}

// The options beyond the settings file. The file gives the defaults; a value set by "setoption"
// lasts until the program ends.
struct UciOptions {
    bool own_book = true; // the user's choice; a missing book file turns the book step off
    std::string syzygy_path;
};
UciOptions options;

constexpr int kDefaultMoveOverhead = 30;
constexpr int kMaxHashMb = 8192;

void announce_options() {
    std::printf("option name Ponder type check default true\n");
    std::printf("option name OwnBook type check default %s\n", settings.book ? "true" : "false");
    std::printf("option name Hash type spin default %d min 1 max %d\n",
                static_cast<int>(settings.hash_mb), kMaxHashMb);
    std::printf("option name Threads type spin default %d min 1 max %d\n", settings.threads,
                MAX_THREADS);
    std::printf("option name Clear Hash type button\n");
    std::printf("option name BookFile type string default %s\n", settings.book_file);
    std::printf("option name SyzygyPath type string default %s\n",
                options.syzygy_path.empty() ? "<empty>" : options.syzygy_path.c_str());
    std::printf("option name SyzygyProbeLimit type spin default %d min 0 max 7\n",
                settings.syzygy_men);
    std::printf("option name Move Overhead type spin default %d min 0 max 5000\n",
                kDefaultMoveOverhead);
}

// A spin value inside [lo, hi]; false when the text is no number.
bool spin_value(const std::string& text, long lo, long hi, long& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) return false;
    value = std::clamp(v, lo, hi);
    return true;
}

// "setoption name NAME [value VALUE]": names are not case sensitive, names and values may hold
// blanks; unknown names and values that do not parse are passed over.
void uci_setoption(const std::string& line) {
    const std::vector<std::string> words = split_words(line);
    size_t i = 1;
    if (i >= words.size() || lower(words[i]) != "name") return;
    std::string name;
    for (++i; i < words.size() && lower(words[i]) != "value"; ++i)
        append_word(name, lower(words[i]));
    std::string value;
    for (++i; i < words.size(); ++i) append_word(value, words[i]);
    const std::string flag = lower(value);
    const bool on = flag == "true";
    long v = 0;
    if (name == "hash") {
        if (!spin_value(value, 1, kMaxHashMb, v)) return;
        settings.hash_mb = static_cast<uint64_t>(v);
        settings.hash_entries = tt_entries_for_mb(settings.hash_mb);
    } else if (name == "threads") {
        if (spin_value(value, 1, MAX_THREADS, v)) settings.threads = static_cast<uint8_t>(v);
    } else if (name == "clear hash") {
        clear_tables();
    } else if (name == "ownbook") {
        if (flag != "true" && flag != "false") return;
        options.own_book = settings.book = on;
    } else if (name == "bookfile") {
        if (value.size() >= sizeof settings.book_file) return;
        std::snprintf(settings.book_file, sizeof settings.book_file, "%s", value.c_str());
        settings.book = options.own_book; // a file that was missing may be there now
    } else if (name == "syzygypath") {
        if (value == "<empty>") value.clear();
        if (value.size() >= sizeof settings.wdl_path) return;
        options.syzygy_path = value;
        std::snprintf(settings.wdl_path, sizeof settings.wdl_path, "%s", value.c_str());
        std::snprintf(settings.dtz_path, sizeof settings.dtz_path, "%s", value.c_str());
        settings.syzygy = !value.empty();
        if (settings.syzygy) tb_init(settings.dtz_path, settings.wdl_path);
    } else if (name == "syzygyprobelimit") {
        if (spin_value(value, 0, 7, v)) settings.syzygy_men = static_cast<int>(v);
    } else if (name == "move overhead") {
        if (spin_value(value, 0, 5000, v)) time_control.overhead_ms = static_cast<int32_t>(v);
    }
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
        print_message("#DEBUG: BAD FEN|MOVES!");
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

// Each "go" starts from a clean set of limits: clock words it does not carry are not kept from an
// earlier one.
void reset_limits(TimeControl& tc) {
    const TimeControl fresh;
    tc.move_time = fresh.move_time;
    tc.moves_to_go = fresh.moves_to_go;
    tc.increment = fresh.increment;
    tc.own_time = fresh.own_time;
    tc.opponent_time = fresh.opponent_time;
    tc.clock = false;
    search_info.max_depth = settings.max_depth;
    search_info.node_limit = 0;
    search_info.mate_limit = 0;
    search_info.search_move_count = 0;
}

bool is_go_word(const std::string& w) {
    static const char* const kWords[] = {"wtime",     "btime",    "winc",   "binc",
                                         "movestogo", "movetime", "depth",  "nodes",
                                         "mate",      "infinite", "ponder", "searchmoves"};
    return std::any_of(std::begin(kWords), std::end(kWords), [&](const char* k) { return w == k; });
}

void uci_go(const std::string& line) {
    const std::vector<std::string> words = split_words(line);
    SearchThread& main = main_search;
    search_flags.infinite.store(0, std::memory_order_relaxed);
    search_flags.ponder_wait.store(0, std::memory_order_relaxed);
    // Cleared before the search begins for the input reader, so that an early "stop" is never
    // lost.
    search_flags.stop.store(0, std::memory_order_relaxed);
    search_flags.abort.store(0, std::memory_order_relaxed);
    main.engine_side = main.stack.current->side;
    const bool white = main.stack.current->side == WHITE;
    TimeControl& tc = time_control;
    reset_limits(tc);
    bool waits = false, analysing = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        long v = 0;
        if (w == "wtime" && number_after(words, i, v)) {
            (white ? tc.own_time : tc.opponent_time) = centiseconds(v);
            tc.clock = tc.clock || white;
        } else if (w == "btime" && number_after(words, i, v)) {
            (white ? tc.opponent_time : tc.own_time) = centiseconds(v);
            tc.clock = tc.clock || !white;
        } else if ((w == "winc" || w == "binc") && number_after(words, i, v)) {
            if ((w == "winc") == white) tc.increment = centiseconds(v);
        } else if (w == "movestogo" && number_after(words, i, v)) {
            tc.moves_to_go = static_cast<int32_t>(v < 0 ? 0 : v > 10000 ? 10000 : v);
        } else if (w == "movetime" && number_after(words, i, v)) {
            tc.move_time = centiseconds(v);
        } else if (w == "depth" && number_after(words, i, v)) {
            if (v >= 1 && v <= 64) search_info.max_depth = static_cast<int>(v);
        } else if (w == "nodes" && number_after(words, i, v)) {
            if (v > 0) search_info.node_limit = static_cast<uint64_t>(v);
        } else if (w == "mate" && number_after(words, i, v)) {
            if (v > 0) search_info.mate_limit = static_cast<int>(std::min(v, 500L));
        } else if (w == "searchmoves") {
            for (; i + 1 < words.size() && !is_go_word(words[i + 1]); ++i) {
                const Move m = text_to_move(*main.stack.current, words[i + 1].c_str());
                if (m && search_info.search_move_count < MAX_MOVES)
                    search_info.search_moves[search_info.search_move_count++] = m;
            }
        } else if (w == "infinite") {
            print_message("Command: %s", w.c_str());
            search_flags.infinite.store(1, std::memory_order_relaxed);
            search_flags.ponder_wait.store(1, std::memory_order_relaxed);
            waits = analysing = true;
        } else if (w == "ponder") {
            search_flags.ponder_wait.store(1, std::memory_order_relaxed);
            waits = true;
        }
    }
    // The clock starts now: a "ponderhit" that comes at once starts the timer from this moment.
    // A timed search gets its timer before the input reader may act on a "stop" read early.
    tc.start_ms = now_ms();
    if (!waits) allocate_time(tc, static_cast<int>(tt.searches.load(std::memory_order_relaxed)));
    uci_search_begin();

    uint64_t result = 0;
    bool from_book = false;
    if (!analysing && settings.book && tt.searches.load(std::memory_order_relaxed) <= 40) {
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
        result = think(main);
    }

    // Pondering or analysing: the move is held back until "ponderhit" or "stop".
    while (search_flags.ponder_wait.load(std::memory_order_relaxed))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    uci_search_end();
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
    // The banner's prompt ends here, so that the identification starts a line of its own.
    std::printf("\nid name brontavel\nid author Orvakt\n");
    options.own_book = settings.book;
    if (settings.syzygy) options.syzygy_path = settings.wdl_path;
    time_control.overhead_ms = kDefaultMoveOverhead;
    announce_options();
    if (settings.syzygy) tb_init(settings.dtz_path, settings.wdl_path);
    std::printf("uciok\n");
    uci_input_start();

    std::string line;
    for (;;) {
        std::fflush(stdout);
        if (!uci_next_line(line)) return 1;
        if (line.rfind("isready", 0) == 0 || line.rfind("ucinewgame", 0) == 0 ||
            line.rfind("go", 0) == 0)
            prepare_tables();
        if (line.rfind("isready", 0) == 0) {
            search_flags.ponder_move.store(1, std::memory_order_relaxed);
            std::printf("readyok\n");
        } else if (line.rfind("ucinewgame", 0) == 0) {
            clear_tables();
            main_search.engine_side = 1;
            search_flags.stop.store(0, std::memory_order_relaxed);
            start_new_game();
        } else if (line.rfind("setoption", 0) == 0) {
            uci_setoption(line);
        } else if (line.rfind("position", 0) == 0) {
            uci_position(line);
        } else if (line.rfind("go", 0) == 0) {
            uci_go(line);
        } else if (!line.empty() && line[0] == 'q') {
            return 1;
        }
    }
}
