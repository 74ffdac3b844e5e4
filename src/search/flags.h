// Flags shared between the search threads, the timer and the input monitor. They are read and
// written without locks, so they are atomics; relaxed ordering is enough for flags that are only
// polled.
#pragma once

#include <atomic>

struct SearchFlags {
    std::atomic<int> stop{0};  // the current search must end as soon as possible
    std::atomic<int> abort{0}; // the current iteration's result is not to be used
    // Front-end flags of the UCI loop and the input monitor.
    std::atomic<int> infinite{0};    // "go infinite": the search waits for "stop"
    std::atomic<int> ponder_wait{0}; // the best move is held back until "ponderhit" or "stop"
    std::atomic<int> ponder_move{0}; // the best-move line names a ponder move
};

extern SearchFlags search_flags;

inline bool search_stopped() {
    return search_flags.stop.load(std::memory_order_relaxed) ||
           search_flags.abort.load(std::memory_order_relaxed);
}
