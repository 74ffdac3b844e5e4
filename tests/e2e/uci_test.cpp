// The UCI front-end through the real binary: fixed texts byte for byte, positions and limits line
// by line, and the input read while a search runs.
#include "e2e/harness.h"
#include "testdata.h"

namespace {

using namespace e2e;

// White mates with Ra8; the capture the generator scores highest, Qxd5, loses the queen.
const std::string kMateOrBlunder = "6k1/5ppp/4p3/3p4/8/8/8/R2Q2K1 w - - 0 1";
const std::string kWhiteMates = "k7/8/1K6/8/8/8/8/7R w - - 0 1"; // with h1h8

TEST(UciHandshake, IdentificationOptionsAndAllocationsByteForByte) {
    const RunResult r =
        run_engine("uci\nisready\nisready\nquit\n", {},
                   "[ENGINE]\nHashSize=64\nHashPawnSize=2\nThread=3\n[TABLEBASE]\nSyzygy=false\n");
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
              after_startup(r.out));
    // Lines that start no search print nothing; end of input or a q line ends with status 0.
    for (const std::string input : {"", "position startpos\n", "q\n", "qxyz\n"})
        EXPECT_TRUE(uci_script(input).empty()) << input;
    EXPECT_EQ(std::vector<std::string>{"readyok"},
              uci_script("stop\nponderhit\nsetoption name Ponder value false\ndebug on\nuci\n"
                         "hello\n\nisready\nquit\n"));
}

TEST(UciPosition, StartposFenMovesAndRejectedLines) {
    std::string game = "e2e4 e7e5"; // longer than any fixed line buffer
    for (int i = 0; i < 249; ++i) game += " g1f3 g8f6 f3g1 f6g8";
    const std::string kMateIn1 = "k7/8/2K5/8/8/8/8/7R w - - 0 1";
    // The position line, the position it sets up, and the best move, "" for any.
    const std::vector<std::tuple<std::string, std::string, std::string, std::string>> cases = {
        {"position startpos moves f2f3 e7e5 g2g4", kStartFen, "f2f3 e7e5 g2g4", "d8h4"},
        {"position startpos moves\r", kStartFen, "", ""},
        {"position fen " + kMateIn1 + " moves c6b6 a8b8", kMateIn1, "c6b6 a8b8", "h1h8"},
        {"position startposition moves f2f3 e7e5 g2g4", kStartFen, "f2f3 e7e5 g2g4", "d8h4"},
        {"position startpos moves " + game, kStartFen, game, ""},
    };
    std::string script;
    for (const auto& c : cases) script += std::get<0>(c) + "\ngo depth 3\n";
    // Each rejected line follows a position where White mates with h1h8: that mate is still found.
    // The third leaves the side not to move in check; the last moves after the mate.
    const auto bad =
        split("position fen\nposition fen garbage\nposition fen k7/8/1K6/8/8/8/8/R7 w - - 0 1\n"
              "position startpos moves e2e4 e7e5 e1e3\nposition startpos moves e2e4 zz\n"
              "position fen k7/8/1K6/8/8/8/8/7R w - - 0 1 moves h1h8 a8a7");
    for (const std::string& line : bad)
        script += "position fen " + kWhiteMates + "\n" + line + "\ngo depth 3\n";
    // White has been mated: the null move, without a search.
    script += "position fen rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3\n"
              "go depth 3\nquit\n";
    const auto searches = parse_searches(uci_script(script));
    ASSERT_EQ(cases.size() + bad.size() + 1, searches.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [position, fen, moves, best] = cases[i];
        SCOPED_TRACE(position.substr(0, 80));
        check_search(fen, moves, searches[i]);
        EXPECT_TRUE(searches[i].other.empty());
        EXPECT_TRUE(best.empty() || best == searches[i].best) << searches[i].best;
    }
    EXPECT_EQ(std::vector<std::string>{"0-1 {Black mates}"}, searches[0].results);
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(bad[i]);
        const SearchReply& s = searches[cases.size() + i];
        EXPECT_EQ(std::vector<std::string>{"info string #DEBUG: BAD FEN|MOVES!"}, s.other);
        EXPECT_EQ("h1h8", s.best);
        EXPECT_EQ(std::vector<std::string>{"1-0 {White mates}"}, s.results);
    }
    EXPECT_EQ("0000", searches.back().best);
    EXPECT_TRUE(searches.back().infos.empty());
}

TEST(UciGo, LimitsOfEachGoAndTinyBudgets) {
    // Bounds on the last depth; a depth outside 1-64 is no limit, nor is one from an earlier go.
    // clang-format off
    const std::vector<std::tuple<std::string, int, int>> gos = {
        {"go depth 1", 1, 1}, {"go depth 3", 3, 3}, {"go depth 65 movetime 500", 4, 64},
        {"go depth 0 movetime 500", 4, 64}, {"go wtime depth 3", 3, 3},
        {"go\twtime\tbtime winc\tdepth\t3", 3, 3}, {"go movetime x depth 3", 3, 3},
        {"go searchmoves e9e4 a1a1 depth 3", 3, 3}, {"go depth 5 searchmoves a2a3 h2h4 e9e9", 5, 5},
        {"go nodes 20000", 1, 64}};
    // clang-format on
    std::string script = "setoption name Threads value 1\n";
    for (const auto& g : gos) script += "position startpos\n" + std::get<0>(g) + "\n";
    script += "position fen kbK5/pp6/1P6/8/8/8/8/R7 w - - 0 1\ngo mate 2\n"; // 1. Ra6 bxa6 2. b7#
    // However soon the search is cut, the first iteration completes: the mate, not the blunder.
    const auto tiny = split("go movetime 1\ngo nodes 1\ngo wtime 50 btime 50\ngo wtime 0 btime 0\n"
                            "go wtime -1000 btime 5000\ngo movetime -5");
    for (const std::string& g : tiny) script += "position fen " + kMateOrBlunder + "\n" + g + "\n";
    const auto searches = parse_searches(uci_script(script + "quit\n"));
    ASSERT_EQ(gos.size() + 1 + tiny.size(), searches.size());
    for (size_t i = 0; i < gos.size(); ++i) {
        const auto& [go, min_depth, max_depth] = gos[i];
        SCOPED_TRACE(go);
        check_search(kStartFen, "", searches[i]);
        EXPECT_GE(searches[i].depth(), min_depth);
        EXPECT_LE(searches[i].depth(), max_depth);
    }
    for (const Info& info : searches[8].infos)
        EXPECT_TRUE(info.pv[0] == "a2a3" || info.pv[0] == "h2h4") << info.pv[0];
    EXPECT_LE(searches[9].infos.back().nodes, 20200u); // about: the search unwinds after it
    EXPECT_EQ("a1a6", searches[10].best);
    EXPECT_EQ(2, searches[10].infos.back().score);
    for (size_t i = 0; i < tiny.size(); ++i) EXPECT_EQ("a1a8", searches[11 + i].best) << tiny[i];
}

TEST(UciGo, ClockWordsAreNotCarriedOverToTheNextGo) {
    // Time bounds (ms) and the exact depth (0: any): one move to go targets a tenth of the clock
    // and uses at least half; sudden death after it takes far less; after a move time, depth only.
    Session s;
    ASSERT_TRUE(start_uci(s));
    for (const auto& [go, lo, hi, depth] :
         std::vector<std::tuple<std::string, double, double, int>>{
             {"go wtime 20000 btime 20000 movestogo 1", 950, 7000, 0},
             {"go wtime 20000 btime 20000", 0, 2200, 0},
             {"go movetime 100", 0, 1500, 0},
             {"go depth 9", 0, 6e4, 9}}) {
        SCOPED_TRACE(go);
        s.send("position startpos");
        const size_t mark = s.mark();
        const auto start = Clock::now();
        s.send(go);
        const auto reply = finish(s, mark);
        const double took = ms_since(start);
        ASSERT_TRUE(reply);
        check_search(kStartFen, "", *reply);
        EXPECT_TRUE(took >= lo && took < hi) << took;
        EXPECT_TRUE(!depth || depth == reply->depth()) << reply->depth();
    }
}

TEST(UciInputThread, StopIsreadyPonderhitAndQueuedLinesDuringSearches) {
    Session s;
    ASSERT_TRUE(start_uci(s));
    // Timed searches, pondering and infinite analysis answer isready at once and wait for stop or
    // ponderhit, also when the depth is reached; a command right after go is never lost.
    for (const char* pair :
         {"go wtime 600000 btime 600000|stop", "go ponder wtime 60000 btime 60000|ponderhit",
          "go infinite|stop", "go infinite depth 2|stop", "go ponder depth 2|ponderhit",
          "go ponder|stop"})
        for (const int wait_ms : {0, 600}) {
            SCOPED_TRACE(testing::Message() << pair << " after " << wait_ms << " ms");
            const auto words = split(pair, '|');
            s.send("position startpos moves e2e4");
            const size_t mark = s.mark();
            s.send(words[0]);
            EXPECT_FALSE(s.wait_for("bestmove ", ms(wait_ms)));
            auto asked = Clock::now();
            s.send("isready");
            ASSERT_TRUE(s.wait_for("readyok", 5s));
            EXPECT_LT(ms_since(asked), 500);
            asked = Clock::now();
            s.send(words[1]);
            const auto reply = finish(s, mark, 10s);
            ASSERT_TRUE(reply) << s.transcript();
            EXPECT_TRUE(is_legal(kStartFen, "e2e4", reply->best));
            // A stop answers at once; after ponderhit the search goes on under the clock.
            EXPECT_LT(ms_since(asked), words[1] == "ponderhit" ? 10000 : 3000);
        }
    // Other lines wait for the search, in their order.
    const size_t mark = s.mark();
    for (const char* line : {"position startpos", "go wtime 60000 btime 60000",
                             "position startpos moves e2e4", "go depth 3", "stop"})
        s.send(line);
    ASSERT_TRUE(s.wait_for("bestmove ", 10s) && s.wait_for("bestmove ", 30s));
    const auto searches = parse_searches(s.lines_since(mark));
    ASSERT_EQ(2u, searches.size());
    check_search(kStartFen, "", searches[0]);
    check_search(kStartFen, "e2e4", searches[1]);
    EXPECT_EQ(3, searches[1].depth());
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInputThread, QuitOrEndOfInputDuringASearchEndsWithStatusZero) {
    for (const char* go : {"go infinite", "go ponder wtime 60000 btime 60000", "go wtime 60000"})
        for (const bool quit : {true, false}) {
            SCOPED_TRACE(testing::Message() << go << (quit ? ", quit" : ", end of input"));
            Session s;
            ASSERT_TRUE(start_uci(s));
            s.send("position startpos");
            s.send(go);
            ASSERT_TRUE(s.wait_for("info depth ", 10s));
            quit ? s.send("quit") : s.close_input();
            EXPECT_EQ(0, s.wait_exit(5s));
        }
}

TEST(UciOptions, HashThreadsAndTheTable) {
    // Tables are allocated when the size changes, at the next isready.
    EXPECT_EQ((std::vector<std::string>{
                  "info string Allocated 32 MB for the Hash Table", "readyok",
                  "info string Allocated 1 MB for the Hash Table",
                  "info string Allocated 1 MB for the HashPawn Table for Thread 3", "readyok"}),
              uci_script("setoption name Hash value 32\nisready\nsetoption name hash value 33\n"
                         "setoption name Hash value 0\nsetoption name Threads value 3\n"
                         "setoption name No Such value 7\nisready\nquit\n"));
    // One thread, the same search: a warm table needs fewer nodes; ucinewgame and Clear Hash
    // give exactly the first count again.
    Session s(kSmallTables + "Thread=1\n");
    ASSERT_TRUE(start_uci(s));
    auto nodes = [&](const char* before) {
        s.send(before);
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
}

TEST(UciOptions, BookAndTablebases) {
    REQUIRE_TESTDATA(dir);
    const std::string start = "position startpos\ngo depth 2\n";
    const std::string kqk = "position fen 8/8/8/3k4/8/8/4KQ2/8 w - - 0 1\ngo depth 6\n";
    const auto searches = parse_searches(
        uci_script(start + "setoption name BookFile value " + dir + "/books/performance.bin\n" +
                   start + "setoption name OwnBook value false\n" + start +
                   "setoption name SyzygyPath value " + dir + "/none:" + dir + "/syzygy\n" + kqk +
                   "setoption name SyzygyProbeLimit value 0\n" + kqk + "quit\n"));
    ASSERT_EQ(5u, searches.size());
    EXPECT_FALSE(searches[0].infos.empty()); // no book yet
    EXPECT_TRUE(searches[1].infos.empty());  // from the book, without a search
    EXPECT_TRUE(is_legal(kStartFen, "", searches[1].best));
    EXPECT_FALSE(searches[2].infos.empty());
    EXPECT_TRUE(searches[3].other.at(0).starts_with("info string Found ")) << searches[3].other[0];
    EXPECT_GT(searches[3].infos.back().tbhits, 0u);
    EXPECT_EQ(0u, searches[4].infos.back().tbhits);
}

TEST(UciBench, TheNodeCountRepeatsAndABadDepthFails) {
    const RunResult first = run_engine("", {}, kSmallTables, {"bench", "5"});
    ASSERT_EQ(0, first.exit_status);
    const std::regex tail(R"([^]*\n(Nodes searched  : \d{5,}\n)Nodes/second    : \d+\n)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(first.out, m, tail)) << first.out;
    EXPECT_TRUE(run_engine("", {}, kSmallTables, {"bench", "5"}).out.find(m[1].str()) !=
                std::string::npos);
    EXPECT_GT(run_engine("", {}, kSmallTables, {"bench", "deep"}).exit_status, 0);
}

} // namespace
