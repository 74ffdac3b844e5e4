// Engine settings, read once at start-up from the settings file in the working directory.
#pragma once

#include <cstdint>

struct Settings {
    // ENGINE
    uint8_t max_depth = 64;
    uint8_t threads = 2;
    bool post_thinking = true;
    uint64_t hash_mb = 8192;
    uint64_t hash_entries = 0;
    uint64_t pawn_hash_mb = 24;
    uint64_t pawn_hash_entries = 0;
    // BOOK
    char book_file[100] = "Kestrane_12.9c.bin";
    bool book = true;
    bool rand_book = true;
    // TABLEBASE
    bool syzygy = true;
    char dtz_path[256] = "";
    char wdl_path[256] = "";
    int syzygy_men = 5;
    // TIME
    int sudden_death = 20;
    int more_time = 5;
    int less_time = 5;
    int fast_game = 5;
    int fast_opening = 15;
};

extern Settings settings;

// Loads the settings (missing keys keep their defaults) and prints the thread line.
void load_settings(const char* file_name);

// Entry count of a hash table of the given size in MB (sizes below 4 MB give 16 MB).
uint64_t tt_entries_for_mb(uint64_t mb);
