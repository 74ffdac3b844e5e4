// Flags shared between the search threads, the timer and the input monitor. They are read and
// written without locks, so they are atomics; relaxed ordering is enough for flags that are only
// polled.
#pragma once

#include <atomic>

struct SearchFlags {
    std::atomic<int> stop{0};  // the current search must end as soon as possible
    std::atomic<int> abort{0}; // the current iteration's result is not to be used
};

extern SearchFlags search_flags;

inline bool search_stopped() {
    return search_flags.stop.load(std::memory_order_relaxed) ||
           search_flags.abort.load(std::memory_order_relaxed);
}
