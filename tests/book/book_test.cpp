// Polyglot keys and books: the reference keys and listing, and hand-made, odd or damaged books.
#include "book/book.h"

#include <algorithm>

#include "board/board_helpers.h"
#include "config/config_fixture.h"
#include "config/settings.h"
#include "testdata.h"

namespace {

const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* kBook = "b.bin";

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
    std::ranges::stable_sort(records, {}, &Record::key);
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

// A scratch folder for book files, and RandBook off unless a test turns it on.
struct BookFile : ScratchDir {
    BookFile() { settings.rand_book = false; }
    ~BookFile() override { settings.rand_book = saved_; }
    static void write_book(const std::vector<Record>& r) { write(book_bytes(r), kBook); }
    const bool saved_ = settings.rand_book;
};

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
    for (std::string fen :
         {"4k3/8/8/p7/7P/8/8/4K3 w - a6 0 1", "4k3/8/P7/7p/8/8/8/4K3 w - h6 0 1",
          "4k3/8/8/8/pP6/8/8/4K3 w - b3 0 1", "4k3/8/8/pP6/8/8/8/4K3 w - i6 0 1"}) {
        const uint64_t key = polyglot_key(fen.c_str());
        EXPECT_EQ(polyglot_key(fen.replace(fen.size() - 6, 2, "-").c_str()), key) << fen;
    }
    // Any text is read safely.
    for (const std::string& text :
         {std::string(5000, '/'), std::string(300, 'Q') + " w KQkq e3",
          std::string("x9y0z\xff/\x01 w KQkqKQkq abcdef 1 2"), std::string()})
        polyglot_key(text.c_str());
    EXPECT_EQ(0u, polyglot_key(nullptr));

    REQUIRE_TESTDATA(dir);
    std::ifstream in(dir + "/polyglot-keys.txt"); // "KEY;FEN", the key in 16 hex digits
    int checked = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        ASSERT_EQ(16u, line.find(';')) << line;
        EXPECT_EQ(std::stoull(line.substr(0, 16), nullptr, 16), polyglot_key(&line[17])) << line;
        ++checked;
    }
    EXPECT_GE(checked, 300);
}

// Blocks of "FEN <fen>" and "<move> <weight> <printed text>" lines, best move first.
TEST_F(BookFile, ListingAndProbeMatchEveryBlockOfTheReferenceListing) {
    REQUIRE_TESTDATA(dir);
    const std::string book = dir + "/books/performance.bin";
    std::ifstream in(dir + "/polyglot-listing.txt");
    std::vector<std::tuple<std::string, std::string, std::vector<std::string>>> blocks;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("FEN ")) blocks.push_back({line.substr(4), "", {}});
        if (blocks.empty() || line.empty() || line[0] < 'a') continue; // not a move line
        auto& [fen, listing, moves] = blocks.back();
        listing += line.substr(line.find(' ', line.find(' ') + 1) + 1) + "\n";
        moves.push_back(line.substr(0, line.find(' ')));
    }
    ASSERT_GE(blocks.size(), 20u);
    for (const auto& [fen, listing, moves] : blocks) {
        SCOPED_TRACE(fen);
        EXPECT_EQ(listing, list(book, fen));
        settings.rand_book = false;
        EXPECT_EQ(moves.front(), probe(book, fen));
        settings.rand_book = true;
        EXPECT_TRUE(contains(moves, probe(book, fen)));
    }
    EXPECT_EQ("", probe(book, "4k3/8/8/8/8/8/8/4K3 w - - 0 1"));
}

// Every contiguous run of the positions sorted by key, two records each: keys at the first and
// last record, and keys absent below, above and between the keys of the book.
TEST_F(BookFile, BisectionFindsEveryKeyInBooksOfEverySize) {
    std::vector sorted(std::begin(kPositions), std::end(kPositions));
    std::ranges::sort(sorted, {}, [](auto& p) { return polyglot_key(p.first); });
    const size_t n = sorted.size();
    for (size_t begin = 0; begin < n; ++begin)
        for (size_t end = begin + 1; end <= n; ++end) {
            std::vector<Record> records;
            for (size_t i = begin; i < end; ++i)
                for (const int k : {0, 1}) // the first move weighs 3, the second 1
                    records.push_back({polyglot_key(sorted[i].first),
                                       code_of(sorted[i].second + 5 * k),
                                       static_cast<uint16_t>(3 - 2 * k)});
            write_book(records);
            for (size_t i = 0; i < n; ++i) {
                SCOPED_TRACE(testing::Message() << "book " << begin << ".." << end << ", " << i);
                EXPECT_EQ(i >= begin && i < end ? std::string(sorted[i].second, 4) : "",
                          probe(kBook, sorted[i].first));
            }
        }
}

TEST_F(BookFile, MoveCodesCastlingPromotionsAndIllegalEntries) {
    const char* castle = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    const char* promote = "8/4P3/8/8/8/8/k7/4K3 w - - 0 1";
    const struct {
        const char* fen;
        uint16_t code;
        const char *played, *listed; // played "" when the entry is not playable
    } cases[] = {
        // King takes own rook is castling; a rook on e1 going to a1 reads as e1c1 too.
        {castle, code_of("e1h1"), "e1g1", "e1g1"},
        {castle, code_of("e1a1"), "e1c1", "e1c1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", code_of("e8a8"), "e8c8", "e8c8"},
        {"7k/8/8/8/8/8/8/4RK2 w - - 0 1", code_of("e1a1"), "e1c1", "e1c1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1", code_of("e1h1"), "", "e1g1"},
        {castle, code_of("e1f1"), "e1f1", "e1f1"},
        // Promotion codes 1 to 4 name the piece; a push to the last rank without one is refused.
        {promote, code_of("e7e8n"), "e7e8n", "e7e8n"},
        {promote, code_of("e7e8"), "", "e7e8"},
        {promote, code_of("e7e8", 6), "", "e7e8"},
        {"4k3/8/K7/8/8/8/4p3/8 b - - 0 1", code_of("e2e1r"), "e2e1r", "e2e1r"},
        // Entries that are no legal move are listed, never played.
        {kStart, code_of("e2e5"), "", "e2e5"},
        {kStart, code_of("e2e4", 4), "", "e2e4q"},
        {kStart, 0xFFFF, "", "h8h8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fen << " " << c.listed);
        write_book({{polyglot_key(c.fen), c.code, 5}});
        for (const bool random : {false, true}) {
            settings.rand_book = random;
            EXPECT_EQ(c.played, probe(kBook, c.fen));
        }
        EXPECT_EQ("move=" + std::string(c.listed) + " weight=100.00%\n", list(kBook, c.fen));
    }
}

TEST_F(BookFile, PlayableEntriesAmongIllegalOnesAndTheWeightShares) {
    const uint64_t start = polyglot_key(kStart);
    std::vector<Record> records;
    for (const char* move : {"e2e5", "g1f3", "e7e5", "b1c3"})
        records.push_back({start, code_of(move), 10});
    write_book(records);
    EXPECT_EQ("g1f3", probe(kBook, kStart));
    settings.rand_book = true;
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(contains({"g1f3", "b1c3"}, probe(kBook, kStart)));
    // Weights of 0, and large weights whose sum needs more than 16 bits.
    for (const auto& [weight, share] : {std::pair{0, " 0.00"}, {65535, "50.00"}}) {
        const auto w = static_cast<uint16_t>(weight);
        write_book({{start, code_of("e2e4"), w}, {start, code_of("d2d4"), w}});
        EXPECT_EQ("move=e2e4 weight=" + std::string(share) + "%\nmove=d2d4 weight=" + share + "%\n",
                  list(kBook, kStart));
    }
}

TEST_F(BookFile, DamagedAndMissingFilesHoldNoMoves) {
    std::vector<Record> records;
    for (const auto& [fen, moves] : kPositions)
        records.push_back({polyglot_key(fen), code_of(moves), 1});
    const std::string whole = book_bytes(records);
    // Sizes that are not a whole number of records, short or long, and the empty file.
    for (size_t cut = 1; cut < 16; ++cut)
        for (const std::string& bytes :
             {whole.substr(0, cut - 1), whole.substr(0, whole.size() - cut),
              whole + std::string(cut, '\xff')}) {
            write(bytes, kBook);
            for (const auto& [fen, moves] : kPositions) {
                SCOPED_TRACE(testing::Message() << bytes.size() << " bytes, " << fen);
                EXPECT_EQ("", probe(kBook, fen));
                EXPECT_EQ(std::to_string(polyglot_key(fen)) + ": No such key\n", list(kBook, fen));
            }
        }
    EXPECT_EQ("error", probe("missing.bin", kStart));
    testing::internal::CaptureStderr();
    EXPECT_EQ("", list("missing.bin", kStart));
    EXPECT_EQ("missing.bin: No such file or directory\n", testing::internal::GetCapturedStderr());
}
