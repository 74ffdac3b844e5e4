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
const std::string kStartFenLine = "FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - \n";

// The diagram for eight ranks given from rank 8 down, one letter per file, '.' for empty.
std::string diagram(const std::vector<std::string>& ranks) {
    const std::string border = "  +---+---+---+---+---+---+---+---+\n";
    std::string s = "\n\n";
    for (int r = 0; r < 8; ++r) {
        s += border + static_cast<char>('8' - r) + " ";
        for (char c : ranks[r]) s += std::string("| ") + (c == '.' ? ' ' : c) + " ";
        s += "|\n";
    }
    return s + border + "\n    A   B   C   D   E   F   G   H\n\n";
}

const std::string kEmpty = "........";
const std::string kStartBoard =
    diagram({"rnbqkbnr", "pppppppp", kEmpty, kEmpty, kEmpty, kEmpty, "PPPPPPPP", "RNBQKBNR"});
const std::string kAfterE4 =
    diagram({"rnbqkbnr", "pppppppp", kEmpty, kEmpty, "....P...", kEmpty, "PPPP.PPP", "RNBQKBNR"});

TEST(Startup, BannerAndTheFirstLine) {
    // "quit" lines end at once; empty and unknown lines print nothing, not even a prompt.
    for (const char* input : {"quit\n", "quitxyz\n", "", "\n\nhello\nquit\n"}) {
        const RunResult r = run_engine(input);
        EXPECT_EQ(0, r.exit_status) << input;
        EXPECT_EQ(kBanner, r.out) << input;
    }
    // A line beginning with c opens the console, with u the protocol; only one front-end runs.
    for (const char* input : {"c\n", "cxyz\n", "\nhello\nconsole\nq\n"})
        EXPECT_TRUE(after_startup(run_engine(input).out)
                        .ends_with("\nWelcome in brontavel\ntype \"help\" to show commands list\n" +
                                   kPrompt))
            << input;
    const std::string uci = after_startup(run_engine("ucinewgame\nconsole\nq\n").out);
    EXPECT_EQ(0u, uci.find("\nid name brontavel\n"));
    EXPECT_EQ(std::string::npos, uci.find("Welcome"));
}

TEST(Console, BoardMovesAndErrors) {
    const std::vector<std::string> unknown = {"xyz", "help ", "E2E4", "e9e4"};
    std::vector<std::string> commands = {"help",     "b",    "getboard", "turn", "e2e4",
                                         "getboard", "turn", "undo",     "undo", "getboard"};
    commands.insert(commands.end(), unknown.begin(), unknown.end());
    commands.insert(commands.end(), {std::string(300, 'z'), "e2e5", "e1g1", "e2e4\xc3\xa9", "new",
                                     "setboard 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8", "b7b8Q",
                                     "b7b8n", "getboard"});
    const auto r = console(commands);
    EXPECT_EQ("new            - new game\nperft          - run perft test\n"
              "setboard [FEN] - set position from FEN\ngetboard       - get FEN position\n"
              "b              - show ChessBoard\nturn           - show Turn\n"
              "inv            - invert ChessBoard\ngo             - start search\n"
              "undo           - undo last move\nmemory [MB]    - Allocate MB for HashTable\n",
              r[0]);
    EXPECT_EQ(kStartBoard, r[1]);
    EXPECT_EQ(kStartFenLine, r[2]);
    EXPECT_EQ("Turn: WHITE\n", r[3]);
    EXPECT_EQ(kAfterE4, r[4]); // White stays at the bottom with Black to move
    EXPECT_EQ("FEN: rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 \n", r[5]);
    EXPECT_EQ("Turn: BLACK\n", r[6]);
    EXPECT_EQ("", r[7] + r[8]); // the second undo finds nothing below the first position
    EXPECT_EQ(kStartFenLine, r[9]);
    for (size_t i = 0; i < unknown.size(); ++i)
        EXPECT_EQ("Error (unknown command): " + unknown[i] + "\n", r[10 + i]);
    EXPECT_EQ("Error (unknown command): " + std::string(255, 'z') + "\n", r[14]); // cut to 255
    EXPECT_EQ("Illegal move: e2e5\n" + kStartBoard, r[15]);
    EXPECT_EQ("Illegal move: e1g1\n" + kStartBoard, r[16]);
    EXPECT_EQ(kAfterE4, r[17]); // only a promotion letter may follow the squares
    const std::string before =
        diagram({"....k...", ".P......", kEmpty, kEmpty, kEmpty, kEmpty, kEmpty, "....K..."});
    EXPECT_EQ("Illegal move: b7b8\n" + before, r[20]);
    EXPECT_EQ("Illegal move: b7b8Q\n" + before, r[21]);
    EXPECT_EQ("FEN: 1N2k3/8/8/8/8/8/8/4K3 b - - \n", r[23]);
}

TEST(Console, SetboardAndTheFixedTestPositions) {
    const std::string fen = "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
    const std::vector<std::string> refused = {
        "setboard " + fen + std::string(216 - fen.size(), ' '),
        "setboard xyz",
        "setboard",
        "setboard 8/8/8/8/8/8/8/8 w - - 0 1",
        "setboard 4k3/8/8/8/8/8/8/4R1K1 w - - 0 1",
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq d6 0 1"};
    std::vector<std::string> commands = {"setboard " + fen + " 0 3", "getboard"};
    for (const auto& c : refused) commands.insert(commands.end(), {"e2e4", c});
    // Each test position with what loading it prints.
    const std::vector<std::array<std::string, 3>> positions = {
        {"n1", "3rk2r/ppp2ppp/8/3Pp3/8/8/PPP2PPP/R3K2R w KQk d6 ", ""},
        {"p", "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - ", ""},
        {"m5", "8/RP6/2k5/8/8/6P1/7P/7K w - - ", ""},
        {"fianc", "6k1/pbp2npp/1p3p2/8/8/1P4P1/PBP2P1P/6K1 w - - ", ""},
        {"pin", "6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - ", "Pins: 24576\n"},
        {"piece 34", "6k1/8/8/2q1n3/1b3r2/3N4/8/6K1 w - - ", "Piece Value: 1071\n"}};
    for (const auto& p : positions) commands.insert(commands.end(), {p[0], "getboard"});
    const auto r = console(commands);
    EXPECT_EQ(diagram({"rnbqkbnr", "ppp.pppp", kEmpty, kEmpty, "...pP...", kEmpty, "PPPP.PPP",
                       "RNBQKBNR"}),
              r[0]);
    EXPECT_EQ("FEN: " + fen + " \n", r[1]);
    // A refused FEN leaves the new game that setboard started.
    for (size_t i = 0; i < refused.size(); ++i) EXPECT_EQ(kStartBoard, r[3 + 2 * i]) << refused[i];
    for (size_t i = 0, at = 2 + 2 * refused.size(); i < positions.size(); ++i, at += 2) {
        EXPECT_EQ(positions[i][2], r[at]) << positions[i][0];
        EXPECT_EQ("FEN: " + positions[i][1] + "\n", r[at + 1]) << positions[i][0];
    }
}

TEST(Console, SeeSelfTestGamesEndsAndSearch) {
    const auto r = console(
        {"see", "new", "f2f3", "e7e5", "g2g4", "d8h4", "setboard 4k3/8/8/8/8/8/8/R3K3 w - - 98 80",
         "a1a2", "e8e7", "setboard 7k/5Q2/8/6K1/8/8/8/8 w - - 0 1", "g5g6", "sd 0", "st 0",
         "setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "sd 4", "go", "getboard"});
    // The 25 exchange cases: their scores and moves, worked out by hand.
    const std::pair<int, const char*> see[25] = {
        {-125, "c3d4"}, {150, "d3e5"},  {-1025, "d3e5"}, {325, "e5f6"},  {500, "b3a1"},
        {0, "e5d4"},    {625, "e6d8"},  {-625, "c8c3"},  {-625, "c7c3"}, {725, "e5f3"},
        {0, "b4c3"},    {-225, "f6d5"}, {-850, "f6d5"},  {100, "h6g5"},  {100, "h6g5"},
        {0, "c8c1"},    {0, "b5c4"},    {0, "b5c4"},     {0, "d5e7"},    {275, "d3e4"},
        {0, "g3b8"},    {-225, "e4f6"}, {175, "g3c7"},   {0, "d7d8q"},   {-625, "d7d8q"}};
    const std::regex block(R"(\nTestCase (..)                      Score:          ( *-?\d+)\n)"
                           R"(Move:           ( *\w+)      SEE move:       ( *-?\d+)\n)"
                           R"(Best:           ( *\w+)      SEE best:       ( *-?\d+)\n)");
    std::string rest = r[0];
    std::smatch m;
    int n = 0;
    for (; n < 25 && std::regex_search(rest, m, block, std::regex_constants::match_continuous);
         ++n, rest = m.suffix()) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%2i|%5i|%8s", n + 1, see[n].first, see[n].second);
        EXPECT_EQ(expected, m[1].str() + "|" + m[2].str() + "|" + m[3].str());
    }
    EXPECT_EQ(25, n);
    EXPECT_EQ("", rest);
    EXPECT_TRUE(r[5].ends_with("0-1 {Black mates}\n")) << r[5];
    EXPECT_TRUE(r[8].ends_with("1/2-1/2 {Draw by 50 move rule}\n")) << r[8];
    EXPECT_TRUE(r[10].ends_with("1/2-1/2 {Stalemate}\n")) << r[10];
    EXPECT_EQ("Error (depth out of bound): Insert depth between 2 and 63\n", r[11]);
    EXPECT_EQ("Error (movetime out of bound): Insert movetime > 0 \n", r[12]);
    // The console search announces the mate, plays it and the game ends.
    EXPECT_NE(std::string::npos, r[15].find("Mate in 1 \n")) << r[15];
    EXPECT_NE(std::string::npos, r[15].find("Bestmove: a1a8   Score: 19999 ")) << r[15];
    EXPECT_TRUE(r[15].ends_with("1-0 {White mates}\n")) << r[15];
    EXPECT_EQ("FEN: R5k1/5ppp/8/8/8/8/8/6K1 b - - \n", r[16]);
}

TEST(Console, TablesScoreKeysAndInv) {
    const auto r = console({"hprobe",
                            "hstore 7",
                            "hprobe",
                            "clear",
                            "hprobe",
                            "memory 3",
                            "memory 9000",
                            "size",
                            "score",
                            "key",
                            "inv",
                            "key",
                            "setboard 4k3/8/8/8/8/8/8/r3K3 w - - 0 1",
                            "inv",
                            "getboard",
                            "a1e1",
                            "setboard 4k3/8/8/3pP3/4p3/8/8/4K3 w - d6 0 1",
                            "inv",
                            "getboard",
                            "e4d3"});
    EXPECT_EQ("Hash Probe KO\n", r[0]);
    EXPECT_EQ("Stored with aging: 7\n", r[1]);
    EXPECT_EQ("Hash Probe OK\n", r[2]);
    EXPECT_EQ("Hash Probe KO\n", r[4]);
    EXPECT_EQ("Allocated 3 MB for the Hash Table\n", r[5]);
    EXPECT_EQ("Error: insert a number between 4 and 8192 \ntellusererror Error (size out of "
              "bound): Insert size between 4 and 8192\n",
              r[6]);
    EXPECT_EQ("Hash record size: 16 byte  (128 bit)\nHash Data   size:  8 byte  ( 64 bit)\n\n"
              "HashPawn    size: 24 byte  (192 bit)\n",
              r[7]);
    // The score is the difference of the two Total cells; the start scores the side to move.
    std::vector<int> totals;
    for (const std::string& line : split(r[8]))
        if (line.starts_with("| Total"))
            totals.push_back(std::stoi(line.substr(line.find_last_of('|', line.size() - 2) + 1)));
    ASSERT_EQ(2u, totals.size()) << r[8];
    EXPECT_TRUE(r[8].ends_with("\nScore: 9\n")) << r[8];
    EXPECT_EQ(9, totals[0] - totals[1]);
    // Keys computed afresh and kept up to date agree; inv keeps the old key.
    const std::regex key(R"(HashKey \(full\): (\d+)\nHashKey \(inc\) : (\d+)\n)");
    std::smatch a, b;
    ASSERT_TRUE(std::regex_match(r[9], a, key)) << r[9];
    EXPECT_EQ(a[1], a[2]);
    ASSERT_TRUE(std::regex_match(r[11], b, key)) << r[11];
    EXPECT_NE(b[1], b[2]);
    EXPECT_EQ(a[2], b[2]);
    // In check, inv is refused: White stays to move, and Black cannot take the king.
    EXPECT_EQ("Error (side to move in check): inv\n", r[13]);
    EXPECT_EQ("FEN: 4k3/8/8/8/8/8/8/r3K3 w - - \n", r[14]);
    EXPECT_TRUE(r[15].starts_with("Illegal move: a1e1\n")) << r[15];
    // The pawn that could be taken en passant is now the side to move's own.
    EXPECT_EQ("FEN: 4k3/8/8/3pP3/4p3/8/8/4K3 b - - \n", r[18]);
    EXPECT_TRUE(r[19].starts_with("Illegal move: e4d3\n")) << r[19];
}

TEST(Console, FilesItReadsAndWrites) {
    // The settings file's thread count and table size shape the start-up.
    auto r = run_engine("c\nquit\n", {}, "[engine]\r\nThread=3\r\nHashSize=16\r\n");
    EXPECT_NE(std::string::npos, r.out.find("\nThread allocated for lazySMP: 3\n"));
    EXPECT_EQ(0u, after_startup(r.out).find("Allocated 16 MB for the Hash Table\n"));
    // A Texel session on a small data set: what each stage reads and the weight it tunes.
    const std::string input =
        "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - 4 4;1/2-1/2;\n"
        "4k3/pp3ppp/8/8/8/8/PPP2PPP/4K3 w - - 0 1;1-0;\n"
        "4k3/ppp2ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1;0-1;\n"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1;1/2-1/2;\n"
        "4k3/8/8/3q4/4P3/8/PPP5/4K3 w - - 0 1;1-0;\n";
    r = run_engine("c\ntexel\ntune\nTD1\nquit\n", {{"input.epd", input}, {"tune.txt", "P_Pawn\n"}});
    for (const char* text : {"Texel Tuning First Stage completed\nProcessed positions: 5\n"
                             "Skipped   positions: 2\n",
                             "\nTuned param P_Pawn value ",
                             "> Tuning First Stage completed\nProcessed positions: 5\n"})
        EXPECT_NE(std::string::npos, r.out.find(text)) << text;
    EXPECT_EQ(std::string::npos, r.out.find("\033")); // no terminal codes into a pipe
    // A missing input or test file ends the program with status 1.
    for (const char* command : {"texel", "TD2", "syzygy"}) {
        r = run_engine(std::string("c\n") + command + "\nquit\n");
        EXPECT_EQ(1, r.exit_status) << command;
        EXPECT_TRUE(r.out.ends_with("File not found\n")) << command;
    }
    // The dump of a table of 1048576 entries, and no dump where the folder cannot be made.
    Session s("[ENGINE]\nHashSize=1\nHashPawnSize=1\nThread=1\n");
    for (const char* line : {"c", "hstore 9", "dump", "quit"}) s.send(line);
    EXPECT_EQ(0, s.wait_exit());
    EXPECT_NE(std::string::npos, s.transcript().find("\nbrontavel> Tot: 1048576\n"));
    std::ifstream csv(s.dir() + "/DumpHash/dump.csv");
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ("Key;Score;Depth;Age;Best;Flags;", line);
    size_t lines = 0;
    while (std::getline(csv, line)) ++lines;
    EXPECT_EQ(1048576u, lines);
    EXPECT_EQ("File non trovato\n", console({"dump"}, {{"DumpHash", "not a folder"}})[0]);
    // The book's moves of the position, as the reference listing gives them.
    REQUIRE_TESTDATA(dir);
    std::ifstream book(dir + "/books/performance.bin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(book)), {});
    const auto listed = console({"book", "e2e4", "book"}, {{"Kestrane_12.9c.bin", bytes}});
    EXPECT_EQ("move=e2e4 weight=33.33%\nmove=d2d4 weight=33.33%\nmove=c2c4 weight=33.33%\n",
              listed[0]);
    EXPECT_EQ("move=e7e5 weight=50.00%\nmove=c7c5 weight=50.00%\n", listed[2]);
}

} // namespace
