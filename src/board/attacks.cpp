#include "board/attacks.h"

namespace attacks {
Bitboard king[64];
Bitboard knight[64];
Bitboard pawn[64];
Bitboard pawn_attackers[64];
Bitboard ep_capturers[8];
Bitboard between_table[64 * 64];
Magic bishop_magic[64];
Magic rook_magic[64];
Bitboard bishop_table[5248];
Bitboard rook_table[102400];
} // namespace attacks

namespace {

constexpr int kBishopDirs[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
constexpr int kRookDirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};

bool on_board(int file, int rank) {
    return file >= 0 && file < 8 && rank >= 0 && rank < 8;
}

Bitboard leaper(int sq, const int (*steps)[2], int n) {
    Bitboard set = 0;
    for (int i = 0; i < n; ++i) {
        int f = sq % 8 + steps[i][0], r = sq / 8 + steps[i][1];
        if (on_board(f, r)) set |= bit(r * 8 + f);
    }
    return set;
}

// The relevant occupancy: every ray square except the last one before the edge.
Bitboard relevant_mask(int sq, bool bishop) {
    const auto& dirs = bishop ? kBishopDirs : kRookDirs;
    Bitboard mask = 0;
    for (const auto& d : dirs) {
        int f = sq % 8 + d[0], r = sq / 8 + d[1];
        while (on_board(f + d[0], r + d[1])) {
            mask |= bit(r * 8 + f);
            f += d[0];
            r += d[1];
        }
    }
    return mask;
}

// xorshift64*: a fixed seed makes the magic search, and so the tables, the same in every run.
struct Rng {
    uint64_t s;
    uint64_t next() {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 2685821657736338717ULL;
    }
    uint64_t sparse() { return next() & next() & next(); }
};

// Finds a multiplier for one square and fills its part of the attack array.
void build_magic(int sq, bool bishop, Bitboard* table, Magic& m, Rng& rng) {
    m.mask = relevant_mask(sq, bishop);
    int bits = popcount(m.mask);
    m.shift = static_cast<unsigned>(64 - bits);
    m.attacks = table;

    Bitboard occupancy[4096], reference[4096];
    size_t n = 0;
    Bitboard subset = 0;
    do {
        occupancy[n] = subset;
        reference[n] = slider_attacks_slow(sq, subset, bishop);
        ++n;
        subset = (subset - m.mask) & m.mask;
    } while (subset);

    unsigned epoch[4096] = {};
    for (unsigned attempt = 1;; ++attempt) {
        Bitboard magic;
        do magic = rng.sparse();
        while (popcount((m.mask * magic) >> 56) < 6);
        bool ok = true;
        for (size_t i = 0; i < n && ok; ++i) {
            size_t idx = static_cast<size_t>((occupancy[i] * magic) >> m.shift);
            if (epoch[idx] != attempt) {
                epoch[idx] = attempt;
                table[idx] = reference[i];
            } else if (table[idx] != reference[i]) {
                ok = false;
            }
        }
        if (ok) {
            m.magic = magic;
            return;
        }
    }
}

void init_tables() {
    using namespace attacks;
    constexpr int kKingSteps[8][2] = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                                      {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    constexpr int kKnightSteps[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                        {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    constexpr int kPawnSteps[2][2] = {{-1, 1}, {1, 1}};
    constexpr int kPawnBackSteps[2][2] = {{-1, -1}, {1, -1}};
    for (int sq = 0; sq < 64; ++sq) {
        int rank = sq / 8;
        king[sq] = leaper(sq, kKingSteps, 8);
        knight[sq] = leaper(sq, kKnightSteps, 8);
        pawn[sq] = (rank >= 1 && rank <= 6) ? leaper(sq, kPawnSteps, 2) : 0;
        pawn_attackers[sq] = leaper(sq, kPawnBackSteps, 2) & ~RANK_1 & ~RANK_8;
    }
    for (int f = 0; f < 8; ++f) {
        ep_capturers[f] = 0;
        if (f > 0) ep_capturers[f] |= bit(32 + f - 1);
        if (f < 7) ep_capturers[f] |= bit(32 + f + 1);
    }
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            Bitboard line = 0;
            int df = b % 8 - a % 8, dr = b / 8 - a / 8;
            if (a != b && (df == 0 || dr == 0 || df == dr || df == -dr)) {
                int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
                for (int f = a % 8 + sf, r = a / 8 + sr; r * 8 + f != b; f += sf, r += sr)
                    line |= bit(r * 8 + f);
            }
            between_table[a * 64 + b] = line;
        }
    }
    Rng rng{0x2545F4914F6CDD1DULL};
    Bitboard* bt = bishop_table;
    Bitboard* rt = rook_table;
    for (int sq = 0; sq < 64; ++sq) {
        build_magic(sq, true, bt, bishop_magic[sq], rng);
        bt += size_t{1} << (64 - bishop_magic[sq].shift);
        build_magic(sq, false, rt, rook_magic[sq], rng);
        rt += size_t{1} << (64 - rook_magic[sq].shift);
    }
}

[[maybe_unused]] const bool tables_ready = (init_tables(), true);

} // namespace

Bitboard slider_attacks_slow(int sq, Bitboard occ, bool bishop) {
    const auto& dirs = bishop ? kBishopDirs : kRookDirs;
    Bitboard set = 0;
    for (const auto& d : dirs) {
        int f = sq % 8 + d[0], r = sq / 8 + d[1];
        while (on_board(f, r)) {
            set |= bit(r * 8 + f);
            if (occ & bit(r * 8 + f)) break;
            f += d[0];
            r += d[1];
        }
    }
    return set;
}
