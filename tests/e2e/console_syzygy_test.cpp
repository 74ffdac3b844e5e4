// The console's "syzygy" command: the tablebase self-test on files below the engine's working
// directory, with its output going to a pipe.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "testdata.h"

namespace {

namespace fs = std::filesystem;

using namespace std::chrono_literals;

std::string test_file(int number) {
    return "D:/Release Under Test/TestSyzygy/TestCase_0" + std::to_string(number) + ".txt";
}

std::string paths_shown(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += test_file(i) + "\n";
    return text;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ConsoleSyzygyE2e, ReferenceFilesRunToTheEndWithoutTerminalCodes) {
    REQUIRE_TESTDATA(data);
    const fs::path source = fs::path(data) / "tb-selftest";
    const std::string tables = (fs::path(data) / "syzygy").string();
    if (!fs::exists(source / "TestCase_09.txt")) GTEST_SKIP() << "no self-test files in " << source;
    if (tables.size() > 255) GTEST_SKIP() << "the table folder's path is too long for the settings";

    std::vector<e2e::WorkFile> files = {
        {"brontavel.ini", std::string(e2e::kSmallTables) + "[TABLEBASE]\nSyzygy=true\ndtzPath=" +
                              tables + "\nwdlPath=" + tables + "\n"}};
    for (int i = 1; i <= 9; ++i)
        files.push_back(
            {test_file(i), read_file(source / ("TestCase_0" + std::to_string(i) + ".txt"))});
    // "b" shows the console is still there, on a valid position, after the test.
    const auto r = e2e::run_engine("c\nsyzygy\nb\nquit\n", 120s, files);
    EXPECT_EQ(0, r.exit_status);
    EXPECT_EQ(std::string::npos, r.out.find('\033'));

    const std::string out = e2e::after_startup(r.out);
    const size_t prompt = out.find(e2e::kPrompt);
    ASSERT_NE(std::string::npos, prompt) << out;
    const std::string reply = out.substr(prompt + std::string(e2e::kPrompt).size());
    const std::string expected = paths_shown(9) + "\nSyzygy Test ended.\n" + e2e::kPrompt;
    EXPECT_EQ(expected, reply.substr(0, expected.size()));
    EXPECT_NE(std::string::npos, reply.find("A   B   C   D   E   F   G   H", expected.size()))
        << reply;
}

TEST(ConsoleSyzygyE2e, AMissingTestFileEndsTheEngineWithStatusOne) {
    // The lines need no tables: none of them has a readable FEN.
    std::vector<e2e::WorkFile> files;
    for (int i = 1; i <= 8; ++i) files.push_back({test_file(i), "no position,0,0\n"});
    const auto r = e2e::run_engine("c\nsyzygy\nb\nquit\n", 60s, files);
    EXPECT_EQ(1, r.exit_status);
    const std::string out = e2e::after_startup(r.out);
    const size_t prompt = out.find(e2e::kPrompt);
    ASSERT_NE(std::string::npos, prompt) << out;
    // Nothing follows: the engine has ended.
    EXPECT_EQ(paths_shown(8) + "File not found\n",
              out.substr(prompt + std::string(e2e::kPrompt).size()));
}

} // namespace
