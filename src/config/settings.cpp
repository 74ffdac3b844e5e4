#include "config/settings.h"

#include <bit>
#include <cstdio>
#include <cstdlib>

#include "config/ini.h"
#include "eval/pawnhash.h"
#include "search/think.h"
#include "search/thread.h"

Settings settings;

namespace {

// The two size checks report fixed line numbers, so that their messages stay the same whatever
// happens to the layout of this file.
constexpr int kCheckSizeLine = 15;
constexpr int kCheckPowerLine = 20;

void check(bool ok, const char* expr, int line) {
    if (ok) return;
    std::fflush(stdout);
    std::fprintf(stderr, "Assertion failed: %s, file config, line %d\n", expr, line);
    std::fflush(stderr);
    std::abort();
}

// `value` when it lies in [lo, hi], else `otherwise` (unparsable numbers read as 0, which no range
// accepts).
int32_t accepted(int32_t value, int32_t lo, int32_t hi, int32_t otherwise) {
    return value >= lo && value <= hi ? value : otherwise;
}

int32_t read_number(const char* section, const char* key, int32_t def, int32_t lo, int32_t hi,
                    int32_t otherwise, const char* file_name) {
    return accepted(ini_get_long(section, key, def, file_name), lo, hi, otherwise);
}

bool read_flag(const char* section, const char* key, bool def, const char* file_name) {
    return ini_get_bool(section, key, def ? 1 : 0, file_name) != 0;
}

} // namespace

uint64_t tt_entries_for_mb(uint64_t mb) {
    constexpr uint64_t kSmallest = uint64_t{16} << 20;
    const uint64_t hashsize = mb < 4 ? kSmallest : mb > (UINT64_MAX >> 20) ? UINT64_MAX : mb << 20;
    const uint64_t size = std::bit_floor(hashsize);
    check(size > 0 && size <= hashsize, "size>0 && size<=hashsize", kCheckSizeLine);
    const uint64_t entries = size / 16;
    check(entries != 0 && (entries & (entries - 1)) == 0, "size!=0&&(size&(size-1))==0",
          kCheckPowerLine);
    return entries;
}

void load_settings(const char* file_name) {
    const Settings defaults;
    settings = defaults;
    main_search.engine_side = 2;

    settings.max_depth = static_cast<uint8_t>(
        read_number("ENGINE", "MaxDepth", defaults.max_depth, 1, 64, 64, file_name));
    search_info.max_depth = settings.max_depth;
    settings.threads = static_cast<uint8_t>(
        read_number("ENGINE", "Thread", defaults.threads, 1, MAX_THREADS, 1, file_name));
    std::printf("Thread allocated for lazySMP: %i\n", settings.threads);
    settings.post_thinking = read_flag("ENGINE", "PostThinking", defaults.post_thinking, file_name);
    settings.hash_mb = static_cast<uint64_t>(read_number(
        "ENGINE", "HashSize", static_cast<int32_t>(defaults.hash_mb), 1, 8192, 256, file_name));
    settings.hash_entries = tt_entries_for_mb(settings.hash_mb);
    settings.pawn_hash_mb = static_cast<uint64_t>(
        read_number("ENGINE", "HashPawnSize", static_cast<int32_t>(defaults.pawn_hash_mb), 1, 24, 4,
                    file_name));
    settings.pawn_hash_entries = tt_entries_for_mb(settings.pawn_hash_mb);
    pawn_mb = static_cast<uint32_t>(settings.pawn_hash_mb);
    pawn_entries = settings.pawn_hash_entries;
    ini_get_string("ENGINE", "EvalFile", defaults.eval_file, settings.eval_file,
                   static_cast<int>(sizeof settings.eval_file), file_name);

    ini_get_string("BOOK", "BookFile", defaults.book_file, settings.book_file,
                   static_cast<int>(sizeof settings.book_file), file_name);
    settings.book = read_flag("BOOK", "Book", defaults.book, file_name);
    settings.rand_book = read_flag("BOOK", "RandBook", defaults.rand_book, file_name);

    settings.syzygy = read_flag("TABLEBASE", "Syzygy", defaults.syzygy, file_name);
    ini_get_string("TABLEBASE", "dtzPath", defaults.dtz_path, settings.dtz_path,
                   static_cast<int>(sizeof settings.dtz_path), file_name);
    ini_get_string("TABLEBASE", "wdlPath", defaults.wdl_path, settings.wdl_path,
                   static_cast<int>(sizeof settings.wdl_path), file_name);
    settings.syzygy_men =
        read_number("TABLEBASE", "SyzygyMen", defaults.syzygy_men, 3, 7, 5, file_name);

    // Two hours on every clock until a front-end sets a time control.
    time_control.own_time = 720000;
    time_control.move_time = 720000;
    time_control.allotted = 720000;

    const TimeControl time_defaults;
    time_control.sudden_death =
        read_number("TIME", "SuddenDeath", time_defaults.sudden_death, 10, 40, 20, file_name);
    time_control.more_time =
        read_number("TIME", "MoreTime", time_defaults.more_time, 5, 15, 5, file_name);
    time_control.less_time =
        read_number("TIME", "LessTime", time_defaults.less_time, 5, 15, 5, file_name);
    time_control.fast_game =
        read_number("TIME", "FastGame", time_defaults.fast_game, 5, 15, 5, file_name);
    time_control.fast_opening =
        read_number("TIME", "FastOpening", time_defaults.fast_opening, 5, 15, 15, file_name);
}
