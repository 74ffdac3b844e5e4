// The evaluation: terms worked out by hand, properties over thousands of positions, the printed
// breakdown and the EvalFile loader.
#include "eval/evaluate.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <tuple>

#include "board/board_helpers.h"
#include "config/config_fixture.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "search/thread.h"
#include "testdata.h"
#include "tuning/tuner.h"

namespace {

// The weight table and its variables are put back after each test.
struct Eval : ScratchDir {
    Eval() {
        ResetEvalParams();
        new_game(t->stack);
        pawn_allocate(*t, 1024, 0, 0, 0);
    }
    ~Eval() override {
        pawn_free(*t);
        std::ranges::copy(saved_, EvalParamTable);
        ResetEvalParams();
    }
    int score(const std::string& fen) {
        EXPECT_EQ(1, read_fen(t->stack, fen.c_str(), nullptr)) << fen;
        return evaluate(*t);
    }
    bool defaults_kept() const {
        return std::equal(saved_.begin(), saved_.end(), EvalParamTable,
                          [](auto& a, auto& b) { return a.value == b.value && *a.var == a.value; });
    }
    std::unique_ptr<SearchThread> t = std::make_unique<SearchThread>();
    const std::vector<EvalParam> saved_{std::begin(EvalParamTable), std::end(EvalParamTable)};
    std::string message_;
};
using EvalFile = Eval;

// The same position with the colours swapped: ranks mirrored, case swapped, the other side to move.
std::string mirror_fen(const std::string& fen) {
    std::string placement, side, castling, ep, mirrored, r;
    std::istringstream(fen) >> placement >> side >> castling >> ep;
    for (std::string* s : {&placement, &castling})
        for (char& c : *s) c = static_cast<char>(std::isalpha(c) ? c ^ 0x20 : c);
    for (std::istringstream in(placement); std::getline(in, r, '/');) mirrored = '/' + r + mirrored;
    std::ranges::sort(castling); // KQkq
    if (ep != "-") ep[1] = ep[1] == '3' ? '6' : '3';
    return mirrored.substr(1) + (side == "w" ? " b " : " w ") + castling + " " + ep;
}

} // namespace

TEST_F(Eval, TermsWorkedOutByHand) {
    const std::tuple<const char*, int, int> cases[] = {
        {"4k3/Pp6/8/8/8/8/8/4K3 w - - 0 1", TERM_PASSED, 89},
        {"4k3/2p5/P7/8/8/8/8/4K3 w - - 0 1", TERM_PASSED, 58}, // a pawn beside it: still passed
        {"4k3/8/8/8/P7/P7/P7/4K3 w - - 0 1", TERM_ISOLATED, -21},
        {"4k3/8/8/8/P7/P7/PP6/4K3 w - - 0 1", TERM_ISOLATED, 0},
        {"4k3/8/8/8/8/8/PPPPP3/4K3 w - - 0 1", TERM_PAWN_ENDING, 401},
        {"4k1n1/8/8/8/8/8/PPPPP3/4K3 w - - 0 1", TERM_PAWN_ENDING, 0},
        {"4k3/8/8/8/8/8/PP1PP1PP/4K3 w - - 0 1", TERM_DISPERSION, -21},
        {"4k3/8/8/8/4p3/8/3P4/4K3 w - - 0 1", TERM_BACKWARD, -9},
        {"4k3/8/8/8/4p3/8/2PP4/4K3 w - - 0 1", TERM_BACKWARD, 0},
        {"k7/4P3/3K4/8/8/8/8/8 w - - 0 1", TERM_KING_TROPISM, 80},
        {"k7/4P3/3K4/8/8/8/8/7q w - - 0 1", TERM_KING_TROPISM, 0},
        {"4k3/8/8/8/8/8/8/2B1KB2 w - - 0 1", TERM_BISHOP_PAIR, 31},
        {"4k3/8/8/8/8/P1P1P2P/8/2B1K3 w - - 0 1", TERM_COLOUR_WEAKNESS, -8},
        {"4k3/8/8/8/8/8/5PB1/4K3 w - - 0 1", TERM_OPEN_DIAGONALS, 17},
        {"4k3/8/8/3p4/8/8/5PB1/4K3 w - - 0 1", TERM_OPEN_DIAGONALS, 13},
        {"4k3/8/8/8/8/8/P7/3RK3 w - - 0 1", TERM_OPEN_FILE, 6},
        {"4k3/3R4/3p4/8/8/8/P7/4K3 w - - 0 1", TERM_HALF_OPEN_FILE, 4},
        {"6k1/R6p/8/P7/8/8/8/4K3 w - - 0 1", TERM_TARRASCH, -15},
        {"6kn/R6p/8/P7/8/8/8/4K3 w - - 0 1", TERM_TARRASCH, 0}, // rook endings only
        {"N3k3/2p5/8/8/8/8/8/4K3 w - - 0 1", TERM_KNIGHT_TRAPPED, -15},
        {"4k3/B7/1p6/8/8/8/8/4K3 w - - 0 1", TERM_BISHOP_TRAPPED, -52},
        {"4k3/8/8/8/8/8/P7/5KR1 w - - 0 1", TERM_ROOK_TRAPPED, -22},
        {"4k3/pp3ppp/8/3N4/2P5/8/8/4K3 w - - 0 1", TERM_KNIGHT_ADJUSTMENT, 9},   // outpost
        {"4k3/pp3pp1/8/3N4/2P5/8/8/4K3 w - - 0 1", TERM_KNIGHT_ADJUSTMENT, -15}, // 4 pawns: none
        {"8/7k/8/8/8/8/8/Q3K3 w - - 0 1", TERM_QUEEN_MOBILITY, 9},
    };
    // The recorded term of one side (0 the side to move, 1 the opponent).
    const auto term = [&](const char* fen, int side, int index) {
        score(fen);
        evaluate_with_breakdown(*t);
        return EvalBreakdown[side][index];
    };
    for (const auto& [fen, index, value] : cases) EXPECT_EQ(value, term(fen, 0, index)) << fen;
    EXPECT_EQ(18, term("k7/1Q6/8/8/8/8/8/4K3 b - - 0 1", 1, TERM_QUEEN_MOBILITY));
    EXPECT_EQ(9, score("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    EXPECT_EQ(334, score("4k3/P7/8/8/8/8/8/4K3 w - - 0 1"));
    EXPECT_EQ(543, score("4k3/8/8/8/8/8/8/3RK3 w - - 0 1"));
    // A king-safety index beyond the table reads its last entry.
    P_Endgame = 0;
    P_QueenAttWeight = 100;
    PT_KingSafety[99] = 777;
    EXPECT_EQ(777, term("7k/8/8/8/8/8/8/4K1Q1 w - - 0 1", 0, TERM_KING_SAFETY));
}

// Over the perft suite and 24 random plies from each: colour-swapped twins score alike, a pawn
// table miss, a hit and no table at all give the same score, and the breakdown adds up to it.
TEST_F(Eval, SymmetryPawnTableAndBreakdownAgreeEverywhere) {
    REQUIRE_TESTDATA(dir);
    std::mt19937 rng(20240607);
    auto stack = make_stack();
    int positions = 0;
    for (const auto& line : read_perft_suite(dir)) {
        if (!read_fen(*stack, line.fen.c_str(), nullptr)) continue;
        for (int ply = 0; ply <= 24; ++ply, ++positions) {
            const std::string fen = fen_of(*stack->current);
            pawn_clear(*t);
            const int cold = score(fen);
            ASSERT_EQ(cold, score(mirror_fen(fen))) << fen;
            ASSERT_EQ(cold, score(fen)) << fen;
            ASSERT_EQ(cold, evaluate_with_breakdown(*t)) << fen;
            ASSERT_EQ(cold, eval_breakdown_total(0) - eval_breakdown_total(1)) << fen;
            MoveEntry list[MAX_MOVES];
            const auto n = static_cast<unsigned>(gen_legal_moves(*stack->current, list) - list);
            if (n == 0) break;
            stack->current = make_move(stack->current, list[rng() % n].move, stack->boards);
        }
    }
    EXPECT_GT(positions, 2000);
    // A thread whose table could not be allocated evaluates uncached.
    const std::string fen = fen_of(*stack->current);
    const int cached = score(fen);
    pawn_table_calloc = [](size_t, size_t) -> void* { return nullptr; };
    testing::internal::CaptureStdout();
    pawn_allocate(*t, 1024, 4, 1, 2);
    pawn_table_calloc = std::calloc;
    EXPECT_EQ("HashPawn Table Memory Allocation Failed!\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, t->pawn_table);
    EXPECT_EQ(cached, score(fen));
}

TEST(EvalBreakdownPrint, LayoutCellsAndTotals) {
    std::memset(EvalBreakdown, 0, sizeof EvalBreakdown);
    for (int i = 0; i < EVAL_TERMS; ++i) EvalBreakdown[0][i] = static_cast<int16_t>(i + 1);
    // Side 1: column sums that wrap at 16 bits.
    EvalBreakdown[1][0] = EvalBreakdown[1][1] = 30000;
    EvalBreakdown[1][12] = 7;
    EvalBreakdown[1][40] = EvalBreakdown[1][41] = 20000;
    testing::internal::CaptureStdout();
    print_eval_breakdown();
    std::vector<std::string> lines;
    std::stringstream out(testing::internal::GetCapturedStdout());
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(73u, lines.size());
    const std::pair<size_t, const char*> expected[] = {
        {1, "Side to move"},
        {2, "------------------------------------------------------------------"},
        {3, "| Piece         |  Pawn|Knight|Bishop|  Rook| Queen|  King|Others|"},
        {5, "| Material      |     1|    15|    21|    31|    41|     .|     .|"},
        {6, "| PST           |     2|    16|    22|    32|    42|    45|     .|"},
        {14, "| Chain         |   -13|     .|     .|     .|     .|     .|     .|"},
        {21, "| Outpost       |     .|    19|    25|    35|     .|     .|     .|"},
        {28, "| Tarrash Rule  |     .|     .|     .|    40|     .|     .|     .|"},
        {32, "| Pinned        |     .|     .|     .|     .|     .|     .|    50|"},
        {34, "| Total         |   105|    86|   177|   320|   127|    93|    99|  1007|"},
        {37, "Opponent"},
        {70, "| Total         | -5529|     0|     0|     0|-25536|     0|     0|-31065|"},
        {72, ""},
    };
    for (const auto& [row, text] : expected) EXPECT_EQ(text, lines[row]) << "line " << row;
    EXPECT_EQ(1007, eval_breakdown_total(0));
    EXPECT_EQ(-31065, eval_breakdown_total(1));
}

TEST_F(EvalFile, MissingUnreadableOrDamagedFileKeepsDefaults) {
    write(std::string(EVAL_FILE_MAX_BYTES + 1, '\n'), "big.csv");
    for (const auto& [file, why] : {std::pair{"none.csv", " not found"},
                                    {".", " cannot be read"},
                                    {"big.csv", " is larger than 1 MB"}}) {
        EXPECT_FALSE(load_eval_file(file, message_));
        EXPECT_EQ("EvalFile " + std::string(file) + why + ": built-in weights used", message_);
    }
    EXPECT_TRUE(defaults_kept());
    // One damaged line refuses the whole file: the line, the refusal, the number of the line.
    const std::tuple<std::string, std::string, int> cases[] = {
        {"P_Rooks;500;", "unknown weight P_Rooks", 2},
        {"PT_PawnPassed;3;", "unknown weight PT_PawnPassed", 2},
        {"P_Rook;", "no number for P_Rook", 2},
        {"P_Rook", "no number for P_Rook", 2},
        {"P_Rook;500x;", "characters after the value of P_Rook", 2},
        {"P_Rook;500;7", "characters after the value of P_Rook", 2},
        {"P_Rook;" + std::string(300, '5'), "line too long", 2},
        {"P_Rook;651;", "value of P_Rook outside its range 350..650", 2},
        {"P_Rook;-99999999999999999999;", "value of P_Rook outside its range 350..650", 2},
        {"P_King;10000;", "value of P_King outside its range 10000..0", 2},
        {"\n#\nP_Pawn;90;", "P_Pawn given again (first on line 1)", 4},
        {std::string(EVAL_FILE_MAX_LINES, '\n'), "more than 4096 lines", 4097},
    };
    for (const auto& [line, why, number] : cases) {
        write("P_Pawn;90;\n" + line + "\nP_Knight;400;\n", "w.csv");
        EXPECT_FALSE(load_eval_file("w.csv", message_)) << line;
        EXPECT_EQ("EvalFile w.csv line " + std::to_string(number) + ": " + why +
                      "; file refused, built-in weights used",
                  message_);
        EXPECT_TRUE(defaults_kept()) << line;
    }
}

// A hand-written file with comments, blank lines, spaces and CRLF ends; the tuner's output; the
// weight file shipped beside the settings file: each loads whole, the listed weights only.
TEST_F(EvalFile, GoodFilesAreApplied) {
    write("# tuned\r\n\r\n; note\nP_SideToMove;12;\r\n  PT_PawnPassed[3] ; 25\nP_Rook;600;  \n",
          "w.csv");
    ASSERT_TRUE(load_eval_file("w.csv", message_)) << message_;
    EXPECT_EQ("EvalFile w.csv: 3 weights loaded", message_);
    EXPECT_EQ((std::tuple{12, 25, 600, 81}),
              std::tie(P_SideToMove, PT_PawnPassed[3], P_Rook, P_Pawn));
    EXPECT_EQ(600, EvalParamTable[3].value); // the tuner starts from the loaded value
    // P_Pawn, PT_PawnPassed[3], PT_KingSafety[4], P_SideToMove at their maxima.
    const int rows[] = {0, 18, 140, 244};
    for (int r : rows) EvalParamTable[r].tune = 1, EvalParamTable[r].best = EvalParamTable[r].max;
    testing::internal::CaptureStdout();
    WriteTunedParams();
    testing::internal::GetCapturedStdout();
    for (int r : rows) EvalParamTable[r].tune = 0;
    ASSERT_TRUE(load_eval_file("tuned.csv", message_)) << message_;
    EXPECT_EQ("EvalFile tuned.csv: 4 weights loaded", message_);
    for (int r : rows) EXPECT_EQ(EvalParamTable[r].max, *EvalParamTable[r].var) << r;
    const std::string path = std::string(BRONTAVEL_SOURCE_DIR) + "/tuned.csv";
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line);) lines += !line.empty() && line[0] != '#';
    ASSERT_TRUE(load_eval_file(path.c_str(), message_)) << message_;
    EXPECT_EQ("EvalFile " + path + ": " + std::to_string(lines) + " weights loaded", message_);
}
