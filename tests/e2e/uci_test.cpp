// Transcript tests of the UCI front-end and the input monitor, run through the real engine binary.
// Scripted runs cover what the loop does line by line; interactive sessions cover what happens
// while a search runs (stop, ponderhit, isready, quit, end of input) and how fast the engine
// answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "e2e/harness.h"
#include "e2e/session.h"

#include "e2e/uci_client.h"

namespace {

using namespace uci_client;

// ---------------------------------------------------------------------------------------------
// A long game for "position startpos moves ...": a stretch of mixed play, a very long stretch of
// reversible moves only (pieces wandering, many repetitions, a reversible-move count far past the
// fifty-move limit), then mixed play with captures and pawn moves again. No move ends the game.

struct Game {
    std::vector<std::string> moves;
    Board final;
};

bool ends_game(const Board& b, Move m) {
    return legal_moves(after(b, m)).empty();
}

std::optional<Game> random_game(int plies, uint32_t seed) {
    std::mt19937 rng(seed);
    Game g;
    Board b = start_position();
    for (int ply = 0; ply < plies; ++ply) {
        std::vector<Move> reversible, captures, pawn_moves;
        for (Move m : legal_moves(b)) {
            if (ends_game(b, m)) continue;
            if (is_capture(m))
                captures.push_back(m);
            else if (move_piece(m) == PAWN)
                pawn_moves.push_back(m);
            else
                reversible.push_back(m);
        }
        const bool quiet_stretch = ply >= 120 && ply < 800;
        const auto roll = rng() % 100;
        const std::vector<Move>* pick = &reversible;
        if (!quiet_stretch && roll < 15 && !captures.empty()) pick = &captures;
        if (!quiet_stretch && roll >= 15 && roll < 35 && !pawn_moves.empty()) pick = &pawn_moves;
        if (pick->empty()) pick = !captures.empty() ? &captures : &pawn_moves;
        if (pick->empty()) return std::nullopt; // every move would end the game
        const Move m = (*pick)[rng() % pick->size()];
        g.moves.push_back(text_of(b, m));
        b = after(b, m);
    }
    g.final = b;
    return g;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Start of the protocol

TEST(UciHandshake, IdentificationAllocationLinesAndUciokByteForByte) {
    // The banner's prompt ends in a line break, then come the identification and the options with
    // the settings file's defaults; the tables are allocated at the first "isready", announced in
    // "info string" lines. Before "uciok" the tablebase set-up reports itself when Syzygy is on;
    // what it finds depends on the machine, so that part is only checked for its form.
    struct Case {
        std::string ini;
        int hash_mb, threads;
        std::string tables;
        bool syzygy;
    };
    const std::vector<Case> cases = {
        {"[ENGINE]\nHashSize=64\nHashPawnSize=2\nThread=3\n[TABLEBASE]\nSyzygy=false\n", 64, 3,
         "info string Allocated 64 MB for the Hash Table\n"
         "info string Allocated 2 MB for the HashPawn Table for Thread 1\n"
         "info string Allocated 2 MB for the HashPawn Table for Thread 2\n"
         "info string Allocated 2 MB for the HashPawn Table for Thread 3\n",
         false},
        {"[ENGINE]\nHashSize=32\nThread=1\n[TABLEBASE]\nSyzygy=false\n", 32, 1,
         "info string Allocated 32 MB for the Hash Table\n"
         "info string Allocated 24 MB for the HashPawn Table for Thread 1\n",
         false},
        {e2e::kSmallTables, 16, 2,
         "info string Allocated 16 MB for the Hash Table\n"
         "info string Allocated 1 MB for the HashPawn Table for Thread 1\n"
         "info string Allocated 1 MB for the HashPawn Table for Thread 2\n",
         true},
    };
    static const std::regex tablebases(
        R"(((info string )?\$DTZDIR loaded\n)?((info string )?\$WDLDIR loaded\n)?(info string )?Found \d+ tablebases\.\n)");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        const e2e::RunResult r =
            e2e::run_engine("uci\nisready\nisready\nquit\n", 60s, {{"brontavel.ini", c.ini}});
        EXPECT_EQ(0, r.exit_status);
        const std::string head = identification(c.hash_mb, c.threads);
        const std::string tail = "uciok\n" + c.tables + "readyok\nreadyok\n";
        const std::string reply = e2e::after_startup(r.out);
        if (!c.syzygy) {
            EXPECT_EQ(head + tail, reply);
            continue;
        }
        ASSERT_GE(reply.size(), head.size() + tail.size()) << reply;
        EXPECT_EQ(head, reply.substr(0, head.size()));
        EXPECT_EQ(tail, reply.substr(reply.size() - tail.size()));
        const std::string middle =
            reply.substr(head.size(), reply.size() - head.size() - tail.size());
        EXPECT_TRUE(std::regex_match(middle, tablebases)) << middle;
    }
}

TEST(UciHandshake, LinesThatStartNoSearchPrintNothing) {
    // "stop" and "ponderhit" without a search, options, the other UCI commands, a repeated "uci"
    // and unknown lines are all passed over in silence.
    const auto lines =
        uci_script("stop\nponderhit\nsetoption name Ponder value false\n"
                   "setoption name OwnBook value false\ndebug on\nregister later\nuci\nhello\n\n"
                   "stopper\nisready\nquit\n");
    EXPECT_EQ(lines, std::vector<std::string>{"readyok"});
}

TEST(UciHandshake, EndOfInputOrAQLineEndsWithStatusZero) {
    for (const char* input : {"", "isready\n", "position startpos\n", "quit\n", "q\n", "qxyz\n"}) {
        SCOPED_TRACE(input);
        const auto lines = uci_script(input, 30s);
        EXPECT_FALSE(has_line(lines, "bestmove"));
    }
}

// ---------------------------------------------------------------------------------------------
// "position"

TEST(UciPosition, StartposWithAndWithoutMoves) {
    // With the moves played, Black has a mate in one; without them any White move is fine.
    const auto lines = uci_script("position startpos moves f2f3 e7e5 g2g4\ngo depth 3\n"
                                  "position startpos\ngo depth 3\n"
                                  "position startpos moves e2e4 e7e5\ngo depth 3\n"
                                  "position startpos moves \ngo depth 3\n"
                                  "position startpos moves\r\ngo depth 3\r\n"
                                  "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 e1g1\n"
                                  "go depth 3\nquit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(6u, searches.size());
    EXPECT_EQ("d8h4", searches[0].best);
    EXPECT_TRUE(searches[0].infos.back().mate);
    EXPECT_EQ(1, searches[0].infos.back().score);
    EXPECT_EQ(std::vector<std::string>{"0-1 {Black mates}"}, searches[0].results);
    check_search(board_of(kStartFen, "f2f3 e7e5 g2g4"), searches[0]);
    check_search(board_of(kStartFen), searches[1]);
    check_search(board_of(kStartFen, "e2e4 e7e5"), searches[2]);
    check_search(board_of(kStartFen), searches[3]);
    check_search(board_of(kStartFen), searches[4]);
    check_search(board_of(kStartFen, "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 e1g1"), searches[5]);
    for (const auto& s : searches) EXPECT_TRUE(s.other.empty()) << s.other[0];
}

TEST(UciPosition, FenWithAndWithoutMoves) {
    const auto lines =
        uci_script(std::string("position fen ") + kWhiteMatesFen + "\ngo depth 3\n" +
                   "position fen " + kBlackMatesFen + "\ngo depth 3\n" +
                   // The king steps to b6 and Black's king to b8: then h1h8 mates.
                   "position fen k7/8/2K5/8/8/8/8/7R w - - 0 1 moves c6b6 a8b8\ngo depth 3\n" +
                   // A promotion to a knight in the move list; then Black is to move.
                   "position fen 8/4P1k1/8/8/8/8/8/K7 w - - 0 1 moves e7e8n\ngo depth 3\n" +
                   "position fen " + kWhiteMatedFen + "\ngo depth 3\nquit\n");
    std::vector<std::string> rest;
    const auto searches = parse_searches(lines, &rest);
    ASSERT_EQ(5u, searches.size());
    EXPECT_EQ("h1h8", searches[0].best);
    EXPECT_EQ(std::vector<std::string>{"1-0 {White mates}"}, searches[0].results);
    EXPECT_EQ("h8h1", searches[1].best);
    EXPECT_EQ(std::vector<std::string>{"0-1 {Black mates}"}, searches[1].results);
    EXPECT_EQ("h1h8", searches[2].best);
    check_search(board_of(kWhiteMatesFen), searches[0]);
    check_search(board_of(kBlackMatesFen), searches[1]);
    check_search(board_of("k7/8/2K5/8/8/8/8/7R w - - 0 1", "c6b6 a8b8"), searches[2]);
    check_search(board_of("8/4P1k1/8/8/8/8/8/K7 w - - 0 1", "e7e8n"), searches[3]);
    // A side without legal moves answers with the null move.
    EXPECT_EQ("0000", searches[4].best);
    EXPECT_TRUE(searches[4].infos.empty());
}

TEST(UciPosition, AnyOtherFirstWordMeansTheStartPosition) {
    const auto lines = uci_script(std::string("position fen ") + kWhiteMatesFen +
                                  "\nposition startposition moves f2f3 e7e5 g2g4\ngo depth 3\n"
                                  "position fen " +
                                  kWhiteMatesFen + "\nposition xyz\ngo depth 3\nquit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(2u, searches.size());
    EXPECT_EQ("d8h4", searches[0].best);
    check_search(board_of(kStartFen), searches[1]);
}

TEST(UciPosition, RejectedFenOrMoveListKeepsThePosition) {
    // Each bad line follows a position where White mates with h1h8; that mate must still be found.
    const std::vector<std::string> bad = {
        "position fen",
        "position fen garbage",
        "position fen 8/8/8/8/8/8/8/8 w - - 0 1",
        "position fen k7/8/1K6/8/8/8/8/7R x - - 0 1",
        "position fen k7/8/1K6/8/8/8/8/R7 w - - 0 1", // the side not to move is in check
        "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e9 0 1",
        "position startpos moves e2e4 e7e5 e1e3",
        "position startpos moves e2e4 zz",
        "position startpos moves e2e5",
        "position startpos moves e2e4 e2e4",
        "position startpos moves e7e5",
        std::string("position fen ") + kWhiteMatesFen + " moves h1h8 a8a7",
    };
    std::string script;
    for (const std::string& line : bad)
        script += std::string("position fen ") + kWhiteMatesFen + "\n" + line + "\ngo depth 3\n";
    const auto searches = parse_searches(uci_script(script + "quit\n"));
    ASSERT_EQ(bad.size(), searches.size());
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(bad[i]);
        EXPECT_EQ(std::vector<std::string>{"info string #DEBUG: BAD FEN|MOVES!"},
                  searches[i].other);
        EXPECT_EQ("h1h8", searches[i].best);
    }
}

TEST(UciPosition, ThousandPlyGameFromOneLine) {
    std::optional<Game> game;
    for (uint32_t seed = 1; !game && seed < 200; ++seed) game = random_game(1000, seed);
    ASSERT_TRUE(game) << "no game of 1000 plies found";
    std::string line = "position startpos moves";
    for (const std::string& m : game->moves) line += " " + m;
    ASSERT_GT(line.size(), 4096u); // longer than any fixed line buffer of the protocol

    // Two searches: the second goes on from the position after the first best move.
    const auto lines = uci_script(line + "\ngo depth 4\ngo depth 4\nquit\n");
    std::vector<std::string> rest;
    const auto searches = parse_searches(lines, &rest);
    ASSERT_EQ(2u, searches.size());
    EXPECT_FALSE(has_line(searches[0].other, "#DEBUG")) << searches[0].other[0];
    check_search(game->final, searches[0]);
    Board next = game->final;
    ASSERT_TRUE(play(next, searches[0].best));
    if (!legal_moves(next).empty()) check_search(next, searches[1]);
}

// ---------------------------------------------------------------------------------------------
// "go"

TEST(UciGo, DepthLimitReportsEachIterationAndPlaysTheBestMove) {
    // The best move is made on the game position: a second "go" searches for the other side.
    const auto lines = uci_script("position startpos\ngo depth 3\ngo depth 3\nquit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(2u, searches.size());
    for (const auto& s : searches) {
        EXPECT_EQ(3, deepest(s));
        EXPECT_EQ(1, s.infos.front().depth);
        // The book file is missing: that is silent, and nothing else is printed either.
        EXPECT_TRUE(s.other.empty()) << s.other[0];
        // No "isready" yet: the best-move line names no ponder move.
        EXPECT_EQ("", s.ponder);
    }
    const Board start = board_of(kStartFen);
    check_search(start, searches[0]);
    Board next = start;
    ASSERT_TRUE(play(next, searches[0].best));
    check_search(next, searches[1]);
}

TEST(UciGo, DepthFromOneToSixtyFourAndNothingKeptFromAnEarlierGo) {
    // The move time is a safety net: were a limit of 0 or 65 taken, the search would stop at
    // once; were a depth kept from an earlier "go", the later searches would stop there.
    const auto lines = uci_script("position startpos\ngo depth 1\n"
                                  "position startpos\ngo depth 3\n"
                                  "position startpos\ngo depth 65 movetime 500\n"
                                  "position startpos\ngo depth 0 movetime 500\n"
                                  "position startpos\ngo depth x movetime 500\n",
                                  120s);
    const auto searches = parse_searches(lines);
    ASSERT_EQ(5u, searches.size());
    EXPECT_EQ(1, deepest(searches[0]));
    EXPECT_EQ(3, deepest(searches[1]));
    for (size_t i = 0; i < searches.size(); ++i) {
        SCOPED_TRACE(i);
        check_search(board_of(kStartFen), searches[i]);
        if (i >= 2) {
            EXPECT_GT(deepest(searches[i]), 3);
        }
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
        const auto reply = finish_search(s, mark, 60s);
        const double took = ms_since(start);
        ASSERT_TRUE(reply);
        check_search(board_of(kStartFen), *reply);
        EXPECT_GE(took, step.lo_ms);
        EXPECT_LT(took, step.hi_ms);
        if (std::string(step.go) == "go depth 9") {
            EXPECT_EQ(9, deepest(*reply));
        }
    }
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciGo, WordsWithoutTheirNumbersAreIgnored) {
    // Each line ends in a limit that still parses, so that the searches end even if a clock word
    // were misread; words may be separated by tabs.
    const std::vector<std::string> gos = {"go wtime depth 3",
                                          "go btime depth 3",
                                          "go winc binc depth 3",
                                          "go movestogo depth 3",
                                          "go movetime x depth 3",
                                          "go\twtime\tbtime winc\tdepth\t3",
                                          "go depth wtime movetime 300",
                                          "go mate nodes depth 3",
                                          "go searchmoves depth 3",
                                          "go searchmoves e9e4 a1a1 depth 3"};
    std::string script;
    for (const std::string& g : gos) script += "position startpos\n" + g + "\n";
    const auto searches = parse_searches(uci_script(script + "quit\n"));
    ASSERT_EQ(gos.size(), searches.size());
    for (size_t i = 0; i < searches.size(); ++i) {
        SCOPED_TRACE(gos[i]);
        check_search(board_of(kStartFen), searches[i]);
        if (gos[i].find("depth 3") != std::string::npos) {
            EXPECT_EQ(3, deepest(searches[i]));
        }
    }
}

TEST(UciGo, NoLegalMoveAnswersTheNullMove) {
    const auto lines = uci_script(std::string("position fen ") + kWhiteMatedFen +
                                      "\ngo wtime 1000 btime 1000\nisready\nquit\n",
                                  30s);
    std::vector<std::string> rest;
    const auto searches = parse_searches(lines, &rest);
    ASSERT_EQ(1u, searches.size());
    EXPECT_EQ("0000", searches[0].best);
    EXPECT_TRUE(has_line(rest, "readyok"));
}

TEST(UciGo, TheClockOfTheSideToMoveCounts) {
    // With 20 s on the mover's clock the engine takes a fraction of a second; were the clocks
    // swapped, it would think for many seconds on the 600 s clock.
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    struct Case {
        const char* position;
        const char* go;
        const char* moves;
    };
    for (const Case& c :
         {Case{"position startpos moves e2e4", "go wtime 600000 btime 20000", "e2e4"},
          Case{"position startpos", "go wtime 20000 btime 600000", ""}}) {
        SCOPED_TRACE(c.go);
        s.send(c.position);
        const size_t mark = s.mark();
        const auto start = Clock::now();
        s.send(c.go);
        const auto reply = finish_search(s, mark, 60s);
        const double took = ms_since(start);
        ASSERT_TRUE(reply);
        check_search(board_of(kStartFen, c.moves), *reply);
        EXPECT_LT(took, 8000) << "the search went on as if the mover had the longer clock";
    }
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciGo, TinyZeroOrNegativeClocksStillGiveALegalMove) {
    // The timer may end these searches before the first iteration is done.
    const std::vector<std::string> gos = {
        "go wtime 50 btime 50", "go wtime 0 btime 0", "go wtime -1000 btime 5000",
        "go movetime 0",        "go movetime 1",      "go movetime -5"};
    std::string script;
    for (const std::string& g : gos) script += "position startpos\n" + g + "\n";
    const auto start = Clock::now();
    const auto searches = parse_searches(uci_script(script + "quit\n", 60s));
    EXPECT_LT(ms_since(start), 20000);
    ASSERT_EQ(gos.size(), searches.size());
    const std::set<std::string> legal = legal_texts(board_of(kStartFen));
    for (size_t i = 0; i < gos.size(); ++i)
        EXPECT_TRUE(legal.count(searches[i].best)) << gos[i] << ": bestmove " << searches[i].best;
}

TEST(UciGo, UcinewgameStartsAgainFromTheStartPosition) {
    const auto lines =
        uci_script(std::string("position fen ") + kBlackMatesFen +
                   "\nucinewgame\ngo depth 3\nposition startpos moves e2e4\ngo depth 3\n"
                   "ucinewgame\nposition startpos\ngo depth 3\nquit\n");
    const auto searches = parse_searches(lines);
    ASSERT_EQ(3u, searches.size());
    check_search(board_of(kStartFen), searches[0]);
    check_search(board_of(kStartFen, "e2e4"), searches[1]);
    check_search(board_of(kStartFen), searches[2]);
}

// ---------------------------------------------------------------------------------------------
// The ponder move in the best-move line

TEST(UciPonderMove, NamedOnlyAfterIsreadyAndWhileTheOpponentHasTwelveSeconds) {
    const std::string go_long = "position startpos\ngo wtime 600000 btime 600000 depth 4\n";
    const e2e::RunResult r = e2e::run_uci_script("uci\n" + go_long +     // before "isready"
                                                 "isready\n" + go_long + // named
                                                 "position startpos\n"   // Black has 5 s:
                                                 "go wtime 600000 btime 5000 depth 4\n" + // cleared
                                                 go_long + // still cleared
                                                 "isready\n" +
                                                 go_long + "quit\n"); // named again
    EXPECT_EQ(0, r.exit_status);
    std::vector<std::string> lines;
    for (const std::string& l : split_lines(r.out))
        if (l.rfind("info string", 0) != 0) lines.push_back(l);
    std::vector<std::string> rest;
    const auto searches = parse_searches(lines, &rest);
    ASSERT_EQ(5u, searches.size());
    const std::vector<bool> named = {false, true, false, false, true};
    for (size_t i = 0; i < searches.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(named[i], !searches[i].ponder.empty()) << "bestmove " << searches[i].best;
        check_search(board_of(kStartFen), searches[i]);
    }
}

// ---------------------------------------------------------------------------------------------
// Pondering and infinite analysis: the input monitor

TEST(UciPonder, PonderhitTurnsPonderingIntoATimedSearch) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    s.send("isready");
    ASSERT_TRUE(s.wait_for("readyok", 10s));
    s.send("position startpos moves e2e4");
    size_t mark = s.mark();
    // Black's 60 s give a little under 2 s for this move, counted from "go".
    s.send("go ponder wtime 60000 btime 60000");
    const auto early = s.read_for(500ms);
    EXPECT_FALSE(has_line(early, "bestmove")) << "best move before ponderhit";
    const auto hit = Clock::now();
    s.send("ponderhit");
    auto reply = finish_search(s, mark, 20s);
    const double after_hit = ms_since(hit);
    ASSERT_TRUE(reply) << s.transcript();
    check_search(board_of(kStartFen, "e2e4"), *reply);
    EXPECT_LT(after_hit, 10000);

    // A ponder search that has reached its depth limit waits for "ponderhit" (here with more
    // characters after the word) and then answers at once.
    s.send("position startpos moves e2e4");
    mark = s.mark();
    s.send("go ponder depth 2 wtime 60000 btime 60000");
    EXPECT_FALSE(has_line(s.read_for(400ms), "bestmove"));
    const auto hit2 = Clock::now();
    s.send("ponderhit now");
    reply = finish_search(s, mark, 10s);
    const double waiting = ms_since(hit2);
    ASSERT_TRUE(reply);
    check_search(board_of(kStartFen, "e2e4"), *reply);
    EXPECT_LT(waiting, 1000);
    report_latency("ponderhit after a finished ponder search", waiting);

    // The loop reads again afterwards, and the timer that "ponderhit" started is gone: it must
    // not end the next analysis when its time would have run out.
    s.send("isready");
    EXPECT_TRUE(s.wait_for("readyok", 10s));
    s.send("position startpos");
    mark = s.mark();
    s.send("go infinite depth 64");
    EXPECT_FALSE(has_line(s.read_for(2500ms), "bestmove")) << "analysis ended without stop";
    s.send("stop");
    reply = finish_search(s, mark, 10s);
    ASSERT_TRUE(reply);
    check_search(board_of(kStartFen), *reply);
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciPonder, StopAnswersAtOnceWithALegalMove) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    double worst = 0;
    for (int round = 0; round < 5; ++round) {
        s.send("position startpos moves e2e4");
        const size_t mark = s.mark();
        s.send("go ponder wtime 600000 btime 600000");
        EXPECT_FALSE(
            has_line(s.read_for(std::chrono::milliseconds(150 + 100 * round)), "bestmove"));
        const auto stop = Clock::now();
        s.send(round == 4 ? "stop please" : "stop");
        const auto reply = finish_search(s, mark, 10s);
        const double took = ms_since(stop);
        ASSERT_TRUE(reply) << s.transcript();
        check_search(board_of(kStartFen, "e2e4"), *reply);
        EXPECT_LT(took, 1000);
        worst = std::max(worst, took);
    }
    report_latency("stop while pondering, worst of 5", worst);
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInfinite, AnswersOnlyAfterStop) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    double worst = 0;
    for (int round = 0; round < 5; ++round) {
        s.send("position startpos");
        const size_t mark = s.mark();
        s.send("go infinite");
        ASSERT_TRUE(s.wait_for("info string Command: infinite", 5s));
        EXPECT_FALSE(
            has_line(s.read_for(std::chrono::milliseconds(200 + 100 * round)), "bestmove"));
        const auto stop = Clock::now();
        s.send("stop");
        const auto reply = finish_search(s, mark, 10s);
        const double took = ms_since(stop);
        ASSERT_TRUE(reply) << s.transcript();
        EXPECT_EQ(std::vector<std::string>{"info string Command: infinite"}, reply->other);
        check_search(board_of(kStartFen), *reply);
        EXPECT_LT(took, 1000);
        worst = std::max(worst, took);
    }
    report_latency("stop during infinite analysis, worst of 5", worst);

    // A depth limit ends the search, but the best move still waits for "stop".
    s.send("position startpos");
    const size_t mark = s.mark();
    s.send("go infinite depth 2");
    ASSERT_TRUE(s.wait_for("info depth  2", 10s));
    EXPECT_FALSE(has_line(s.read_for(600ms), "bestmove"));
    const auto stop = Clock::now();
    s.send("stop");
    const auto reply = finish_search(s, mark, 10s);
    const double took = ms_since(stop);
    ASSERT_TRUE(reply);
    EXPECT_EQ(2, deepest(*reply));
    check_search(board_of(kStartFen), *reply);
    EXPECT_LT(took, 1000);
    report_latency("stop after a finished infinite search", took);
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInfinite, StopOrPonderhitRightAfterGoIsNotLost) {
    // The commands arrive before the search has started, or just as it ends: the engine must
    // still act on them, every time.
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    const Board root = board_of(kStartFen, "e2e4");
    for (int round = 0; round < 5; ++round) {
        for (const char* pair :
             {"go infinite\nstop", "go ponder\nstop", "go ponder infinite\nstop",
              "go ponder wtime 2000 btime 2000\nponderhit", "go infinite depth 2\nstop",
              "go ponder depth 3\nponderhit", "go infinite wtime 2000 btime 2000\nponderhit",
              "go depth 64 infinite\nstop"}) {
            SCOPED_TRACE(testing::Message() << pair << ", round " << round);
            s.send("position startpos moves e2e4");
            const size_t mark = s.mark();
            s.send(pair);
            const auto reply = finish_search(s, mark, 10s);
            ASSERT_TRUE(reply) << s.transcript();
            EXPECT_TRUE(legal_texts(root).count(reply->best)) << reply->best;
        }
    }
    s.send("isready");
    EXPECT_TRUE(s.wait_for("readyok", 5s));
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInfinite, PonderhitPutsAnAnalysisUnderTheClock) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    s.send("position startpos");
    const size_t mark = s.mark();
    // 20 s for White give about half a second, long over when "ponderhit" comes.
    s.send("go infinite wtime 20000 btime 20000");
    EXPECT_FALSE(has_line(s.read_for(800ms), "bestmove"));
    const auto hit = Clock::now();
    s.send("ponderhit");
    const auto reply = finish_search(s, mark, 10s);
    const double took = ms_since(hit);
    ASSERT_TRUE(reply) << s.transcript();
    check_search(board_of(kStartFen), *reply);
    EXPECT_LT(took, 1000);
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInfinite, IsreadyIsAnsweredDuringTheSearch) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    s.send("position startpos");
    const size_t mark = s.mark();
    s.send("go infinite");
    ASSERT_TRUE(s.wait_for("info string Command: infinite", 5s));
    s.read_for(200ms);
    double worst = 0;
    for (int i = 0; i < 3; ++i) {
        const auto asked = Clock::now();
        s.send("isready");
        const auto ready = s.wait_for("readyok", 5s);
        const double took = ms_since(asked);
        ASSERT_TRUE(ready);
        EXPECT_LT(took, 1000);
        worst = std::max(worst, took);
    }
    report_latency("isready during infinite analysis, worst of 3", worst);
    // Other lines do not disturb the search.
    s.send("position startpos moves e2e4");
    s.send("go depth 2");
    EXPECT_FALSE(has_line(s.read_for(300ms), "bestmove"));
    s.send("stop");
    ASSERT_TRUE(s.wait_for("bestmove ", 10s));
    auto all = s.lines_since(mark);
    std::vector<std::string> searches_lines;
    for (const auto& l : all)
        if (l != "readyok") searches_lines.push_back(l);
    const auto searches = parse_searches(searches_lines);
    ASSERT_EQ(1u, searches.size());
    check_search(board_of(kStartFen), searches[0]);
    // The loop answers again after the search.
    s.send("isready");
    EXPECT_TRUE(s.wait_for("readyok", 5s));
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInfinite, PonderAndInfiniteTogetherStartOneMonitor) {
    e2e::Session s;
    ASSERT_TRUE(start_uci(s));
    s.send("position startpos");
    size_t mark = s.mark();
    s.send("go ponder infinite");
    ASSERT_TRUE(s.wait_for("info string Command: infinite", 5s));
    s.read_for(200ms);
    s.send("stop");
    auto reply = finish_search(s, mark, 10s);
    ASSERT_TRUE(reply);
    check_search(board_of(kStartFen), *reply);
    // A second monitor would now take these lines away from the loop.
    s.send("position startpos");
    mark = s.mark();
    s.send("go depth 2");
    reply = finish_search(s, mark, 10s);
    ASSERT_TRUE(reply) << s.transcript();
    check_search(board_of(kStartFen), *reply);
    s.send("quit");
    EXPECT_EQ(0, s.wait_exit(10s));
}

TEST(UciInfinite, QuitOrEndOfInputDuringASearchEndsWithStatusZero) {
    struct Case {
        const char* go;
        bool quit; // else end of input
    };
    for (const Case& c :
         {Case{"go infinite", true}, Case{"go infinite", false},
          Case{"go ponder wtime 60000 btime 60000", true},
          Case{"go ponder wtime 60000 btime 60000", false}, Case{"go infinite depth 2", true},
          Case{"go infinite depth 2", false}, Case{"go wtime 60000 btime 60000", true},
          Case{"go wtime 60000 btime 60000", false}}) {
        SCOPED_TRACE(testing::Message() << c.go << (c.quit ? ", quit" : ", end of input"));
        e2e::Session s;
        ASSERT_TRUE(start_uci(s));
        s.send("position startpos");
        s.send(c.go);
        ASSERT_TRUE(s.wait_for("info depth ", 10s));
        s.read_for(100ms);
        const auto asked = Clock::now();
        if (c.quit)
            s.send("quit");
        else
            s.close_input();
        EXPECT_EQ(0, s.wait_exit(5s));
        EXPECT_LT(ms_since(asked), 2000);
    }
}

// ---------------------------------------------------------------------------------------------
// Latency of the start sequence

TEST(UciLatency, StartSequenceAndIsready) {
    // The tables are allocated, their pages touched, before "uciok"; "isready" clears nothing and
    // "ucinewgame" clears tables that have not been written since. The bounds guard against hangs
    // and gross slowness: the figures themselves are printed.
    struct Case {
        const char* name;
        std::string ini;
        int first_ready_bound_ms;
    };
    for (const Case& c : {Case{"16 MB table, 2 threads", e2e::kSmallTables, 1000},
                          Case{"64 MB table, 1 thread", "[ENGINE]\nHashSize=64\nThread=1\n", 3000},
                          Case{"256 MB table, 2 threads, 24 MB pawn tables",
                               "[ENGINE]\nHashSize=256\nHashPawnSize=24\nThread=2\n", 10000}}) {
        SCOPED_TRACE(c.name);
        const auto spawn = Clock::now();
        e2e::Session s(c.ini);
        ASSERT_TRUE(s.started());
        s.send("uci");
        ASSERT_TRUE(s.wait_for("uciok", 30s));
        const double to_uciok = ms_since(spawn);
        auto asked = Clock::now();
        s.send("isready");
        ASSERT_TRUE(s.wait_for("readyok", 30s));
        const double first_ready = ms_since(asked);
        // What an interface sends before every game.
        asked = Clock::now();
        s.send("ucinewgame");
        s.send("isready");
        ASSERT_TRUE(s.wait_for("readyok", 30s));
        const double new_game_ready = ms_since(asked);
        report_latency(std::string(c.name) + ": start to uciok", to_uciok);
        report_latency(std::string(c.name) + ": first isready", first_ready);
        report_latency(std::string(c.name) + ": ucinewgame + isready", new_game_ready);
        EXPECT_LT(to_uciok, 5000);
        EXPECT_LT(first_ready, c.first_ready_bound_ms);
        EXPECT_LT(new_game_ready, 1000);
        s.send("quit");
        EXPECT_EQ(0, s.wait_exit(10s));
    }
}
