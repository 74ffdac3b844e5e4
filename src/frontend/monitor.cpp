// The input monitor: while a UCI search ponders or analyses without a time limit, this thread
// reads standard input for "ponderhit" and "stop".
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>

#include "frontend/frontend.h"
#include "search/flags.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

std::thread monitor;

void ponder_monitor() {
    std::string line;
    for (;;) {
        if (!read_line(line) || line[0] == 'q') {
            // End of input or "quit": the engine's work is over, whatever the search is doing.
            std::fflush(stdout);
            std::_Exit(0);
        }
        if (line.rfind("ponderhit", 0) == 0) {
            search_flags.ponder_wait.store(0, std::memory_order_relaxed);
            allocate_time(time_control, tt.age);
            return;
        }
        if (line.rfind("stop", 0) == 0) {
            search_flags.ponder_wait.store(0, std::memory_order_relaxed);
            search_flags.infinite.store(0, std::memory_order_relaxed);
            search_flags.stop.store(1, std::memory_order_relaxed);
            search_flags.abort.store(1, std::memory_order_relaxed);
            return;
        }
        // The interface may ask whether the engine is alive at any time.
        if (line.rfind("isready", 0) == 0) {
            std::printf("readyok\n");
            std::fflush(stdout);
        }
    }
}

} // namespace

void start_input_monitor(uint32_t mode) {
    if (mode != MODE_UCI || monitor.joinable()) return; // one monitor per search
    try {
        monitor = std::thread(ponder_monitor);
    } catch (const std::system_error&) {
        std::printf("#DEBUG Errore nella creazione del thread PonderMonitor\n");
        std::exit(1);
    }
}

void join_input_monitor() {
    if (monitor.joinable()) monitor.join();
}
