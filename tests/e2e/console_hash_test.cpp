// Transcripts of the console's hash-table commands through the real binary.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "e2e/session.h"

using e2e::console;
using e2e::kPrompt;

namespace {

// The replies to each command, split at the prompts.
std::vector<std::string> replies(const std::string& out) {
    std::vector<std::string> r;
    size_t start = 0;
    for (size_t p; (p = out.find(kPrompt, start)) != std::string::npos; start = p + 12)
        r.push_back(out.substr(start, p - start));
    r.push_back(out.substr(start));
    return r;
}

// Runs "hstore 9" and "dump" on a table of 1048576 entries in a working directory of its own
// (set up by the caller); returns the transcript once the engine has ended.
std::string dump_session(e2e::Session& s) {
    for (const char* line : {"c", "hstore 9", "dump", "quit"}) s.send(line);
    EXPECT_EQ(0, s.wait_exit());
    return s.transcript();
}

} // namespace

TEST(ConsoleHash, StartupAllocatesTheTables) {
    const auto r = e2e::run_engine("c\nquit\n");
    const std::string out = e2e::after_startup(r.out);
    // The transposition table is announced, the main pawn table is not, each thread's is.
    EXPECT_EQ(0u, out.find("Allocated "));
    EXPECT_NE(std::string::npos, out.find(" MB for the Hash Table\n"));
    EXPECT_NE(std::string::npos, out.find(" MB for the HashPawn Table for Thread 1\n"));
    EXPECT_EQ(std::string::npos, out.find("for Thread 0"));
    EXPECT_NE(std::string::npos,
              out.find("\nWelcome in brontavel\ntype \"help\" to show commands list\n"));
}

TEST(ConsoleHash, StoreProbeAndClear) {
    const auto r = replies(console("hprobe\nhstore 7\nhprobe\nclear\nhprobe\nhstore\nhprobe\n"
                                   "hstore 0x101\ne2e4\nhprobe\nsize\n"));
    ASSERT_GE(r.size(), 11u);
    EXPECT_EQ("Hash Probe KO\n", r[0]);
    EXPECT_EQ("Stored with aging: 7\n", r[1]);
    EXPECT_EQ("Hash Probe OK\n", r[2]);
    EXPECT_EQ("", r[3]);
    EXPECT_EQ("Hash Probe KO\n", r[4]);
    EXPECT_EQ("Stored with aging: 0\n", r[5]); // no number reads as 0
    EXPECT_EQ("Hash Probe OK\n", r[6]);
    EXPECT_EQ("Stored with aging: 1\n", r[7]);                   // the age keeps 8 bits
    EXPECT_EQ("Hash Probe KO\n", r[9].substr(r[9].size() - 14)); // another position
    EXPECT_EQ("Hash record size: 16 byte  (128 bit)\n"
              "Hash Data   size:  8 byte  ( 64 bit)\n\n"
              "HashPawn    size: 24 byte  (192 bit)\n",
              r[10]);
}

TEST(ConsoleHash, MemoryResizesOrRefuses) {
    const auto r = replies(console("memory 3\nmemory 100\nmemory 9000\nmemory 0\nmemory x\n"
                                   "memory\nhstore 5\nhprobe\n"));
    ASSERT_GE(r.size(), 8u);
    EXPECT_EQ("Allocated 3 MB for the Hash Table\n", r[0]);
    EXPECT_EQ("Allocated 100 MB for the Hash Table\n", r[1]);
    const std::string refused = "Error: insert a number between 4 and 8192 \n"
                                "tellusererror Error (size out of bound): Insert size between 4 "
                                "and 8192\n";
    for (int i = 2; i <= 5; ++i) EXPECT_EQ(refused, r[i]) << i;
    // The new table works.
    EXPECT_EQ("Stored with aging: 5\n", r[6]);
    EXPECT_EQ("Hash Probe OK\n", r[7]);
}

TEST(ConsoleHash, DumpWritesTheTable) {
    e2e::Session s("[ENGINE]\nHashSize=1\nHashPawnSize=1\nThread=1\n");
    EXPECT_NE(std::string::npos, dump_session(s).find("\nbrontavel> Tot: 1048576\n"));
    std::ifstream csv(std::filesystem::path(s.dir()) / "DumpHash" / "dump.csv");
    ASSERT_TRUE(csv.good());
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ("Key;Score;Depth;Age;Best;Flags;", line);
    size_t lines = 0, stored = 0;
    while (std::getline(csv, line)) {
        ++lines;
        if (line.find(";100;1;9;a1a1;1;") != std::string::npos) ++stored;
    }
    EXPECT_EQ(1048576u, lines);
    EXPECT_EQ(1u, stored);
}

TEST(ConsoleHash, DumpWithoutItsFolderWritesNothing) {
    // A file takes the folder's name, so the folder cannot be made.
    e2e::Session s("[ENGINE]\nHashSize=1\nHashPawnSize=1\nThread=1\n",
                   {{"DumpHash", "not a folder"}});
    const std::string out = dump_session(s);
    EXPECT_NE(std::string::npos, out.find("\nbrontavel> File non trovato\n\nbrontavel> "));
    EXPECT_EQ(std::string::npos, out.find("Tot:"));
    std::ifstream file(std::filesystem::path(s.dir()) / "DumpHash");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ("not a folder", text.str());
}
