// Book lookup: bisection over the sorted records of the file, the move texts, the probe used
// before a UCI search and the listing of the console.
#include "book/book.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>

#include "board/fen.h"
#include "board/movegen.h"
#include "config/settings.h"

namespace {

constexpr long kEntrySize = 16;

struct BookEntry {
    uint64_t key;
    uint16_t move;
    uint16_t weight;
    uint32_t learn; // read, not used
};

// Closes the file on every path out of a call.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint64_t big_endian(const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// Reads the record at the file position; false on a short read.
bool read_entry(std::FILE* f, BookEntry& e) {
    unsigned char bytes[kEntrySize];
    if (std::fread(bytes, 1, sizeof bytes, f) != sizeof bytes) return false;
    e.key = big_endian(bytes, 8);
    e.move = static_cast<uint16_t>(big_endian(bytes + 8, 2));
    e.weight = static_cast<uint16_t>(big_endian(bytes + 10, 2));
    e.learn = static_cast<uint32_t>(big_endian(bytes + 12, 4));
    return true;
}

bool read_entry_at(std::FILE* f, long index, BookEntry& e) {
    return std::fseek(f, index * kEntrySize, SEEK_SET) == 0 && read_entry(f, e);
}

enum class Lookup { FOUND, ABSENT, TOO_MANY };

// Collects the entries of `key` in file order into list (BOOK_MAX_ENTRIES of room). A file whose
// size is not a whole number of records is refused as holding no entries: its records could not
// be told apart. A read that fails while collecting ends the list at the last whole record.
Lookup find_entries(std::FILE* f, uint64_t key, BookEntry* list, int& count) {
    count = 0;
    if (std::fseek(f, 0, SEEK_END) != 0) return Lookup::ABSENT;
    const long size = std::ftell(f);
    if (size < kEntrySize || size % kEntrySize != 0) return Lookup::ABSENT;

    // Bisection for the first record whose key is not below `key`; entry `hi` is always the
    // candidate, starting with the last record.
    long lo = -1, hi = size / kEntrySize - 1;
    BookEntry candidate;
    if (!read_entry_at(f, hi, candidate)) return Lookup::ABSENT;
    while (hi - lo != 1) {
        const long mid = (lo + hi) / 2;
        BookEntry e;
        if (!read_entry_at(f, mid, e)) return Lookup::ABSENT;
        if (key <= e.key) {
            hi = mid;
            candidate = e;
        } else {
            lo = mid;
        }
    }
    if (candidate.key != key) return Lookup::ABSENT;

    list[count++] = candidate;
    if (std::fseek(f, (hi + 1) * kEntrySize, SEEK_SET) != 0) return Lookup::FOUND;
    BookEntry e;
    while (read_entry(f, e) && e.key == key) {
        if (count == BOOK_MAX_ENTRIES) return Lookup::TOO_MANY;
        list[count++] = e;
    }
    return Lookup::FOUND;
}

int promotion_code(uint16_t move) {
    return move >> 12 & 7;
}

} // namespace

void book_move_text(char* text, uint16_t move) {
    text[0] = static_cast<char>('a' + (move >> 6 & 7));
    text[1] = static_cast<char>('1' + (move >> 9 & 7));
    text[2] = static_cast<char>('a' + (move & 7));
    text[3] = static_cast<char>('1' + (move >> 3 & 7));
    const int promotion = promotion_code(move);
    text[4] = promotion >= 1 && promotion <= 4 ? " nbrq"[promotion] : 0;
    text[5] = 0;

    // The format writes castling as the king taking its own rook.
    static constexpr const char* kCastling[][2] = {
        {"e1h1", "e1g1"}, {"e1a1", "e1c1"}, {"e8h8", "e8g8"}, {"e8a8", "e8c8"}};
    for (const auto& [book, ours] : kCastling)
        if (std::strcmp(text, book) == 0) std::memcpy(text, ours, 5);
}

int book_probe(const char* file, const char* fen, char* move_text) {
    BookEntry entries[BOOK_MAX_ENTRIES];
    int count = 0;
    if (!fen) fen = "";
    {
        const File f(file ? std::fopen(file, "rb") : nullptr);
        if (!f) return -1;
        switch (find_entries(f.get(), polyglot_key(fen), entries, count)) {
        case Lookup::ABSENT: return 0;
        case Lookup::TOO_MANY:
            std::printf("#DEBUG: Too many moves in this position (max=%d)\n", BOOK_MAX_ENTRIES);
            return 0;
        case Lookup::FOUND: break;
        }
    }

    // Only the entries that name a legal move of the position may be played.
    auto stack = std::make_unique<PositionStack>();
    if (!read_fen(*stack, fen, nullptr)) return 0;
    const Board& board = *stack->current;
    MoveEntry legal[MAX_MOVES];
    const MoveEntry* legal_end = gen_legal_moves(board, legal);

    char texts[BOOK_MAX_ENTRIES][MOVE_TEXT_SIZE];
    int playable = 0;
    for (int i = 0; i < count; ++i) {
        if (promotion_code(entries[i].move) > 4) continue;
        book_move_text(texts[playable], entries[i].move);
        const Move m = text_to_move(board, texts[playable]);
        for (const MoveEntry* e = legal; e < legal_end; ++e) {
            if (m && e->move == m) {
                ++playable;
                break;
            }
        }
    }
    if (playable == 0) return 0;

    int chosen = 0;
    if (settings.rand_book) {
        std::mt19937 generator(static_cast<uint32_t>(std::time(nullptr)));
        chosen = static_cast<int>(generator() % static_cast<uint32_t>(playable));
    }
    std::memcpy(move_text, texts[chosen], MOVE_TEXT_SIZE);
    return 1;
}

int book_list(const char* file, const char* fen) {
    if (!file) return 1;
    const File f(std::fopen(file, "rb"));
    if (!f) {
        std::fprintf(stderr, "%s: %s\n", file, std::strerror(errno));
        return 1;
    }
    const uint64_t key = polyglot_key(fen);
    BookEntry entries[BOOK_MAX_ENTRIES];
    int count = 0;
    switch (find_entries(f.get(), key, entries, count)) {
    case Lookup::ABSENT: std::printf("%" PRIu64 ": No such key\n", key); return 1;
    case Lookup::TOO_MANY:
        std::printf("Too many moves in this position (max=%d)\n", BOOK_MAX_ENTRIES);
        return 1;
    case Lookup::FOUND: break;
    }

    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += entries[i].weight;
    for (int i = 0; i < count; ++i) {
        char text[MOVE_TEXT_SIZE];
        book_move_text(text, entries[i].move);
        const double share = sum ? 100.0 * entries[i].weight / sum : 0.0;
        std::printf("move=%s weight=%5.2f%%\n", text, share);
    }
    return 0;
}
