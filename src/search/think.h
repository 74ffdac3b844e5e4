// Iterative deepening: the entry point of a search, the root search of one iteration, the time
// allocation and the timer that ends a timed search.
#pragma once

#include <cstdint>

#include "search/thread.h"

// Times are in hundredths of a second, the start time in milliseconds.
struct TimeControl {
    int32_t sudden_death = 20; // base divisor of the remaining time
    int32_t more_time = 5;     // taken off the divisor when our clock shows more than theirs
    int32_t less_time = 5;     // added when it shows less
    int32_t fast_game = 5;     // added in fast games
    int32_t fast_opening = 15; // added in the first moves of a game
    int32_t move_time = 720000;
    int32_t moves_to_go = 0;
    int32_t increment = 0;
    int32_t own_time = 720000;
    int32_t opponent_time = 0;
    int32_t allotted = 720000; // the target time of a move
    int32_t hard = 720000;     // the search ends here, whatever it is doing
    bool clock = false;        // own_time is a real clock (else only the move time counts)
    int32_t overhead_ms = 0;   // taken off every time limit: what the line to the interface costs
    int64_t start_ms = 0;
};

// What the last search found and the figures its reports show.
struct SearchInfo {
    int max_depth = 64;      // deepest iteration (1 to 64)
    PVLine pv{};             // principal variation of the last accepted iteration
    Move ponder_move = 0;    // its second move
    uint64_t nodes = 0;      // summed over the workers after each iteration
    int seldepth = 0;        // of the last iteration
    int64_t duration_ms = 0; // of the last search
    int16_t tb_score = 0;    // tablebase score of the root, when the root filter ran
    uint64_t tb_hits = 0;    // successful tablebase probes, the root filter's included
    // Limits of one search besides the clock, set by the front-end before it.
    uint64_t node_limit = 0;   // stop after about this many nodes (0: none)
    int mate_limit = 0;        // stop once a mate in this many moves or fewer is found (0: none)
    int search_move_count = 0; // the root moves are restricted to these (0: all)
    Move search_moves[MAX_MOVES] = {}; // (moves that are not legal at the root are passed over)
};

extern TimeControl time_control;
extern SearchInfo search_info;

// Milliseconds of a monotonic clock.
int64_t now_ms();

// A search result: the move in bits 0-31, the score in bits 32-47.
inline uint64_t make_result(Move m, int16_t score) {
    return m | static_cast<uint64_t>(static_cast<uint16_t>(score)) << 32;
}
inline Move result_move(uint64_t r) {
    return static_cast<Move>(r);
}
inline int16_t result_score(uint64_t r) {
    return static_cast<int16_t>(r >> 32);
}

// Searches the main search state's current position; returns the best move and its score. A
// position without legal moves gives the zero move at once. The caller clears the stop flag
// (allocate_time does) before the search and before anything that may set it starts.
uint64_t think(SearchThread& main);

// One iteration on one thread over its root move list (`list` is t.root_moves; the moves are
// searched in descending order of t.root_nodes, node counts of the last iteration modulo
// 32000, the table's move first).
uint64_t root_search(SearchThread& t, int depth, int alpha, int beta, MoveEntry* list,
                     MoveEntry* end, int tb_limit, PVLine& pv);

// Computes the allotted time and starts the timer (none in the console without a move time).
// `generation` is the search generation counter, 0 from the console.
void allocate_time(TimeControl& tc, int generation);

// Ends the timer of the last search, if one runs; a timer never outlives its search.
void stop_timer();

// Sorts the first `count` root moves and their node counts together by ascending node count.
void sort_root_moves(MoveEntry* list, uint64_t* nodes, int count);
