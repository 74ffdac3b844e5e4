// The UCI front-end through the real binary: fixed texts byte for byte, positions and limits line
// by line, and the input read while a search runs.
#include <array>
#include <cstdio>

#include "e2e/uci_client.h"
#include "testdata.h"

namespace {

using namespace uci_client;

// White mates with Ra8; the capture the generator scores highest, Qxd5, loses the queen.
constexpr const char* kMateOrBlunder = "6k1/5ppp/4p3/3p4/8/8/8/R2Q2K1 w - - 0 1";
// White mates with h1h8, Black with h8h1; White has been mated.
constexpr const char* kWhiteMates = "k7/8/1K6/8/8/8/8/7R w - - 0 1";
constexpr const char* kBlackMates = "7r/8/8/8/8/1k6/8/K7 b - - 0 1";
constexpr const char* kWhiteMated = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3";

TEST(UciHandshake, IdentificationOptionsAndAllocationsByteForByte) {
    const std::string ini =
        "[ENGINE]\nHashSize=64\nHashPawnSize=2\nThread=3\n[TABLEBASE]\nSyzygy=false\n";
    const e2e::RunResult r =
        e2e::run_engine("uci\nisready\nisready\nquit\n", 60s, {{"brontavel.ini", ini}});
    EXPECT_EQ(0, r.exit_status);
    EXPECT_EQ("\nid name brontavel\nid author Orvakt\n"
              "option name Ponder type check default true\n"
              "option name OwnBook type check default true\n"
              "option name Hash type spin default 64 min 1 max 8192\n"
              "option name Threads type spin default 3 min 1 max 24\n"
              "option name Clear Hash type button\n"
              "option name BookFile type string default Kestrane_12.9c.bin\n"
              "option name SyzygyPath type string default <empty>\n"
              "option name SyzygyProbeLimit type spin default 5 min 0 max 7\n"
              "option name Move Overhead type spin default 30 min 0 max 5000\n"
              "uciok\n"
              "info string Allocated 64 MB for the Hash Table\n"
              "info string Allocated 2 MB for the HashPawn Table for Thread 1\n"
              "info string Allocated 2 MB for the HashPawn Table for Thread 2\n"
              "info string Allocated 2 MB for the HashPawn Table for Thread 3\n"
              "readyok\nreadyok\n",
              e2e::after_startup(r.out));
    // Lines that start no search print nothing; end of input or a q line ends with status 0.
    EXPECT_EQ(
        std::vector<std::string>{"readyok"},
        uci_script("stop\nponderhit\nsetoption name Ponder value false\ndebug on\nuci\nhello\n"
                   "\nisready\nquit\n"));
    for (const char* input : {"", "position startpos\n", "q\n", "qxyz\n"})
        EXPECT_FALSE(has_line(uci_script(input, 30s), "bestmove")) << input;
}

TEST(UciPosition, StartposFenMovesAndRejectedLines) {
    struct Case {
        std::string position;
        std::string fen, moves; // the position the engine must search
        std::string best;       // "" for any legal move
    };
    const std::vector<Case> cases = {
        {"position startpos moves f2f3 e7e5 g2g4", kStartFen, "f2f3 e7e5 g2g4", "d8h4"},
        {"position startpos moves\r", kStartFen, "", ""},
        {"position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 e1g1", kStartFen,
         "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 e1g1", ""},
        {std::string("position fen ") + kBlackMates, kBlackMates, "", "h8h1"},
        {"position fen k7/8/2K5/8/8/8/8/7R w - - 0 1 moves c6b6 a8b8",
         "k7/8/2K5/8/8/8/8/7R w - - 0 1", "c6b6 a8b8", "h1h8"},
        {"position fen 8/4P1k1/8/8/8/8/8/K7 w - - 0 1 moves e7e8n",
         "8/4P1k1/8/8/8/8/8/K7 w - - 0 1", "e7e8n", ""},
        {"position startposition moves f2f3 e7e5 g2g4", kStartFen, "f2f3 e7e5 g2g4", "d8h4"},
    };
    std::string script;
    for (const Case& c : cases) script += c.position + "\ngo depth 3\n";
    // Each rejected line follows a position where White mates with h1h8: that mate is still found.
    const std::vector<std::string> bad = {
        "position fen",
        "position fen garbage",
        "position fen 8/8/8/8/8/8/8/8 w - - 0 1",
        "position fen k7/8/1K6/8/8/8/8/R7 w - - 0 1", // the side not to move is in check
        "position startpos moves e2e4 e7e5 e1e3",
        "position startpos moves e2e4 zz",
        "position startpos moves e7e5",
        std::string("position fen ") + kWhiteMates + " moves h1h8 a8a7"};
    for (const std::string& line : bad)
        script += std::string("position fen ") + kWhiteMates + "\n" + line + "\ngo depth 3\n";
    script += std::string("position fen ") + kWhiteMated + "\ngo depth 3\nquit\n";
    const auto searches = parse_searches(uci_script(script));
    ASSERT_EQ(cases.size() + bad.size() + 1, searches.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].position);
        check_search(cases[i].fen, cases[i].moves, searches[i]);
        EXPECT_TRUE(searches[i].other.empty());
        EXPECT_TRUE(cases[i].best.empty() || cases[i].best == searches[i].best) << searches[i].best;
    }
    EXPECT_EQ(std::vector<std::string>{"0-1 {Black mates}"}, searches[0].results);
    EXPECT_TRUE(searches[0].infos.back().mate);
    EXPECT_EQ(1, searches[0].infos.back().score);
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(bad[i]);
        const SearchReply& s = searches[cases.size() + i];
        EXPECT_EQ(std::vector<std::string>{"info string #DEBUG: BAD FEN|MOVES!"}, s.other);
        EXPECT_EQ("h1h8", s.best);
        EXPECT_EQ(std::vector<std::string>{"1-0 {White mates}"}, s.results);
    }
    EXPECT_EQ("0000", searches.back().best); // no legal move: the null move
    EXPECT_TRUE(searches.back().infos.empty());
}

TEST(UciPosition, ThousandPlyGameFromOneLine) {
    // Longer than any fixed line buffer; the second search goes on after the first best move.
    std::string moves;
    for (int i = 0; i < 249; ++i) moves += " g1f3 g8f6 f3g1 f6g8";
    moves += " e2e4 e7e5 d2d4 d7d5";
    const auto searches = parse_searches(
        uci_script("position startpos moves" + moves + "\ngo depth 4\ngo depth 4\nquit\n"));
    ASSERT_EQ(2u, searches.size());
    EXPECT_TRUE(searches[0].other.empty());
    check_search(kStartFen, moves.substr(1), searches[0]);
    check_search(kStartFen, moves.substr(1) + " " + searches[0].best, searches[1]);
}

TEST(UciGo, LimitsOfEachGo) {
    // 1. Ra6 bxa6 2. b7 mate.
    const std::string mate_in_two = "kbK5/pp6/1P6/8/8/8/8/R7 w - - 0 1";
    const std::vector<std::string> gos = {"go depth 1",
                                          "go depth 3",
                                          "go depth 65 movetime 500",
                                          "go depth 0 movetime 500",
                                          "go wtime depth 3",
                                          "go\twtime\tbtime winc\tdepth\t3",
                                          "go movetime x depth 3",
                                          "go searchmoves e9e4 a1a1 depth 3",
                                          "go depth 5 searchmoves a2a3 h2h4 e9e9",
                                          "go nodes 20000"};
    std::string script = "setoption name Threads value 1\n";
    for (const std::string& g : gos) script += "position startpos\n" + g + "\n";
    script += "position fen " + mate_in_two + "\ngo mate 2\nquit\n";
    const auto searches = parse_searches(uci_script(script, 120s));
    ASSERT_EQ(gos.size() + 1, searches.size());
    const int depths[] = {1, 3, 0, 0, 3, 3, 3, 3, 5};
    for (size_t i = 0; i + 1 < searches.size(); ++i) {
        SCOPED_TRACE(gos[i]);
        check_search(kStartFen, "", searches[i]);
        // A depth outside 1-64 is no limit: nor is one kept from an earlier go.
        EXPECT_TRUE(i >= 9 || !depths[i] || depths[i] == deepest(searches[i]))
            << deepest(searches[i]);
        EXPECT_TRUE((i != 2 && i != 3) || deepest(searches[i]) > 3) << deepest(searches[i]);
    }
    for (const Info& info : searches[8].infos)
        EXPECT_TRUE(info.pv[0] == "a2a3" || info.pv[0] == "h2h4");
    EXPECT_LE(searches[9].infos.back().nodes, 20200u); // about: the search unwinds after it
    EXPECT_EQ("a1a6", searches.back().best);
    EXPECT_EQ(2, searches.back().infos.back().score);
    // Iteration lines carry hashfull, rising with the depth, and no tablebase hits here.
    int previous = 0;
    for (const Info& info : searches[9].infos) {
        EXPECT_GE(info.hashfull, previous);
        EXPECT_EQ(0u, info.tbhits);
        previous = info.hashfull;
    }
}

TEST(UciGo, ClockWordsAreNotCarriedOverToTheNextGo) {
    // One move to go takes a tenth of the clock as its target (at least half of it is used);
    // the sudden-death move after it, with the same clock, a far smaller share. Likewise a move
    // time: the next search has a depth limit only.
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    struct Step {
        const char* go;
        double lo_ms, hi_ms; // bounds on the time taken
    };
    for (const Step& step : {Step{"go wtime 20000 btime 20000 movestogo 1", 950, 7000},
                             Step{"go wtime 20000 btime 20000", 0, 2200},
                             Step{"go movetime 100", 0, 1500}, Step{"go depth 9", 0, 60000}}) {
        SCOPED_TRACE(step.go);
        s.send("position startpos");
        const size_t mark = s.mark();
        const auto start = Clock::now();
        s.send(step.go);
        const auto reply = finish(s, mark);
        const double took = ms_since(start);
        ASSERT_TRUE(reply);
        check_search(kStartFen, "", *reply);
        EXPECT_GE(took, step.lo_ms);
        EXPECT_LT(took, step.hi_ms);
        if (std::string(step.go) == "go depth 9") {
            EXPECT_EQ(9, deepest(*reply));
        }
    }
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciGo, TinyClocksAndBudgetsStillPlayTheSearchedMove) {
    // However soon the search is cut, the first iteration completes: the mate, not the blunder
    // the move generator lists last.
    const std::vector<std::string> gos = {"go movetime 1",
                                          "go nodes 1",
                                          "go wtime 50 btime 50",
                                          "go wtime 0 btime 0",
                                          "go wtime -1000 btime 5000",
                                          "go movetime -5"};
    std::string script;
    for (const std::string& g : gos)
        script += std::string("position fen ") + kMateOrBlunder + "\n" + g + "\n";
    const auto start = Clock::now();
    const auto searches = parse_searches(uci_script(script + "quit\n"));
    EXPECT_LT(ms_since(start), 20000);
    ASSERT_EQ(gos.size(), searches.size());
    for (size_t i = 0; i < gos.size(); ++i) EXPECT_EQ("a1a8", searches[i].best) << gos[i];
}

TEST(UciInputThread, StopIsreadyAndPonderhitDuringSearches) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    // During a timed search isready is answered and stop ends it, both at once.
    for (int round = 0; round < 3; ++round) {
        s.send("position startpos");
        const size_t mark = s.mark();
        s.send("go wtime 60000 btime 60000");
        s.read_for(100ms);
        auto asked = Clock::now();
        s.send("isready");
        ASSERT_TRUE(s.wait_for("readyok", 5s));
        EXPECT_LT(ms_since(asked), quick_mode() ? 250 : 50);
        asked = Clock::now();
        s.send("stop");
        const auto reply = finish(s, mark, 5s);
        EXPECT_LT(ms_since(asked), quick_mode() ? 250 : 50);
        ASSERT_TRUE(reply) << s.transcript();
        check_search(kStartFen, "", *reply);
    }
    // Pondering and infinite analysis wait for ponderhit or stop, also when the depth is reached,
    // and a command right after go is never lost.
    for (const char* pair :
         {"go ponder wtime 60000 btime 60000|ponderhit", "go infinite|stop",
          "go infinite depth 2|stop", "go ponder depth 2|ponderhit", "go ponder|stop"}) {
        for (const int wait_ms : {0, 600}) {
            SCOPED_TRACE(testing::Message() << pair << " after " << wait_ms << " ms");
            const std::string go = std::string(pair).substr(0, std::string(pair).find('|'));
            s.send("position startpos moves e2e4");
            const size_t mark = s.mark();
            s.send(go);
            const auto early = s.read_for(std::chrono::milliseconds(wait_ms));
            EXPECT_FALSE(has_line(early, "bestmove"));
            const auto asked = Clock::now();
            s.send(std::string(pair).substr(go.size() + 1));
            const auto reply = finish(s, mark, 10s);
            ASSERT_TRUE(reply) << s.transcript();
            EXPECT_TRUE(legal_texts(kStartFen, "e2e4").count(reply->best));
            // A stop answers at once; after ponderhit the search goes on under the clock.
            const bool hit = std::string(pair).ends_with("ponderhit");
            EXPECT_LT(ms_since(asked), hit ? 10000 : 3000);
        }
    }
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInputThread, OtherLinesWaitForTheSearchInOrder) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    s.send("position startpos");
    const size_t mark = s.mark();
    s.send("go wtime 60000 btime 60000");
    s.send("position startpos moves e2e4");
    s.send("go depth 3");
    s.send("stop");
    ASSERT_TRUE(s.wait_for("bestmove ", 10s));
    ASSERT_TRUE(s.wait_for("bestmove ", 30s));
    const auto searches = parse_searches(s.lines_since(mark));
    ASSERT_EQ(2u, searches.size());
    check_search(kStartFen, "", searches[0]);
    check_search(kStartFen, "e2e4", searches[1]);
    EXPECT_EQ(3, deepest(searches[1]));
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInputThread, QuitOrEndOfInputDuringASearchEndsWithStatusZero) {
    for (const char* go :
         {"go infinite", "go ponder wtime 60000 btime 60000", "go wtime 60000 btime 60000"}) {
        for (const bool quit : {true, false}) {
            SCOPED_TRACE(testing::Message() << go << (quit ? ", quit" : ", end of input"));
            e2e::Session s;
            ASSERT_TRUE(start_uci(s));
            s.send("position startpos");
            s.send(go);
            ASSERT_TRUE(s.wait_for("info depth ", 10s));
            if (quit)
                s.send("quit");
            else
                s.close_input();
            EXPECT_EQ(0, s.wait_exit(5s));
        }
    }
}

TEST(UciOptions, HashThreadsAndTheTable) {
    // Tables are allocated when the size changes, at the next isready.
    const auto lines =
        uci_script("setoption name Hash value 32\nisready\nsetoption name hash value 33\n"
                   "setoption name Hash value 0\nsetoption name Threads value 3\nsetoption name No "
                   "Such value 7\n"
                   "isready\nquit\n");
    EXPECT_EQ((std::vector<std::string>{
                  "info string Allocated 32 MB for the Hash Table", "readyok",
                  "info string Allocated 1 MB for the Hash Table",
                  "info string Allocated 1 MB for the HashPawn Table for Thread 3", "readyok"}),
              lines);
    // One thread, the same search: a warm table needs fewer nodes; ucinewgame and Clear Hash
    // give exactly the first count again.
    e2e::Session s(std::string(e2e::kSmallTables) + "Thread=1\n");
    ASSERT_TRUE(start_uci(s));
    auto nodes = [&](const char* before) {
        if (*before) s.send(before);
        s.send("position startpos moves e2e4 e7e5 g1f3");
        const size_t mark = s.mark();
        s.send("go depth 9");
        const auto reply = finish(s, mark);
        return reply && !reply->infos.empty() ? reply->infos.back().nodes : 0;
    };
    const uint64_t cold = nodes("");
    EXPECT_LT(nodes("isready"), cold / 2);
    EXPECT_EQ(cold, nodes("ucinewgame"));
    nodes("");
    EXPECT_EQ(cold, nodes("setoption name Clear Hash"));
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciOptions, BookAndTablebases) {
    REQUIRE_TESTDATA(dir);
    const std::string kqk = "position fen 8/8/8/3k4/8/8/4KQ2/8 w - - 0 1\ngo depth 6\n";
    const auto lines =
        uci_script("position startpos\ngo depth 2\nsetoption name BookFile value " + dir +
                   "/books/performance.bin\nposition startpos\ngo depth 2\nsetoption name OwnBook "
                   "value false\n"
                   "position startpos\ngo depth 2\nsetoption name SyzygyPath value " +
                   dir + "/none:" + dir + "/syzygy\n" + kqk +
                   "setoption name SyzygyProbeLimit value 0\n" + kqk + "quit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(5u, searches.size());
    EXPECT_FALSE(searches[0].infos.empty()); // no book yet
    EXPECT_TRUE(searches[1].infos.empty());  // from the book, without a search
    EXPECT_TRUE(legal_texts(kStartFen).count(searches[1].best));
    EXPECT_FALSE(searches[2].infos.empty());
    EXPECT_TRUE(has_line(lines, "info string Found "));
    EXPECT_GT(searches[3].infos.back().tbhits, 0u);
    EXPECT_EQ(0u, searches[4].infos.back().tbhits);
}

TEST(UciBench, TheNodeCountRepeatsAndClosesTheOutput) {
    auto bench = [](const std::string& args, int* status) {
        FILE* p = popen((std::string(BRONTAVEL_BINARY) + " bench " + args + " 2>&1").c_str(), "r");
        std::string out;
        std::array<char, 4096> buf{};
        for (size_t n; p && (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;)
            out.append(buf.data(), n);
        *status = p ? pclose(p) : -1;
        return split(out);
    };
    int status = 0;
    const auto first = bench("5", &status);
    ASSERT_EQ(0, status);
    ASSERT_GE(first.size(), 2u);
    EXPECT_TRUE(
        std::regex_match(first[first.size() - 2], std::regex(R"(Nodes searched  : \d{5,})")));
    EXPECT_TRUE(std::regex_match(first.back(), std::regex(R"(Nodes/second    : \d+)")));
    EXPECT_EQ(first[first.size() - 2], bench("5", &status)[first.size() - 2]);
    bench("deep", &status);
    EXPECT_NE(0, status);
}

} // namespace
