// The pawn hash table: each search thread caches the pawn-structure part of the evaluation per
// configuration of pawns, kings and side to move.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/board.h"

struct PawnHashEntry {
    uint64_t key;          // pawn key: pawns, both kings and the side to move
    Bitboard passed;       // own passed pawns
    uint8_t attack_weight; // the pawns' share of the attack weight on the enemy king zone
    uint8_t shield;        // king shield sum
    uint8_t healthy_pawns; // own pawns that are not both doubled and isolated
    uint8_t spare;         // always 0
    int16_t score;         // pawn score of the side
};
static_assert(sizeof(PawnHashEntry) == 24);

struct SearchThread;

// Entries of every pawn table (a power of two) and the size in MB it was derived from.
extern uint64_t pawn_entries;
extern uint32_t pawn_mb;

// The pawn key of a board: the position key restricted to pawns, kings and the side to move.
uint64_t pawn_key(const Board& b);

// Frees the thread's old table and allocates a zero-filled one of `entries` entries. When memory
// is short, it prints "HashPawn Table Memory Allocation Failed!" and retries at half the size
// until a table is had, so a thread never holds a null table. With `report` set, announces
// "Allocated %i MB for the HashPawn Table for Thread %i\n".
// When even a single entry cannot be had, the thread is left without a table (null, 0 entries) and
// the evaluation runs uncached.
void pawn_allocate(SearchThread& thread, uint64_t entries, uint32_t mb, int report, int number);
// The zero-filling allocator behind pawn_allocate (touched_calloc); replaceable so that a failing
// allocation can be exercised.
extern void* (*pawn_table_calloc)(size_t count, size_t size);
void pawn_clear(SearchThread& thread);
void pawn_free(SearchThread& thread);

// Copies the entry for the board's pawn key into `entry`; true when it holds that key.
bool probe_pawn_hash(const SearchThread& thread, const Board& b, PawnHashEntry& entry);
// Overwrites the entry for the board's pawn key.
void store_pawn_hash(SearchThread& thread, const Board& b, const PawnHashEntry& entry);
