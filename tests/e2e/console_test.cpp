// Transcript tests of the start-up, the first-line dispatch and the interactive console, run
// through the real engine binary and compared byte for byte with what a user sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace {

using e2e::after_startup;
using e2e::console;
using e2e::kPrompt;
using e2e::run_engine;

const std::string kDashes(79, '-');

// Everything printed before the first line is read, with no settings file present.
const std::string kBanner = kDashes + "\nbrontavel chess engine\nVersion 1.1\n\n" +
                            "Thread allocated for lazySMP: 2\n" + kDashes + "\n\n" +
                            "enter 'console' for console mode... ";

const std::string kWelcome = "\nWelcome in brontavel\ntype \"help\" to show commands list\n";

const std::string kUciIdentification = "\nid name brontavel\n"
                                       "id author Orvakt\n"
                                       "option name Ponder type check default true\n"
                                       "option name OwnBook type check default true\n";

const std::string kHelp = "new            - new game\n"
                          "perft          - run perft test\n"
                          "setboard [FEN] - set position from FEN\n"
                          "getboard       - get FEN position\n"
                          "b              - show ChessBoard\n"
                          "turn           - show Turn\n"
                          "inv            - invert ChessBoard\n"
                          "go             - start search\n"
                          "undo           - undo last move\n"
                          "memory [MB]    - Allocate MB for HashTable\n";

const std::string kStartBoard = "\n\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "8 | r | n | b | q | k | b | n | r |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "7 | p | p | p | p | p | p | p | p |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "6 |   |   |   |   |   |   |   |   |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "5 |   |   |   |   |   |   |   |   |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "4 |   |   |   |   |   |   |   |   |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "3 |   |   |   |   |   |   |   |   |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "2 | P | P | P | P | P | P | P | P |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "1 | R | N | B | Q | K | B | N | R |\n"
                                "  +---+---+---+---+---+---+---+---+\n"
                                "\n"
                                "    A   B   C   D   E   F   G   H\n"
                                "\n";

const std::string kStartFen = "FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - \n";

// The diagram for eight ranks given from rank 8 down, one letter per file, '.' for empty.
std::string diagram(const std::array<const char*, 8>& ranks) {
    const std::string border = "  +---+---+---+---+---+---+---+---+\n";
    std::string s = "\n\n";
    for (int r = 0; r < 8; ++r) {
        s += border;
        s += static_cast<char>('8' - r);
        s += ' ';
        for (int f = 0; f < 8; ++f) {
            s += "| ";
            s += ranks[r][f] == '.' ? ' ' : ranks[r][f];
            s += ' ';
        }
        s += "|\n";
    }
    return s + border + "\n    A   B   C   D   E   F   G   H\n\n";
}

const std::string kAfterE4 = diagram({"rnbqkbnr", "pppppppp", "........", "........", "....P...",
                                      "........", "PPPP.PPP", "RNBQKBNR"});

// Runs the console on these commands and splits its output at the prompts: one reply per
// command. Expects the console to prompt once more at the end and then leave at end of input.
std::vector<std::string> replies(const std::vector<std::string>& commands) {
    std::string input;
    for (const std::string& c : commands) input += c + "\n";
    const std::string out = console(input);
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = out.find(kPrompt, from)) != std::string::npos;) {
        parts.push_back(out.substr(from, at - from));
        from = at + std::string(kPrompt).size();
    }
    EXPECT_EQ(out.substr(from), "") << "output after the last prompt";
    EXPECT_EQ(parts.size(), commands.size()) << "prompts in:\n" << out;
    parts.resize(commands.size());
    return parts;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// One list of the "legal" command: its heading word, its count and its move lines (the text
// after "Move: ", in printed order).
struct MoveList {
    std::string name;
    size_t count = 0;
    std::vector<std::string> moves;
};

std::vector<MoveList> parse_lists(const std::string& reply) {
    static const std::regex heading(R"(([A-Za-z]+) moves:    (\d+))");
    std::vector<MoveList> lists;
    std::istringstream in(reply);
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_match(line, m, heading)) {
            lists.push_back({m[1], std::stoul(m[2]), {}});
        } else if (line.rfind("Move: ", 0) == 0 && !lists.empty()) {
            lists.back().moves.push_back(line.substr(6));
        }
    }
    return lists;
}

// The text the console should print for these lists.
std::string render(const std::vector<MoveList>& lists) {
    std::string s;
    for (const MoveList& l : lists) {
        s += "\n" + l.name + " moves:    " + std::to_string(l.count) + "\n";
        for (const std::string& m : l.moves) s += "Move: " + m + "\n";
    }
    return s;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

const std::vector<std::string> kStartMoves = {
    "a2a3", "a2a4", "b1a3", "b1c3", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4",
    "e2e3", "e2e4", "f2f3", "f2f4", "g1f3", "g1h3", "g2g3", "g2g4", "h2h3", "h2h4"};

// The two numbers printed by "key": the full key and the stored one.
std::pair<std::string, std::string> keys_of(const std::string& reply) {
    static const std::regex key(R"(HashKey \(full\): (\d+)\nHashKey \(inc\) : (\d+)\n)");
    std::smatch m;
    if (!std::regex_match(reply, m, key)) {
        ADD_FAILURE() << "not a key report: " << reply;
        return {};
    }
    return {m[1], m[2]};
}

// ---------------------------------------------------------------------------------------------
// Start-up and the first line

TEST(Startup, BannerThenLinesThatEndOrAreIgnored) {
    // "quit" and anything beginning with it end the program right after the banner; empty and
    // unknown lines print nothing, not even a new prompt; end of input ends cleanly.
    for (const char* input : {"quit\n", "quitxyz\n", "", "\n\nhello\nquit\n", "hello\n", "\n"}) {
        SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(input));
        const e2e::RunResult r = run_engine(input);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_status, 0);
        EXPECT_EQ(r.out, kBanner);
    }
}

TEST(Startup, LinesBeginningWithUciEnterTheProtocol) {
    for (const char* input : {"uci\nquit\n", "ucinewgame\nquit\n", "\nhello\nuci\nquit\n", "uci\n",
                              "uci\nconsole\nq\n"}) {
        SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(input));
        const e2e::RunResult r = run_engine(input);
        EXPECT_EQ(r.exit_status, 0);
        ASSERT_EQ(r.out.substr(0, kBanner.size()), kBanner);
        const std::string reply = after_startup(r.out);
        // The table allocation lines between depend on the settings.
        EXPECT_EQ(reply.substr(0, kUciIdentification.size()), kUciIdentification);
        EXPECT_TRUE(ends_with(reply, "\nuciok\n")) << reply;
        EXPECT_EQ(reply.find("Welcome"), std::string::npos) << "only one front-end runs";
    }
}

TEST(Startup, LinesBeginningWithCOpenTheConsoleUntilAQLine) {
    const std::string opened = kWelcome + kPrompt;
    for (const char* input : {"c\n", "console\n", "cxyz\n", "\nhello\nconsole\n", "c\nq\n",
                              "c\nquit\n", "c\nqxyz\nhelp\n"}) {
        SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(input));
        const e2e::RunResult r = run_engine(input);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_status, 0);
        ASSERT_EQ(r.out.substr(0, kBanner.size()), kBanner);
        const std::string reply = after_startup(r.out);
        // Table allocation lines may come first; the welcome and one prompt end the output.
        EXPECT_TRUE(ends_with(reply, opened)) << reply;
        EXPECT_EQ(reply.find(kPrompt), reply.size() - opened.size() + kWelcome.size()) << reply;
    }
}

// ---------------------------------------------------------------------------------------------
// The console shell

TEST(Console, HelpPrintsTheTenCommandLines) {
    const auto r = replies({"help", "help ", "HELP", "helpme"});
    EXPECT_EQ(r[0], kHelp);
    EXPECT_EQ(r[1], "Error (unknown command): help \n");
    EXPECT_EQ(r[2], "Error (unknown command): HELP\n");
    EXPECT_EQ(r[3], "Error (unknown command): helpme\n");
}

TEST(Console, BoardFenAndTurnOfTheGamePosition) {
    const auto r =
        replies({"b", "getboard", "turn", "e2e4", "b", "getboard", "turn", "key", "getboardxyz"});
    EXPECT_EQ(kStartBoard.size(), 650u);
    EXPECT_EQ(r[0], kStartBoard);
    EXPECT_EQ(r[1], kStartFen);
    EXPECT_EQ(r[2], "Turn: WHITE\n");
    EXPECT_EQ(r[3], kAfterE4);
    // Black to move: still White at the bottom in capitals, and the position is left as stored.
    EXPECT_EQ(r[4], kAfterE4);
    EXPECT_EQ(r[5], "FEN: rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 \n");
    EXPECT_EQ(r[6], "Turn: BLACK\n");
    const auto [full, inc] = keys_of(r[7]);
    EXPECT_EQ(full, inc);
    EXPECT_EQ(r[8], r[5]);
}

TEST(Console, UnknownAndMalformedLinesAreReported) {
    const std::string long_line(300, 'z');
    const auto r = replies({"xyz", "", "b ", "turn ", "e2e", "e2", "e9e4", "i2i4", "E2E4",
                            "\xc3\xa9"
                            "chec",
                            long_line, "getboard"});
    EXPECT_EQ(r[0], "Error (unknown command): xyz\n");
    EXPECT_EQ(r[1], "Error (unknown command): \n");
    EXPECT_EQ(r[2], "Error (unknown command): b \n");
    EXPECT_EQ(r[3], "Error (unknown command): turn \n");
    EXPECT_EQ(r[4], "Error (unknown command): e2e\n");
    EXPECT_EQ(r[5], "Error (unknown command): e2\n");
    EXPECT_EQ(r[6], "Error (unknown command): e9e4\n");
    EXPECT_EQ(r[7], "Error (unknown command): i2i4\n");
    EXPECT_EQ(r[8], "Error (unknown command): E2E4\n");
    EXPECT_EQ(r[9], "Error (unknown command): \xc3\xa9"
                    "chec\n");
    // Cut to 255 characters; the rest of the line is dropped, not read as another command.
    EXPECT_EQ(r[10], "Error (unknown command): " + std::string(255, 'z') + "\n");
    EXPECT_EQ(r[11], kStartFen);
}

TEST(Console, IllegalMovesAreRefusedAndTheBoardShown) {
    const std::string long_move = "e2e5" + std::string(296, 'x');
    const auto r = replies({"e2e5", "e7e5", "a1a1", "e1g1", long_move, "getboard"});
    EXPECT_EQ(r[0], "Illegal move: e2e5\n" + kStartBoard);
    EXPECT_EQ(r[1], "Illegal move: e7e5\n" + kStartBoard);
    EXPECT_EQ(r[2], "Illegal move: a1a1\n" + kStartBoard);
    EXPECT_EQ(r[3], "Illegal move: e1g1\n" + kStartBoard);
    EXPECT_EQ(r[4], "Illegal move: e2e5" + std::string(251, 'x') + "\n" + kStartBoard);
    EXPECT_EQ(r[5], kStartFen);
}

TEST(Console, MoveTextIsTheFirstFourCharactersPlusAPromotionLetter) {
    const auto r = replies({"e2e4\xc3\xa9", "getboard", "setboard 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1",
                            "b7b8", "b7b8Q", "b7b8n", "getboard", "undo", "b7b8q", "getboard"});
    // Whatever follows the four squares is not a promotion letter, so e2e4 is played.
    EXPECT_EQ(r[0], kAfterE4);
    EXPECT_EQ(r[1], "FEN: rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 \n");
    const std::string before = diagram({"....k...", ".P......", "........", "........", "........",
                                        "........", "........", "....K..."});
    EXPECT_EQ(r[2], before);
    // A pawn reaching the last rank needs a lower-case letter naming the new piece.
    EXPECT_EQ(r[3], "Illegal move: b7b8\n" + before);
    EXPECT_EQ(r[4], "Illegal move: b7b8Q\n" + before);
    EXPECT_EQ(r[5], diagram({".N..k...", "........", "........", "........", "........", "........",
                             "........", "....K..."}));
    EXPECT_EQ(r[6], "FEN: 1N2k3/8/8/8/8/8/8/4K3 b - - \n");
    EXPECT_EQ(r[7], "");
    EXPECT_EQ(r[8], diagram({".Q..k...", "........", "........", "........", "........", "........",
                             "........", "....K..."}));
    EXPECT_EQ(r[9], "FEN: 1Q2k3/8/8/8/8/8/8/4K3 b - - \n");
}

TEST(Console, UndoStepsBackOnePlyAndNewRestartsTheGame) {
    const auto r = replies({"e2e4", "e7e5", "undo", "getboard", "undo", "getboard", "undo",
                            "getboard", "d2d4", "new", "getboard", "b"});
    EXPECT_EQ(r[2], "");
    EXPECT_EQ(r[3], "FEN: rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 \n");
    EXPECT_EQ(r[4], "");
    EXPECT_EQ(r[5], kStartFen);
    // Nothing below the first position: nothing happens.
    EXPECT_EQ(r[6], "");
    EXPECT_EQ(r[7], kStartFen);
    EXPECT_EQ(r[9], "");
    EXPECT_EQ(r[10], kStartFen);
    EXPECT_EQ(r[11], kStartBoard);
}

TEST(Console, SetboardShowsTheNewPositionOrTheStartPositionForABadFen) {
    const std::string fen = "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
    // Trailing blanks bring the text to the longest length accepted, and one past it.
    const std::string longest = fen + std::string(215 - fen.size(), ' ');
    const std::string too_long = longest + " ";
    const auto r = replies({
        "setboard " + fen + " 0 3",
        "getboard",
        "setboard " + longest,
        "setboard " + too_long,
        "getboard",
        "e2e4",
        "setboard xyz",
        "getboard",
        "setboard",
        "setboard 8/8/8/8/8/8/8/8 w - - 0 1",                                 // no kings
        "setboard 4k3/8/8/8/8/8/8/4K2P w - - 0 1",                            // pawn on rank 1
        "setboard 4k2P/8/8/8/8/8/8/4K3 w - - 0 1",                            // pawn on rank 8
        "setboard 4k3/8/8/8/8/N7/PPPPPPPP/RNBQKBNR w KQ - 0 1",               // 17 pieces
        "setboard 4k3/8/8/8/8/8/8/4R1K1 w - - 0 1",                           // Black in check
        "setboard 4kk2/8/8/8/8/8/8/4K3 w - - 0 1",                            // two kings
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",  // side
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkx - 0 1",  // castling
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq d6 0 1", // en passant
        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - -1 1", // halfmove
        "setboard rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // seven ranks
        "setboard rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // rank overflow
        "getboard",
    });
    const std::string board = diagram({"rnbqkbnr", "ppp.pppp", "........", "........", "...pP...",
                                       "........", "PPPP.PPP", "RNBQKBNR"});
    EXPECT_EQ(r[0], board);
    EXPECT_EQ(r[1], "FEN: " + fen + " \n");
    EXPECT_EQ(r[2], board);
    // A rejected text leaves the new game that "setboard" started.
    EXPECT_EQ(r[3], kStartBoard);
    EXPECT_EQ(r[4], kStartFen);
    EXPECT_EQ(r[5], kAfterE4);
    for (size_t i = 6; i + 1 < r.size(); ++i) {
        if (i == 7) continue;
        EXPECT_EQ(r[i], kStartBoard) << "after: " << i;
    }
    EXPECT_EQ(r[7], kStartFen);
    EXPECT_EQ(r.back(), kStartFen);
}

// ---------------------------------------------------------------------------------------------
// Diagnostic commands

TEST(Console, TestPositionsLoadSilently) {
    struct Expected {
        const char* name;
        const char* fen;
    };
    const Expected positions[] = {
        {"n1", "3rk2r/ppp2ppp/8/3Pp3/8/8/PPP2PPP/R3K2R w KQk d6 "},
        {"p", "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - "},
        {"chain", "5rk1/ppb2qpp/2p2n2/3p4/3Pp3/4PpP1/PPQN1P1P/2R3KB w - - "},
        {"bug", "6k1/7p/3p3b/2pN4/4p3/8/1Pn2PPP/4K2R w K - "},
        {"killer", "r3qrk1/pp2ppbp/6p1/1Np5/P7/2PP3P/1P2QPP1/R2R2K1 w - - "},
        {"good", "r1bqkb1r/ppp2ppp/2n1pn2/8/2pP4/3BPN2/PP3PPP/RNBQK2R w KQkq - "},
        {"test", "r3k2r/p1p3pp/2pq1p2/4pb2/1bQ2n2/2N2N1P/PPPP1PP1/R1B1K1R1 w Qkq - "},
        {"pin", "6k1/6r1/1b6/8/8/8/5NB1/6K1 w - - "},
        {"m1", "5k2/8/6r1/5K2/8/8/7p/8 b - - "},
        {"m5", "8/RP6/2k5/8/8/6P1/7P/7K w - - "},
        {"m8", "8/7K/8/8/8/8/R7/7k w - - "},
        {"t", "r1bqkb1r/pp2pppp/3p1n2/6B1/3nP3/2N5/PPP2PPP/R2QKB1R b KQkq - "},
        {"o", "6k1/R5p1/4prp1/3pQ3/3N4/3b1P2/5P1P/2r3K1 w - - "},
        {"c", "r5k1/1pp2rbp/3p2p1/3Pp3/2P1P1q1/1NN2pBb/P6P/R2QR1K1 w - - "},
        {"d", "r7/pp1r1P2/3p2kn/1P2p2p/2P2p1B/8/P5P1/1R1R2K1 w - - "},
        {"e", "r1b2rk1/2q1bppp/pp2p3/2npP3/1n3P1P/2NBBN2/PPPQ2P1/1K1R3R w - - "},
        {"mob", "6kn/6pb/7p/8/2N5/8/3B2PP/6K1 w - - "},
        {"fianc", "6k1/pbp2npp/1p3p2/8/8/1P4P1/PBP2P1P/6K1 w - - "},
    };
    std::vector<std::string> commands;
    for (const Expected& p : positions) {
        commands.push_back(p.name);
        commands.push_back("getboard");
    }
    const auto r = replies(commands);
    for (size_t i = 0; i < std::size(positions); ++i) {
        SCOPED_TRACE(positions[i].name);
        const bool is_pin = std::string(positions[i].name) == "pin";
        EXPECT_EQ(r[2 * i], is_pin ? "Pins: 24576\n" : "");
        EXPECT_EQ(r[2 * i + 1], std::string("FEN: ") + positions[i].fen + "\n");
    }
}

TEST(Console, PieceValuesOnTheFixedTestPosition) {
    const auto r = replies({"piece 19", "piece 34", "piece 0", "piece 83", "piece", "getboard"});
    EXPECT_EQ(r[0], "Piece Value: 330\n");  // white knight on d3
    EXPECT_EQ(r[1], "Piece Value: 1071\n"); // black queen on c5
    EXPECT_EQ(r[2], "Piece Value: 0\n");    // a1 is empty
    EXPECT_EQ(r[3], "Piece Value: 330\n");  // only the low six bits name the square
    EXPECT_EQ(r[4], "Piece Value: 0\n");
    EXPECT_EQ(r[5], "FEN: 6k1/8/8/2q1n3/1b3r2/3N4/8/6K1 w - - \n");
}

TEST(Console, RecordSizesAndHashKeys) {
    const auto r = replies({"size", "key",  "inv",  "key",  "turn", "inv",  "key",     "e2e4",
                            "d7d5", "e4e5", "f7f5", "e5f6", "g7f6", "g1f3", "b8c6",    "f1e2",
                            "c8e6", "e1g1", "d8d7", "d2d3", "e8c8", "key",  "getboard"});
    EXPECT_EQ(r[0], "Hash record size: 16 byte  (128 bit)\n"
                    "Hash Data   size:  8 byte  ( 64 bit)\n"
                    "\n"
                    "HashPawn    size: 24 byte  (192 bit)\n");
    const auto start = keys_of(r[1]);
    EXPECT_EQ(start.first, start.second);
    EXPECT_EQ(r[2], "");
    // The inverted position has the other side to move but still carries the old key.
    const auto inverted = keys_of(r[3]);
    EXPECT_NE(inverted.first, inverted.second);
    EXPECT_EQ(inverted.second, start.second);
    EXPECT_EQ(r[4], "Turn: BLACK\n");
    EXPECT_EQ(keys_of(r[6]), start);
    // Keys kept up to date through en passant, captures and castling on both wings.
    const auto played = keys_of(r[21]);
    EXPECT_EQ(played.first, played.second);
    EXPECT_NE(played.first, start.first);
    EXPECT_EQ(r[22], "FEN: 2kr1bnr/pppqp2p/2n1bp2/3p4/8/3P1N2/PPP1BPPP/RNBQ1RK1 w - - \n");
}

TEST(Console, InvRefusesACheckAndDropsTheEnPassantFile) {
    const auto r = replies({"setboard 4k3/8/8/8/8/8/8/r3K3 w - - 0 1", "inv", "getboard", "a1e1",
                            "sd 1", "go", "setboard 4k3/8/8/3pP3/4p3/8/8/4K3 w - d6 0 1", "inv",
                            "getboard", "e4d3", "getboard"});
    // In check: the position stays, with White to move and no king to take.
    EXPECT_EQ(r[1], "Error (side to move in check): inv\n");
    EXPECT_EQ(r[2], "FEN: 4k3/8/8/8/8/8/8/r3K3 w - - \n");
    EXPECT_EQ(r[3].rfind("Illegal move: a1e1\n", 0), 0u) << r[3];
    EXPECT_NE(r[5].find("Bestmove: e1"), std::string::npos) << r[5];
    // The pawn that just advanced is now Black's own: no en passant capture.
    EXPECT_EQ(r[8], "FEN: 4k3/8/8/3pP3/4p3/8/8/4K3 b - - \n");
    EXPECT_EQ(r[9].rfind("Illegal move: e4d3\n", 0), 0u) << r[9];
    EXPECT_EQ(r[10], r[8]);
}

TEST(Console, LegalListsWithoutCheck) {
    const auto r =
        replies({"legal", "pin", "legal", "setboard 4k3/8/8/8/8/8/8/3QK3 w - - 0 1", "legal"});
    {
        SCOPED_TRACE("start position");
        const auto lists = parse_lists(r[0]);
        EXPECT_EQ(render(lists), r[0]);
        ASSERT_EQ(lists.size(), 3u);
        EXPECT_EQ(lists[0].name, "All");
        EXPECT_EQ(lists[0].count, 20u);
        EXPECT_EQ(sorted(lists[0].moves), kStartMoves);
        EXPECT_EQ(lists[1].name, "Legal");
        EXPECT_EQ(lists[1].count, 20u);
        EXPECT_EQ(sorted(lists[1].moves), kStartMoves);
        EXPECT_EQ(lists[2].name, "Check");
        EXPECT_EQ(lists[2].count, 0u);
    }
    {
        SCOPED_TRACE("pinned knight and bishop");
        const auto lists = parse_lists(r[2]);
        EXPECT_EQ(render(lists), r[2]);
        ASSERT_EQ(lists.size(), 3u);
        EXPECT_EQ(lists[0].name, "All");
        EXPECT_EQ(lists[0].count, lists[0].moves.size());
        EXPECT_EQ(lists[1].name, "Legal");
        EXPECT_EQ(lists[1].count, 3u);
        EXPECT_EQ(sorted(lists[1].moves), (std::vector<std::string>{"g1f1", "g1h1", "g1h2"}));
        // Checks are listed whether or not the checking piece is pinned.
        EXPECT_EQ(lists[2].name, "Check");
        EXPECT_EQ(lists[2].moves, std::vector<std::string>{"g2d5"});
    }
    {
        SCOPED_TRACE("queen checks, two of them next to the king");
        const auto lists = parse_lists(r[4]);
        EXPECT_EQ(render(lists), r[4]);
        ASSERT_EQ(lists.size(), 3u);
        EXPECT_EQ(lists[1].count, 21u);
        EXPECT_EQ(lists[2].name, "Check");
        EXPECT_EQ(lists[2].count, 5u);
        EXPECT_EQ(
            sorted(lists[2].moves),
            (std::vector<std::string>{"d1a4", "d1d7    negSEE", "d1d8    negSEE", "d1e2", "d1h5"}));
    }
}

TEST(Console, LegalListsInCheckAddTheEvasions) {
    const auto r = replies({"e2e4", "f7f6", "d1h5", "legal"});
    const auto lists = parse_lists(r[3]);
    EXPECT_EQ(render(lists), r[3]);
    ASSERT_EQ(lists.size(), 4u);
    for (const MoveList& l : lists) EXPECT_EQ(l.count, l.moves.size()) << l.name;
    EXPECT_EQ(lists[0].name, "All");
    EXPECT_EQ(lists[1].name, "Legal");
    EXPECT_EQ(lists[1].moves, std::vector<std::string>{"g7g6"});
    EXPECT_EQ(lists[2].name, "Check");
    EXPECT_EQ(lists[3].name, "Evasion");
    EXPECT_NE(std::find(lists[3].moves.begin(), lists[3].moves.end(), "g7g6"),
              lists[3].moves.end());
}

TEST(Console, GenListsTheLegalMoves) {
    const auto r = replies({
        "gen",
        "setboard rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", // mated
        "gen",
        "setboard 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", // stalemated
        "gen",
    });
    std::vector<std::string> moves;
    std::istringstream in(r[0]);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Move: ", 0) == 0) moves.push_back(line.substr(6));
    EXPECT_EQ(sorted(moves), kStartMoves);
    EXPECT_TRUE(ends_with(r[0], "\nTotal Legal moves: 20\n")) << r[0];
    EXPECT_EQ(r[0].size(), 20 * std::string("Move: e2e4\n").size() + 22);
    EXPECT_EQ(r[2], "Total Legal moves: 0\n");
    EXPECT_EQ(r[4], "Total Legal moves: 0\n");
}

TEST(Console, SeeSelfTestPrintsTwentyFiveCases) {
    const std::pair<int, const char*> cases[25] = {
        {-125, "c3d4"}, {150, "d3e5"},  {-1025, "d3e5"}, {325, "e5f6"},  {500, "b3a1"},
        {0, "e5d4"},    {625, "e6d8"},  {-625, "c8c3"},  {-625, "c7c3"}, {725, "e5f3"},
        {0, "b4c3"},    {-225, "f6d5"}, {-850, "f6d5"},  {100, "h6g5"},  {100, "h6g5"},
        {0, "c8c1"},    {0, "b5c4"},    {0, "b5c4"},     {0, "d5e7"},    {275, "d3e4"},
        {0, "g3b8"},    {-225, "e4f6"}, {175, "g3c7"},   {0, "d7d8q"},   {-625, "d7d8q"}};
    const auto r = replies({"see"});
    // Case 1 worked out by hand: c3xd4 starts a long exchange on d4 that ends even.
    const std::string first = "\nTestCase  1                      Score:           -125\n"
                              "Move:               c3d4      SEE move:              0\n"
                              "Best:               c3d4      SEE best:              0\n";
    EXPECT_EQ(r[0].substr(0, first.size()), first);

    static const std::regex block(
        R"(\nTestCase (..)                      Score:          ( *-?\d+)\n)"
        R"(Move:           ( *[a-h][1-8][a-h][1-8][nbrq]?)      )"
        R"(SEE move:       ( *-?\d+)\n)"
        R"(Best:           ( *[a-h][1-8][a-h][1-8][nbrq]?)      )"
        R"(SEE best:       ( *-?\d+)\n)");
    std::string rest = r[0];
    std::smatch m;
    int n = 0;
    while (std::regex_search(rest, m, block, std::regex_constants::match_continuous)) {
        ASSERT_LT(n, 25);
        SCOPED_TRACE(testing::Message() << "case " << n + 1);
        char number[16];
        std::snprintf(number, sizeof number, "%2i", n + 1);
        char score[16];
        std::snprintf(score, sizeof score, "%5i", cases[n].first);
        char move[16];
        std::snprintf(move, sizeof move, "%8s", cases[n].second);
        EXPECT_EQ(m[1].str(), number);
        EXPECT_EQ(m[2].str(), score);
        EXPECT_EQ(m[3].str(), move);
        EXPECT_EQ(m[4].length(), 8u);
        EXPECT_EQ(m[5].length(), 8u);
        EXPECT_EQ(m[6].length(), 8u);
        rest = m.suffix();
        ++n;
    }
    EXPECT_EQ(n, 25);
    EXPECT_EQ(rest, "") << "unexpected text after the blocks";
}

// ---------------------------------------------------------------------------------------------
// End of game

TEST(Console, DrawsByRepetitionAndByTheFiftyMoveRule) {
    const std::string knight_out = diagram({"rnbqkbnr", "pppppppp", "........", "........",
                                            "........", ".....N..", "PPPPPPPP", "RNBQKB.R"});
    const std::string both_out = diagram({"rnbqkb.r", "pppppppp", ".....n..", "........",
                                          "........", ".....N..", "PPPPPPPP", "RNBQKB.R"});
    const std::string black_out = diagram({"rnbqkb.r", "pppppppp", ".....n..", "........",
                                           "........", "........", "PPPPPPPP", "RNBQKBNR"});
    const auto r = replies({"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8",
                            "setboard 4k3/8/8/8/8/8/8/R3K3 w - - 98 80", "a1a2", "e8e7"});
    const std::string expected[] = {knight_out, both_out, black_out, kStartBoard,
                                    knight_out, both_out, black_out};
    for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(r[i], expected[i]) << "ply " << i;
    // The third time the start position is on the board.
    EXPECT_EQ(r[7], kStartBoard + "1/2-1/2 {Draw by repetition}\n");

    EXPECT_EQ(r[9], diagram({"....k...", "........", "........", "........", "........", "........",
                             "R.......", "....K..."}));
    EXPECT_EQ(r[10], diagram({"........", "....k...", "........", "........", "........",
                              "........", "R.......", "....K..."}) +
                         "1/2-1/2 {Draw by 50 move rule}\n");
}

TEST(Console, MatesAndStalemateByUserMoves) {
    const auto fools = replies({"f2f3", "e7e5", "g2g4", "d8h4", "a2a3"});
    const std::string mated = diagram({"rnb.kbnr", "pppp.ppp", "........", "....p...", "......Pq",
                                       ".....P..", "PPPPP..P", "RNBQKBNR"});
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(fools[i].find('{'), std::string::npos);
    EXPECT_EQ(fools[3], mated + "0-1 {Black mates}\n");
    EXPECT_EQ(fools[4], "Illegal move: a2a3\n" + mated + "0-1 {Black mates}\n");

    const auto scholars = replies({"e2e4", "e7e5", "f1c4", "b8c6", "d1h5", "g8f6", "h5f7"});
    EXPECT_EQ(scholars[6], diagram({"r.bqkb.r", "pppp.Qpp", "..n..n..", "....p...", "..B.P...",
                                    "........", "PPPP.PPP", "RNB.K.NR"}) +
                               "1-0 {White mates}\n");

    const auto stalemate = replies({"setboard 7k/5Q2/8/6K1/8/8/8/8 w - - 0 1", "g5g6"});
    EXPECT_EQ(stalemate[1], diagram({".......k", ".....Q..", "......K.", "........", "........",
                                     "........", "........", "........"}) +
                                "1/2-1/2 {Stalemate}\n");
}

} // namespace
