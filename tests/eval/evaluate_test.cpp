#include "eval/evaluate.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board/board_helpers.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "search/thread.h"
#include "testdata.h"

namespace {

class EvalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetEvalParams();
        t = std::make_unique<SearchThread>();
        new_game(t->stack);
        pawn_allocate(*t, 1024, 0, 0, 0);
    }
    void TearDown() override {
        pawn_free(*t);
        ResetEvalParams();
    }

    void set(const std::string& fen) {
        EXPECT_EQ(1, read_fen(t->stack, fen.c_str(), nullptr)) << fen;
    }
    int score(const std::string& fen) {
        set(fen);
        return evaluate(*t);
    }
    // The recorded terms of one side (0 the side to move, 1 the opponent).
    const int16_t* terms(const std::string& fen, int side = 0) {
        set(fen);
        evaluate_with_breakdown(*t);
        return EvalBreakdown[side];
    }
    // The pawn table entry of one side of the current position, if there is one.
    bool pawn_entry(int side, PawnHashEntry& entry) {
        Board b = *t->stack.current;
        if (side) flip_board(b);
        return probe_pawn_hash(*t, b, entry);
    }

    std::unique_ptr<SearchThread> t;
};

char swap_case(char c) {
    const auto u = static_cast<unsigned char>(c);
    return static_cast<char>(std::isupper(u) ? std::tolower(u) : std::toupper(u));
}

// The same position with the colours swapped: ranks mirrored, case swapped, the other side to
// move, castling rights and the en passant square of the other colour.
std::string mirror_fen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castling = "-", ep = "-", mirrored, rights;
    in >> placement >> side >> castling >> ep;
    std::stringstream ps(placement);
    for (std::string rank; std::getline(ps, rank, '/');) {
        for (char& c : rank) c = swap_case(c);
        mirrored = mirrored.empty() ? rank : rank + "/" + mirrored;
    }
    for (char c : std::string("KQkq"))
        if (castling.find(swap_case(c)) != std::string::npos) rights += c;
    if (ep != "-") ep[1] = ep[1] == '3' ? '6' : '3';
    return mirrored + (side == "w" ? " b " : " w ") + (rights.empty() ? "-" : rights) + " " + ep +
           " 0 1";
}

// The perft suite positions and the positions reached from each by 24 random legal moves (fixed
// seed), as FEN; empty without the test data.
const std::vector<std::string>& walk_positions() {
    static const std::vector<std::string> positions = [] {
        std::vector<std::string> fens;
        const std::string dir = testdata_dir();
        if (dir.empty()) return fens;
        std::ifstream in(dir + "/perft-suite.txt");
        std::mt19937 rng(20240607);
        auto stack = make_stack();
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            const std::string fen = line.substr(0, line.find(';'));
            if (!read_fen(*stack, fen.c_str(), nullptr)) continue;
            for (int ply = 0; ply <= 24; ++ply) {
                fens.push_back(fen_of(*stack->current));
                MoveEntry list[MAX_MOVES];
                MoveEntry* end = gen_legal_moves(*stack->current, list);
                if (end == list) break;
                const Move m = list[rng() % static_cast<unsigned>(end - list)].move;
                stack->current = make_move(stack->current, m, stack->boards);
            }
        }
        return fens;
    }();
    return positions;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Frame

TEST_F(EvalTest, StartPositionScoresTheSideToMoveBonusAndLeavesTheBoard) {
    const Board before = *t->stack.current;
    EXPECT_EQ(9, evaluate(*t));
    EXPECT_EQ(9, evaluate_with_breakdown(*t));
    EXPECT_EQ(0, std::memcmp(&before, t->stack.current, sizeof(Board)));
}

TEST_F(EvalTest, WholeScoresByHand) {
    // White: pawn a7 = 81 material + 100 square + 89 passed - 7 isolated - 2 dispersion
    // (|3*1*1 - 1|) - 7 distortion (ranks 1..7 each see one transition) = 254 in the pawn entry;
    // end game with no queen: distance(a7, e8) 4 * 20 = 80. Kings on e1/e8 score 0; Black has
    // nothing else.
    EXPECT_EQ(334, score("4k3/P7/8/8/8/8/8/4K3 w - - 0 1"));
    PawnHashEntry e;
    ASSERT_TRUE(pawn_entry(0, e));
    EXPECT_EQ(254, e.score);
    EXPECT_EQ(bit(48), e.passed);
    EXPECT_EQ(-334, score("4k3/P7/8/8/8/8/8/4K3 b - - 0 1"));
    // A lone rook without pawns on the board: 521 + delta[0] 12 + square d1 10, nothing else.
    EXPECT_EQ(543, score("4k3/8/8/8/8/8/8/3RK3 w - - 0 1"));
}

// ---------------------------------------------------------------------------------------------
// Pawn structure

TEST_F(EvalTest, PassedPawns) {
    // On the seventh rank nothing can stop it, whatever stands beside it.
    EXPECT_EQ(89, terms("4k3/Pp6/8/8/8/8/8/4K3 w - - 0 1")[TERM_PASSED]);
    // One rank lower an enemy pawn on an adjacent file ahead stops it.
    EXPECT_EQ(0, terms("4k3/1p6/P7/8/8/8/8/4K3 w - - 0 1")[TERM_PASSED]);
    EXPECT_EQ(58, terms("4k3/2p5/P7/8/8/8/8/4K3 w - - 0 1")[TERM_PASSED]);
}

TEST_F(EvalTest, DoubledIsolatedAndHealthyPawns) {
    // Three isolated pawns on one file: each pays 3 * 7 and 7, and none is healthy.
    const int16_t* r = terms("4k3/8/8/8/P7/P7/P7/4K3 w - - 0 1");
    EXPECT_EQ(-63, r[TERM_DOUBLED]);
    EXPECT_EQ(-21, r[TERM_ISOLATED]);
    PawnHashEntry e;
    ASSERT_TRUE(pawn_entry(0, e));
    EXPECT_EQ(0, e.healthy_pawns);
    // With a neighbour on the b-file the tripled pawns are no longer isolated, so all are healthy.
    r = terms("4k3/8/8/8/P7/P7/PP6/4K3 w - - 0 1");
    EXPECT_EQ(-63, r[TERM_DOUBLED]);
    EXPECT_EQ(0, r[TERM_ISOLATED]);
    ASSERT_TRUE(pawn_entry(0, e));
    EXPECT_EQ(4, e.healthy_pawns);
    EXPECT_EQ(PT_PawnEnding[4], r[TERM_PAWN_ENDING]);
}

TEST_F(EvalTest, PawnEndingBonusCountsHealthyPawns) {
    EXPECT_EQ(401, terms("4k3/8/8/8/8/8/PPPPP3/4K3 w - - 0 1")[TERM_PAWN_ENDING]);
    // Any piece on the board ends the pawn ending.
    EXPECT_EQ(0, terms("4k1n1/8/8/8/8/8/PPPPP3/4K3 w - - 0 1")[TERM_PAWN_ENDING]);
}

TEST_F(EvalTest, SideWithoutPawnsStoresAnEmptyEntry) {
    set("4k3/8/8/8/8/8/PPPPP3/4K3 w - - 0 1");
    evaluate(*t);
    PawnHashEntry e;
    ASSERT_TRUE(pawn_entry(1, e));
    EXPECT_EQ(0, e.score);
    EXPECT_EQ(0u, e.passed);
    EXPECT_EQ(0, e.attack_weight);
    EXPECT_EQ(0, e.shield);
    EXPECT_EQ(0, e.healthy_pawns);
}

TEST_F(EvalTest, IslandsAndFileTransitions) {
    // a, b, d, e, g, h on the second rank: 3 islands of 6 pawns: -|27 - 6|; ranks 1 and 2 each
    // see 4 transitions (b|c, c|d, e|f, f|g).
    const int16_t* r = terms("4k3/8/8/8/8/8/PP1PP1PP/4K3 w - - 0 1");
    EXPECT_EQ(-21, r[TERM_DISPERSION]);
    EXPECT_EQ(-8, r[TERM_DISTORTION]);
    EXPECT_EQ(0, r[TERM_ISOLATED]);
}

TEST_F(EvalTest, BackwardPawns) {
    // d2 cannot advance safely past e4's guard of d3 and no own pawn can ever cover d3.
    EXPECT_EQ(-9, terms("4k3/8/8/8/4p3/8/3P4/4K3 w - - 0 1")[TERM_BACKWARD]);
    // c2 can come to cover d3.
    EXPECT_EQ(0, terms("4k3/8/8/8/4p3/8/2PP4/4K3 w - - 0 1")[TERM_BACKWARD]);
    // An enemy pawn ahead on the d-file: not counted.
    EXPECT_EQ(0, terms("4k3/3p4/8/8/4p3/8/3P4/4K3 w - - 0 1")[TERM_BACKWARD]);
}

TEST_F(EvalTest, KingSupportAndPassedPawnTropism) {
    // King d6 next to the passed pawn e7; Black's king on a8 is 4 files away: 4 * 20.
    const int16_t* r = terms("k7/4P3/3K4/8/8/8/8/8 w - - 0 1");
    EXPECT_EQ(17, r[TERM_KING_SUPPORT]);
    EXPECT_EQ(80, r[TERM_KING_TROPISM]);
    // A queen on the board switches the distance term off.
    r = terms("k7/4P3/3K4/8/8/8/8/7q w - - 0 1");
    EXPECT_EQ(17, r[TERM_KING_SUPPORT]);
    EXPECT_EQ(0, r[TERM_KING_TROPISM]);
}

// ---------------------------------------------------------------------------------------------
// Pieces

TEST_F(EvalTest, BishopPairAndColourWeakness) {
    EXPECT_EQ(31, terms("4k3/8/8/8/8/8/8/2B1KB2 w - - 0 1")[TERM_BISHOP_PAIR]);
    // c1 and e3 are both dark: no pair, and no colour weakness with two bishops.
    const int16_t* r = terms("4k3/8/8/8/8/4B3/8/2B1K3 w - - 0 1");
    EXPECT_EQ(0, r[TERM_BISHOP_PAIR]);
    EXPECT_EQ(0, r[TERM_COLOUR_WEAKNESS]);
    // A lone dark bishop with a3, c3, e3 on dark squares and h3 on a light one: 4 * (1 - 3).
    EXPECT_EQ(-8, terms("4k3/8/8/8/8/P1P1P2P/8/2B1K3 w - - 0 1")[TERM_COLOUR_WEAKNESS]);
    // The same for Black, whose frame is mirrored (its dark squares look light from its side).
    EXPECT_EQ(-8, terms("2b1k3/8/p1p1p2p/8/8/8/8/4K3 b - - 0 1")[TERM_COLOUR_WEAKNESS]);
}

TEST_F(EvalTest, LongDiagonalAndFianchetto) {
    // g2 with f2 behind it: fianchetto 13 and the open long diagonal 4.
    EXPECT_EQ(17, terms("4k3/8/8/8/8/8/5PB1/4K3 w - - 0 1")[TERM_OPEN_DIAGONALS]);
    // A pawn on the seventh rank does not close the diagonal; one on d5 does.
    EXPECT_EQ(17, terms("4k3/1p6/8/8/8/8/5PB1/4K3 w - - 0 1")[TERM_OPEN_DIAGONALS]);
    EXPECT_EQ(13, terms("4k3/8/8/3p4/8/8/5PB1/4K3 w - - 0 1")[TERM_OPEN_DIAGONALS]);
}

TEST_F(EvalTest, RookFiles) {
    EXPECT_EQ(6, terms("4k3/8/8/8/8/8/P7/3RK3 w - - 0 1")[TERM_OPEN_FILE]);
    // Without any pawn on the board the rook gets only material, its delta and its square.
    const int16_t* r = terms("4k3/8/8/8/8/8/8/3RK3 w - - 0 1");
    EXPECT_EQ(521, r[TERM_ROOK_MATERIAL]);
    EXPECT_EQ(12, r[TERM_ROOK_ADJUSTMENT]);
    EXPECT_EQ(10, r[TERM_ROOK_PST]);
    EXPECT_EQ(0, r[TERM_ROOK_MOBILITY]);
    EXPECT_EQ(0, r[TERM_OPEN_FILE]);
    // Half-open d-file with the rook on the seventh rank next to the enemy king: 4, plus 3 * 4
    // in the middle game for standing in the king zone.
    const std::string fen = "4k3/3R4/3p4/8/8/8/P7/4K3 w - - 0 1";
    r = terms(fen);
    EXPECT_EQ(4, r[TERM_HALF_OPEN_FILE]);
    EXPECT_EQ(14, r[TERM_SEVENTH_RANK]);
    P_Endgame = 0;
    EXPECT_EQ(16, terms(fen)[TERM_HALF_OPEN_FILE]);
}

TEST_F(EvalTest, TarraschRule) {
    // Only pawns, rooks and kings: a rook in front of its own passed pawn pays, one behind does
    // not.
    EXPECT_EQ(-15, terms("6k1/R6p/8/P7/8/8/8/4K3 w - - 0 1")[TERM_TARRASCH]);
    EXPECT_EQ(0, terms("6k1/7p/8/P7/8/8/8/R3K3 w - - 0 1")[TERM_TARRASCH]);
    EXPECT_EQ(0, terms("6kn/R6p/8/P7/8/8/8/4K3 w - - 0 1")[TERM_TARRASCH]); // a minor piece
}

TEST_F(EvalTest, TrappedPieces) {
    EXPECT_EQ(-15, terms("N3k3/2p5/8/8/8/8/8/4K3 w - - 0 1")[TERM_KNIGHT_TRAPPED]);
    EXPECT_EQ(-15, terms("N3k3/p1p5/8/8/8/8/8/4K3 w - - 0 1")[TERM_KNIGHT_TRAPPED]);
    EXPECT_EQ(0, terms("N3k3/1p6/8/8/8/8/8/4K3 w - - 0 1")[TERM_KNIGHT_TRAPPED]);
    EXPECT_EQ(-52, terms("4k3/B7/1p6/8/8/8/8/4K3 w - - 0 1")[TERM_BISHOP_TRAPPED]);
    EXPECT_EQ(-52, terms("4k3/8/8/8/8/4n3/4P3/4KB2 w - - 0 1")[TERM_BISHOP_TRAPPED]);
    EXPECT_EQ(-22, terms("4k3/8/8/8/8/8/P7/5KR1 w - - 0 1")[TERM_ROOK_TRAPPED]);
    EXPECT_EQ(0, terms("4k3/8/8/8/8/8/P7/4K1R1 w - - 0 1")[TERM_ROOK_TRAPPED]);
}

TEST_F(EvalTest, KnightOutpostCountsInTheAdjustmentCell) {
    // d5 covered by c4, out of reach of Black's five pawns: delta[1] -15 + outpost 24.
    const int16_t* r = terms("4k3/pp3ppp/8/3N4/2P5/8/8/4K3 w - - 0 1");
    EXPECT_EQ(9, r[TERM_KNIGHT_ADJUSTMENT]);
    EXPECT_EQ(0, r[TERM_KNIGHT_OUTPOST]);
    // With only four enemy pawns there are no outposts.
    EXPECT_EQ(-15, terms("4k3/pp3pp1/8/3N4/2P5/8/8/4K3 w - - 0 1")[TERM_KNIGHT_ADJUSTMENT]);
}

TEST_F(EvalTest, QueenDistanceToTheEnemyKing) {
    // Queen a1 sees 21 squares through everything but pawns, e1 is her own: (20 - 14) * 1 in the
    // end game, and 10 - distance(a1, h7) = 3.
    EXPECT_EQ(9, terms("8/7k/8/8/8/8/8/Q3K3 w - - 0 1")[TERM_QUEEN_MOBILITY]);
    // Queen b7 next to the king on a8 (Black to move): 23 squares, (23 - 14) * 1 + 9.
    EXPECT_EQ(18, terms("k7/1Q6/8/8/8/8/8/4K3 b - - 0 1", 1)[TERM_QUEEN_MOBILITY]);
}

TEST_F(EvalTest, EndGameDropsSideToMoveShieldAndKingSafety) {
    // Two bishops on the board. Bishop d3 sees 11 squares up to the pawns, g6 is guarded by a
    // black pawn: 10 counted; h7 lies in the enemy king zone (attack weight 2).
    const std::string fen = "6k1/5ppp/3b4/8/8/3B4/5PPP/6K1 w - - 0 1";
    const int16_t* r = terms(fen);
    EXPECT_EQ(0, r[TERM_SIDE_TO_MOVE]);
    EXPECT_EQ(0, r[TERM_KING_SHIELD]);
    EXPECT_EQ(0, r[TERM_KING_SAFETY]);
    EXPECT_EQ(3 * P_BmobEg, r[TERM_BISHOP_MOBILITY]);
    EXPECT_EQ(0, score(fen));

    P_Endgame = 2; // two pieces are now a middle game
    r = terms(fen);
    EXPECT_EQ(9, r[TERM_SIDE_TO_MOVE]);
    EXPECT_EQ(15, r[TERM_KING_SHIELD]); // f2, g2, h2 in front of g1
    EXPECT_EQ(PT_KingSafety[2], r[TERM_KING_SAFETY]);
    EXPECT_EQ(3 * P_BmobMg, r[TERM_BISHOP_MOBILITY]);
    EXPECT_EQ(9, score(fen));
}

TEST_F(EvalTest, MobilityCountsEnemyPiecesButNotPawnGuardedSquares) {
    P_Endgame = 0;
    P_KnightAttWeight = 10;
    // Knight d4: b3 b5 c2 c6 (black knight) e2 e6 f3 count, f5 (guarded by g6) does not: (7 - 4)
    // * 3. Both e6 and f5 lie in the zone of the king on f6: attack weight 20.
    const int16_t* r = terms("8/8/2n2kp1/8/3N4/8/8/K7 w - - 0 1");
    EXPECT_EQ(9, r[TERM_KNIGHT_MOBILITY]);
    EXPECT_EQ(PT_KingSafety[20], r[TERM_KING_SAFETY]);
}

TEST_F(EvalTest, KingSafetyIndexStaysInsideTheTable) {
    P_Endgame = 0;
    P_QueenAttWeight = 100;
    PT_KingSafety[99] = 777;
    // Queen g1 hits g7 and g8 next to the king on h8: weight 200, read at the last entry.
    EXPECT_EQ(777, terms("7k/8/8/8/8/8/8/4K1Q1 w - - 0 1")[TERM_KING_SAFETY]);
}

// ---------------------------------------------------------------------------------------------
// Whole-suite properties

TEST_F(EvalTest, ColourMirroredTwinsScoreAlike) {
    REQUIRE_TESTDATA(dir);
    const auto& fens = walk_positions();
    ASSERT_GT(fens.size(), 2000u);
    for (const auto& fen : fens) {
        const std::string twin = mirror_fen(fen);
        const int a = score(fen), b = score(twin);
        ASSERT_EQ(a, b) << fen << " vs " << twin;
    }
}

TEST_F(EvalTest, PawnTableHitAndMissGiveTheSameScore) {
    REQUIRE_TESTDATA(dir);
    for (const auto& fen : walk_positions()) {
        set(fen);
        const Board before = *t->stack.current;
        PawnHashEntry e;
        pawn_clear(*t);
        ASSERT_FALSE(pawn_entry(0, e));
        const int cold = evaluate(*t);
        ASSERT_TRUE(pawn_entry(0, e)) << fen;
        ASSERT_TRUE(pawn_entry(1, e)) << fen;
        ASSERT_EQ(cold, evaluate(*t)) << fen;
        ASSERT_EQ(0, std::memcmp(&before, t->stack.current, sizeof(Board))) << fen;
    }
    // Without any table the evaluation runs uncached and agrees.
    const std::string fen = walk_positions()[walk_positions().size() / 2];
    const int cached = score(fen);
    pawn_free(*t);
    EXPECT_EQ(cached, score(fen));
}

TEST_F(EvalTest, BreakdownTotalsAddUpToTheScore) {
    REQUIRE_TESTDATA(dir);
    for (const auto& fen : walk_positions()) {
        set(fen);
        const int traced = evaluate_with_breakdown(*t);
        ASSERT_EQ(evaluate(*t), traced) << fen;
        ASSERT_EQ(traced, eval_breakdown_total(0) - eval_breakdown_total(1)) << fen;
        for (int side = 0; side < 2; ++side)
            for (int slot : {12, 13, 18, 23, 24, 28, 34, 42, 45, 46, 49})
                ASSERT_EQ(0, EvalBreakdown[side][slot]) << fen << " slot " << slot;
    }
}

// ---------------------------------------------------------------------------------------------
// Printed breakdown

TEST(EvalBreakdownPrint, LayoutCellsAndTotals) {
    std::memset(EvalBreakdown, 0, sizeof EvalBreakdown);
    for (int i = 0; i < EVAL_TERMS; ++i) EvalBreakdown[0][i] = static_cast<int16_t>(i + 1);
    // Side 1: column sums that wrap at 16 bits, a chain term, an outpost outside the totals.
    EvalBreakdown[1][0] = EvalBreakdown[1][1] = 30000;
    EvalBreakdown[1][12] = 7;
    EvalBreakdown[1][18] = 500;
    EvalBreakdown[1][40] = EvalBreakdown[1][41] = 20000;

    testing::internal::CaptureStdout();
    print_eval_breakdown();
    const std::string out = testing::internal::GetCapturedStdout();
    std::vector<std::string> lines;
    std::stringstream ss(out);
    for (std::string line; std::getline(ss, line);) lines.push_back(line);
    ASSERT_EQ(73u, lines.size());
    ASSERT_EQ('\n', out.back());

    const std::string dashes66(66, '-'), dashes73(73, '-');
    for (int block = 0; block < 2; ++block) {
        const size_t o = static_cast<size_t>(block) * 36;
        EXPECT_EQ("", lines[o]);
        EXPECT_EQ(block == 0 ? "Side to move" : "Opponent", lines[o + 1]);
        EXPECT_EQ(dashes66, lines[o + 2]);
        EXPECT_EQ("| Piece         |  Pawn|Knight|Bishop|  Rook| Queen|  King|Others|",
                  lines[o + 3]);
        EXPECT_EQ(dashes66, lines[o + 4]);
        for (size_t row = 0; row < 28; ++row) {
            const std::string& l = lines[o + 5 + row];
            ASSERT_EQ(66u, l.size()) << l;
            EXPECT_EQ("| ", l.substr(0, 2));
            for (size_t bar = 16; bar < 66; bar += 7) EXPECT_EQ('|', l[bar]) << l;
        }
        EXPECT_EQ(dashes73, lines[o + 33]);
        EXPECT_EQ(dashes73, lines[o + 35]);
    }
    EXPECT_EQ("", lines[72]);

    // Rows pick the named slots, "." elsewhere; Chain and Candidate print negated.
    EXPECT_EQ("| Material      |     1|    15|    21|    31|    41|     .|     .|", lines[5]);
    EXPECT_EQ("| PST           |     2|    16|    22|    32|    42|    45|     .|", lines[6]);
    EXPECT_EQ("| Chain         |   -13|     .|     .|     .|     .|     .|     .|", lines[14]);
    EXPECT_EQ("| Outpost       |     .|    19|    25|    35|     .|     .|     .|", lines[21]);
    EXPECT_EQ("| Tarrash Rule  |     .|     .|     .|    40|     .|     .|     .|", lines[28]);
    EXPECT_EQ("| Pinned        |     .|     .|     .|     .|     .|     .|    50|", lines[32]);
    // Pawn 1..14, knight 15+16+17+18+20, bishop 21+22+23+26+27+28+30, rook 31..34+36..40, queen
    // 41+42+44, king 45+48, others 49+50.
    EXPECT_EQ("| Total         |   105|    86|   177|   320|   127|    93|    99|  1007|",
              lines[34]);
    EXPECT_EQ(1007, eval_breakdown_total(0));
    // 60007 and 40000 wrap in their 16-bit columns; the grand total is 32-bit.
    EXPECT_EQ("| Chain         |    -7|     .|     .|     .|     .|     .|     .|", lines[36 + 14]);
    EXPECT_EQ("| Total         | -5529|     0|     0|     0|-25536|     0|     0|-31065|",
              lines[36 + 34]);
    EXPECT_EQ(-31065, eval_breakdown_total(1));
}
