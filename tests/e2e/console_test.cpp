// The start-up and the interactive console through the real binary, compared byte for byte with
// what a user sees.
#include <array>

#include "e2e/harness.h"
#include "testdata.h"

namespace {

using namespace e2e;

const std::string kDashes(79, '-');
const std::string kBanner = kDashes + "\nbrontavel chess engine\nVersion 1.1\n\n" +
                            "Thread allocated for lazySMP: 2\n" + kDashes + "\n\n" + kFirstPrompt;

// The diagram of a FEN's piece placement, White at the bottom.
std::string diagram(const std::string& placement) {
    const std::string border = "  +---+---+---+---+---+---+---+---+\n";
    std::string s = "\n\n";
    char rank = '8';
    for (const std::string& row : split(placement, '/')) {
        s += border + rank-- + " ";
        for (char c : row)
            for (int n = isdigit(c) ? c - '0' : 1; n > 0; --n)
                s += std::string("| ") + (isdigit(c) ? ' ' : c) + " ";
        s += "|\n";
    }
    return s + border + "\n    A   B   C   D   E   F   G   H\n\n";
}

const std::string kStartBoard = diagram("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR");
const std::string kAfterE4 = diagram("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR");

TEST(Startup, BannerAndTheFirstLine) {
    // "quit" lines end at once; empty and unknown lines print nothing, not even a prompt.
    for (const char* input : {"quit\n", "quitxyz\n", "", "\n\nhello\nquit\n"}) {
        const RunResult r = run_engine(input);
        EXPECT_EQ(0, r.exit_status) << input;
        EXPECT_EQ(kBanner, r.out) << input;
    }
    // A line beginning with c opens the console, with u the protocol; only one front-end runs.
    const std::string welcome =
        "\nWelcome in brontavel\ntype \"help\" to show commands list\n" + kPrompt;
    for (const char* input : {"c\n", "cxyz\n", "\nhello\nconsole\nq\n"})
        EXPECT_TRUE(after_startup(run_engine(input).out).ends_with(welcome)) << input;
    const std::string uci = after_startup(run_engine("ucinewgame\nconsole\nq\n").out);
    EXPECT_EQ(0u, uci.find("\nid name brontavel\n"));
    EXPECT_EQ(std::string::npos, uci.find("Welcome"));
}

// A console command and its whole reply; "*" before the reply matches its end only, "*" after
// it its start only, and a lone "*" any reply.
using Step = std::pair<std::string, std::string>;

std::vector<std::string> expect_replies(const std::vector<Step>& steps) {
    std::vector<std::string> commands;
    for (const Step& s : steps) commands.push_back(s.first);
    const auto r = console(commands);
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string& w = steps[i].second;
        EXPECT_TRUE(w == "*" || (w.starts_with('*') ? r[i].ends_with(w.substr(1))
                                 : w.ends_with('*') ? r[i].starts_with(w.substr(0, w.size() - 1))
                                                    : r[i] == w))
            << steps[i].first << " gave: " << r[i];
    }
    return r;
}

TEST(Console, BoardMovesSetboardAndErrors) {
    const std::string promotion = diagram("4k3/1P6/8/8/8/8/8/4K3");
    const std::string fen = "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
    std::vector<Step> steps = {
        {"help", "new            - new game\nperft          - run perft test\n"
                 "setboard [FEN] - set position from FEN\ngetboard       - get FEN position\n"
                 "b              - show ChessBoard\nturn           - show Turn\n"
                 "inv            - invert ChessBoard\ngo             - start search\n"
                 "undo           - undo last move\nmemory [MB]    - Allocate MB for HashTable\n"},
        {"b", kStartBoard},
        {"turn", "Turn: WHITE\n"},
        {"e2e4", kAfterE4}, // White stays at the bottom with Black to move
        {"turn", "Turn: BLACK\n"},
        {"undo", ""},
        {"undo", ""}, // nothing below the first position
        {"getboard", "FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - \n"},
        {"help ", "Error (unknown command): help \n"},
        {"E2E4", "Error (unknown command): E2E4\n"},
        {"e9e4", "Error (unknown command): e9e4\n"},
        {std::string(300, 'z'), "Error (unknown command): " + std::string(255, 'z') + "\n"},
        {"e2e5", "Illegal move: e2e5\n" + kStartBoard},
        {"e2e4\xc3\xa9", kAfterE4}, // only a promotion letter may follow the squares
        {"setboard 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", promotion},
        {"b7b8Q", "Illegal move: b7b8Q\n" + promotion},
        {"b7b8n", "*"},
        {"getboard", "FEN: 1N2k3/8/8/8/8/8/8/4K3 b - - \n"},
        {"setboard " + fen + " 0 3", diagram(fen.substr(0, fen.find(' ')))},
        {"getboard", "FEN: " + fen + " \n"},
    };
    // A refused FEN leaves the new game that setboard started.
    for (const std::string refused : {"xyz", ""})
        steps.insert(steps.end(), {{"e2e4", "*"}, {"setboard " + refused, kStartBoard}});
    // The fixed test positions load silently, or with their one report line.
    for (const auto& [name, position, report] : std::vector<std::array<std::string, 3>>{
             {"n1", "3rk2r/ppp2ppp/8/3Pp3/8/8/PPP2PPP/R3K2R w KQk d6 ", ""},
             {"p", "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - ", ""},
             {"m5", "8/RP6/2k5/8/8/6P1/7P/7K w - - ", ""},
             {"fianc", "6k1/pbp2npp/1p3p2/8/8/1P4P1/PBP2P1P/6K1 w - - ", ""},
             {"pin", "6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - ", "Pins: 24576\n"},
             {"piece 34", "6k1/8/8/2q1n3/1b3r2/3N4/8/6K1 w - - ", "Piece Value: 1071\n"}})
        steps.insert(steps.end(), {{name, report}, {"getboard", "FEN: " + position + "\n"}});
    expect_replies(steps);
}

TEST(Console, TablesGameEndsSearchAndInv) {
    const auto r = expect_replies({
        {"hprobe", "Hash Probe KO\n"},
        {"hstore 7", "Stored with aging: 7\n"},
        {"hprobe", "Hash Probe OK\n"},
        {"clear", "*"},
        {"hprobe", "Hash Probe KO\n"},
        {"memory 3", "Allocated 3 MB for the Hash Table\n"},
        {"memory 9000", "Error: insert a number between 4 and 8192 \ntellusererror Error (size "
                        "out of bound): Insert size between 4 and 8192\n"},
        {"size", "Hash record size: 16 byte  (128 bit)\nHash Data   size:  8 byte  ( 64 bit)\n\n"
                 "HashPawn    size: 24 byte  (192 bit)\n"},
        {"setboard 4k3/8/8/8/8/8/8/R3K3 w - - 98 80", "*"},
        {"a1a2", "*"},
        {"e8e7", "*1/2-1/2 {Draw by 50 move rule}\n"},
        {"setboard 7k/5Q2/8/6K1/8/8/8/8 w - - 0 1", "*"},
        {"g5g6", "*1/2-1/2 {Stalemate}\n"},
        {"sd 0", "Error (depth out of bound): Insert depth between 2 and 63\n"},
        {"st 0", "Error (movetime out of bound): Insert movetime > 0 \n"},
        // The console search announces the mate, plays it and the game ends.
        {"setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "*"},
        {"sd 4", ""},
        {"go", "*\n1-0 {White mates}\n"},
        {"getboard", "FEN: R5k1/5ppp/8/8/8/8/8/6K1 b - - \n"},
        // In check, inv is refused: White stays to move, and Black cannot take the king.
        {"setboard 4k3/8/8/8/8/8/8/r3K3 w - - 0 1", "*"},
        {"inv", "Error (side to move in check): inv\n"},
        {"getboard", "FEN: 4k3/8/8/8/8/8/8/r3K3 w - - \n"},
        {"a1e1", "Illegal move: a1e1\n*"},
        // The pawn that could be taken en passant is now the side to move's own.
        {"setboard 4k3/8/8/3pP3/4p3/8/8/4K3 w - d6 0 1", "*"},
        {"inv", ""},
        {"getboard", "FEN: 4k3/8/8/3pP3/4p3/8/8/4K3 b - - \n"},
        {"e4d3", "Illegal move: e4d3\n*"},
    });
    EXPECT_NE(std::string::npos, r[17].find("Mate in 1 \nBestmove: a1a8   Score: 19999 ")) << r[17];
}

TEST(Console, SeeSelfTestScoreAndKeys) {
    const auto r = console({"see", "new", "score", "key", "inv", "key"});
    // The self-test's 25 exchange cases: their scores and moves, worked out by hand.
    const std::regex block(R"(\nTestCase ..                      Score:          *(-?\d+)\n)"
                           R"(Move:           *(\w+)      SEE move:       *-?\d+\n)"
                           R"(Best:           *\w+      SEE best:       *-?\d+\n)");
    EXPECT_EQ("-125 c3d4,150 d3e5,-1025 d3e5,325 e5f6,500 b3a1,0 e5d4,625 e6d8,-625 c8c3,"
              "-625 c7c3,725 e5f3,0 b4c3,-225 f6d5,-850 f6d5,100 h6g5,100 h6g5,0 c8c1,0 b5c4,"
              "0 b5c4,0 d5e7,275 d3e4,0 g3b8,-225 e4f6,175 g3c7,0 d7d8q,-625 d7d8q,",
              std::regex_replace(r[0], block, "$1 $2,"));
    // The start position scores the side to move (the eval tests check the breakdown above).
    EXPECT_TRUE(r[2].find("| Total") != std::string::npos && r[2].ends_with("\nScore: 9\n"))
        << r[2];
    // Keys computed afresh and kept up to date agree; inv keeps the old key.
    const std::regex key(R"(HashKey \(full\): (\d+)\nHashKey \(inc\) : (\d+)\n)");
    std::smatch a, b;
    ASSERT_TRUE(std::regex_match(r[3], a, key) && std::regex_match(r[5], b, key)) << r[3] << r[5];
    EXPECT_EQ(a[1], a[2]);
    EXPECT_NE(b[1], b[2]);
    EXPECT_EQ(a[2], b[2]);
}

TEST(Console, FilesItReadsAndWrites) {
    // Each tuning stage runs to its end, "tune" reads tune.txt, and a pipe gets no terminal codes.
    const RunResult r =
        run_engine("c\ntexel\ntune\nTD1\nquit\n",
                   {{"input.epd", "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 w - - 0 1;1-0;\n"},
                    {"tune.txt", "P_Pawn\n"}});
    for (const char* text : {"Texel Tuning completed\n", "\nTuned param P_Pawn value ",
                             "> Tuning First Stage completed\nProcessed positions: 1\n"})
        EXPECT_NE(std::string::npos, r.out.find(text)) << text;
    EXPECT_EQ(std::string::npos, r.out.find("\033"));
    // The dump of a table of 1048576 entries, and no dump where the folder cannot be made.
    Session s("[ENGINE]\nHashSize=1\nHashPawnSize=1\nThread=1\n");
    for (const char* line : {"c", "hstore 9", "dump", "quit"}) s.send(line);
    EXPECT_EQ(0, s.wait_exit());
    EXPECT_NE(std::string::npos, s.transcript().find("\nbrontavel> Tot: 1048576\n"));
    std::ifstream csv(s.dir() + "/DumpHash/dump.csv");
    const std::string dump((std::istreambuf_iterator<char>(csv)), {});
    EXPECT_TRUE(dump.starts_with("Key;Score;Depth;Age;Best;Flags;\n")) << dump.substr(0, 80);
    EXPECT_EQ(1048577, std::ranges::count(dump, '\n'));
    EXPECT_EQ("File non trovato\n", console({"dump"}, {{"DumpHash", "not a folder"}})[0]);
    // The default book's moves of the game's position, as the reference listing gives them.
    REQUIRE_TESTDATA(dir);
    std::ifstream book(dir + "/books/performance.bin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(book)), {});
    EXPECT_EQ("move=e7e5 weight=50.00%\nmove=c7c5 weight=50.00%\n",
              console({"e2e4", "book"}, {{"Kestrane_12.9c.bin", bytes}})[1]);
}

} // namespace
