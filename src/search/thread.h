// Per-thread search state. Every worker of the lazy SMP search owns one record; one more record,
// the main search state, is the game state of the front-ends: its position stack holds the game.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "board/movegen.h"
#include "eval/pawnhash.h"

// A principal variation: up to 63 moves.
struct PVLine {
    uint8_t length;
    Move moves[63];
};

struct SearchThread {
    uint32_t engine_side = 2;      // real colour the engine plays (2: none yet)
    PositionStack stack{};         // its `current` is the position being searched
    Move killers[64][2]{};         // two killers per ply, slot 0 the most recent
    uint16_t history[2][64][64]{}; // [real colour to move][from][to], wraps around
    int number = 0;                // 1.. for workers, 0 for the main search state
    int depth = 0;                 // iteration depth
    int seldepth = 0;              // highest ply reached
    int16_t alpha = 0, beta = 0;   // aspiration window
    MoveEntry* root_end = nullptr; // end of root_moves
    MoveEntry root_moves[MAX_MOVES]{};
    // Nodes each root move took in the last iteration, modulo 32000, in the order of root_moves;
    // the next iteration searches the table's move first, then the rest by these counts.
    uint64_t root_nodes[MAX_MOVES]{};
    // The best root move of the running iteration whose search completed (0: none yet), kept for
    // an iteration that is stopped before its end, with its score and variation.
    Move iteration_best = 0;
    int16_t iteration_score = 0;
    PVLine iteration_pv{};
    int tb_limit = 0;                  // most pieces on the board for which tablebases are probed
    uint64_t nodes = 0;                // nodes searched
    uint64_t nodes2 = 0;               // nodes of earlier root moves, for the per-move node counts
    uint64_t node_budget = UINT64_MAX; // the search stops when `nodes` reaches it
    uint64_t tb_hits = 0;              // successful tablebase probes
    bool must_finish = false;          // the iteration completes whatever the stop flags say
    PawnHashEntry* pawn_table = nullptr; // pawn_table_entries entries, owned by this thread
    uint64_t pawn_table_entries = 0;     // a power of two
    bool pawn_table_dirty = false;       // stored to since it was allocated or cleared

    SearchThread() = default;
    SearchThread(const SearchThread&) = delete;
    SearchThread& operator=(const SearchThread&) = delete;
    ~SearchThread() { pawn_free(*this); }
};

extern SearchThread main_search;

constexpr int MAX_THREADS = 24;

// The record of search worker i (1 to MAX_THREADS), created on first use.
SearchThread& search_thread(int i);
