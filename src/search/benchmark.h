// The move-generator benchmark: perft on six fixed positions with known counts.
#pragma once

#include "search/thread.h"

// Runs the benchmark on the thread's stack and prints counts, nodes per second and time. The last
// benchmark position is left as the current position.
void run_benchmark(SearchThread& thread);

// The search benchmark: one thread with a 16 MB table searches a fixed set of positions to a fixed
// depth, and prints each best move and node count, then the total nodes and nodes per second. The
// node count is the same on every run and machine. Returns 0, or 1 if a position was refused.
int run_search_bench(int depth);
