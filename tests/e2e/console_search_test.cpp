// The console's search commands through the real binary: limits, "go" and "undo".
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/fen.h"
#include "e2e/harness.h"

using e2e::kPrompt;

namespace {

// A small table and one thread keep start-up light.
const std::vector<e2e::WorkFile> kLightSettings = {
    {"brontavel.ini", "[ENGINE]\nHashSize=16\nThread=1\n"}};

// The console's output after its first prompt.
std::string console(const std::string& commands) {
    const auto r =
        e2e::run_engine("c\n" + commands + "quit\n", std::chrono::seconds(60), kLightSettings);
    EXPECT_EQ(0, r.exit_status);
    const size_t at = r.out.find(kPrompt);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no console prompt in:\n" << r.out;
        return r.out;
    }
    return r.out.substr(at + std::string(kPrompt).size());
}

// The replies to each command, split at the prompts.
std::vector<std::string> replies(const std::string& out) {
    std::vector<std::string> r;
    const std::string prompt = kPrompt;
    size_t start = 0;
    for (size_t p; (p = out.find(prompt, start)) != std::string::npos; start = p + prompt.size())
        r.push_back(out.substr(start, p - start));
    r.push_back(out.substr(start));
    return r;
}

// The FEN the console's "getboard" prints for a position.
std::string getboard_line(const char* fen, const char* moves = nullptr) {
    auto stack = std::make_unique<PositionStack>();
    new_game(*stack);
    EXPECT_EQ(1, read_fen(*stack, fen, moves)) << fen << " " << (moves ? moves : "");
    char buf[FEN_BUFFER_SIZE];
    write_fen(*stack->current, buf);
    return std::string("FEN: ") + buf + "\n";
}

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

} // namespace

TEST(ConsoleSearch, LimitCommands) {
    const std::string out = console("sd 0\nsd 65\nsd 9999\nsd 64\nsd 1\nst 0\nst 5\nst -3\n"
                                    "thread 0\nthread 25\nthread 4\n");
    const auto r = replies(out);
    ASSERT_GE(r.size(), 12u) << out;
    const std::string depth_error = "Error (depth out of bound): Insert depth between 2 and 63\n";
    EXPECT_EQ(depth_error, r[0]);
    EXPECT_EQ(depth_error, r[1]);
    EXPECT_EQ("", r[2]); // 9999 is ignored
    EXPECT_EQ("", r[3]);
    EXPECT_EQ("", r[4]);
    const std::string time_error = "Error (movetime out of bound): Insert movetime > 0 \n";
    EXPECT_EQ(time_error, r[5]);
    EXPECT_EQ("", r[6]);
    EXPECT_EQ(time_error, r[7]);
    EXPECT_EQ("", r[8]); // thread counts out of range: silence
    EXPECT_EQ("", r[9]);
    EXPECT_EQ("Allocated 24 MB for the HashPawn Table for Thread 1\n"
              "Allocated 24 MB for the HashPawn Table for Thread 2\n"
              "Allocated 24 MB for the HashPawn Table for Thread 3\n"
              "Allocated 24 MB for the HashPawn Table for Thread 4\n"
              "Thread allocated for search: 4",
              r[10]);
    // No line break of its own: the prompt's leading one follows at once.
    EXPECT_NE(std::string::npos, out.find("Thread allocated for search: 4\nbrontavel> "));
}

TEST(ConsoleSearch, GoPlaysTheMoveAndUndoTakesItBack) {
    const std::string out = console("sd 3\ngo\ngetboard\nundo\ngetboard\n");
    const auto r = replies(out);
    ASSERT_GE(r.size(), 5u) << out;
    EXPECT_EQ("", r[0]);
    // Three iteration lines "depth score time nodes pv", then the best move.
    const std::regex line_re(R"( ([1-3]) +-?\d+ +\d+ +\d+ ([a-h][1-8][a-h][1-8] )+)");
    const std::regex best_re(
        R"(Bestmove: ([a-h][1-8][a-h][1-8])   Score: -?\d+(?:   Pondermove: [a-h][1-8][a-h][1-8]   |    )Knps: \d+)");
    std::vector<std::string> lines;
    std::istringstream in(r[1]);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(4u, lines.size()) << r[1];
    for (int i = 0; i < 3; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, line_re)) << lines[i];
        EXPECT_EQ(std::to_string(i + 1), m[1]);
    }
    std::smatch best;
    ASSERT_TRUE(std::regex_match(lines[3], best, best_re)) << lines[3];
    // The move was played: Black is to move in the position after it.
    const std::string move = best[1];
    EXPECT_EQ(getboard_line(kStart, move.c_str()), r[2]);
    // The last iteration's variation begins with the move played.
    EXPECT_EQ(0u, lines[2].find(" 3 "));
    EXPECT_NE(std::string::npos, lines[2].find(" " + move + " "));
    EXPECT_EQ("", r[3]);
    EXPECT_EQ(getboard_line(kStart), r[4]);
}

TEST(ConsoleSearch, GoOnFinishedGames) {
    const std::string out = console("setboard R6k/6pp/8/8/8/8/8/6K1 b - - 0 1\ngo\ngetboard\n"
                                    "setboard 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1\nsd 4\ngo\n");
    const auto r = replies(out);
    ASSERT_GE(r.size(), 6u) << out;
    // Mated: nothing to play, the position stays.
    EXPECT_EQ("Bestmove: 0000   Score: 0    Knps: 0\n1-0 {White mates}\n", r[1]);
    EXPECT_EQ(getboard_line("R6k/6pp/8/8/8/8/8/6K1 b - - 0 1"), r[2]);
    // Mate in one is found, announced, played and the game ends.
    EXPECT_NE(std::string::npos, r[5].find("Mate in 1 \n")) << r[5];
    EXPECT_NE(std::string::npos, r[5].find("Bestmove: a1a8   Score: 19999 ")) << r[5];
    EXPECT_EQ(r[5].size() - 18, r[5].rfind("1-0 {White mates}\n")) << r[5];
}
