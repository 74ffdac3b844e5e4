// The settings file: defaults, ranges, table sizes, texts cut to their fields, hostile files.
#include "config/settings.h"

#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "config/config_fixture.h"
#include "eval/pawnhash.h"
#include "search/think.h"
#include "search/thread.h"

struct SettingsFile : ScratchDir {
    void TearDown() override { // puts back every global the loader writes
        ScratchDir::TearDown();
        std::tie(settings, time_control, search_info.max_depth, pawn_entries, pawn_mb) = saved_;
    }
    // Loads the settings; the thread count the loader prints is the console test's.
    static void load(const std::string& text) {
        write(text);
        testing::internal::CaptureStdout();
        load_settings("brontavel.ini");
        testing::internal::GetCapturedStdout();
    }
    const std::tuple<Settings, TimeControl, int, uint64_t, uint32_t> saved_{
        settings, time_control, search_info.max_depth, pawn_entries, pawn_mb};
};

struct Range {
    const char *section, *key;
    int lo, hi, fallback, def;
    std::function<int()> stored;
};

// The numeric keys with the ranges, fallbacks and defaults of the README.
const Range kRanges[] = {
    {"ENGINE", "MaxDepth", 1, 64, 64, 64, [] { return int{settings.max_depth}; }},
    {"ENGINE", "Thread", 1, 24, 1, 2, [] { return int{settings.threads}; }},
    {"ENGINE", "HashSize", 1, 8192, 256, 8192, [] { return static_cast<int>(settings.hash_mb); }},
    {"ENGINE", "HashPawnSize", 1, 24, 4, 24, [] { return static_cast<int>(pawn_mb); }},
    {"TABLEBASE", "SyzygyMen", 3, 7, 5, 5, [] { return settings.syzygy_men; }},
    {"TIME", "SuddenDeath", 10, 40, 20, 20, [] { return time_control.sudden_death; }},
    {"TIME", "MoreTime", 5, 15, 5, 5, [] { return time_control.more_time; }},
    {"TIME", "LessTime", 5, 15, 5, 5, [] { return time_control.less_time; }},
    {"TIME", "FastGame", 5, 15, 5, 5, [] { return time_control.fast_game; }},
    {"TIME", "FastOpening", 5, 15, 15, 15, [] { return time_control.fast_opening; }},
};

TEST_F(SettingsFile, MissingFileAndKeysGiveTheDefaults) {
    for (const char* text : {"", "[ENGINE]\n[BOOK]\n[TABLEBASE]\n[TIME]\n",
                             // keys in the wrong section
                             "MaxDepth=3\n[BOOK]\nThread=5\n[ENGINE]\nBookFile=x\nSyzygyMen=3\n"
                             "[TABLEBASE]\nSuddenDeath=30\n[TIME]\nSyzygy=false\n"}) {
        SCOPED_TRACE(text);
        load(text);
        for (const Range& r : kRanges) EXPECT_EQ(r.def, r.stored()) << r.key;
        EXPECT_TRUE(settings.post_thinking && settings.book && settings.rand_book &&
                    settings.syzygy);
        EXPECT_STREQ("Kestrane_12.9c.bin", settings.book_file);
        EXPECT_STREQ("", settings.dtz_path);
        EXPECT_STREQ("", settings.eval_file);
        EXPECT_EQ(64, search_info.max_depth);
    }
}

TEST_F(SettingsFile, NumbersOutsideTheirRangeTakeTheFallback) {
    for (const Range& r : kRanges) {
        const auto n = [](int v) { return std::to_string(v); };
        const std::string values[] = {n(r.lo),     n(r.hi),    n(r.lo - 1),
                                      n(r.hi + 1), "lots",     std::string(20, '9'),
                                      "",          "# comment"};
        const int wanted[] = {r.lo,       r.hi,       r.fallback, r.fallback,
                              r.fallback, r.fallback, r.def,      r.def};
        for (size_t i = 0; i < std::size(values); ++i) {
            load("[" + std::string(r.section) + "]\n" + r.key + "=" + values[i] + "\n");
            EXPECT_EQ(wanted[i], r.stored()) << r.key << "=" << values[i];
        }
    }
}

TEST_F(SettingsFile, EveryKeyIsRead) {
    load("; comment\r\n[engine]\r\nmaxdepth = 0x20 ; hexadecimal\r\nTHREAD: 4\r\nHashSize=100\r\n"
         "HashPawnSize=\"8\"\r\nPostThinking=false\r\nEvalFile = w/tuned.csv\r\n[Book]\r\n"
         "EvalFile=book.csv\r\nbookfile = \"my book.bin\"\r\n"
         "book: no\r\nRandBook=F\r\n[tablebase]\r\nSyzygy=0\r\nDTZPATH=C:\\tb\\dtz\r\n"
         "wdlpath: /my tables/wdl\r\nsyzygymen=6\r\n[time]\r\nsuddendeath=25\r\nFastOpening=10");
    EXPECT_EQ(32, search_info.max_depth);
    EXPECT_EQ(4194304u, settings.hash_entries); // 64 MiB of 16-byte entries
    EXPECT_EQ(pawn_entries, settings.pawn_hash_entries);
    EXPECT_FALSE(settings.post_thinking || settings.book || settings.rand_book || settings.syzygy);
    EXPECT_STREQ("my book.bin", settings.book_file);
    EXPECT_STREQ("C:\\tb\\dtz", settings.dtz_path);
    EXPECT_STREQ("/my tables/wdl", settings.wdl_path);
    EXPECT_STREQ("w/tuned.csv", settings.eval_file); // from the engine section only
    // Texts are cut to their fields: 99 characters for the book, 255 for the paths.
    load("[BOOK]\nBookFile=" + std::string(150, 'b') +
         "\n[TABLEBASE]\ndtzPath=" + std::string(300, 'd') + "\n");
    EXPECT_EQ(std::string(99, 'b'), settings.book_file);
    EXPECT_EQ(std::string(255, 'd'), settings.dtz_path);
    // The tables use the largest power of two of bytes in the size, 16 MB below 4 MB.
    const uint64_t mb[] = {1, 4, 8192, 1ULL << 44, UINT64_MAX};
    const uint64_t entries[] = {1 << 20, 1 << 18, 1 << 29, 1ULL << 59, 1ULL << 59};
    for (size_t i = 0; i < std::size(mb); ++i)
        EXPECT_EQ(entries[i], tt_entries_for_mb(mb[i])) << mb[i];
}

TEST_F(SettingsFile, HostileFilesGiveValuesInRange) {
    std::mt19937 rng(2024);
    std::string noise(300000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    for (const char* section : {"[ENGINE]\n", "[BOOK]\n", "[TABLEBASE]\n", "[TIME]\n"}) {
        load(section + noise);
        for (const Range& r : kRanges) {
            EXPECT_GE(r.stored(), r.lo) << r.key;
            EXPECT_LE(r.stored(), r.hi) << r.key;
        }
        EXPECT_LT(std::strlen(settings.book_file), sizeof settings.book_file);
        EXPECT_LT(std::strlen(settings.wdl_path), sizeof settings.wdl_path);
    }
}
