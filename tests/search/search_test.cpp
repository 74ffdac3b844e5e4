// The alpha-beta and quiescence searches at single nodes, the pruning rules, tactical positions.
#include "search/search.h"

#include <fstream>

#include "eval/evaluate.h"
#include "search/search_fixture.h"

using SearchNode = SearchFixture;
using Tactics = SearchFixture;

TEST_F(SearchNode, DrawsMatesAndTheStop) {
    PVLine pv{};
    const std::tuple<const char*, const char*, int, int, int> cases[] = {
        // Depth, ply, score. The third occurrence is a draw although White is a queen up.
        {"4k3/8/8/8/8/8/8/3QK3 w - - 0 1", "d1c2 e8f8 c2d1 f8e8 d1c2 e8f8 c2d1 f8e8", 4, 2, 0},
        // Mated on the hundredth ply the mate stands; not in check there, or beyond it, a draw.
        {"R6k/6pp/8/8/8/8/8/6K1 b - - 100 80", nullptr, 2, 1, 1 - MATE},
        {"R6k/6pp/8/8/8/8/8/6K1 b - - 101 80", nullptr, 2, 1, 0},
        {"7k/6pp/8/8/8/8/8/R5K1 b - - 100 80", nullptr, 2, 1, 0},
        // Mate scores count the plies from the root, with the opposite sign one ply up.
        {"R6k/6pp/8/8/8/8/8/6K1 b - - 0 1", nullptr, 2, 4, 4 - MATE},
        {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", nullptr, 3, 5, 0}, // stalemate
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", nullptr, 2, 3, MATE - 4},
    };
    for (const auto& [fen, moves, depth, ply, score] : cases) {
        clear_tables();
        set(fen, moves);
        EXPECT_EQ(score, search(*t, depth, ply, -30000, 30000, 0, pv)) << fen;
    }
    EXPECT_EQ("a1a8", text(pv.moves[0]));                         // the last row's mate
    set("4k3/8/8/8/8/8/8/3QK3 w - - 0 1", "d1c2 e8f8 c2d1 f8e8"); // twice is no draw
    EXPECT_GT(search(*t, 4, 2, -30000, 30000, 0, pv), 500);
    // One ply before it Black steers into the draw with a king move, not the resetting pawn move.
    clear_tables();
    set("7k/6pp/8/8/8/8/8/R5K1 b - - 99 80");
    EXPECT_EQ(0, search(*t, 2, 1, -30000, 30000, 0, pv));
    ASSERT_GE(pv.length, 1);
    EXPECT_EQ(KING, move_piece(pv.moves[0]));
    // Nothing beats a mate found nearer the root: the node ends at once.
    set("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    t->nodes = 0;
    EXPECT_EQ(MATE - 10, search(*t, 5, 10, MATE - 10, MATE - 5, 0, pv));
    EXPECT_EQ(1u, t->nodes);
    // A stop ends the node before it counts, and marks the iteration aborted.
    search_flags.stop = 1;
    EXPECT_EQ(-123, search(*t, 6, 1, -123, 456, 0, pv));
    EXPECT_EQ(1, search_flags.abort.load());
    EXPECT_EQ(1u, t->nodes);
}

TEST_F(SearchNode, QuiescenceSearch) {
    set("4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
    EXPECT_EQ(evaluate(*t), qsearch(*t, 0, 1, -100, 100, 0)); // nothing to capture: stand pat
    set("R6k/6pp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(5 - MATE, qsearch(*t, 0, 5, -30000, 30000, 0));
    EXPECT_EQ(7 - MATE, qsearch(*t, -3, 7, -30000, 30000, 0));
    set("4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1"); // the rook hangs
    EXPECT_GT(qsearch(*t, 0, 1, -30000, 30000, 0), evaluate(*t) + 300);
    // A quiet check mates at the first level; below it quiet checks are not tried.
    set("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    EXPECT_EQ(MATE - 2, qsearch(*t, 0, 1, -30000, 30000, 0));
    EXPECT_LT(qsearch(*t, -1, 1, -30000, 30000, 0), 1000);
    // Bad captures lose material by exchange (the exchanges themselves are the SEE test's).
    const std::tuple<const char*, const char*, bool> captures[] = {
        {"4k3/8/4p3/3r4/8/8/8/3QK3 w - - 0 1", "d1d5", true},
        {"4k3/8/4p3/3r4/8/8/8/3RK3 w - - 0 1", "d1d5", false},
        {"4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1", "b1c3", true}, // a quiet move onto a guarded square
    };
    for (const auto& [fen, move, bad] : captures) {
        set(fen);
        EXPECT_EQ(bad, is_bad_capture(board(), text_to_move(board(), move))) << fen << " " << move;
    }
}

// Each position is solved at the depth given, with the mate score given (0: any score); it is not
// when the rule of its group is broken.
TEST_F(SearchNode, PruningRulesKeepTheseSolved) {
    const std::tuple<const char*, int, const char*, int> cases[] = {
        // No null move in pawn endings: won only by this king move, on zugzwangs it would hide.
        {"8/3p4/8/8/1k6/4K3/6P1/8 w - - 0 1", 8, "e3d4", 0},
        {"8/k7/7p/8/8/3K3P/8/8 w - - 0 1", 8, "d3e4", 0},
        {"8/7p/7P/8/k2K4/8/8/8 w - - 0 1", 8, "d4e5", 0},
        // No reverse futility in check: mates against a side ahead near the horizon (the first
        // one's score jumps at depth 5: the aspiration window fails high and searches again).
        {"7k/pp4np/2p3p1/3pN1q1/3P4/Q7/1r3rPP/2R2RK1 w - - 0 1", 5, "a3f8", MATE - 3},
        {"r3kr2/1pp4p/1p1p4/7q/4P1n1/2PP2Q1/PP4P1/R1BB2K1 b q - 0 1", 5, "h5h1", MATE - 3},
        // Futility spares checks.
        {"r1bqk2r/pppp1ppp/5n2/2b1n3/4P3/1BP3Q1/PP3PPP/RNB1K1NR b KQkq - 0 1", 5, "c5f2", 0},
        // Razoring: below the margin, a node whose captures reach it again is searched.
        {"r1brnbk1/ppq2pp1/4p2p/4N3/3P4/P1PB1Q2/3B1PPP/R3R1K1 w - - 0 1", 5, "e5f7", 0},
        {"6k1/6p1/p7/3Pn3/5p2/4rBqP/P4RP1/5QK1 b - - 0 1", 5, "e3e1", 0},
        // No reduction of checks: mate in five, each check late among many quiet moves.
        {"8/pp3k2/8/8/8/8/1Q6/1R4K1 w - - 0 1", 9, "b2e5", MATE - 9},
    };
    for (const auto& [fen, depth, best, score] : cases) {
        SCOPED_TRACE(fen);
        set(fen);
        const uint64_t r = think_to_depth(depth);
        EXPECT_EQ(best, text(result_move(r)));
        EXPECT_TRUE(!score || score == result_score(r)) << result_score(r);
    }
}

// Where the rules must cut: near the horizon far above beta, a queen up with a null move at hand,
// and far below alpha with nothing to win back.
TEST_F(SearchNode, PruningRulesCutHopelessNodes) {
    PVLine pv{};
    set("4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
    for (const int depth : {2, 6}) {
        t->nodes = 0;
        EXPECT_GE(search(*t, depth, 1, -1, 0, 0, pv), 0) << depth;
        EXPECT_LT(t->nodes, depth == 2 ? 2u : 20u) << depth; // reverse futility, null move
    }
    set("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    t->nodes = 0;
    EXPECT_LT(search(*t, 3, 1, 500, 501, 0, pv), 500); // razoring
    EXPECT_LT(t->nodes, 20u);
}

// A reduced late move that fails high is searched again at full depth before the cut-off: a
// null window just above the full-window score fails low, as every move's full search says.
TEST_F(SearchNode, ReducedFailHighsAreConfirmedAtFullDepth) {
    const char* const fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/1ppppppp/8/pP6/8/8/P1PPPPPP/RNBQKBNR w KQkq a6 0 2",
        "r3kbnr/pppqpppp/2n5/3p1b2/3P1B2/2N5/PPPQPPPP/R3KBNR w KQkq - 6 5",
        "5k2/2p2p2/3p2p1/8/3P1P2/1P3K2/3P4/1b3B2 b - - 4 27",
    };
    const int depth = 4;
    PVLine pv{};
    for (const char* fen : fens) {
        SCOPED_TRACE(fen);
        set(fen);
        clear_tables();
        const int beta = search(*t, depth, 1, -INFINITE_SCORE, INFINITE_SCORE, 0, pv) + 10;
        Board* const cur = t->stack.current;
        MoveEntry list[MAX_MOVES];
        for (MoveEntry *m = list, *end = gen_legal_moves(*cur, list); m < end; ++m) {
            clear_tables();
            t->stack.current = make_move(cur, m->move, t->stack.boards);
            EXPECT_LT(-search(*t, depth - 1, 2, -beta, 1 - beta, 0, pv), beta)
                << text_of(m->move, cur->side);
            t->stack.current = cur;
        }
        clear_tables();
        EXPECT_LT(search(*t, depth, 1, beta - 1, beta, 0, pv), beta);
    }
}

// Tactical positions of the test data ("FEN;best moves;name" lines), solved at fixed depth.
TEST_F(Tactics, SolvedAtFixedDepth) {
    REQUIRE_TESTDATA(dir);
    // Solved within depth 5; the last six need depth 7.
    std::vector<std::string> names = {"WAC.003", "WAC.004", "WAC.006", "WAC.010", "WAC.017",
                                      "WAC.022", "WAC.027", "WAC.029", "WAC.037", "WAC.042",
                                      "WAC.053", "WAC.056", "WAC.005", "WAC.013", "WAC.014",
                                      "WAC.021", "WAC.030", "WAC.046"};
    if (quick_mode()) names.resize(12);
    size_t searched = 0;
    std::ifstream in(dir + "/tactics.txt");
    for (std::string line; std::getline(in, line);) {
        const size_t a = line.find(';'), b = line.find(';', a + 1);
        if (b == std::string::npos || !contains(names, line.substr(b + 1))) continue;
        ++searched;
        set(line.substr(0, a));
        const std::string best = " " + line.substr(a + 1, b - a - 1) + " ";
        const std::string played = text(result_move(think_to_depth(quick_mode() ? 5 : 7)));
        EXPECT_NE(std::string::npos, best.find(" " + played + " ")) << line;
    }
    EXPECT_EQ(names.size(), searched);
}
