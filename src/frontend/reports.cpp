#include "frontend/reports.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "board/fen.h"
#include "config/settings.h"
#include "frontend/frontend.h"
#include "search/flags.h"
#include "search/think.h"
#include "search/tt.h"

void move_text_or_null(char* buffer, Move m, uint32_t side) {
    if (m == 0) {
        std::snprintf(buffer, MOVE_TEXT_SIZE, "0000");
        return;
    }
    move_to_text(buffer, m, side);
}

namespace {

// Appends the variation's moves, each followed by a blank, from the main state's position.
void append_pv(std::string& out, const SearchThread& main, const PVLine& pv) {
    uint32_t side = main.stack.current->side;
    char text[MOVE_TEXT_SIZE];
    for (int i = 0; i < pv.length && i < 63; ++i) {
        if (pv.moves[i] == 0) continue;
        move_to_text(text, pv.moves[i], side);
        out += text;
        out += ' ';
        side ^= 1;
    }
    out += '\n';
}

// Prints a whole line with one call, so that a line printed by the input reader meanwhile
// ("readyok") never lands inside it.
void print_line(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

void print_pv(const SearchThread& main, const PVLine& pv) {
    std::string line;
    append_pv(line, main, pv);
    print_line(line);
}

void report_iteration(const SearchThread& main, uint64_t result, const PVLine& pv) {
    if (frontend_mode == MODE_BENCH) return;
    const int score = result_score(result);
    const int64_t elapsed = now_ms() - time_control.start_ms;
    const uint64_t nodes = search_info.nodes;
    if (frontend_mode == MODE_UCI) {
        char head[256];
        const uint64_t nps = nodes * 1000 / static_cast<uint64_t>(std::max<int64_t>(elapsed, 1));
        const int hashfull = tt_hashfull();
        if (score >= 19000 || score <= -19000) {
            const int mate = score >= 19000 ? (20001 - score) / 2 : (-20000 - score) / 2;
            std::snprintf(head, sizeof head,
                          "info depth %2d score mate %2d nodes %10" PRIu64 " time %6d nps %" PRIu64
                          " hashfull %d tbhits %" PRIu64 " pv ",
                          main.depth, mate, nodes, static_cast<int>(elapsed), nps, hashfull,
                          search_info.tb_hits);
        } else {
            std::snprintf(head, sizeof head,
                          "info depth %2d seldepth %2d score cp %6d nodes %10" PRIu64
                          " time %d nps %" PRIu64 " hashfull %d tbhits %" PRIu64 " pv ",
                          main.depth, search_info.seldepth, score, nodes, static_cast<int>(elapsed),
                          nps, hashfull, search_info.tb_hits);
        }
        std::string line = head;
        append_pv(line, main, pv);
        print_line(line);
        return;
    }
    if (settings.post_thinking) {
        std::printf("%2d %6d %6d %10" PRIu64 " ", main.depth, score, static_cast<int>(elapsed / 10),
                    nodes);
        print_pv(main, pv);
    }
    if (score >= 19000)
        std::printf("Mate in% d \n", (20001 - score) / 2);
    else if (score <= -19000)
        std::printf("Mated to% d \n", (score + 20000) / 2);
    std::fflush(stdout);
}

void report_best_move(uint64_t result, Move ponder) {
    // The move has been made: the side to move now is the one that replies to it.
    const uint32_t side = main_search.stack.current->side;
    char best_text[MOVE_TEXT_SIZE], ponder_text[MOVE_TEXT_SIZE];
    move_text_or_null(best_text, result_move(result), side ^ 1);
    move_text_or_null(ponder_text, ponder, side);
    if (frontend_mode == MODE_UCI) {
        if (search_flags.ponder_move.load(std::memory_order_relaxed) && ponder)
            std::printf("bestmove %s ponder %s\n", best_text, ponder_text);
        else
            std::printf("bestmove %s\n", best_text);
    } else {
        const int64_t ms = search_info.duration_ms;
        const double knps =
            ms > 0 ? static_cast<double>(search_info.nodes / static_cast<uint64_t>(ms)) : 0;
        if (ponder)
            std::printf("Bestmove: %s   Score: %d   Pondermove: %s   Knps: %.0f\n", best_text,
                        result_score(result), ponder_text, knps);
        else
            std::printf("Bestmove: %s   Score: %d    Knps: %.0f\n", best_text, result_score(result),
                        knps);
    }
    std::fflush(stdout);
}
