#include <cstdarg>
#include <cstdio>

#include "frontend/frontend.h"
#include "search/thread.h"
#include "search/tt.h"

uint32_t frontend_mode = MODE_CONSOLE;

bool read_line(std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

void start_new_game() {
    new_game(main_search.stack);
    tt.age = 0;
    tt.searches.store(0, std::memory_order_relaxed);
}

bool read_line(char* buf, size_t size) {
    size_t n = 0;
    int c;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n + 1 < size) buf[n++] = static_cast<char>(c);
    }
    if (n > 0 && buf[n - 1] == '\r') --n;
    buf[n] = 0;
    return any;
}

void print_message(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // One call, so that a line printed by another thread never lands inside it.
    std::printf(frontend_mode == MODE_UCI ? "info string %s\n" : "%s\n", text);
}
