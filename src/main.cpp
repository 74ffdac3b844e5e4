// Program entry: banner, settings, a new game, the default evaluation weights and the tuned ones
// of the EvalFile setting, then the first input line chooses the front-end. "brontavel bench
// [depth]" runs the search benchmark instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board.h"
#include "config/settings.h"
#include "eval/params.h"
#include "frontend/frontend.h"
#include "search/benchmark.h"
#include "search/thread.h"

namespace {

void print_dashes() {
    for (int i = 0; i < 79; ++i) std::putchar('-');
    std::putchar('\n');
}

constexpr int kBenchDepth = 11;

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) {
        int depth = kBenchDepth;
        if (argc >= 3) {
            char* end = nullptr;
            const long d = std::strtol(argv[2], &end, 10);
            if (end == argv[2] || *end != 0 || d < 1 || d > 64) {
                std::fprintf(stderr, "usage: brontavel bench [depth 1-64]\n");
                return 2;
            }
            depth = static_cast<int>(d);
        }
        start_new_game();
        ResetEvalParams();
        return run_search_bench(depth);
    }

    print_dashes();
    std::printf("brontavel chess engine\n");
    std::printf("Version %ld.%ld\n\n", 1L, 1L);
    load_settings("brontavel.ini");
    start_new_game();
    ResetEvalParams();
    if (settings.eval_file[0]) {
        std::string message;
        load_eval_file(settings.eval_file, message);
        print_message("%s", message.c_str());
    }
    print_dashes();
    std::printf("\n");
    std::printf("enter 'console' for console mode... ");

    char line[256];
    for (;;) {
        if (!read_line(line, sizeof line)) return 0;
        std::fflush(stdout);
        if (line[0] == 0) continue;
        if (std::strncmp(line, "uci", 3) == 0) {
            frontend_mode = MODE_UCI;
            if (uci_loop() == 1) return 0;
        } else if (line[0] == 'c') {
            frontend_mode = MODE_CONSOLE;
            if (console_loop() == 1) return 0;
        } else if (std::strncmp(line, "quit", 4) == 0) {
            return 0;
        }
    }
}
