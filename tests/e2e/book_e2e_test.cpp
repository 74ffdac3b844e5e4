// The opening book in play: UCI "go" answers from the book while it knows the position, and the
// console lists the book moves of the current position.
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/fen.h"
#include "book/book.h"
#include "config/settings.h"
#include "e2e/harness.h"
#include "e2e/session.h"
#include "testdata.h"

namespace {

const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

std::string read_binary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string uci_settings(const std::string& book_lines) {
    return std::string(e2e::kSmallTables) + "[BOOK]\nBook=true\nBookFile=book.bin\n" + book_lines;
}

// The reply to each "go": everything printed since the previous best move, up to and including
// its own "bestmove" line.
std::vector<std::string> replies_to_go(const std::string& out) {
    std::vector<std::string> replies;
    size_t from = out.find("uciok\n");
    if (from == std::string::npos || (from = out.find("readyok\n", from)) == std::string::npos)
        return replies;
    from += 8;
    for (size_t at = out.find("bestmove ", from); at != std::string::npos;
         at = out.find("bestmove ", from)) {
        const size_t end = out.find('\n', at);
        if (end == std::string::npos) break;
        replies.push_back(out.substr(from, end + 1 - from));
        from = end + 1;
    }
    return replies;
}

// The move of a reply's "bestmove" line.
std::string best_move(const std::string& reply) {
    const size_t at = reply.rfind("bestmove ");
    if (at == std::string::npos) return "";
    const size_t begin = at + 9;
    return reply.substr(begin, reply.find_first_of(" \n", begin) - begin);
}

bool searched(const std::string& reply) {
    return reply.find("info depth") != std::string::npos;
}

// The moves the book gives from the start position with RandBook off, until it knows the position
// no more (at most `limit` moves).
std::vector<std::string> first_choice_line(const std::string& book, size_t limit) {
    const bool saved = settings.rand_book;
    settings.rand_book = false;
    auto stack = std::make_unique<PositionStack>();
    std::vector<std::string> line;
    std::string moves;
    while (line.size() < limit) {
        if (!read_fen(*stack, kStart, moves.c_str())) break;
        char fen[FEN_BUFFER_SIZE], text[MOVE_TEXT_SIZE + 2] = {};
        write_fen(*stack->current, fen);
        if (book_probe(book.c_str(), fen, text) != 1) break;
        line.push_back(text);
        if (!moves.empty()) moves += ' ';
        moves += text;
    }
    settings.rand_book = saved;
    return line;
}

} // namespace

TEST(BookE2e, GoFromTheStartPositionPlaysABookMoveWithoutSearching) {
    REQUIRE_TESTDATA(dir);
    const std::string book = read_binary(dir + "/books/performance.bin");
    ASSERT_FALSE(book.empty());
    const std::vector<std::string> start_moves = {"e2e4", "d2d4", "c2c4"};

    for (const char* rand_book : {"RandBook=true\n", "RandBook=false\n"}) {
        SCOPED_TRACE(rand_book);
        const auto r = e2e::run_uci_script(
            "uci\nisready\nposition startpos\ngo depth 6\nquit\n", std::chrono::seconds(60),
            {{"brontavel.ini", uci_settings(rand_book)}, {"book.bin", book}});
        EXPECT_EQ(0, r.exit_status);
        const std::vector<std::string> replies = replies_to_go(r.out);
        ASSERT_EQ(1u, replies.size()) << r.out;
        EXPECT_FALSE(searched(replies[0])) << replies[0];
        EXPECT_EQ("bestmove " + best_move(replies[0]) + "\n", replies[0]);
        const std::string move = best_move(replies[0]);
        EXPECT_NE(start_moves.end(), std::find(start_moves.begin(), start_moves.end(), move))
            << move;
        if (std::string(rand_book) == "RandBook=false\n") {
            EXPECT_EQ("e2e4", move);
        }
    }
}

TEST(BookE2e, PlaysTheBookLineThenSearchesWhenTheBookRunsOut) {
    REQUIRE_TESTDATA(dir);
    const std::string path = dir + "/books/performance.bin";
    const std::vector<std::string> line = first_choice_line(path, 40);
    ASSERT_GE(line.size(), 2u);
    ASSERT_LT(line.size(), 40u) << "the book line does not end";

    std::string input = "uci\nisready\nposition startpos\n";
    for (size_t i = 0; i <= line.size(); ++i) input += "go depth 3\n";
    input += "quit\n";
    const auto r = e2e::run_uci_script(
        input, std::chrono::seconds(120),
        {{"brontavel.ini", uci_settings("RandBook=false\n")}, {"book.bin", read_binary(path)}});
    EXPECT_EQ(0, r.exit_status);
    const std::vector<std::string> replies = replies_to_go(r.out);
    ASSERT_EQ(line.size() + 1, replies.size()) << r.out;
    for (size_t i = 0; i < line.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(searched(replies[i])) << replies[i];
        EXPECT_EQ(line[i], best_move(replies[i]));
    }
    // The first position the book does not know is searched.
    EXPECT_TRUE(searched(replies.back())) << replies.back();
    EXPECT_NE("", best_move(replies.back()));
}

TEST(BookE2e, MissingBookFileSearchesAndGoesOn) {
    const auto r = e2e::run_uci_script(
        "uci\nisready\nposition startpos\ngo depth 3\ngo depth 3\nisready\nquit\n",
        std::chrono::seconds(60), {{"brontavel.ini", uci_settings("RandBook=false\n")}});
    EXPECT_EQ(0, r.exit_status);
    const std::vector<std::string> replies = replies_to_go(r.out);
    ASSERT_EQ(2u, replies.size()) << r.out;
    for (const std::string& reply : replies) EXPECT_TRUE(searched(reply)) << reply;
    EXPECT_NE(std::string::npos, r.out.find("\nreadyok\n")) << r.out;
}

TEST(BookE2e, ConsoleBookListsTheMovesOfThePosition) {
    REQUIRE_TESTDATA(dir);
    const std::string book = read_binary(dir + "/books/performance.bin");

    // The listed lines of the first blocks of the reference listing.
    std::ifstream in(dir + "/polyglot-listing.txt");
    ASSERT_TRUE(in);
    std::vector<std::pair<std::string, std::string>> blocks; // FEN, listing
    std::string text;
    while (std::getline(in, text) && blocks.size() <= 4) {
        if (text.rfind("FEN ", 0) == 0) {
            blocks.push_back({text.substr(4), ""});
        } else if (!text.empty() && text[0] != '#' && text.rfind("KEY ", 0) != 0 &&
                   !blocks.empty()) {
            const size_t a = text.find(' '), b = text.find(' ', a + 1);
            blocks.back().second += text.substr(b + 1) + "\n";
        }
    }
    ASSERT_GE(blocks.size(), 4u);
    ASSERT_EQ(kStart, blocks[0].first);
    EXPECT_EQ("move=e2e4 weight=33.33%\nmove=d2d4 weight=33.33%\nmove=c2c4 weight=33.33%\n",
              blocks[0].second);

    // "book" on the start position, after a move played in the console, and after setboard.
    std::string commands = "book\ne2e4\nbook\n";
    for (size_t i = 2; i < 4; ++i) commands += "setboard " + blocks[i].first + "\nbook\n";
    const auto r = e2e::run_engine("c\n" + commands + "quit\n", std::chrono::seconds(60),
                                   {{"Kestrane_12.9c.bin", book}});
    EXPECT_EQ(0, r.exit_status);
    const std::string out = e2e::after_startup(r.out);
    std::vector<std::string> replies; // what follows each prompt
    for (size_t at = out.find(e2e::kPrompt); at != std::string::npos;) {
        const size_t begin = at + std::string(e2e::kPrompt).size();
        const size_t next = out.find(e2e::kPrompt, begin);
        replies.push_back(out.substr(begin, next == std::string::npos ? next : next - begin));
        at = next;
    }
    ASSERT_EQ(8u, replies.size()) << out;
    EXPECT_EQ(blocks[0].second, replies[0]);
    EXPECT_EQ(blocks[1].second, replies[2]);
    EXPECT_EQ(blocks[2].second, replies[4]);
    EXPECT_EQ(blocks[3].second, replies[6]);

    // Without the book file the console reports on the error stream only and goes on.
    const auto none = e2e::run_engine("c\nbook\nb\nquit\n");
    EXPECT_EQ(0, none.exit_status);
    const std::string none_out = e2e::after_startup(none.out);
    const size_t prompt = none_out.find(e2e::kPrompt);
    ASSERT_NE(std::string::npos, prompt) << none_out;
    EXPECT_EQ(prompt, none_out.find(std::string(e2e::kPrompt) + e2e::kPrompt, prompt)) << none_out;
}
