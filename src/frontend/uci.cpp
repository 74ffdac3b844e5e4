#include <cstdio>

#include "frontend/frontend.h"

namespace {
constexpr size_t kLineSize = 4096;
}

int uci_loop() {
    std::printf("id name brontavel\nid author Orvakt\n");
    std::printf("option name Ponder type check default true\n");
    std::printf("option name OwnBook type check default true\n");
    std::printf("uciok\n");
    char line[kLineSize];
    for (;;) {
        std::fflush(stdout);
        if (!read_line(line, sizeof line)) return 1;
        if (line[0] == 'q') return 1;
    }
}
