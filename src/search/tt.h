// The transposition table: one table shared by every search thread, read and written without
// locks. Each 16-byte entry guards itself: its first word is the position key XOR its data word,
// so an entry torn by two writers no longer matches any key.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "board/board.h"

struct HashEntry {
    uint64_t check; // key XOR data; 0 = empty
    uint64_t data;  // depth 0-5, bound 6-7, age 8-15, score 16-31, move 32-63
};

constexpr int BOUND_EXACT = 1, BOUND_UPPER = 2, BOUND_LOWER = 3;
constexpr int16_t TT_MISS = 30002;     // no entry for the key
constexpr int16_t TT_UNUSABLE = 30001; // an entry, but its score does not decide the node
constexpr int16_t MATE_BOUND = 19935;  // scores beyond this are mate distances

struct TranspositionTable {
    HashEntry* table = nullptr;
    uint64_t entries = 0; // a power of two; the array holds entries + 4 slots
    uint32_t mb = 0;      // the size in MB as set
    uint8_t age = 0;      // the current search generation (wraps around)
    // Searches since the game began; read by the input thread on "ponderhit".
    std::atomic<uint32_t> searches{0};
    // Set by the first store after an allocation or a clear: clearing a table that is still all
    // zeros is skipped.
    std::atomic<bool> dirty{false};
};

extern TranspositionTable tt;

// Frees the old table and allocates a zero-filled one with every page touched, announcing
// "Allocated %i MB for the Hash Table\n". When memory is short it prints "Hash Table Memory
// Allocation Failed!" and retries at half the size until a table is had, saying which size was
// taken: never a null table.
void tt_allocate(uint64_t entries, uint32_t mb);
// Zero-filled memory for a hash table with every page already touched (in huge pages where the
// system has them), so that no search pays for the faults; freed with std::free. Null when the
// memory cannot be had.
void* touched_calloc(size_t count, size_t size);
// The zero-filling allocator behind tt_allocate (touched_calloc); replaceable so that a failing
// allocation can be exercised.
extern void* (*tt_table_calloc)(size_t count, size_t size);
void tt_clear();

// How full the table is with entries of the current search, per mille, from its first 1000 slots.
int tt_hashfull();

// Called at the start of every search: the next generation (entries of older ones are replaced
// first) and one more search in the game.
void tt_new_search();

// Looks the board's key up in its bucket. TT_MISS when absent; otherwise the entry's data word is
// copied to *data, and the result is the score (mate distances made relative to the root by ply)
// when depth and bound make it decisive for the (alpha, beta) window, else TT_UNUSABLE.
int16_t tt_probe(const Board& b, uint64_t* data, int depth, int ply, int16_t alpha, int16_t beta);
int16_t tt_probe_at(uint64_t home, const Board& b, uint64_t* data, int depth, int ply,
                    int16_t alpha, int16_t beta);

// Stores a result for the board unless the search is stopping. A zero move keeps the move
// already stored for the same key.
void tt_store(const Board& b, int depth, int ply, int bound, int16_t score, Move move);
void tt_store_at(uint64_t home, const Board& b, int depth, int ply, int bound, int16_t score,
                 Move move);

// Fields of a data word.
inline int tt_depth(uint64_t data) {
    return static_cast<int>(data & 63);
}
inline int tt_bound(uint64_t data) {
    return static_cast<int>((data >> 6) & 3);
}
inline int tt_entry_age(uint64_t data) {
    return static_cast<int>((data >> 8) & 255);
}
inline int16_t tt_score(uint64_t data) {
    return static_cast<int16_t>(data >> 16);
}
inline Move tt_move(uint64_t data) {
    return static_cast<Move>(data >> 32);
}

// Writes the first n slots to "DumpHash/dump.csv" and prints "Tot: %i\n"; move texts are written
// for a position whose real side to move is `side`.
void tt_dump(uint64_t n, uint32_t side);
