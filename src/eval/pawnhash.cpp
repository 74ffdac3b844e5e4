#include "eval/pawnhash.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/frontend.h"
#include "search/thread.h"
#include "search/tt.h"

uint64_t pawn_entries = 0;
uint32_t pawn_mb = 0;

void* (*pawn_table_calloc)(size_t count, size_t size) = touched_calloc;

namespace {

// XOR of the piece keys of one colour's pieces of one code; `set` holds the squares as that colour
// sees them.
uint64_t set_key(uint32_t colour, int code, Bitboard set) {
    uint64_t key = 0;
    while (set) key ^= piece_key(colour, code, pop_lsb(set));
    return key;
}

} // namespace

// The same numbers the position key uses for these pieces: the side to move's pawns and king at
// their stored squares, then, seen from the other side (a flipped copy), the opponent's.
uint64_t pawn_key(const Board& b) {
    Board copy = b;
    uint64_t key = 0;
    for (int round = 0; round < 2; ++round) {
        key ^= set_key(copy.side, PAWN, pawns(copy) & copy.us);
        key ^= set_key(copy.side, KING, kings(copy) & copy.us);
        flip_board(copy);
    }
    return key ^ zobrist::side[b.side];
}

void pawn_allocate(SearchThread& thread, uint64_t entries, uint32_t mb, int report, int number) {
    pawn_free(thread);
    // The index is a mask, so the count must be a power of two.
    const uint64_t asked = std::bit_floor(entries ? entries : 1);
    uint64_t had = asked;
    void* table = pawn_table_calloc(had, sizeof(PawnHashEntry));
    if (!table) {
        print_message("HashPawn Table Memory Allocation Failed!");
        while (!table && had > 1) {
            had /= 2;
            table = pawn_table_calloc(had, sizeof(PawnHashEntry));
        }
    }
    if (!table) {
        std::fflush(stdout);
        return;
    }
    thread.pawn_table = static_cast<PawnHashEntry*>(table);
    thread.pawn_table_entries = had;
    thread.pawn_table_dirty = false;
    if (had != asked)
        print_message("HashPawn Table reduced to %llu entries (%llu KB) for Thread %i",
                      static_cast<unsigned long long>(had),
                      static_cast<unsigned long long>(had * sizeof(PawnHashEntry) / 1024), number);
    else if (report)
        print_message("Allocated %i MB for the HashPawn Table for Thread %i", static_cast<int>(mb),
                      number);
    std::fflush(stdout);
}

void pawn_clear(SearchThread& thread) {
    if (!thread.pawn_table_dirty) return; // still all zeros
    thread.pawn_table_dirty = false;
    if (thread.pawn_table)
        std::memset(static_cast<void*>(thread.pawn_table), 0,
                    thread.pawn_table_entries * sizeof(PawnHashEntry));
}

void pawn_free(SearchThread& thread) {
    std::free(thread.pawn_table);
    thread.pawn_table = nullptr;
    thread.pawn_table_entries = 0;
}

bool probe_pawn_hash(const SearchThread& thread, const Board& b, PawnHashEntry& entry) {
    if (!thread.pawn_table) return false;
    const uint64_t key = pawn_key(b);
    entry = thread.pawn_table[key & (thread.pawn_table_entries - 1)];
    return entry.key == key;
}

void store_pawn_hash(SearchThread& thread, const Board& b, const PawnHashEntry& entry) {
    if (!thread.pawn_table) return;
    const uint64_t key = pawn_key(b);
    PawnHashEntry& slot = thread.pawn_table[key & (thread.pawn_table_entries - 1)];
    slot = entry;
    slot.key = key;
    thread.pawn_table_dirty = true;
    slot.spare = 0;
}
