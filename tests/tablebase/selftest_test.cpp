// The tablebase self-test on test files in a scratch working directory: where each line ends up,
// the progress report, and the end of the program when a file is missing.
#include "tablebase/selftest.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "board/board_helpers.h"
#include "tablebase/tb_helpers.h"
#include "testdata.h"

using namespace tbtest;

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolder = "D:/Release Under Test/TestSyzygy/";
constexpr const char* kEnded = "\nSyzygy Test ended.\n";

// Probed values checked against the four-piece tables.
const std::string kWhiteWins = "8/8/2Q5/8/2K5/8/8/4k3 w - - 0 26"; // DTZ 5, WDL 2
const std::string kBlackLoses = "8/8/7Q/k7/8/8/2K5/8 b - - 0 73";  // DTZ -10, WDL -2
const std::string kBareKings = "8/8/8/8/K7/8/3k4/8 w - - 0 1";     // DTZ 0, WDL 0

std::string in_folder(const char* name) {
    return kFolder + std::string(name);
}

std::string test_file(int number) {
    return in_folder("TestCase_0") + std::to_string(number) + ".txt";
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

// The paths the self-test prints for the nine test files.
std::string paths_shown() {
    std::string text;
    for (int i = 1; i <= 9; ++i) text += test_file(i) + "\n";
    return text;
}

// Each test runs in a fresh working directory holding the test folder; the working directory is
// restored and the registry emptied afterwards, whatever the outcome.
class TbSelfTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(nullptr, getcwd(old_dir_, sizeof old_dir_));
        std::string pattern = (fs::temp_directory_path() / "tb-selftest-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        ASSERT_EQ(0, chdir(dir_.c_str()));
        fs::create_directories(kFolder);
        stack_ = make_stack();
    }
    void TearDown() override {
        if (chdir(old_dir_) != 0) ADD_FAILURE() << "cannot return to " << old_dir_;
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
        unload_tables();
    }
    std::string run() {
        testing::internal::CaptureStdout();
        tb_self_test(*stack_);
        return testing::internal::GetCapturedStdout();
    }

    std::unique_ptr<PositionStack> stack_;
    char old_dir_[4096] = {};
    std::string dir_;
};

using TbSelfTestDeathTest = TbSelfTest;

TEST_F(TbSelfTest, EachLineGoesToTheFilesOfItsMismatchesWithProgressEveryHundredThousand) {
    REQUIRE_TESTDATA(data);
    init_tables(data + "/syzygy");
    std::string padding;
    for (int i = 1; i < 100000; ++i) padding += "-\n";
    struct Line {
        int file;
        std::string text;
        bool dtz, wdl, fen; // the files it belongs to: ErrorDTZ, ErrorWDL, BadFEN
    };
    const Line lines[] = {
        {1, kWhiteWins + ",4,1\n", true, true, false},
        {1, kBlackLoses + ",10,-2\n", true, false, false},
        // Missing or malformed numbers count as 0: wrong for the queen, right for the bare kings.
        {1, kWhiteWins + "\n", true, true, false},
        {1, "8/8/8/8/8/8/8/8 w - - 0 1,0,0\n", false, false, true},
        {1, kWhiteWins + ",5,2\r\n", false, false, false},
        {3, kBareKings + ",,\n", false, false, false},
        {3, kBareKings + ",zero,none\n", false, false, false},
        {3, ",,,\n", false, false, true},
        // A first piece of nothing but separators has no FEN at all; the line break left over
        // is a second unreadable line.
        {3, std::string(254, ',') + "\n", false, false, true},
        // A line of 600 characters is read as three pieces, each a line without a readable FEN.
        {3, std::string(599, 'x') + "\n", false, false, true},
        // Leading, doubled and trailing separators are passed over; a sign is read.
        {3, ",," + kBlackLoses + ",,-10,,-2,,9\n", false, false, false},
        // Unreadable padding: the next line is the 100000th of its file, so the progress is shown
        // before it is read.
        {9, padding, false, false, true},
        {9, kBlackLoses + ",-10,2\n", false, true, false},
        // A line longer than the FEN limit but within the line limit.
        {9, kBareKings + std::string(220, ' ') + ",0,0\n", false, false, true},
        {9, "\n", false, false, true},
        // The last line has no line break.
        {9, kWhiteWins + ",4,1", true, true, false},
    };
    std::string files[10], dtz, wdl, fen = "earlier\n"; // file 2 stays empty; results append
    for (int i = 4; i <= 8; ++i) files[i] = kWhiteWins + ",5,2\n";
    for (const Line& line : lines) {
        files[line.file] += line.text;
        if (line.dtz) dtz += line.text;
        if (line.wdl) wdl += line.text;
        if (line.fen) fen += line.text;
    }
    for (int i = 1; i <= 9; ++i) write_file(test_file(i), files[i]);
    write_file(in_folder("BadFEN.txt"), "earlier\n");

    // The counts run over all files (FEN errors: 7 pieces of the first files and the padding),
    // the line count restarts with each file. 100000 lines fill 4 % of the bar, two of its 60
    // bars; the shares are of 2500000 lines.
    const std::string report = test_file(9) + "\n\r  4% [||" + std::string(58, ' ') + "]\n" +
                               "WDL Error:           2   0.00%\n"
                               "DTZ Error:           3   0.00%\n"
                               "FEN Error:      100006   4.00%\n";
    EXPECT_EQ(paths_shown() + report + kEnded, run());
    EXPECT_EQ(dtz, read_file(in_folder("ErrorDTZ.txt")));
    EXPECT_EQ(wdl, read_file(in_folder("ErrorWDL.txt")));
    EXPECT_EQ(fen, read_file(in_folder("BadFEN.txt")));
    // The last line read set up the position; a refused FEN leaves the stack as it was.
    EXPECT_EQ(fen_of(*stack_from(kWhiteWins)->current), fen_of(*stack_->current));
}

TEST_F(TbSelfTestDeathTest, AFileThatCannotBeOpenedEndsTheProgram) {
    // What the self-test prints goes to the error stream, where the death test looks for it.
    auto run_to_the_end = [this] {
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        tb_self_test(*stack_);
    };
    // The ninth test file is missing: the first eight are run, then the program ends.
    for (int i = 1; i <= 8; ++i) write_file(test_file(i), kBareKings + ",0,0\n");
    EXPECT_EXIT(run_to_the_end(), testing::ExitedWithCode(1),
                "TestCase_08\\.txt\nFile not found\n$");
    // A result file that cannot be opened for appending stops the run before the first file.
    write_file(test_file(9), "");
    fs::remove(in_folder("ErrorWDL.txt"));
    fs::create_directories(in_folder("ErrorWDL.txt"));
    EXPECT_EXIT(run_to_the_end(), testing::ExitedWithCode(1), "^File not found\n$");
}

} // namespace
