// The move-generator benchmark: perft on six fixed positions with known counts.
#pragma once

#include "search/thread.h"

// Runs the benchmark on the thread's stack and prints counts, nodes per second and time. The last
// benchmark position is left as the current position.
void run_benchmark(SearchThread& thread);
