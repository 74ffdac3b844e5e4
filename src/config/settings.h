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
    char eval_file[256] = ""; // tuned weights applied at start-up; empty = built-in weights
    // BOOK
    char book_file[100] = "Kestrane_12.9c.bin";
    bool book = true;
    bool rand_book = true;
    // TABLEBASE
    bool syzygy = true;
    char dtz_path[256] = "";
    char wdl_path[256] = "";
    int syzygy_men = 5;
    // The TIME keys go straight into the search's time control block (time_control).
};

extern Settings settings;

// Loads the settings from the INI file, opening it once per key: a missing file, key or value
// keeps the default; numbers outside their range, or that do not parse, take their fallback.
// Prints "Thread allocated for lazySMP: %i\n", derives the entry counts of the hash tables (also
// into pawn_entries and pawn_mb), resets the engine side of the main search state, and hands the
// depth limit and the time settings to the search (search_info, time_control).
void load_settings(const char* file_name);

// Entry count of a hash table of the given size in MB: the largest power of two of bytes not
// above the size (sizes below 4 MB give 16 MB), divided by the 16 bytes of an entry.
uint64_t tt_entries_for_mb(uint64_t mb);
