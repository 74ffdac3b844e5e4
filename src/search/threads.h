// Lazy SMP: every iteration is searched by all workers at once on private copies of the game;
// the first worker to finish decides the iteration.
#pragma once

#include <cstdint>

#include "search/thread.h"

// Runs one iteration (depth and window taken from the main search state) on the configured
// workers and returns the winner's result. The winner's variation becomes search_info.pv and its
// root move order the main state's.
uint64_t run_iteration(SearchThread& main);

// The worker that won the last iteration (0: none) and its principal variation. When the
// iteration was stopped before any worker finished it, the winner is the deepest worker that had
// completed the search of a root move better than the others before it, and the result is that
// move (iteration_partial() is then true).
int iteration_winner();
PVLine winner_pv();
bool iteration_partial();
