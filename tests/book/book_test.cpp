// Polyglot keys, move texts, the bisection over book files, the probe and the listing.
#include "book/book.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "board/board_helpers.h"
#include "config/settings.h"
#include "testdata.h"

namespace {

namespace fs = std::filesystem;

const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// The Polyglot code of a coordinate move ("e7e8q"); the promotion letter may be left out.
uint16_t code_of(const std::string& text, int promotion = -1) {
    int code = (text[2] - 'a') | (text[3] - '1') << 3 | (text[0] - 'a') << 6 | (text[1] - '1') << 9;
    if (promotion < 0) {
        promotion = 0;
        if (text.size() > 4) promotion = static_cast<int>(std::string(" nbrq").find(text[4]));
    }
    return static_cast<uint16_t>(code | promotion << 12);
}

struct Record {
    uint64_t key;
    uint16_t move;
    uint16_t weight;
};

std::string record_bytes(const Record& r) {
    std::string bytes;
    for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>(r.key >> shift);
    bytes += static_cast<char>(r.move >> 8);
    bytes += static_cast<char>(r.move);
    bytes += static_cast<char>(r.weight >> 8);
    bytes += static_cast<char>(r.weight);
    bytes += "\xde\xad\xbe\xef"; // learn: read, never used
    return bytes;
}

// The bytes of a book holding the records, sorted by key (records of one key keep their order).
std::string book_bytes(std::vector<Record> records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return a.key < b.key; });
    std::string bytes;
    for (const Record& r : records) bytes += record_bytes(r);
    return bytes;
}

struct Probe {
    int result;
    std::string move;
};

Probe probe(const std::string& file, const std::string& fen) {
    char text[MOVE_TEXT_SIZE + 2] = "xxxxxxx";
    const int result = book_probe(file.c_str(), fen.c_str(), text);
    return {result, result == 1 ? std::string(text) : std::string()};
}

struct Listing {
    int result;
    std::string out;
};

Listing list(const std::string& file, const std::string& fen) {
    testing::internal::CaptureStdout();
    const int result = book_list(file.c_str(), fen.c_str());
    return {result, testing::internal::GetCapturedStdout()};
}

std::string no_such_key(const std::string& fen) {
    char line[64];
    std::snprintf(line, sizeof line, "%" PRIu64 ": No such key\n", polyglot_key(fen.c_str()));
    return line;
}

std::vector<std::string> legal_moves(const std::string& fen) {
    auto s = stack_from(fen);
    if (!s) return {};
    return texts(*s->current, gen_legal_moves);
}

// A scratch directory for book files, and RandBook restored after every test.
class BookFile : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brontavel-book-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        saved_rand_book_ = settings.rand_book;
        settings.rand_book = false;
    }
    void TearDown() override {
        settings.rand_book = saved_rand_book_;
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = (fs::path(dir_) / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string write_book(const std::string& name, const std::vector<Record>& records) {
        return write(name, book_bytes(records));
    }

  private:
    std::string dir_;
    bool saved_rand_book_ = true;
};

// Positions with two legal moves each (the second one with a smaller weight); among them an en
// passant capture for each side.
struct BookPosition {
    const char* fen;
    const char* first;
    const char* second;
};
const BookPosition kPositions[] = {
    {kStart, "e2e4", "d2d4"},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "e7e5", "c7c5"},
    {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "e4d5", "g1f3"},
    {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2", "f7f5", "g8f6"},
    {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", "e5f6", "e1e2"},
    {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 1 3", "e8f7", "g8f6"},
    {"rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 2 4", "g1f3", "e2e3"},
    {"rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3", "b4c3", "g8f6"},
    {"rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 1 4", "c3b2", "g8f6"},
};

// kPositions ordered by key.
std::vector<BookPosition> positions_by_key() {
    std::vector<BookPosition> v(std::begin(kPositions), std::end(kPositions));
    std::sort(v.begin(), v.end(), [](const BookPosition& a, const BookPosition& b) {
        return polyglot_key(a.fen) < polyglot_key(b.fen);
    });
    return v;
}

std::vector<Record> records_of(const std::vector<BookPosition>& positions) {
    std::vector<Record> records;
    for (const BookPosition& p : positions) {
        records.push_back({polyglot_key(p.fen), code_of(p.first), 3});
        records.push_back({polyglot_key(p.fen), code_of(p.second), 1});
    }
    return records;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Keys

TEST(BookKey, ReferencePositions) {
    EXPECT_EQ(0x463b96181691fc9cULL, polyglot_key(kStart));

    REQUIRE_TESTDATA(dir);
    std::ifstream in(dir + "/polyglot-keys.txt");
    ASSERT_TRUE(in) << dir;
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t semicolon = line.find(';');
        ASSERT_EQ(16u, semicolon) << line;
        const uint64_t expected = std::strtoull(line.substr(0, 16).c_str(), nullptr, 16);
        const std::string fen = line.substr(semicolon + 1);
        EXPECT_EQ(expected, polyglot_key(fen.c_str())) << fen;
        ++checked;
    }
    EXPECT_GE(checked, 300);
}

TEST(BookKey, EnPassantFileOnlyBesideAPawnOfTheSideToMove) {
    auto same = [](const char* a, const char* b) { return polyglot_key(a) == polyglot_key(b); };
    // After e2e4 no black pawn stands on d4 or f4.
    EXPECT_TRUE(same("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
                     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1"));
    // Beside the pawn on the edge files, from either side.
    EXPECT_FALSE(same("4k3/8/8/pP6/8/8/8/4K3 w - a6 0 1", "4k3/8/8/pP6/8/8/8/4K3 w - - 0 1"));
    EXPECT_FALSE(same("4k3/8/8/6Pp/8/8/8/4K3 w - h6 0 1", "4k3/8/8/6Pp/8/8/8/4K3 w - - 0 1"));
    EXPECT_FALSE(same("4k3/8/8/8/Pp6/8/8/4K3 b - a3 0 1", "4k3/8/8/8/Pp6/8/8/4K3 b - - 0 1"));
    // A pawn of the side not to move, or on the wrong rank, does not count.
    EXPECT_TRUE(same("4k3/8/8/8/pP6/8/8/4K3 w - b3 0 1", "4k3/8/8/8/pP6/8/8/4K3 w - - 0 1"));
    EXPECT_TRUE(same("4k3/8/8/p7/1P6/8/8/4K3 w - a6 0 1", "4k3/8/8/p7/1P6/8/8/4K3 w - - 0 1"));
    // No wrapping across the board edge: a6 with a pawn on h4, h6 with a pawn on a6.
    EXPECT_TRUE(same("4k3/8/8/p7/7P/8/8/4K3 w - a6 0 1", "4k3/8/8/p7/7P/8/8/4K3 w - - 0 1"));
    EXPECT_TRUE(same("4k3/8/P7/7p/8/8/8/4K3 w - h6 0 1", "4k3/8/P7/7p/8/8/8/4K3 w - - 0 1"));
    // Files outside a to h are not looked at.
    EXPECT_TRUE(same("4k3/8/8/pP6/8/8/8/4K3 w - i6 0 1", "4k3/8/8/pP6/8/8/8/4K3 w - - 0 1"));
}

TEST(BookKey, AnyTextIsReadSafely) {
    // The empty board with Black to move XORs nothing.
    EXPECT_EQ(0u, polyglot_key("8/8/8/8/8/8/8/8 b - - 0 1"));
    EXPECT_EQ(0u, polyglot_key(""));
    EXPECT_EQ(0u, polyglot_key(nullptr));
    // Squares beyond the eighth file or below the first rank are dropped.
    EXPECT_EQ(polyglot_key("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w"),
              polyglot_key("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/PPPPPPPP w"));
    EXPECT_EQ(polyglot_key("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w"),
              polyglot_key("rnbqkbnrQ/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR8q w"));
    // Each castling letter counts once, in any order; the move counters are not read.
    EXPECT_EQ(polyglot_key(kStart),
              polyglot_key("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w qkQKK - 99 99"));
    // Placements longer than the field, fields missing, junk characters.
    const std::string long_text(5000, '/');
    const std::string many_pieces(300, 'Q');
    for (const std::string& text :
         {long_text, many_pieces + " w KQkq e3", std::string("w"), std::string("   "),
          std::string("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR"),
          std::string("x9y0z\xff/\x01 w KQkqKQkq abcdef 1 2"), many_pieces + "/8/" + many_pieces})
        polyglot_key(text.c_str());
}

// ---------------------------------------------------------------------------------------------
// Move texts

TEST(BookMoveText, SquaresPromotionsAndCastling) {
    auto text = [](uint16_t move) {
        char buffer[MOVE_TEXT_SIZE];
        std::memset(buffer, 'x', sizeof buffer);
        book_move_text(buffer, move);
        return std::string(buffer);
    };
    EXPECT_EQ("e2e4", text(0x031C)); // from e2 (rank 1, file 4), to e4 (rank 3, file 4)
    EXPECT_EQ("a1h8", text(0x003F)); // the corners
    EXPECT_EQ("h8a1", text(0x0FC0));
    EXPECT_EQ("a7a8n", text(0x1C38)); // promotion codes 1 to 4
    EXPECT_EQ("a7a8b", text(0x2C38));
    EXPECT_EQ("a7a8r", text(0x3C38));
    EXPECT_EQ("a7a8q", text(0x4C38));
    for (int code : {5, 6, 7}) EXPECT_EQ("a7a8", text(static_cast<uint16_t>(code << 12 | 0x0C38)));
    // King takes own rook is castling, whatever piece makes it.
    EXPECT_EQ("e1g1", text(code_of("e1h1")));
    EXPECT_EQ("e1c1", text(code_of("e1a1")));
    EXPECT_EQ("e8g8", text(code_of("e8h8")));
    EXPECT_EQ("e8c8", text(code_of("e8a8")));
    // Only those four texts exactly.
    EXPECT_EQ("e1f1", text(code_of("e1f1")));
    EXPECT_EQ("e2h2", text(code_of("e2h2")));
    EXPECT_EQ("h1e1", text(code_of("h1e1")));
    EXPECT_EQ("e1h1q", text(code_of("e1h1q")));
}

// ---------------------------------------------------------------------------------------------
// Book files

TEST_F(BookFile, BisectionFindsEveryKeyInBooksOfEverySize) {
    const std::vector<BookPosition> sorted = positions_by_key();
    const int n = static_cast<int>(sorted.size());
    // Every contiguous run of the sorted positions: keys at the first and last record, and keys
    // absent below, above and between the keys of the book.
    for (int begin = 0; begin < n; ++begin) {
        for (int end = begin + 1; end <= n; ++end) {
            const std::vector<BookPosition> in_book(sorted.begin() + begin, sorted.begin() + end);
            const std::string path = write_book("run.bin", records_of(in_book));
            for (int i = 0; i < n; ++i) {
                const BookPosition& p = sorted[i];
                SCOPED_TRACE(testing::Message()
                             << "book " << begin << ".." << end << ", " << p.fen);
                const Probe got = probe(path, p.fen);
                const Listing listing = list(path, p.fen);
                if (i >= begin && i < end) {
                    EXPECT_EQ(1, got.result);
                    EXPECT_EQ(p.first, got.move);
                    EXPECT_EQ(0, listing.result);
                    EXPECT_EQ("move=" + std::string(p.first) + " weight=75.00%\nmove=" + p.second +
                                  " weight=25.00%\n",
                              listing.out);
                } else {
                    EXPECT_EQ(0, got.result);
                    EXPECT_EQ(1, listing.result);
                    EXPECT_EQ(no_such_key(p.fen), listing.out);
                }
            }
        }
    }
}

TEST_F(BookFile, HundredEntriesAreTakenAndAHundredAndFirstIsRefused) {
    const std::vector<std::string> start_moves = legal_moves(kStart);
    ASSERT_EQ(20u, start_moves.size());
    const BookPosition& below = kPositions[6]; // key 00fd...: below the start position's
    const BookPosition& above = kPositions[5]; // key 652a...: above it
    ASSERT_LT(polyglot_key(below.fen), polyglot_key(kStart));
    ASSERT_GT(polyglot_key(above.fen), polyglot_key(kStart));

    for (const bool followed : {true, false}) {
        for (const int count : {99, 100, 101}) {
            SCOPED_TRACE(testing::Message() << count << " entries, followed: " << followed);
            std::vector<Record> records = {{polyglot_key(below.fen), code_of(below.first), 1}};
            if (followed) records.push_back({polyglot_key(above.fen), code_of(above.first), 1});
            std::string expected;
            for (int i = 0; i < count; ++i) {
                const std::string& move = start_moves[(i + 7) % start_moves.size()];
                records.push_back({polyglot_key(kStart), code_of(move), 1});
                char share[32];
                std::snprintf(share, sizeof share, "%5.2f", 100.0 / count);
                expected += "move=" + move + " weight=" + share + "%\n";
            }
            const std::string path = write_book("many.bin", records);

            testing::internal::CaptureStdout();
            const Probe got = probe(path, kStart);
            const std::string probe_out = testing::internal::GetCapturedStdout();
            const Listing listing = list(path, kStart);
            if (count <= 100) {
                EXPECT_EQ(1, got.result);
                EXPECT_EQ(start_moves[7], got.move);
                EXPECT_EQ("", probe_out);
                EXPECT_EQ(0, listing.result);
                EXPECT_EQ(expected, listing.out);
            } else {
                EXPECT_EQ(0, got.result);
                EXPECT_EQ("#DEBUG: Too many moves in this position (max=100)\n", probe_out);
                EXPECT_EQ(1, listing.result);
                EXPECT_EQ("Too many moves in this position (max=100)\n", listing.out);
            }
            // The neighbours are unaffected.
            EXPECT_EQ(below.first, probe(path, below.fen).move);
            if (followed) {
                EXPECT_EQ(above.first, probe(path, above.fen).move);
            }
        }
    }
}

TEST_F(BookFile, RandBookChoosesAmongTheMovesAndOffTakesTheFirst) {
    const std::vector<std::string> moves = {"c2c4", "e2e4", "d2d4"};
    std::vector<Record> records;
    for (const std::string& m : moves) records.push_back({polyglot_key(kStart), code_of(m), 1});
    const std::string path = write_book("rand.bin", records);

    settings.rand_book = false;
    for (int i = 0; i < 5; ++i) EXPECT_EQ("c2c4", probe(path, kStart).move);

    settings.rand_book = true;
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const Probe a = probe(path, kStart), b = probe(path, kStart);
        const std::time_t after = std::time(nullptr);
        EXPECT_EQ(1, a.result);
        EXPECT_NE(moves.end(), std::find(moves.begin(), moves.end(), a.move)) << a.move;
        if (before != after) continue; // the seed may have changed between the probes
        EXPECT_EQ(a.move, b.move);     // the same second gives the same choice
        break;
    }
}

TEST_F(BookFile, CastlingEntriesArePlayedAsCastling) {
    struct Case {
        const char* fen;
        const char* book;
        const char* played;
    };
    const Case cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1h1", "e1g1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1a1", "e1c1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8h8", "e8g8"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8a8", "e8c8"},
        // A rook on e1 going to a1 is read as e1c1 too, which that rook can play.
        {"7k/8/8/8/8/8/8/4RK2 w - - 0 1", "e1a1", "e1c1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fen << " " << c.book);
        const std::string path =
            write_book("castle.bin", {{polyglot_key(c.fen), code_of(c.book), 5}});
        for (const bool random : {false, true}) {
            settings.rand_book = random;
            const Probe got = probe(path, c.fen);
            EXPECT_EQ(1, got.result);
            EXPECT_EQ(c.played, got.move);
        }
        EXPECT_EQ("move=" + std::string(c.played) + " weight=100.00%\n", list(path, c.fen).out);
    }
    // Without the castling right the rewritten move is not played.
    const char* no_rights = "r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1";
    const std::string path =
        write_book("castle.bin", {{polyglot_key(no_rights), code_of("e1h1"), 1}});
    EXPECT_EQ(0, probe(path, no_rights).result);
    EXPECT_EQ("move=e1g1 weight=100.00%\n", list(path, no_rights).out);
}

TEST_F(BookFile, IllegalEntriesAreListedButNeverPlayed) {
    const uint64_t start = polyglot_key(kStart);
    const std::vector<Record> illegal = {
        {start, code_of("e2e5"), 10},    // no such move
        {start, code_of("e7e5"), 10},    // the other side's move
        {start, code_of("e1h1"), 10},    // castling through pieces
        {start, code_of("e2e4", 5), 10}, // promotion code without a piece
        {start, code_of("g1f3", 7), 10}, //
        {start, code_of("e2e4", 4), 10}, // a promotion that is no promotion
        {start, code_of("a1a1"), 10},    // to its own square
        {start, 0xFFFF, 10},             // every bit set
    };
    const std::string only_illegal = write_book("illegal.bin", illegal);
    std::vector<Record> with_legal = illegal;
    with_legal.push_back({start, code_of("g1f3"), 10});
    with_legal.push_back({start, code_of("b1c3"), 10});
    const std::string mixed = write_book("mixed.bin", with_legal);

    for (const bool random : {false, true}) {
        settings.rand_book = random;
        EXPECT_EQ(0, probe(only_illegal, kStart).result);
        const Probe got = probe(mixed, kStart);
        EXPECT_EQ(1, got.result);
        if (random) {
            EXPECT_TRUE(got.move == "g1f3" || got.move == "b1c3") << got.move;
        } else {
            EXPECT_EQ("g1f3", got.move);
        }
    }
    // The listing still shows every entry.
    EXPECT_EQ("move=e2e5 weight=10.00%\n"
              "move=e7e5 weight=10.00%\n"
              "move=e1g1 weight=10.00%\n"
              "move=e2e4 weight=10.00%\n"
              "move=g1f3 weight=10.00%\n"
              "move=e2e4q weight=10.00%\n"
              "move=a1a1 weight=10.00%\n"
              "move=h8h8 weight=10.00%\n"
              "move=g1f3 weight=10.00%\n"
              "move=b1c3 weight=10.00%\n",
              list(mixed, kStart).out);
}

TEST_F(BookFile, PromotionsNeedTheirPiece) {
    const char* fen = "8/4P3/8/8/8/8/k7/4K3 w - - 0 1";
    const uint64_t key = polyglot_key(fen);
    EXPECT_EQ(0, probe(write_book("p.bin", {{key, code_of("e7e8"), 1}}), fen).result);
    EXPECT_EQ("e7e8q", probe(write_book("p.bin", {{key, code_of("e7e8q"), 1}}), fen).move);
    EXPECT_EQ("e7e8n", probe(write_book("p.bin", {{key, code_of("e7e8n"), 1}}), fen).move);
    const char* black = "4k3/8/K7/8/8/8/4p3/8 b - - 0 1";
    EXPECT_EQ("e2e1r",
              probe(write_book("p.bin", {{polyglot_key(black), code_of("e2e1r"), 1}}), black).move);
}

TEST_F(BookFile, WeightsAreShownAsShares) {
    const uint64_t start = polyglot_key(kStart);
    // All weights 0: every share is 0.00.
    std::string path =
        write_book("w.bin", {{start, code_of("e2e4"), 0}, {start, code_of("d2d4"), 0}});
    Listing got = list(path, kStart);
    EXPECT_EQ(0, got.result);
    EXPECT_EQ("move=e2e4 weight= 0.00%\nmove=d2d4 weight= 0.00%\n", got.out);
    EXPECT_EQ("e2e4", probe(path, kStart).move); // weights play no part in the choice

    // Large weights do not overflow the sum.
    path = write_book("w.bin", {{start, code_of("e2e4"), 65535},
                                {start, code_of("d2d4"), 65535},
                                {start, code_of("c2c4"), 0}});
    EXPECT_EQ("move=e2e4 weight=50.00%\nmove=d2d4 weight=50.00%\nmove=c2c4 weight= 0.00%\n",
              list(path, kStart).out);
}

TEST_F(BookFile, DamagedFilesHoldNoMoves) {
    const std::string whole = book_bytes(records_of(positions_by_key()));
    const std::vector<BookPosition> sorted = positions_by_key();
    const BookPosition &first = sorted.front(), &last = sorted.back();
    ASSERT_EQ("e2e4", probe(write("whole.bin", whole), kStart).move);

    std::vector<std::pair<std::string, std::string>> damaged = {
        {"empty", ""}, {"one byte", "\x46"}, {"part of a record", whole.substr(0, 15)}};
    for (size_t cut = 1; cut < 16; ++cut) {
        damaged.push_back({"cut by " + std::to_string(cut), whole.substr(0, whole.size() - cut)});
        damaged.push_back({"grown by " + std::to_string(cut), whole + std::string(cut, '\xff')});
    }
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        const std::string path = write("damaged.bin", bytes);
        for (const char* fen : {kStart, first.fen, last.fen}) {
            EXPECT_EQ(0, probe(path, fen).result);
            const Listing listing = list(path, fen);
            EXPECT_EQ(1, listing.result);
            EXPECT_EQ(no_such_key(fen), listing.out);
        }
    }
}

TEST_F(BookFile, MissingFile) {
    const std::string path = write("present.bin", "") + ".missing";
    EXPECT_EQ(-1, probe(path, kStart).result);

    testing::internal::CaptureStderr();
    const Listing listing = list(path, kStart);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, listing.result);
    EXPECT_EQ("", listing.out);
    EXPECT_EQ(path + ": No such file or directory\n", err);
}

// ---------------------------------------------------------------------------------------------
// The reference book

TEST(BookListing, EveryBlockOfTheReferenceListing) {
    REQUIRE_TESTDATA(dir);
    const std::string book = dir + "/books/performance.bin";
    std::ifstream in(dir + "/polyglot-listing.txt");
    ASSERT_TRUE(in) << dir;
    const bool saved = settings.rand_book;

    struct Block {
        std::string fen, key, first, listing;
        std::vector<std::string> moves;
    };
    std::vector<Block> blocks;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("FEN ", 0) == 0) {
            blocks.push_back({line.substr(4), "", "", "", {}});
        } else if (line.rfind("KEY ", 0) == 0 && !blocks.empty()) {
            blocks.back().key = line.substr(4);
        } else if (!line.empty() && line[0] != '#' && !blocks.empty()) {
            // "<move> <weight> <printed text>"; the text itself may hold a blank.
            const size_t a = line.find(' '), b = line.find(' ', a + 1);
            ASSERT_NE(std::string::npos, b) << line;
            blocks.back().moves.push_back(line.substr(0, a));
            blocks.back().listing += line.substr(b + 1) + "\n";
        }
    }
    ASSERT_GE(blocks.size(), 20u);

    for (const Block& block : blocks) {
        SCOPED_TRACE(block.fen);
        char key[17];
        std::snprintf(key, sizeof key, "%016" PRIx64, polyglot_key(block.fen.c_str()));
        EXPECT_EQ(block.key, key);
        const Listing listing = list(book, block.fen);
        EXPECT_EQ(0, listing.result);
        EXPECT_EQ(block.listing, listing.out);

        settings.rand_book = false;
        const Probe first = probe(book, block.fen);
        EXPECT_EQ(1, first.result);
        ASSERT_FALSE(block.moves.empty());
        EXPECT_EQ(block.moves.front(), first.move);
        settings.rand_book = true;
        const Probe any = probe(book, block.fen);
        EXPECT_NE(block.moves.end(), std::find(block.moves.begin(), block.moves.end(), any.move))
            << any.move;
    }
    settings.rand_book = saved;

    // A position the book does not hold.
    const char* absent = "4k3/8/8/8/8/8/8/4K3 w - - 0 1";
    EXPECT_EQ(0, probe(book, absent).result);
    EXPECT_EQ(no_such_key(absent), list(book, absent).out);
}
