// The engine as interfaces and match tools drive it: options set with "setoption", the input read
// during every search, the limits of each "go", the counters of the iteration lines and the
// command-line benchmark.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "e2e/uci_client.h"
#include "testdata.h"

namespace {

using namespace uci_client;

// One thread, so that node counts repeat exactly.
const std::string kOneThread = std::string(e2e::kSmallTables) + "Thread=1\n";

// How fast "stop" and "isready" must be answered during a search; sanitizer builds run several
// times slower.
double prompt_bound_ms() {
    return quick_mode() ? 250 : 50;
}

// Sends `go` and returns the search's reply and the time it took.
std::optional<SearchReply> timed_search(e2e::Session& s, const std::string& go, double& took,
                                        std::chrono::milliseconds timeout = 60s) {
    const size_t mark = s.mark();
    const auto start = Clock::now();
    s.send(go);
    auto reply = finish_search(s, mark, timeout);
    took = ms_since(start);
    return reply;
}

uint64_t last_nodes(const SearchReply& r) {
    return r.infos.empty() ? 0 : r.infos.back().nodes;
}

// ---------------------------------------------------------------------------------------------
// Options

TEST(UciOptions, HashAndThreadsAllocateWhenSetAndOnlyWhenTheSizeChanges) {
    const auto lines = uci_script("setoption name Hash value 32\nisready\n"
                                  "setoption name hash value 33\n"   // the same 32 MB table
                                  "setoption name HASH value 32\n"   // unchanged
                                  "setoption name Hash value 0\n"    // raised to 1 (a 16 MB table)
                                  "setoption name Hash value abc\n"  // not a number
                                  "setoption name Threads value 3\n" // a third pawn table
                                  "setoption name No Such Option value 7\n"
                                  "setoption name Ponder value false\nisready\n"
                                  "setoption name Threads value 1\n"
                                  "position startpos\ngo depth 4\nquit\n");
    std::vector<std::string> before_search;
    for (const std::string& l : lines) {
        if (l.rfind("info depth", 0) == 0) break;
        before_search.push_back(l);
    }
    const std::vector<std::string> expected = {
        "info string Allocated 32 MB for the Hash Table", "readyok",
        "info string Allocated 1 MB for the Hash Table",
        "info string Allocated 1 MB for the HashPawn Table for Thread 3", "readyok"};
    EXPECT_EQ(expected, before_search);
    const auto searches = parse_searches(lines);
    ASSERT_EQ(1u, searches.size());
    check_search(board_of(kStartFen), searches[0]);
}

TEST(UciOptions, TheTableIsKeptAcrossIsreadyAndClearedByUcinewgameOrClearHash) {
    // One thread searches the same position to the same depth: a warm table needs fewer nodes, a
    // cleared one exactly as many as the first time.
    e2e::Session s(kOneThread);
    ASSERT_TRUE(start_uci(s));
    const std::string position = "position startpos moves e2e4 e7e5 g1f3";
    auto search = [&](const char* before) {
        if (*before) s.send(before);
        s.send(position);
        double took = 0;
        const auto reply = timed_search(s, "go depth 9", took);
        EXPECT_TRUE(reply);
        return reply ? last_nodes(*reply) : 0;
    };
    const uint64_t cold = search("");
    const uint64_t after_isready = search("isready");
    const uint64_t after_new_game = search("ucinewgame");
    search(""); // warm again
    const uint64_t after_clear = search("setoption name Clear Hash");
    EXPECT_LT(after_isready, cold / 2);
    EXPECT_EQ(cold, after_new_game);
    EXPECT_EQ(cold, after_clear);
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciOptions, MoveOverheadComesOffTheMoveTimeAndTheClock) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    s.send("setoption name Move Overhead value 400");
    s.send("position startpos");
    double took = 0;
    auto reply = timed_search(s, "go movetime 700", took);
    ASSERT_TRUE(reply);
    check_search(board_of(kStartFen), *reply);
    EXPECT_LT(took, 600);
    // With 1 s on the clock and 0.9 s of overhead the engine still moves, at once.
    s.send("setoption name Move Overhead value 900");
    s.send("position startpos");
    reply = timed_search(s, "go wtime 1000 btime 1000", took);
    ASSERT_TRUE(reply);
    check_search(board_of(kStartFen), *reply);
    EXPECT_LT(took, 500);
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciOptions, OwnBookAndBookFileSwitchTheBookStep) {
    REQUIRE_TESTDATA(dir);
    const std::string book = dir + "/books/performance.bin";
    // The settings file names no book that exists: the first "go" searches.
    const auto lines =
        uci_script("position startpos\ngo depth 2\n"
                   "setoption name BookFile value " +
                   book +
                   "\nposition startpos\ngo depth 2\n"
                   "setoption name OwnBook value false\nposition startpos\ngo depth 2\n"
                   "setoption name OwnBook value true\nposition startpos\ngo depth 2\nquit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(4u, searches.size());
    const std::vector<bool> from_book = {false, true, false, true};
    for (size_t i = 0; i < searches.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(from_book[i], searches[i].infos.empty());
        EXPECT_TRUE(legal_texts(board_of(kStartFen)).count(searches[i].best));
    }
}

TEST(UciOptions, SyzygyPathListRegistersTheTablesAndTheProbeLimitSwitchesThemOff) {
    REQUIRE_TESTDATA(dir);
    // King and queen against king: the root filter and the search probe the tables.
    const std::string kqk = "position fen 8/8/8/3k4/8/8/4KQ2/8 w - - 0 1";
    // A folder list: a missing folder first, the tables in the second.
    const auto lines = uci_script(
        "setoption name SyzygyPath value " + dir + "/none:" + dir + "/syzygy\n" + kqk +
        "\ngo depth 6\nsetoption name SyzygyProbeLimit value 0\n" + kqk + "\ngo depth 6\nquit\n");
    std::vector<std::string> rest;
    static const std::regex found(R"(info string Found (\d+) tablebases\.)");
    bool reported = false;
    for (const std::string& l : lines) {
        std::smatch m;
        if (std::regex_match(l, m, found)) {
            reported = true;
            EXPECT_GT(std::stoi(m[1]), 0);
        }
    }
    EXPECT_TRUE(reported);
    const auto searches = parse_searches(lines);
    ASSERT_EQ(2u, searches.size());
    for (const auto& r : searches) check_search(board_of("8/8/8/3k4/8/8/4KQ2/8 w - - 0 1"), r);
    EXPECT_GT(searches[0].infos.back().tbhits, 0u);
    EXPECT_EQ(0u, searches[1].infos.back().tbhits);
}

// ---------------------------------------------------------------------------------------------
// Input during a timed search

TEST(UciInputThread, StopAndIsreadyAreAnsweredAtOnceDuringATimedSearch) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    double worst_stop = 0, worst_ready = 0;
    for (int round = 0; round < 3; ++round) {
        s.send("position startpos");
        const size_t mark = s.mark();
        s.send("go wtime 60000 btime 60000");
        s.read_for(100ms);
        auto asked = Clock::now();
        s.send("isready");
        ASSERT_TRUE(s.wait_for("readyok", 5s));
        worst_ready = std::max(worst_ready, ms_since(asked));
        s.read_for(50ms);
        asked = Clock::now();
        s.send("stop");
        const auto reply = finish_search(s, mark, 5s);
        worst_stop = std::max(worst_stop, ms_since(asked));
        ASSERT_TRUE(reply) << s.transcript();
        check_search(board_of(kStartFen), *reply);
    }
    report_latency("isready during a timed search, worst of 3", worst_ready);
    report_latency("stop during a timed search, worst of 3", worst_stop);
    EXPECT_LT(worst_ready, prompt_bound_ms());
    EXPECT_LT(worst_stop, prompt_bound_ms());
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInputThread, OtherLinesWaitForTheSearchInOrder) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    s.send("position startpos");
    const size_t mark = s.mark();
    s.send("go wtime 60000 btime 60000");
    // These arrive during the search; they are taken after its best move, in order.
    s.send("position startpos moves e2e4");
    s.send("go depth 3");
    s.send("stop");
    ASSERT_TRUE(s.wait_for("bestmove ", 10s));
    ASSERT_TRUE(s.wait_for("bestmove ", 30s));
    const auto searches = parse_searches(s.lines_since(mark));
    ASSERT_EQ(2u, searches.size());
    check_search(board_of(kStartFen), searches[0]);
    check_search(board_of(kStartFen, "e2e4"), searches[1]);
    EXPECT_EQ(3, deepest(searches[1]));
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

// ---------------------------------------------------------------------------------------------
// Limits of "go" and the counters of the iteration lines

TEST(UciGoLimits, NodesMateAndSearchmoves) {
    // 1. Ra6 bxa6 2. b7 mate.
    const std::string mate_in_two = "kbK5/pp6/1P6/8/8/8/8/R7 w - - 0 1";
    const auto lines = uci_script("setoption name Threads value 1\n"
                                  "position startpos\ngo nodes 20000\n"
                                  "position fen " +
                                  mate_in_two +
                                  "\ngo mate 2\n"
                                  "position startpos\ngo depth 5 searchmoves a2a3 h2h4 e9e9\n"
                                  "quit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(3u, searches.size());

    check_search(board_of(kStartFen), searches[0]);
    EXPECT_LE(last_nodes(searches[0]), 20200u); // about: the workers unwind after the limit
    EXPECT_GE(deepest(searches[0]), 3);

    check_search(board_of(mate_in_two), searches[1]);
    EXPECT_EQ("a1a6", searches[1].best);
    EXPECT_TRUE(searches[1].infos.back().mate);
    EXPECT_EQ(2, searches[1].infos.back().score);

    check_search(board_of(kStartFen), searches[2]);
    EXPECT_EQ(5, deepest(searches[2]));
    for (const Info& info : searches[2].infos) {
        ASSERT_FALSE(info.pv.empty());
        EXPECT_TRUE(info.pv[0] == "a2a3" || info.pv[0] == "h2h4") << info.pv[0];
    }
}

TEST(UciGoLimits, IterationLinesCarryNpsHashfullAndTbhits) {
    const auto lines = uci_script("position startpos\ngo depth 10\nquit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(1u, searches.size());
    const auto& infos = searches[0].infos;
    ASSERT_FALSE(infos.empty());
    EXPECT_GT(infos.front().nps, 0u);
    int previous = 0;
    for (const Info& info : infos) {
        EXPECT_LE(info.hashfull, 1000);
        EXPECT_GE(info.hashfull, previous);
        previous = info.hashfull;
        EXPECT_EQ(0u, info.tbhits);
    }
    EXPECT_GT(infos.back().hashfull, 0);
}

// ---------------------------------------------------------------------------------------------
// The command-line benchmark

struct BenchRun {
    std::vector<std::string> lines;
    int status = -1;
};

BenchRun run_bench(const std::string& args) {
    BenchRun r;
    const std::string command = std::string(BRONTAVEL_BINARY) + " bench " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    std::string out;
    std::array<char, 4096> buf{};
    for (size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;) out.append(buf.data(), n);
    r.status = pclose(p);
    r.lines = split_lines(out);
    return r;
}

TEST(UciBench, TheNodeCountRepeatsAndClosesTheOutput) {
    const BenchRun first = run_bench("5"), second = run_bench("5");
    ASSERT_EQ(0, first.status);
    ASSERT_GE(first.lines.size(), 2u);
    static const std::regex nodes(R"(Nodes searched  : (\d+))"), nps(R"(Nodes/second    : \d+)");
    const std::string& total = first.lines[first.lines.size() - 2];
    std::smatch m;
    ASSERT_TRUE(std::regex_match(total, m, nodes)) << total;
    EXPECT_GT(std::stoull(m[1]), 10000u);
    EXPECT_TRUE(std::regex_match(first.lines.back(), nps)) << first.lines.back();
    ASSERT_GE(second.lines.size(), 2u);
    EXPECT_EQ(total, second.lines[second.lines.size() - 2]);
    // A depth that is no number is refused.
    EXPECT_NE(0, run_bench("deep").status);
}

} // namespace
