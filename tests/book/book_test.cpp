// Polyglot keys and books: the reference keys and listing, and hand-made book files for the
// bisection, the castling and promotion codes, illegal entries and damaged files.
#include "book/book.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "board/board_helpers.h"
#include "config/settings.h"
#include "testdata.h"

namespace {

const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// The Polyglot code of a coordinate move ("e7e8q"); `promotion` overrides the letter's code.
uint16_t code_of(const std::string& text, int promotion = -1) {
    int code = (text[2] - 'a') | (text[3] - '1') << 3 | (text[0] - 'a') << 6 | (text[1] - '1') << 9;
    if (promotion < 0)
        promotion = text.size() > 4 ? static_cast<int>(std::string(" nbrq").find(text[4])) : 0;
    return static_cast<uint16_t>(code | promotion << 12);
}

struct Record {
    uint64_t key;
    uint16_t move, weight;
};

// The bytes of a book holding the records, sorted by key (records of one key keep their order).
std::string book_bytes(std::vector<Record> records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return a.key < b.key; });
    std::string bytes;
    for (const Record& r : records) {
        for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>(r.key >> shift);
        for (uint16_t v : {r.move, r.weight})
            bytes += {static_cast<char>(v >> 8), static_cast<char>(v)};
        bytes += "\xde\xad\xbe\xef"; // learn: read, never used
    }
    return bytes;
}

// The probe's move, "" when it finds none, "error" when the file cannot be opened.
std::string probe(const std::string& file, const std::string& fen) {
    char text[MOVE_TEXT_SIZE + 2] = "xxxxxxx";
    const int result = book_probe(file.c_str(), fen.c_str(), text);
    return result == 1 ? text : result == 0 ? "" : "error";
}

std::string list(const std::string& file, const std::string& fen) {
    testing::internal::CaptureStdout();
    book_list(file.c_str(), fen.c_str());
    return testing::internal::GetCapturedStdout();
}

// A scratch book file, and RandBook off unless a test turns it on.
class BookFile : public testing::Test {
  protected:
    void SetUp() override { settings.rand_book = false; }
    void TearDown() override {
        settings.rand_book = saved_;
        std::remove(path_.c_str());
    }
    std::string write(const std::string& bytes) {
        std::ofstream(path_, std::ios::binary) << bytes;
        return path_;
    }
    std::string write_book(const std::vector<Record>& records) {
        return write(book_bytes(records));
    }

    const bool saved_ = settings.rand_book;
    const std::string path_ = testing::TempDir() + "book-" + std::to_string(getpid()) + ".bin";
};
using BookListing = BookFile;

// Positions with two weighted moves each, among them en passant captures of both sides.
const std::pair<const char*, const char*> kPositions[] = {
    {kStart, "e2e4 d2d4"},
    {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", "e7e5 c7c5"},
    {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "e4d5 g1f3"},
    {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", "e5f6 e1e2"},
    {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 1 3", "e8f7 g8f6"},
    {"rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 2 4", "g1f3 e2e3"},
    {"rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3", "b4c3 g8f6"},
};

} // namespace

TEST(BookKey, ReferencePositionsAndEnPassantEdges) {
    // An en passant file never counts across the edge of the board, nor beside the other side's
    // pawn, nor off the board (the reference keys cover the files that count).
    for (const char* fen :
         {"4k3/8/8/p7/7P/8/8/4K3 w - a6 0 1", "4k3/8/P7/7p/8/8/8/4K3 w - h6 0 1",
          "4k3/8/8/8/pP6/8/8/4K3 w - b3 0 1", "4k3/8/8/pP6/8/8/8/4K3 w - i6 0 1"}) {
        std::string without = fen;
        without.replace(without.find(" 0 1") - 2, 2, "-");
        EXPECT_EQ(polyglot_key(without.c_str()), polyglot_key(fen)) << fen;
    }
    // Any text is read safely.
    for (const std::string& text :
         {std::string(5000, '/'), std::string(300, 'Q') + " w KQkq e3",
          std::string("x9y0z\xff/\x01 w KQkqKQkq abcdef 1 2"), std::string()})
        polyglot_key(text.c_str());
    EXPECT_EQ(0u, polyglot_key(nullptr));

    REQUIRE_TESTDATA(dir);
    std::ifstream in(dir + "/polyglot-keys.txt");
    ASSERT_TRUE(in) << dir;
    int checked = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        ASSERT_EQ(16u, line.find(';')) << line;
        EXPECT_EQ(std::strtoull(line.substr(0, 16).c_str(), nullptr, 16),
                  polyglot_key(line.substr(17).c_str()))
            << line;
        ++checked;
    }
    EXPECT_GE(checked, 300);
}

TEST_F(BookListing, EveryBlockOfTheReferenceListing) {
    REQUIRE_TESTDATA(dir);
    const std::string book = dir + "/books/performance.bin";
    std::ifstream in(dir + "/polyglot-listing.txt");
    ASSERT_TRUE(in) << dir;
    struct Block {
        std::string fen, listing;
        std::vector<std::string> moves;
    };
    std::vector<Block> blocks;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("FEN ", 0) == 0) {
            blocks.push_back({line.substr(4), "", {}});
        } else if (!line.empty() && line[0] != '#' && line.rfind("KEY ", 0) != 0) {
            // "<move> <weight> <printed text>"
            const size_t a = line.find(' '), b = line.find(' ', a + 1);
            ASSERT_FALSE(blocks.empty());
            blocks.back().moves.push_back(line.substr(0, a));
            blocks.back().listing += line.substr(b + 1) + "\n";
        }
    }
    ASSERT_GE(blocks.size(), 20u);
    for (const Block& block : blocks) {
        SCOPED_TRACE(block.fen);
        EXPECT_EQ(block.listing, list(book, block.fen));
        settings.rand_book = false;
        EXPECT_EQ(block.moves.front(), probe(book, block.fen));
        settings.rand_book = true;
        EXPECT_TRUE(contains(block.moves, probe(book, block.fen)));
    }
    EXPECT_EQ("", probe(book, "4k3/8/8/8/8/8/8/4K3 w - - 0 1"));
}

TEST_F(BookFile, BisectionFindsEveryKeyInBooksOfEverySize) {
    std::vector<std::pair<const char*, const char*>> sorted(std::begin(kPositions),
                                                            std::end(kPositions));
    std::sort(sorted.begin(), sorted.end(),
              [](auto& a, auto& b) { return polyglot_key(a.first) < polyglot_key(b.first); });
    const int n = static_cast<int>(sorted.size());
    // Every contiguous run of the sorted positions, two records each: keys at the first and last
    // record, and keys absent below, above and between the keys of the book.
    for (int begin = 0; begin < n; ++begin) {
        for (int end = begin + 1; end <= n; ++end) {
            std::vector<Record> records;
            for (int i = begin; i < end; ++i) {
                const std::string moves = sorted[i].second;
                records.push_back({polyglot_key(sorted[i].first), code_of(moves.substr(0, 4)), 3});
                records.push_back({polyglot_key(sorted[i].first), code_of(moves.substr(5)), 1});
            }
            const std::string path = write_book(records);
            for (int i = 0; i < n; ++i) {
                SCOPED_TRACE(testing::Message() << "book " << begin << ".." << end << ", " << i);
                const bool in_book = i >= begin && i < end;
                EXPECT_EQ(in_book ? std::string(sorted[i].second).substr(0, 4) : "",
                          probe(path, sorted[i].first));
            }
        }
    }
}

TEST_F(BookFile, MoveCodesCastlingPromotionsAndIllegalEntries) {
    struct Case {
        const char* fen;
        uint16_t code;
        const char* played; // "" when the entry is not playable
        const char* listed;
    };
    const char* castle = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    const char* castle_black = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
    const char* promote = "8/4P3/8/8/8/8/k7/4K3 w - - 0 1";
    const Case cases[] = {
        // King takes own rook is castling; a rook on e1 going to a1 reads as e1c1 too.
        {castle, code_of("e1h1"), "e1g1", "e1g1"},
        {castle, code_of("e1a1"), "e1c1", "e1c1"},
        {castle_black, code_of("e8h8"), "e8g8", "e8g8"},
        {castle_black, code_of("e8a8"), "e8c8", "e8c8"},
        {"7k/8/8/8/8/8/8/4RK2 w - - 0 1", code_of("e1a1"), "e1c1", "e1c1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1", code_of("e1h1"), "", "e1g1"},
        {castle, code_of("e1f1"), "e1f1", "e1f1"},
        // Promotion codes 1 to 4 name the piece; a push to the last rank without one is refused.
        {promote, code_of("e7e8q"), "e7e8q", "e7e8q"},
        {promote, code_of("e7e8n"), "e7e8n", "e7e8n"},
        {promote, code_of("e7e8"), "", "e7e8"},
        {promote, code_of("e7e8", 6), "", "e7e8"},
        {"4k3/8/K7/8/8/8/4p3/8 b - - 0 1", code_of("e2e1r"), "e2e1r", "e2e1r"},
        // Entries that are no legal move are listed, never played.
        {kStart, code_of("e2e5"), "", "e2e5"},
        {kStart, code_of("e7e5"), "", "e7e5"},
        {kStart, code_of("e2e4", 4), "", "e2e4q"},
        {kStart, code_of("a1a1"), "", "a1a1"},
        {kStart, 0xFFFF, "", "h8h8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fen << " " << c.listed);
        const std::string path = write_book({{polyglot_key(c.fen), c.code, 5}});
        for (const bool random : {false, true}) {
            settings.rand_book = random;
            EXPECT_EQ(c.played, probe(path, c.fen));
        }
        EXPECT_EQ("move=" + std::string(c.listed) + " weight=100.00%\n", list(path, c.fen));
    }
}

TEST_F(BookFile, PlayableEntriesAmongIllegalOnesAndTheWeightShares) {
    const uint64_t start = polyglot_key(kStart);
    const std::string path = write_book({{start, code_of("e2e5"), 10},
                                         {start, code_of("g1f3"), 10},
                                         {start, code_of("e7e5"), 10},
                                         {start, code_of("b1c3"), 10}});
    EXPECT_EQ("g1f3", probe(path, kStart));
    settings.rand_book = true;
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(contains({"g1f3", "b1c3"}, probe(path, kStart)));
    // Weights of 0, and large weights whose sum needs more than 16 bits.
    EXPECT_EQ("move=e2e4 weight= 0.00%\nmove=d2d4 weight= 0.00%\n",
              list(write_book({{start, code_of("e2e4"), 0}, {start, code_of("d2d4"), 0}}), kStart));
    EXPECT_EQ("move=e2e4 weight=50.00%\nmove=d2d4 weight=50.00%\n",
              list(write_book({{start, code_of("e2e4"), 65535}, {start, code_of("d2d4"), 65535}}),
                   kStart));
}

TEST_F(BookFile, DamagedAndMissingFilesHoldNoMoves) {
    std::vector<Record> records;
    for (const auto& [fen, moves] : kPositions)
        records.push_back({polyglot_key(fen), code_of(std::string(moves).substr(0, 4)), 1});
    const std::string whole = book_bytes(records);
    ASSERT_EQ("e2e4", probe(write(whole), kStart));
    // Sizes that are not a whole number of records, short or long.
    std::vector<std::string> damaged = {"", "\x46", whole.substr(0, 15)};
    for (size_t cut = 1; cut < 16; ++cut) {
        damaged.push_back(whole.substr(0, whole.size() - cut));
        damaged.push_back(whole + std::string(cut, '\xff'));
    }
    for (const std::string& bytes : damaged) {
        const std::string path = write(bytes);
        for (const auto& [fen, moves] : kPositions) {
            SCOPED_TRACE(testing::Message() << bytes.size() << " bytes, " << fen);
            EXPECT_EQ("", probe(path, fen));
            EXPECT_EQ(std::to_string(polyglot_key(fen)) + ": No such key\n", list(path, fen));
        }
    }
    const std::string missing = path_ + ".missing";
    EXPECT_EQ("error", probe(missing, kStart));
    testing::internal::CaptureStderr();
    EXPECT_EQ("", list(missing, kStart));
    EXPECT_EQ(missing + ": No such file or directory\n", testing::internal::GetCapturedStderr());
}
