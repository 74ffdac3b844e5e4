#include "search/threads.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "config/settings.h"
#include "search/flags.h"
#include "search/ordering.h"
#include "search/think.h"

namespace {

// Odd-numbered workers search the iteration depth, even-numbered ones a ply deeper.
constexpr int kWorkerDepthOffset[MAX_THREADS] = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1,
                                                 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};

// The first worker to finish an iteration, guarded by one mutex.
struct Winner {
    std::mutex lock;
    int number = 0;
    uint64_t result = 0;
    int seldepth = 0;
    PVLine pv{};
    bool partial = false; // the iteration was stopped: the result is its best completed move
};
Winner winner;

void worker_main(SearchThread* w, SearchThread* main) {
    PVLine pv{};
    const uint64_t result =
        root_search(*w, w->depth, w->alpha, w->beta, w->root_moves, w->root_end, w->tb_limit, pv);
    std::lock_guard<std::mutex> guard(winner.lock);
    if (winner.number == 0 &&
        (w->must_finish || (!search_flags.abort.load(std::memory_order_relaxed) &&
                            !search_flags.stop.load(std::memory_order_relaxed)))) {
        search_flags.abort.store(1, std::memory_order_relaxed); // the others unwind now
        winner.number = w->number;
        winner.result = result;
        winner.seldepth = w->seldepth;
        winner.pv = pv;
        // The next iteration starts from this worker's root move order and node counts.
        const long n = w->root_end - w->root_moves;
        std::memcpy(static_cast<void*>(main->root_moves), w->root_moves, sizeof(MoveEntry) * n);
        std::memcpy(main->root_nodes, w->root_nodes, sizeof(uint64_t) * n);
        main->root_end = main->root_moves + n;
    }
}

} // namespace

int iteration_winner() {
    return winner.number;
}

PVLine winner_pv() {
    return winner.pv;
}

bool iteration_partial() {
    return winner.partial;
}

uint64_t run_iteration(SearchThread& main) {
    const int count = settings.threads;
    const long current = main.stack.current - main.stack.boards;
    const long roots = main.root_end - main.root_moves;
    winner.number = 0;
    winner.partial = false;
    // "go nodes N": each worker gets an equal share of what is left.
    uint64_t budget = UINT64_MAX;
    if (search_info.node_limit) {
        const uint64_t left = search_info.node_limit > search_info.nodes
                                  ? search_info.node_limit - search_info.nodes
                                  : 0;
        budget = std::max<uint64_t>(left / static_cast<uint64_t>(count), 1);
    }
    for (int i = 1; i <= count; ++i) {
        SearchThread& w = search_thread(i);
        std::memcpy(static_cast<void*>(w.stack.boards), main.stack.boards,
                    sizeof(Board) * (current + 1));
        w.stack.current = w.stack.boards + current;
        std::memcpy(static_cast<void*>(w.root_moves), main.root_moves, sizeof(MoveEntry) * roots);
        std::memcpy(w.root_nodes, main.root_nodes, sizeof(uint64_t) * roots);
        w.root_end = w.root_moves + roots;
        w.number = i;
        w.engine_side = main.engine_side;
        w.depth = main.depth + kWorkerDepthOffset[i - 1];
        w.alpha = main.alpha;
        w.beta = main.beta;
        w.tb_limit = main.tb_limit;
        w.nodes = w.nodes2 = w.tb_hits = 0;
        w.node_budget = budget;
        w.must_finish = main.depth == 1; // a search always has a completed iteration to play
        w.seldepth = 0;
        if (main.depth == 1) {
            clear_killers(w);
            clear_history(w);
        }
    }
    std::thread workers[MAX_THREADS];
    for (int i = 1; i <= count; ++i)
        workers[i - 1] = std::thread(worker_main, &search_thread(i), &main);
    for (int i = 1; i <= count; ++i) {
        workers[i - 1].join();
        search_info.nodes += search_thread(i).nodes;
        search_info.tb_hits += search_thread(i).tb_hits;
    }
    if (winner.number == 0) {
        // Stopped before any worker finished: the deepest worker's best completed root move,
        // if one has any.
        for (int i = 1; i <= count; ++i) {
            const SearchThread& w = search_thread(i);
            if (!w.iteration_best) continue;
            if (winner.number && search_thread(winner.number).depth >= w.depth) continue;
            winner.number = i;
            winner.result = make_result(w.iteration_best, w.iteration_score);
            winner.seldepth = w.seldepth;
            winner.pv = w.iteration_pv;
            winner.partial = true;
        }
        if (winner.number == 0) return 0;
    }
    search_info.seldepth = winner.seldepth;
    return winner.result;
}
