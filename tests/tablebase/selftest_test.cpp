// The tablebase self-test on test files in a scratch working directory: where each line ends up,
// the progress report, and the end of the program when a file is missing.
#include "tablebase/selftest.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "board/board_helpers.h"
#include "tablebase/tablebase.h"
#include "tablebase/tb_helpers.h"
#include "testdata.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolder = "D:/Release Under Test/TestSyzygy";

// Probed values checked against the four-piece tables.
constexpr const char* kWhiteWins = "8/8/2Q5/8/2K5/8/8/4k3 w - - 0 26"; // DTZ 5, WDL 2
constexpr const char* kBlackLoses = "8/8/7Q/k7/8/8/2K5/8 b - - 0 73";  // DTZ -10, WDL -2
constexpr const char* kBareKings = "8/8/8/8/K7/8/3k4/8 w - - 0 1";     // DTZ 0, WDL 0

std::string test_file(int number) {
    return std::string(kFolder) + "/TestCase_0" + std::to_string(number) + ".txt";
}

std::string result_file(const char* name) {
    return std::string(kFolder) + "/" + name;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The paths the self-test prints for the first `count` files when nothing goes wrong.
std::string paths_shown(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += test_file(i) + "\n";
    return text;
}

constexpr const char* kEnded = "\nSyzygy Test ended.\n";

// The temporary folder a death test's child removes when the program ends under it.
char g_child_dir[4096];

// Each test runs in a fresh working directory holding the test folder, with the four-piece tables
// loaded; the working directory is restored and the registry emptied afterwards, whatever the
// outcome.
class TbSelfTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(nullptr, getcwd(old_dir_, sizeof old_dir_));
        std::string pattern = (fs::temp_directory_path() / "tb-selftest-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        ASSERT_EQ(0, chdir(dir_.c_str()));
        moved_ = true;
        fs::create_directories(kFolder);
        stack_ = make_stack();
    }

    void TearDown() override {
        if (moved_ && chdir(old_dir_) != 0) ADD_FAILURE() << "cannot return to " << old_dir_;
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
        if (loaded_) tbtest::unload_tables();
    }

    void load_tables(const std::string& data) {
        tbtest::init_tables(data + "/syzygy");
        loaded_ = true;
    }

    std::string run() {
        testing::internal::CaptureStdout();
        tb_self_test(*stack_);
        return testing::internal::GetCapturedStdout();
    }

    // Runs the self-test in a death test's child: what it prints goes to the error stream, where
    // the death test looks for it, and the child's working directory goes when the program ends.
    void run_to_the_end() {
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        std::snprintf(g_child_dir, sizeof g_child_dir, "%s", dir_.c_str());
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(g_child_dir, ignored);
        });
        tb_self_test(*stack_);
    }

    std::unique_ptr<PositionStack> stack_;

  private:
    char old_dir_[4096] = {};
    std::string dir_;
    bool moved_ = false;
    bool loaded_ = false;
};

using TbSelfTestDeathTest = TbSelfTest;

TEST_F(TbSelfTest, ReferenceFilesAgreeWithTheProbes) {
    REQUIRE_TESTDATA(data);
    const fs::path source = fs::path(data) / "tb-selftest";
    if (!fs::exists(source / "TestCase_09.txt")) GTEST_SKIP() << "no self-test files in " << source;
    load_tables(data);
    std::string last_line;
    for (int i = 1; i <= 9; ++i) {
        std::string text =
            read_file((source / ("TestCase_0" + std::to_string(i) + ".txt")).string());
        ASSERT_FALSE(text.empty()) << i;
        write_file(test_file(i), text);
        if (i == 9) {
            const size_t begin = text.rfind('\n', text.size() - 2);
            last_line = text.substr(begin == std::string::npos ? 0 : begin + 1);
        }
    }

    EXPECT_EQ(paths_shown(9) + kEnded, run());
    for (const char* name : {"ErrorDTZ.txt", "ErrorWDL.txt", "BadFEN.txt"}) {
        EXPECT_TRUE(fs::exists(result_file(name))) << name;
        EXPECT_EQ("", read_file(result_file(name))) << name;
    }
    // The stack holds the last position of the last file.
    const std::string fen = last_line.substr(0, last_line.find(','));
    const auto expected = stack_from(fen);
    ASSERT_TRUE(expected) << fen;
    EXPECT_EQ(fen_of(*expected->current), fen_of(*stack_->current));
    EXPECT_EQ(stack_->boards, stack_->current);
}

TEST_F(TbSelfTest, EachLineGoesToTheFilesOfItsMismatches) {
    REQUIRE_TESTDATA(data);
    load_tables(data);
    const std::string both_wrong = std::string(kWhiteWins) + ",4,1\n";
    const std::string dtz_wrong = std::string(kBlackLoses) + ",10,-2\n";
    const std::string wdl_wrong = std::string(kBlackLoses) + ",-10,2\n";
    // Missing or malformed numbers count as 0: right for the bare kings, wrong for the queen.
    const std::string no_numbers = std::string(kWhiteWins) + "\n";
    const std::string empty_numbers = std::string(kBareKings) + ",,\n";
    const std::string words = std::string(kBareKings) + ",zero,none\n";
    const std::string bad_fen = "8/8/8/8/8/8/8/8 w - - 0 1,0,0\n";
    const std::string no_fen = ",,,\n";
    const std::string empty = "\n";
    // A line of 600 characters is read as three pieces, each a line without a readable FEN.
    const std::string overlong = std::string(599, 'x') + "\n";
    // A first piece of nothing but separators has no FEN at all.
    const std::string commas = std::string(254, ',') + "\n";
    // A line longer than the FEN limit but within the line limit.
    const std::string long_fen = std::string(kBareKings) + std::string(220, ' ') + ",0,0\n";
    // Leading, doubled and trailing separators are passed over; a sign is read.
    const std::string separators = ",," + std::string(kBlackLoses) + ",,-10,,-2,,9\n";
    const std::string correct = std::string(kWhiteWins) + ",5,2\r\n";

    write_file(test_file(1), both_wrong + dtz_wrong + no_numbers + bad_fen + correct);
    write_file(test_file(2), "");
    write_file(test_file(3), empty_numbers + words + no_fen + commas + overlong + separators);
    for (int i = 4; i <= 8; ++i) write_file(test_file(i), correct);
    // The last line has no line break.
    write_file(test_file(9),
               wdl_wrong + long_fen + empty + both_wrong.substr(0, both_wrong.size() - 1));
    // Earlier results are kept: the files are appended to.
    write_file(result_file("BadFEN.txt"), "earlier\n");

    EXPECT_EQ(paths_shown(9) + kEnded, run());
    EXPECT_EQ(both_wrong + dtz_wrong + no_numbers + both_wrong.substr(0, both_wrong.size() - 1),
              read_file(result_file("ErrorDTZ.txt")));
    EXPECT_EQ(both_wrong + no_numbers + wdl_wrong + both_wrong.substr(0, both_wrong.size() - 1),
              read_file(result_file("ErrorWDL.txt")));
    EXPECT_EQ("earlier\n" + bad_fen + no_fen + commas + overlong + long_fen + empty,
              read_file(result_file("BadFEN.txt")));
    // The last line read set up the position; a refused FEN leaves the stack as it was.
    EXPECT_EQ(fen_of(*stack_from(kWhiteWins)->current), fen_of(*stack_->current));
}

TEST_F(TbSelfTest, ProgressEveryHundredThousandLinesOfAFileWithTheRunningCounts) {
    REQUIRE_TESTDATA(data);
    load_tables(data);
    // Unreadable padding lines are cheap; each is a FEN error.
    auto padding = [](size_t lines) {
        std::string text;
        text.reserve(lines * 2);
        for (size_t i = 0; i < lines; ++i) text += "-\n";
        return text;
    };
    // The counts run over all files, the line count restarts with each file: 60000 lines in the
    // first and 99999 in the second show nothing yet.
    write_file(test_file(1), std::string(kWhiteWins) + ",4,1\n" + std::string(kBlackLoses) +
                                 ",9,-2\n" + padding(59998));
    write_file(test_file(2), padding(99999));
    write_file(test_file(3), std::string(kBlackLoses) + ",-10,-1\n" + padding(99999) +
                                 std::string(kWhiteWins) + ",5,2\n");
    for (int i = 4; i <= 9; ++i) write_file(test_file(i), "");

    // Line 100000 of the third file is reported before it is read; 59998 + 99999 + 99998
    // unreadable lines come before it. 100000 lines fill 4 % of the bar: two of its 60 bars.
    const std::string report = test_file(3) + "\n" + "\r  4% [||" + std::string(58, ' ') + "]\n" +
                               "WDL Error:           2   0.00%\n"
                               "DTZ Error:           2   0.00%\n"
                               "FEN Error:      259995   10.40%\n";
    EXPECT_EQ(paths_shown(3) + report + paths_shown(9).substr(paths_shown(3).size()) + kEnded,
              run());
    EXPECT_EQ(std::string(kWhiteWins) + ",4,1\n" + std::string(kBlackLoses) + ",-10,-1\n",
              read_file(result_file("ErrorWDL.txt")));
}

TEST_F(TbSelfTestDeathTest, AFileThatCannotBeOpenedEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The ninth test file is missing: the first eight are run, then the program ends.
    for (int i = 1; i <= 8; ++i) write_file(test_file(i), std::string(kBareKings) + ",0,0\n");
    EXPECT_EXIT(run_to_the_end(), testing::ExitedWithCode(1),
                "TestCase_08\\.txt\nFile not found\n$");

    // A result file that cannot be opened for appending stops the run before the first file.
    write_file(test_file(9), "");
    fs::create_directories(result_file("ErrorWDL.txt"));
    EXPECT_EXIT(run_to_the_end(), testing::ExitedWithCode(1), "^File not found\n$");

    // Without the test folder nothing runs.
    fs::remove_all("D:");
    EXPECT_EXIT(run_to_the_end(), testing::ExitedWithCode(1), "^File not found\n$");
}

} // namespace
