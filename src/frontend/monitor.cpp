// UCI input. One reader thread takes every line from standard input for the whole UCI session.
// While no search runs, lines queue up in order for the loop. From the moment a "go" is read
// until its best move is printed, the reader answers the lines that must not wait for the search
// itself: "stop", "ponderhit", "isready", "quit" and the end of input. Everything else keeps its
// place in the queue and is taken by the loop after the search.
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "frontend/frontend.h"
#include "search/flags.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

struct UciInput {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<std::string> lines;  // for the loop, in the order they came
    bool ended = false;             // end of input or "quit" queued: nothing more comes
    int gos_queued = 0;             // "go" lines queued and not yet started
    bool searching = false;         // a search runs, or waits for "stop"/"ponderhit"
    std::vector<std::string> early; // "stop"/"ponderhit" read before their search started
    std::thread reader;
};
UciInput input;

bool starts_with(const std::string& line, const char* word) {
    return line.rfind(word, 0) == 0;
}

[[noreturn]] void end_program() {
    std::fflush(stdout);
    std::_Exit(0);
}

// Called with the lock held, while the search the command is meant for runs.
void apply_control(const std::string& line) {
    if (starts_with(line, "stop")) {
        search_flags.ponder_wait.store(0, std::memory_order_relaxed);
        search_flags.infinite.store(0, std::memory_order_relaxed);
        search_flags.stop.store(1, std::memory_order_relaxed);
        search_flags.abort.store(1, std::memory_order_relaxed);
    } else if (search_flags.ponder_wait.load(std::memory_order_relaxed)) {
        // "ponderhit": the move held back is now wanted, within the clock from the "go" on.
        search_flags.ponder_wait.store(0, std::memory_order_relaxed);
        allocate_time(time_control, static_cast<int>(tt.searches.load(std::memory_order_relaxed)));
    }
}

void read_input() {
    std::string line;
    for (;;) {
        const bool got = read_line(line);
        std::lock_guard<std::mutex> guard(input.lock);
        const bool busy = input.searching || input.gos_queued > 0;
        if (!got || (busy && !line.empty() && line[0] == 'q')) {
            // End of input, or "quit" during a search: the engine's work is over, whatever the
            // search is doing.
            if (busy) end_program();
            input.ended = true;
            input.arrived.notify_one();
            return;
        }
        if (busy && starts_with(line, "isready")) {
            std::printf("readyok\n");
            std::fflush(stdout);
            continue;
        }
        if (busy && (starts_with(line, "stop") || starts_with(line, "ponderhit"))) {
            if (input.searching)
                apply_control(line);
            else
                input.early.push_back(line);
            continue;
        }
        if (starts_with(line, "go")) ++input.gos_queued;
        const bool quit = !line.empty() && line[0] == 'q';
        input.lines.push_back(line);
        if (quit) input.ended = true; // the loop ends on it: nothing more is read
        input.arrived.notify_one();
        if (quit) return;
    }
}

} // namespace

void uci_input_start() {
    if (input.reader.joinable()) return;
    try {
        input.reader = std::thread(read_input);
    } catch (const std::system_error&) {
        std::printf("#DEBUG Errore nella creazione del thread PonderMonitor\n");
        std::exit(1);
    }
}

bool uci_next_line(std::string& line) {
    std::unique_lock<std::mutex> guard(input.lock);
    input.arrived.wait(guard, [] { return !input.lines.empty() || input.ended; });
    if (input.lines.empty()) {
        guard.unlock();
        if (input.reader.joinable()) input.reader.join();
        return false;
    }
    line = std::move(input.lines.front());
    input.lines.pop_front();
    if (input.lines.empty() && input.ended) {
        guard.unlock();
        if (input.reader.joinable()) input.reader.join();
    }
    return true;
}

void uci_search_begin() {
    std::lock_guard<std::mutex> guard(input.lock);
    if (input.gos_queued > 0) --input.gos_queued;
    input.searching = true;
    for (const std::string& line : input.early) apply_control(line);
    input.early.clear();
}

void uci_search_end() {
    std::lock_guard<std::mutex> guard(input.lock);
    input.searching = false;
}
