#include "search/tt.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>

#include "board/fen.h"
#include "frontend/frontend.h"
#include "search/flags.h"

TranspositionTable tt;
SearchFlags search_flags;
void* (*tt_table_calloc)(size_t count, size_t size) = touched_calloc;

namespace {

// The table words are shared by all search threads without locks: every access is atomic.
inline uint64_t load(const uint64_t& word) {
    return std::atomic_ref<uint64_t>(const_cast<uint64_t&>(word)).load(std::memory_order_relaxed);
}
inline void save(uint64_t& word, uint64_t value) {
    std::atomic_ref<uint64_t>(word).store(value, std::memory_order_relaxed);
}

inline uint64_t home_of(const Board& b) {
    return b.key & (tt.entries - 1);
}

} // namespace

void* touched_calloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    constexpr size_t kHugePage = size_t{2} << 20;
    const size_t bytes = count * size;
    // Large tables in huge pages where the system offers them: far fewer page faults.
    const bool huge = bytes >= kHugePage;
    const size_t rounded = huge ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
    void* p = huge ? std::aligned_alloc(kHugePage, rounded) : std::malloc(rounded ? rounded : 1);
    if (!p) return nullptr;
#ifdef MADV_HUGEPAGE
    if (huge) madvise(p, rounded, MADV_HUGEPAGE);
#endif
    // Every page is touched now: otherwise the first searches would take their faults.
    std::memset(p, 0, rounded);
    return p;
}

void tt_allocate(uint64_t entries, uint32_t mb) {
    std::free(tt.table);
    tt.table = nullptr;
    tt.entries = entries;
    tt.mb = mb;
    tt.table = static_cast<HashEntry*>(tt_table_calloc(tt.entries + 4, sizeof(HashEntry)));
    if (!tt.table) print_message("Hash Table Memory Allocation Failed!");
    while (!tt.table) {
        if (tt.entries == 1) std::exit(1); // not even 80 bytes: nothing can run
        tt.entries /= 2;
        tt.table = static_cast<HashEntry*>(tt_table_calloc(tt.entries + 4, sizeof(HashEntry)));
    }
    tt.dirty.store(false, std::memory_order_relaxed);
    if (tt.entries != entries) {
        tt.mb = static_cast<uint32_t>((tt.entries * sizeof(HashEntry)) >> 20);
        print_message("Hash table reduced to %" PRIu64 " entries", tt.entries);
    }
    print_message("Allocated %i MB for the Hash Table", static_cast<int>(tt.mb));
}

int tt_hashfull() {
    if (!tt.table) return 0;
    const uint64_t sample = tt.entries < 1000 ? tt.entries : 1000;
    uint64_t used = 0;
    for (uint64_t i = 0; i < sample; ++i)
        if (load(tt.table[i].check) != 0 && tt_entry_age(load(tt.table[i].data)) == tt.age) ++used;
    return static_cast<int>(used * 1000 / sample);
}

void tt_clear() {
    if (!tt.table || !tt.dirty.load(std::memory_order_relaxed)) return;
    std::memset(static_cast<void*>(tt.table), 0, tt.entries * sizeof(HashEntry));
    tt.dirty.store(false, std::memory_order_relaxed);
}

void tt_new_search() {
    // Entries of earlier searches stay usable and are replaced first, oldest first: the table
    // is never cleared inside a search.
    tt.age = static_cast<uint8_t>(tt.age + 1);
    tt.searches.fetch_add(1, std::memory_order_relaxed);
}

int16_t tt_probe_at(uint64_t home, const Board& b, uint64_t* data, int depth, int ply,
                    int16_t alpha, int16_t beta) {
    const HashEntry* bucket = tt.table + home;
    for (int i = 0; i < 4; ++i) {
        const uint64_t d = load(bucket[i].data);
        if ((load(bucket[i].check) ^ d) != b.key) continue;
        *data = d;
        if (tt_depth(d) < depth) return TT_UNUSABLE;
        int score = tt_score(d);
        if (score > MATE_BOUND)
            score -= ply;
        else if (score < -MATE_BOUND)
            score += ply;
        switch (tt_bound(d)) {
        case BOUND_EXACT: return static_cast<int16_t>(score);
        case BOUND_UPPER: return score <= alpha ? static_cast<int16_t>(score) : TT_UNUSABLE;
        case BOUND_LOWER: return score >= beta ? static_cast<int16_t>(score) : TT_UNUSABLE;
        default: return TT_UNUSABLE;
        }
    }
    return TT_MISS;
}

int16_t tt_probe(const Board& b, uint64_t* data, int depth, int ply, int16_t alpha, int16_t beta) {
    return tt_probe_at(home_of(b), b, data, depth, ply, alpha, beta);
}

void tt_store_at(uint64_t home, const Board& b, int depth, int ply, int bound, int16_t score,
                 Move move) {
    if (search_stopped()) return;
    HashEntry* bucket = tt.table + home;

    // The first empty slot or one holding this key; else the oldest generation; else the
    // shallowest entry.
    HashEntry* slot = nullptr;
    uint64_t slot_data = 0;
    for (int i = 0; i < 4 && !slot; ++i) {
        const uint64_t check = load(bucket[i].check), d = load(bucket[i].data);
        if (check == 0 || (check ^ d) == b.key) {
            slot = &bucket[i];
            slot_data = check == 0 ? 0 : d;
        }
    }
    if (!slot) {
        int oldest = 0; // generations between the entry's search and this one (mod 256)
        for (int i = 0; i < 4; ++i) {
            const int distance = (tt.age - tt_entry_age(load(bucket[i].data))) & 255;
            if (distance > oldest) {
                oldest = distance;
                slot = &bucket[i];
            }
        }
    }
    if (!slot) {
        int best_depth = 64;
        for (int i = 0; i < 4; ++i) {
            const int d = tt_depth(load(bucket[i].data));
            if (d < best_depth) {
                best_depth = d;
                slot = &bucket[i];
            }
        }
    }

    int stored = score;
    if (stored > MATE_BOUND)
        stored += ply;
    else if (stored < -MATE_BOUND)
        stored -= ply;
    if (move == 0) move = tt_move(slot_data);

    // The depth field holds 0..63: a negative depth (below a null move) must not read back as a
    // deep one, nor a depth past 63 as a shallow one.
    const uint64_t data = static_cast<uint64_t>(std::clamp(depth, 0, 63)) |
                          static_cast<uint64_t>(bound & 3) << 6 |
                          static_cast<uint64_t>(tt.age) << 8 |
                          static_cast<uint64_t>(static_cast<uint16_t>(stored)) << 16 |
                          static_cast<uint64_t>(move) << 32;
    save(slot->data, data);
    save(slot->check, b.key ^ data);
    if (!tt.dirty.load(std::memory_order_relaxed)) tt.dirty.store(true, std::memory_order_relaxed);
}

void tt_store(const Board& b, int depth, int ply, int bound, int16_t score, Move move) {
    tt_store_at(home_of(b), b, depth, ply, bound, score, move);
}

void tt_dump(uint64_t n, uint32_t side) {
    mkdir("DumpHash", 0755);
    std::FILE* f = std::fopen("DumpHash/dump.csv", "w");
    if (!f) {
        std::printf("File non trovato\n");
        return;
    }
    std::fprintf(f, "Key;Score;Depth;Age;Best;Flags;\n");
    char text[MOVE_TEXT_SIZE];
    const uint64_t count = n < tt.entries + 4 ? n : tt.entries + 4;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t d = load(tt.table[i].data);
        move_to_text(text, tt_move(d), side);
        std::fprintf(f, "%" PRIu64 ";%i;%i;%i;%s;%i;\n", load(tt.table[i].check), tt_score(d),
                     tt_depth(d), tt_entry_age(d), text, tt_bound(d));
    }
    std::fclose(f);
    std::printf("Tot: %i\n", static_cast<int>(n));
}
