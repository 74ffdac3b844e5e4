#include "search/thread.h"

#include <memory>

SearchThread main_search;

namespace {
std::unique_ptr<SearchThread> threads[MAX_THREADS + 1];
}

SearchThread& search_thread(int i) {
    if (i < 1 || i > MAX_THREADS) i = 1;
    if (!threads[i]) threads[i] = std::make_unique<SearchThread>();
    return *threads[i];
}
