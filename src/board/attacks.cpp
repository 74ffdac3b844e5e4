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

// Multipliers found once by the search below (seeded as in init_tables); every start-up checks
// them while filling the tables and searches afresh for a square where one does not fit.
constexpr Bitboard kBishopMagics[64] = {
    0x0020428400408200ULL, 0x0004100440408000ULL, 0x82041C2482010010ULL, 0x0484142D80000000ULL,
    0x0002021008101042ULL, 0x4200882008014100ULL, 0x0004A81108200000ULL, 0x0001004802011100ULL,
    0x1040401024010048ULL, 0x0042041004204881ULL, 0x2008110810810020ULL, 0x240008060440C288ULL,
    0x0021020210050020ULL, 0x0022810402408800ULL, 0x802060410420A042ULL, 0x0081020086481280ULL,
    0x4110400860C10400ULL, 0x20040021240C0240ULL, 0x4802044104040080ULL, 0x00008868020042C0ULL,
    0x0002204400A00002ULL, 0x2820408488084000ULL, 0x08006024041C0420ULL, 0x4102088190808810ULL,
    0x0102201040094200ULL, 0xAB0A0814203800A0ULL, 0x4044209010008080ULL, 0x2020120000400440ULL,
    0x4400840034802011ULL, 0x425051000600A200ULL, 0x412094012A010410ULL, 0x08084080A04C0440ULL,
    0x0304022241C10401ULL, 0x0200841000210200ULL, 0x0602004100100100ULL, 0x0C04020081080080ULL,
    0x00A0040400004102ULL, 0x30348102000100A2ULL, 0x10041401700C0500ULL, 0x8000840282424212ULL,
    0x0810822110002000ULL, 0x00204814500084A4ULL, 0x0002022228009410ULL, 0x200000420080A810ULL,
    0x0000200411108400ULL, 0x8240100400400020ULL, 0x01A4108404442100ULL, 0x0A020A0201A20209ULL,
    0x00010C0920881A42ULL, 0x022104022202A400ULL, 0x80000022011008A0ULL, 0x5000441020884001ULL,
    0x1001001202020008ULL, 0x4808202102308024ULL, 0x4008023004051104ULL, 0x44040802004E0800ULL,
    0x000040A210066040ULL, 0x000002060A01050DULL, 0x52A0040106431002ULL, 0x0000040200841C08ULL,
    0xF000010828030409ULL, 0x0041201120190500ULL, 0x0404082081122212ULL, 0x000408009C008200ULL,
};
constexpr Bitboard kRookMagics[64] = {
    0x008000908064C000ULL, 0x0040200040001000ULL, 0x0180100080A0010AULL, 0x8880041000800800ULL,
    0x1200100201200804ULL, 0x0200020004011008ULL, 0x2180010000800600ULL, 0x0200005088210204ULL,
    0x0000800080204001ULL, 0x1000804000802001ULL, 0x8240801000200080ULL, 0x8F80801000800801ULL,
    0x008180800C001800ULL, 0x0100800200800400ULL, 0x0A02000102000408ULL, 0x8020802300104280ULL,
    0x0080004000402000ULL, 0xE010104000402000ULL, 0x0800808010002000ULL, 0xA280210008100100ULL,
    0x0001818014000800ULL, 0xA002010100080400ULL, 0x0080240001020870ULL, 0x0001020004048845ULL,
    0x0081826280004004ULL, 0x2020810900284000ULL, 0x0200100080802000ULL, 0x0001002100081000ULL,
    0x8083080100100500ULL, 0x4406000901000400ULL, 0x0005020080800100ULL, 0x0090204200008114ULL,
    0x0010400094800420ULL, 0x0900804000802002ULL, 0x0201001841002000ULL, 0x4100080080801000ULL,
    0x4540040080800800ULL, 0x0002001004040020ULL, 0x0281195814001002ULL, 0x1240800040800100ULL,
    0x0880042000524004ULL, 0x02C080410206002CULL, 0x0801200241050010ULL, 0x8400080010008080ULL,
    0x0008000500090010ULL, 0x0082009084020008ULL, 0x01818902102C0008ULL, 0x8308408041020004ULL,
    0x0200860C20410200ULL, 0x6020200090400080ULL, 0x0800900020008280ULL, 0x0000100020090100ULL,
    0x0400800400080280ULL, 0x0050044010200801ULL, 0x0101004406000B00ULL, 0xC100066400870200ULL,
    0x440680014012A501ULL, 0x1023012082044112ULL, 0x00804080200A0012ULL, 0x000420310A004A42ULL,
    0x0023001004020801ULL, 0x0882001008040102ULL, 0x000230088118020CULL, 0x0000019025040042ULL,
};

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

// Fills one square's part of the attack array with the given multiplier, or with one found by a
// random search when that one maps two different attack sets to one index.
void build_magic(int sq, bool bishop, Bitboard* table, Magic& m, Bitboard known, Rng& rng) {
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
        Bitboard magic = known;
        if (attempt > 1) do
                magic = rng.sparse();
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
        build_magic(sq, true, bt, bishop_magic[sq], kBishopMagics[sq], rng);
        bt += size_t{1} << (64 - bishop_magic[sq].shift);
        build_magic(sq, false, rt, rook_magic[sq], kRookMagics[sq], rng);
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
