// The alpha-beta search below the root, the quiescence search, and the constants they share.
#pragma once

#include <cstdint>

#include "search/flags.h"
#include "search/thread.h"

constexpr int MATE = 20000;
constexpr int MATE_SCORE = 19936; // scores of this magnitude or more are mates
constexpr int TB_WIN = 15000;
constexpr int INFINITE_SCORE = 30000;

// Whether a node must return at once: the search is stopping (its iteration is then marked
// aborted) or another worker has finished the iteration. A thread on an iteration that must
// complete (the first one) goes on.
inline bool must_unwind(const SearchThread& t) {
    if (t.must_finish) return false;
    if (search_flags.stop.load(std::memory_order_relaxed)) {
        search_flags.abort.store(1, std::memory_order_relaxed);
        return true;
    }
    return search_flags.abort.load(std::memory_order_relaxed) != 0;
}

// Late move reductions by [depth][move number].
extern const uint8_t (&LMR_R)[64][64];

// Principal-variation search of the thread's current position.
int16_t search(SearchThread& t, int depth, int ply, int alpha, int beta, int tb_limit, PVLine& pv);

// Quiescence search: captures, and quiet checks at its first level (qdepth 0).
int16_t qsearch(SearchThread& t, int qdepth, int ply, int alpha, int beta, int tb_limit);

// qsearch behind a node count, the stop test and the ply cap.
int16_t qsearch_counted(SearchThread& t, int qdepth, int ply, int alpha, int beta, int tb_limit);

// A capture (or quiet move) that loses material by exchange.
bool is_bad_capture(const Board& b, Move m);

// Whether m is a legal move in b (any move word, including ones from the hash table).
bool is_legal_move(const Board& b, Move m);

// Prints the reduction tables as source text (the console's "red").
void print_reduction_table();
