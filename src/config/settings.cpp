#include "config/settings.h"

#include <cstdio>

Settings settings;

uint64_t tt_entries_for_mb(uint64_t mb) {
    const uint64_t bytes = mb >= 4 ? mb << 20 : uint64_t{16} << 20;
    uint64_t size = 1;
    while (size * 2 <= bytes) size *= 2;
    return size / 16;
}

void load_settings(const char* file_name) {
    (void)file_name; // the file reader is not wired in yet: every key keeps its default
    settings = Settings{};
    std::printf("Thread allocated for lazySMP: %i\n", settings.threads);
    settings.hash_entries = tt_entries_for_mb(settings.hash_mb);
    settings.pawn_hash_entries = tt_entries_for_mb(settings.pawn_hash_mb);
}
