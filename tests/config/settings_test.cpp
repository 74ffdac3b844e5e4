#include "config/settings.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "eval/pawnhash.h"
#include "search/think.h"
#include "search/thread.h"

namespace {

namespace fs = std::filesystem;

const char* const kFile = "brontavel.ini";

// Runs each test in a fresh temporary working directory and puts back the working directory and
// every global the loader writes, whether or not the test passed.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_settings_ = settings;
        saved_pawn_entries_ = pawn_entries;
        saved_pawn_mb_ = pawn_mb;
        saved_side_ = main_search.engine_side;
        saved_time_control_ = time_control;
        saved_max_depth_ = search_info.max_depth;
        old_dir_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "brontavel-settings-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        ASSERT_EQ(0, chdir(dir_.c_str()));
    }
    void TearDown() override {
        std::error_code ec;
        fs::current_path(old_dir_, ec);
        EXPECT_FALSE(ec) << "cannot return to " << old_dir_;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
        settings = saved_settings_;
        pawn_entries = saved_pawn_entries_;
        pawn_mb = saved_pawn_mb_;
        main_search.engine_side = saved_side_;
        time_control = saved_time_control_;
        search_info.max_depth = saved_max_depth_;
    }

    static void write(const std::string& text, const char* name = kFile) {
        std::ofstream(name, std::ios::binary) << text;
    }

    // Loads the settings and returns what the loader printed.
    static std::string load(const char* name = kFile) {
        testing::internal::CaptureStdout();
        load_settings(name);
        return testing::internal::GetCapturedStdout();
    }

    // Loads a file holding just `section` with `key`=`value`.
    static std::string load_one(const char* section, const char* key, const std::string& value) {
        write("[" + std::string(section) + "]\n" + key + "=" + value + "\n");
        return load();
    }

  private:
    Settings saved_settings_;
    uint64_t saved_pawn_entries_ = 0;
    uint32_t saved_pawn_mb_ = 0;
    uint32_t saved_side_ = 0;
    TimeControl saved_time_control_;
    int saved_max_depth_ = 0;
    fs::path old_dir_;
    std::string dir_;
};

void expect_defaults() {
    EXPECT_EQ(64, settings.max_depth);
    EXPECT_EQ(2, settings.threads);
    EXPECT_TRUE(settings.post_thinking);
    EXPECT_EQ(8192u, settings.hash_mb);
    EXPECT_EQ(536870912u, settings.hash_entries); // 8 GiB of 16-byte entries
    EXPECT_EQ(24u, settings.pawn_hash_mb);
    EXPECT_EQ(1048576u, settings.pawn_hash_entries); // 16 MiB, the power of two below 24 MB
    EXPECT_EQ(1048576u, pawn_entries);
    EXPECT_EQ(24u, pawn_mb);
    EXPECT_STREQ("Kestrane_12.9c.bin", settings.book_file);
    EXPECT_TRUE(settings.book);
    EXPECT_TRUE(settings.rand_book);
    EXPECT_TRUE(settings.syzygy);
    EXPECT_STREQ("", settings.dtz_path);
    EXPECT_STREQ("", settings.wdl_path);
    EXPECT_EQ(5, settings.syzygy_men);
    EXPECT_EQ(64, search_info.max_depth);
    EXPECT_EQ(20, time_control.sudden_death);
    EXPECT_EQ(5, time_control.more_time);
    EXPECT_EQ(5, time_control.less_time);
    EXPECT_EQ(5, time_control.fast_game);
    EXPECT_EQ(15, time_control.fast_opening);
}

// Puts values into every field that the loader must overwrite.
void scramble() {
    settings.max_depth = 3;
    settings.threads = 9;
    settings.post_thinking = false;
    settings.hash_mb = 1;
    settings.hash_entries = 1;
    settings.pawn_hash_mb = 1;
    settings.pawn_hash_entries = 1;
    std::strcpy(settings.book_file, "old.bin");
    settings.book = settings.rand_book = settings.syzygy = false;
    std::strcpy(settings.dtz_path, "old");
    std::strcpy(settings.wdl_path, "old");
    settings.syzygy_men = 3;
    pawn_entries = 1;
    pawn_mb = 1;
    main_search.engine_side = 0;
    time_control = TimeControl{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    search_info.max_depth = 1;
}

TEST_F(SettingsTest, MissingOrEmptyFileGivesTheDefaults) {
    for (const char* text :
         {static_cast<const char*>(nullptr), "", "[ENGINE]\n[BOOK]\n[TABLEBASE]\n[TIME]\n"}) {
        if (text != nullptr) write(text);
        scramble();
        EXPECT_EQ("Thread allocated for lazySMP: 2\n", load());
        expect_defaults();
        EXPECT_EQ(720000, time_control.own_time);
        EXPECT_EQ(720000, time_control.move_time);
        EXPECT_EQ(720000, time_control.allotted);
        EXPECT_EQ(2u, main_search.engine_side);
    }
}

TEST_F(SettingsTest, EveryKeyIsReadFromItsSection) {
    write("[ENGINE]\n"
          "MaxDepth=12\n"
          "Thread=7\n"
          "PostThinking=false\n"
          "HashSize=64\n"
          "HashPawnSize=8\n"
          "[BOOK]\n"
          "BookFile=books/main.bin\n"
          "Book=no\n"
          "RandBook=no\n"
          "[TABLEBASE]\n"
          "Syzygy=no\n"
          "dtzPath=/tb/dtz\n"
          "wdlPath=/tb/wdl\n"
          "SyzygyMen=6\n"
          "[TIME]\n"
          "SuddenDeath=30\n"
          "MoreTime=6\n"
          "LessTime=7\n"
          "FastGame=8\n"
          "FastOpening=9\n");
    EXPECT_EQ("Thread allocated for lazySMP: 7\n", load());
    EXPECT_EQ(12, settings.max_depth);
    EXPECT_EQ(7, settings.threads);
    EXPECT_FALSE(settings.post_thinking);
    EXPECT_EQ(64u, settings.hash_mb);
    EXPECT_EQ(4194304u, settings.hash_entries);
    EXPECT_EQ(8u, settings.pawn_hash_mb);
    EXPECT_EQ(524288u, settings.pawn_hash_entries);
    EXPECT_EQ(524288u, pawn_entries);
    EXPECT_EQ(8u, pawn_mb);
    EXPECT_STREQ("books/main.bin", settings.book_file);
    EXPECT_FALSE(settings.book);
    EXPECT_FALSE(settings.rand_book);
    EXPECT_FALSE(settings.syzygy);
    EXPECT_STREQ("/tb/dtz", settings.dtz_path);
    EXPECT_STREQ("/tb/wdl", settings.wdl_path);
    EXPECT_EQ(6, settings.syzygy_men);
    EXPECT_EQ(720000, time_control.own_time);
    // The search sees the depth limit and the time settings.
    EXPECT_EQ(12, search_info.max_depth);
    EXPECT_EQ(30, time_control.sudden_death);
    EXPECT_EQ(6, time_control.more_time);
    EXPECT_EQ(7, time_control.less_time);
    EXPECT_EQ(8, time_control.fast_game);
    EXPECT_EQ(9, time_control.fast_opening);

    // The same file loaded under another name; the default name is not consulted.
    fs::rename(kFile, "other.ini");
    EXPECT_EQ("Thread allocated for lazySMP: 7\n", load("other.ini"));
    EXPECT_EQ(12, settings.max_depth);
    EXPECT_EQ("Thread allocated for lazySMP: 2\n", load());
}

TEST_F(SettingsTest, KeysInTheWrongSectionAreIgnored) {
    write("MaxDepth=3\n"
          "[BOOK]\n"
          "HashSize=100\n"
          "Thread=5\n"
          "[ENGINE]\n"
          "BookFile=wrong.bin\n"
          "SyzygyMen=3\n"
          "[TABLEBASE]\n"
          "SuddenDeath=30\n"
          "[TIME]\n"
          "Syzygy=false\n");
    EXPECT_EQ("Thread allocated for lazySMP: 2\n", load());
    expect_defaults();
}

struct NumberCase {
    const char* section;
    const char* key;
    const char* value;
    int expected;
};

// Reads back the integer setting named by the case.
int stored(const NumberCase& c) {
    const std::string key = c.key;
    if (key == "MaxDepth") return settings.max_depth;
    if (key == "Thread") return settings.threads;
    if (key == "SyzygyMen") return settings.syzygy_men;
    if (key == "SuddenDeath") return time_control.sudden_death;
    if (key == "MoreTime") return time_control.more_time;
    if (key == "LessTime") return time_control.less_time;
    if (key == "FastGame") return time_control.fast_game;
    if (key == "FastOpening") return time_control.fast_opening;
    ADD_FAILURE() << "no such key " << key;
    return -1;
}

TEST_F(SettingsTest, IntegersOutsideTheirRangeTakeTheFallback) {
    const NumberCase cases[] = {
        {"ENGINE", "MaxDepth", "1", 1},
        {"ENGINE", "MaxDepth", "64", 64},
        {"ENGINE", "MaxDepth", "0x20", 32},
        {"ENGINE", "MaxDepth", "0X3f", 63},
        {"ENGINE", "MaxDepth", "0", 64},
        {"ENGINE", "MaxDepth", "65", 64},
        {"ENGINE", "MaxDepth", "-1", 64},
        {"ENGINE", "MaxDepth", "deep", 64},
        {"ENGINE", "MaxDepth", "", 64},
        {"ENGINE", "MaxDepth", "300", 64}, // not cut to 8 bits before the check
        {"ENGINE", "MaxDepth", "12 ; plies", 12},
        {"ENGINE", "MaxDepth", "99999999999999999999", 64},
        {"ENGINE", "Thread", "1", 1},
        {"ENGINE", "Thread", "24", 24},
        {"ENGINE", "Thread", "25", 1},
        {"ENGINE", "Thread", "257", 1},
        {"ENGINE", "Thread", "many", 1},
        {"ENGINE", "Thread", "", 2},
        {"ENGINE", "Thread", "# none", 2},
        {"TABLEBASE", "SyzygyMen", "3", 3},
        {"TABLEBASE", "SyzygyMen", "7", 7},
        {"TABLEBASE", "SyzygyMen", "2", 5},
        {"TABLEBASE", "SyzygyMen", "8", 5},
        {"TIME", "SuddenDeath", "10", 10},
        {"TIME", "SuddenDeath", "40", 40},
        {"TIME", "SuddenDeath", "9", 20},
        {"TIME", "SuddenDeath", "41", 20},
        {"TIME", "MoreTime", "15", 15},
        {"TIME", "MoreTime", "16", 5},
        {"TIME", "LessTime", "4", 5},
        {"TIME", "LessTime", "12", 12},
        {"TIME", "FastGame", "0", 5},
        {"TIME", "FastGame", "10", 10},
        {"TIME", "FastOpening", "5", 5},
        {"TIME", "FastOpening", "4", 15},
        {"TIME", "FastOpening", "16", 15},
        {"TIME", "FastOpening", "", 15},
    };
    for (const NumberCase& c : cases) {
        load_one(c.section, c.key, c.value);
        EXPECT_EQ(c.expected, stored(c)) << c.key << "=" << c.value;
    }
}

TEST_F(SettingsTest, ThreadCountIsPrintedAsStored) {
    EXPECT_EQ("Thread allocated for lazySMP: 1\n", load_one("ENGINE", "Thread", "0"));
    EXPECT_EQ("Thread allocated for lazySMP: 1\n", load_one("ENGINE", "Thread", "30"));
    EXPECT_EQ("Thread allocated for lazySMP: 24\n", load_one("ENGINE", "Thread", "0x18"));
}

TEST_F(SettingsTest, HashSizesGiveEntryCounts) {
    struct Case {
        const char* value;
        uint64_t mb;
        uint64_t entries;
    };
    const Case tt_cases[] = {
        {"100", 100, 4194304},                           // 64 MiB used
        {"3", 3, 1048576},                               // below 4 MB: 16 MiB
        {"1", 1, 1048576},                               //
        {"4", 4, 262144},                                //
        {"5", 5, 262144},                                //
        {"8192", 8192, 536870912}, {"0", 256, 16777216}, // out of range: 256 MB
        {"9000", 256, 16777216},                         //
        {"-5", 256, 16777216},                           //
        {"lots", 256, 16777216},                         //
        {"", 8192, 536870912},                           // empty: the default
    };
    for (const Case& c : tt_cases) {
        load_one("ENGINE", "HashSize", c.value);
        EXPECT_EQ(c.mb, settings.hash_mb) << c.value;
        EXPECT_EQ(c.entries, settings.hash_entries) << c.value;
    }
    const Case pawn_cases[] = {
        {"25", 4, 262144}, {"0", 4, 262144}, {"24", 24, 1048576}, {"1", 1, 1048576},
        {"4", 4, 262144},  {"6", 6, 262144}, {"8", 8, 524288},    {"", 24, 1048576},
    };
    for (const Case& c : pawn_cases) {
        load_one("ENGINE", "HashPawnSize", c.value);
        EXPECT_EQ(c.mb, settings.pawn_hash_mb) << c.value;
        EXPECT_EQ(c.entries, settings.pawn_hash_entries) << c.value;
        EXPECT_EQ(c.mb, pawn_mb) << c.value;
        EXPECT_EQ(c.entries, pawn_entries) << c.value;
    }
}

TEST(SettingsEntryRule, PowersOfTwoOfTheBytes) {
    EXPECT_EQ(1048576u, tt_entries_for_mb(1));
    EXPECT_EQ(1048576u, tt_entries_for_mb(3));
    EXPECT_EQ(262144u, tt_entries_for_mb(4));
    EXPECT_EQ(262144u, tt_entries_for_mb(7));
    EXPECT_EQ(524288u, tt_entries_for_mb(8));
    EXPECT_EQ(4194304u, tt_entries_for_mb(100));
    EXPECT_EQ(536870912u, tt_entries_for_mb(8192));
    // Sizes whose byte count does not fit in 64 bits neither wrap nor hang.
    EXPECT_EQ(uint64_t{1} << 59, tt_entries_for_mb(uint64_t{1} << 44));
    EXPECT_EQ(uint64_t{1} << 59, tt_entries_for_mb(UINT64_MAX));
}

TEST_F(SettingsTest, BooleansFromTheFirstLetter) {
    for (const char* off : {"no", "false", "0", "NO", "False", "n", "0x1"}) {
        load_one("BOOK", "Book", off);
        EXPECT_FALSE(settings.book) << off;
    }
    for (const char* on : {"yes", "true", "1", "Y", "TRUE", "\"yes\""}) {
        load_one("BOOK", "Book", on);
        EXPECT_TRUE(settings.book) << on;
    }
    for (const char* other : {"maybe", "", "2", "on", "; no"}) {
        load_one("BOOK", "Book", other);
        EXPECT_TRUE(settings.book) << other;
    }
    load_one("ENGINE", "PostThinking", "f");
    EXPECT_FALSE(settings.post_thinking);
    load_one("BOOK", "RandBook", "F");
    EXPECT_FALSE(settings.rand_book);
    load_one("TABLEBASE", "Syzygy", "0");
    EXPECT_FALSE(settings.syzygy);
}

TEST_F(SettingsTest, TextsAreCutToTheirFields) {
    load_one("BOOK", "BookFile", std::string(150, 'b'));
    EXPECT_EQ(std::string(99, 'b'), settings.book_file);
    write("[TABLEBASE]\n"
          "dtzPath=" +
          std::string(300, 'd') +
          "\n"
          "wdlPath=" +
          std::string(256, 'w') + "\n");
    load();
    EXPECT_EQ(std::string(255, 'd'), settings.dtz_path);
    EXPECT_EQ(std::string(255, 'w'), settings.wdl_path);

    // An empty value is an empty text, not the default.
    load_one("BOOK", "BookFile", "");
    EXPECT_STREQ("", settings.book_file);
    load_one("BOOK", "BookFile", "  ; no book");
    EXPECT_STREQ("", settings.book_file);
    // Quotes keep blanks and comment characters.
    load_one("TABLEBASE", "wdlPath", "\"/my tables/#5;6\"  ; comment");
    EXPECT_STREQ("/my tables/#5;6", settings.wdl_path);
}

TEST_F(SettingsTest, CommentsCaseQuotesColonsAndCarriageReturns) {
    write("; brontavel settings\r\n"
          "\r\n"
          "[engine]\r\n"
          "# MaxDepth=3\r\n"
          ";Thread=9\r\n"
          "maxdepth = 0x20 ; hexadecimal\r\n"
          "THREAD: 4\r\n"
          "hashsize=100\r\n"
          "  HashPawnSize : \"8\"\r\n"
          "[Book]\r\n"
          "bookfile = \"my book.bin\"\r\n"
          "book: no\r\n"
          "[tablebase]\r\n"
          "DTZPATH=C:\\tb\\dtz\r\n"
          "wdlpath: C:\\tb\\wdl\r\n"
          "syzygymen=6\r\n"
          "[time]\r\n"
          "suddendeath=25\r\n"
          "fastopening=10");
    EXPECT_EQ("Thread allocated for lazySMP: 4\n", load());
    EXPECT_EQ(32, settings.max_depth);
    EXPECT_EQ(4, settings.threads);
    EXPECT_EQ(4194304u, settings.hash_entries);
    EXPECT_EQ(8u, settings.pawn_hash_mb);
    EXPECT_STREQ("my book.bin", settings.book_file);
    EXPECT_FALSE(settings.book);
    EXPECT_STREQ("C:\\tb\\dtz", settings.dtz_path);
    EXPECT_STREQ("C:\\tb\\wdl", settings.wdl_path);
    EXPECT_EQ(6, settings.syzygy_men);
    EXPECT_EQ(25, time_control.sudden_death);
    EXPECT_EQ(10, time_control.fast_opening);
}

TEST_F(SettingsTest, HostileFilesLeaveDefaultsAndReadableKeys) {
    // Over-long lines, binary bytes and zero bytes around real keys.
    std::string text = "[ENGINE]\n" + std::string(70000, 'x') + "\n" +
                       "MaxDepth=" + std::string(5000, '9') + "\n" +
                       std::string("\x01\xff\x80=\x7f\n") + std::string("Thread") + '\0' + "=9\n" +
                       "Thread=3\n" + "[BOOK]\n" + "BookFile=" + std::string(2000, '\xff') + "\n";
    write(text);
    EXPECT_EQ("Thread allocated for lazySMP: 3\n", load());
    EXPECT_EQ(64, settings.max_depth); // a huge number takes the fallback
    EXPECT_STREQ("", settings.book_file);

    // Noise with and without line breaks.
    std::mt19937 rng(2024);
    std::string noise(300000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    std::string flat = noise;
    for (char& c : flat)
        if (c == '\n' || c == '[') c = '.';
    write(flat);
    EXPECT_EQ("Thread allocated for lazySMP: 2\n", load());
    expect_defaults();
    for (const char* section : {"[ENGINE]\n", "[BOOK]\n", "[TABLEBASE]\n", "[TIME]\n"}) {
        write(section + noise);
        const std::string out = load();
        EXPECT_EQ(0u, out.find("Thread allocated for lazySMP: ")) << out;
        EXPECT_LT(std::strlen(settings.book_file), sizeof settings.book_file);
        EXPECT_LT(std::strlen(settings.dtz_path), sizeof settings.dtz_path);
        EXPECT_LT(std::strlen(settings.wdl_path), sizeof settings.wdl_path);
        EXPECT_GE(settings.max_depth, 1);
        EXPECT_LE(settings.max_depth, 64);
        EXPECT_GE(settings.threads, 1);
        EXPECT_LE(settings.threads, 24);
        EXPECT_GE(settings.syzygy_men, 3);
        EXPECT_LE(settings.syzygy_men, 7);
    }
}

} // namespace
