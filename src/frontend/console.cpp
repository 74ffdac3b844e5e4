// The interactive console: a prompt, one command per line, game commands and the developer
// commands of diagnostics.cpp.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/makemove.h"
#include "book/book.h"
#include "config/settings.h"
#include "frontend/diagnostics.h"
#include "frontend/frontend.h"
#include "frontend/reports.h"
#include "search/search.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tablebase/selftest.h"
#include "tablebase/tablebase.h"
#include "tuning/tuner.h"

namespace {

constexpr size_t kLineSize = 256;

PositionStack& game() {
    return main_search.stack;
}

// The diagram; piece letters are written into its 64 cells before each print.
constexpr char kBoardTemplate[] = "\n\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "8 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "7 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "6 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "5 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "4 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "3 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "2 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "1 |   |   |   |   |   |   |   |   |\n"
                                  "  +---+---+---+---+---+---+---+---+\n"
                                  "\n"
                                  "    A   B   C   D   E   F   G   H\n"
                                  "\n";
static_assert(sizeof kBoardTemplate - 1 == 650);

constexpr const char* kHelp[] = {
    "new            - new game",
    "perft          - run perft test",
    "setboard [FEN] - set position from FEN",
    "getboard       - get FEN position",
    "b              - show ChessBoard",
    "turn           - show Turn",
    "inv            - invert ChessBoard",
    "go             - start search",
    "undo           - undo last move",
    "memory [MB]    - Allocate MB for HashTable",
};

void cmd_help(const char*) {
    for (const char* line : kHelp) std::printf("%s\n", line);
}

void cmd_new(const char*) {
    start_new_game();
}

void cmd_setboard(const char* line) {
    start_new_game();
    read_fen(game(), std::strlen(line) >= 9 ? line + 9 : "", nullptr);
    print_board(*game().current);
}

void cmd_getboard(const char*) {
    char fen[FEN_BUFFER_SIZE];
    write_fen(*game().current, fen);
    std::printf("FEN: %s\n", fen);
}

void cmd_board(const char*) {
    print_board(*game().current);
}

void cmd_turn(const char*) {
    const uint32_t side = game().current->side;
    std::printf("%s\n", side == WHITE   ? "Turn: WHITE"
                        : side == BLACK ? "Turn: BLACK"
                                        : "Turn: NULL");
}

void cmd_undo(const char*) {
    if (game().current > game().boards) --game().current;
}

// "memory %d": a new transposition table of 1 to 8192 MB.
void cmd_memory(const char* line) {
    char* end = nullptr;
    const long mb = std::strtol(line + 6, &end, 10);
    if (end == line + 6 || mb < 1 || mb > 8192) {
        std::printf("Error: insert a number between 4 and %d \n", 8192);
        std::printf("tellusererror Error (size out of bound): Insert size between 4 and %d\n",
                    8192);
        return;
    }
    settings.hash_mb = static_cast<uint64_t>(mb);
    settings.hash_entries = tt_entries_for_mb(settings.hash_mb);
    tt_allocate(settings.hash_entries, static_cast<uint32_t>(mb));
}

// "sd %i": the depth limit, 1 to 64; 9999 is ignored.
void cmd_sd(const char* line) {
    char* end = nullptr;
    const long depth = std::strtol(line + 2, &end, 0);
    if (end != line + 2 && depth == 9999) return;
    if (end == line + 2 || depth < 1 || depth > 64) {
        std::printf("Error (depth out of bound): Insert depth between 2 and %d\n", 63);
        return;
    }
    search_info.max_depth = static_cast<int>(depth);
}

// "st %d": seconds per move.
void cmd_st(const char* line) {
    char* end = nullptr;
    const long seconds = std::strtol(line + 2, &end, 10);
    if (end == line + 2 || seconds <= 0) {
        std::printf("Error (movetime out of bound): Insert movetime > 0 \n");
        return;
    }
    // Hundredths of a second in 32 bits: longer than eight months is as good as forever.
    time_control.move_time = static_cast<int32_t>(std::min<long>(seconds, INT32_MAX / 100) * 100);
}

// "thread %i": the number of search threads, 1 to 24, each with its own pawn table.
void cmd_thread(const char* line) {
    char* end = nullptr;
    const long count = std::strtol(line + 6, &end, 0);
    if (end == line + 6 || count < 1 || count > MAX_THREADS) return;
    for (int i = 1; i <= settings.threads; ++i) pawn_free(search_thread(i));
    settings.threads = static_cast<uint8_t>(count);
    for (int i = 1; i <= settings.threads; ++i)
        pawn_allocate(search_thread(i), settings.pawn_hash_entries,
                      static_cast<uint32_t>(settings.pawn_hash_mb), 1, i);
    std::printf("Thread allocated for search: %i", settings.threads);
}

// "go": the engine searches the current position and plays its move.
void cmd_go(const char*) {
    SearchThread& main = main_search;
    main.engine_side = main.stack.current->side;
    time_control.start_ms = now_ms();
    allocate_time(time_control, 0);
    const uint64_t result = think(main);
    if (result_move(result)) {
        make_move(main.stack.current, result_move(result), main.stack.boards);
        game_advance(main.stack);
    }
    report_best_move(result, search_info.pv.length > 1 ? search_info.pv.moves[1] : 0);
    announce_game_end(main.stack);
}

void cmd_test_position(const char* line) {
    diag_load_position(test_position_fen(line));
}

enum Match { EXACT, PREFIX };

struct ConsoleCommand {
    const char* word;
    Match match;
    void (*run)(const char* line);
};

// Tested in this order; the first match wins.
constexpr ConsoleCommand kCommands[] = {
    {"help", EXACT, cmd_help},
    {"size", EXACT, [](const char*) { diag_size(); }},
    {"key", EXACT, [](const char*) { diag_key(); }},
    {"hstore", PREFIX, diag_hstore},
    {"hprobe", EXACT, [](const char*) { diag_hprobe(); }},
    {"inv", EXACT, [](const char*) { diag_inv(); }},
    {"TD1", EXACT, [](const char*) { tune_td1(main_search); }},
    {"TD2", EXACT, [](const char*) { tune_td2(main_search); }},
    {"TD3", EXACT, [](const char*) { tune_td3(main_search); }},
    {"texel", EXACT, [](const char*) { tune_texel_prepare(main_search); }},
    {"tune", EXACT, [](const char*) { tune_texel(main_search); }},
    {"mink", EXACT, [](const char*) { tune_scan_k(main_search); }},
    {"clear", EXACT, [](const char*) { diag_clear(); }},
    {"dump", EXACT, [](const char*) { diag_dump(); }},
    {"n1", EXACT, cmd_test_position},
    {"p", EXACT, cmd_test_position},
    {"chain", EXACT, cmd_test_position},
    {"bug", EXACT, cmd_test_position},
    {"killer", EXACT, cmd_test_position},
    {"good", EXACT, cmd_test_position},
    {"test", EXACT, cmd_test_position},
    {"pin", EXACT, [](const char*) { diag_pin(); }},
    {"m1", EXACT, cmd_test_position},
    {"m5", EXACT, cmd_test_position},
    {"m8", EXACT, cmd_test_position},
    {"t", EXACT, cmd_test_position},
    {"o", EXACT, cmd_test_position},
    {"c", EXACT, cmd_test_position},
    {"d", EXACT, cmd_test_position},
    {"e", EXACT, cmd_test_position},
    {"mob", EXACT, cmd_test_position},
    {"fianc", EXACT, cmd_test_position},
    {"book", EXACT,
     [](const char*) {
         char fen[FEN_BUFFER_SIZE];
         write_fen(*game().current, fen);
         book_list("Kestrane_12.9c.bin", fen);
     }},
    {"thread", PREFIX, cmd_thread},
    {"see", EXACT, [](const char*) { diag_see(); }},
    {"piece", PREFIX, diag_piece},
    {"score", EXACT, [](const char*) { diag_score(); }},
    {"legal", EXACT, [](const char*) { diag_legal(); }},
    {"probe", PREFIX, [](const char*) { diag_probe(); }},
    {"syzygy", EXACT, [](const char*) { tb_self_test(game()); }},
    {"gen", EXACT, [](const char*) { diag_gen(); }},
    {"new", EXACT, cmd_new},
    {"perft", EXACT, [](const char*) { diag_perft(); }},
    {"setboard", PREFIX, cmd_setboard},
    {"getboard", PREFIX, cmd_getboard},
    {"b", EXACT, cmd_board},
    {"turn", EXACT, cmd_turn},
    {"sd", PREFIX, cmd_sd},
    {"st", PREFIX, cmd_st},
    {"red", EXACT, [](const char*) { print_reduction_table(); }},
    {"go", EXACT, cmd_go},
    {"undo", EXACT, cmd_undo},
    {"memory", PREFIX, cmd_memory},
};

bool matches(const ConsoleCommand& c, const char* line) {
    return c.match == EXACT ? std::strcmp(line, c.word) == 0
                            : std::strncmp(line, c.word, std::strlen(c.word)) == 0;
}

bool looks_like_move(const char* line) {
    return line[0] >= 'a' && line[0] <= 'h' && line[1] >= '1' && line[1] <= '8' && line[2] >= 'a' &&
           line[2] <= 'h' && line[3] >= '1' && line[3] <= '8';
}

void user_move(const char* line) {
    if (!play_move_if_legal(game(), text_to_move(*game().current, line)))
        std::printf("Illegal move: %s\n", line);
    std::fflush(stdout);
    print_board(*game().current);
    announce_game_end(game());
}

} // namespace

void print_board(const Board& board) {
    Board b = board;
    if (b.side == BLACK) flip_board(b);
    char text[sizeof kBoardTemplate];
    std::memcpy(text, kBoardTemplate, sizeof text);
    for (int s = 0; s < 64; ++s) {
        const int code = piece_at(b, s) + ((b.us >> s) & 1 ? 8 : 0);
        text[42 + 4 * ((s % 8) + 18 * (7 - s / 8))] = " pnbrqk  PNBRQK"[code];
    }
    std::printf("%s", text);
}

int console_loop() {
    tt_allocate(settings.hash_entries, static_cast<uint32_t>(settings.hash_mb));
    pawn_allocate(main_search, settings.pawn_hash_entries,
                  static_cast<uint32_t>(settings.pawn_hash_mb), 0, 0);
    for (int i = 1; i <= settings.threads; ++i)
        pawn_allocate(search_thread(i), settings.pawn_hash_entries,
                      static_cast<uint32_t>(settings.pawn_hash_mb), 1, i);
    if (settings.syzygy) tb_init(settings.dtz_path, settings.wdl_path);
    std::printf("\nWelcome in brontavel\n");
    std::printf("type \"help\" to show commands list\n");
    char line[kLineSize];
    for (;;) {
        std::fflush(stdout);
        std::printf("\nbrontavel> ");
        if (!read_line(line, sizeof line)) return 1;
        const ConsoleCommand* command = nullptr;
        for (const ConsoleCommand& c : kCommands) {
            if (matches(c, line)) {
                command = &c;
                break;
            }
        }
        if (command) {
            command->run(line);
        } else if (line[0] == 'q') {
            return 1;
        } else if (looks_like_move(line)) {
            user_move(line);
        } else {
            std::printf("Error (unknown command): %s\n", line);
        }
    }
}
