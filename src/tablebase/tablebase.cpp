// Endgame tables: the registry of the WDL files found at start-up, the lazily set-up WDL tables,
// the small cache of DTZ tables, the in-place decoder of the compressed table files and the probes
// that resolve captures and en passant around a raw table look-up.
//
// Table files are untrusted: every offset, length and index read from a file is checked against
// the mapped size, at set-up and while decoding. A file that fails a check is reported as
// "Corrupted table." and treated as missing.
#include "tablebase/tablebase.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "frontend/frontend.h"

namespace {

constexpr int TBPIECES = 6;
constexpr int TBMAX_PIECE = 254;
constexpr int TBMAX_PAWN = 256;
constexpr int HSHMAX = 5;
constexpr int TBHASHBITS = 10;
constexpr int TBHASH_SLOTS = (1 << TBHASHBITS) * HSHMAX;
constexpr int DTZ_CACHE_SIZE = 64;

constexpr uint32_t WDL_MAGIC = 0x5d23e871;
constexpr uint32_t DTZ_MAGIC = 0xa50c66d7;

constexpr int wdl_to_dtz[5] = {-1, -101, 0, 101, 1};

// ---------------------------------------------------------------------------------------------
// Index tables

constexpr int8_t kTri[64] = {6, 0, 1, 2, 2, 1, 0, 6, 0, 7, 3, 4, 4, 3, 7, 0, 1, 3, 8, 5, 5, 8,
                             3, 1, 2, 4, 5, 9, 9, 5, 4, 2, 2, 4, 5, 9, 9, 5, 4, 2, 1, 3, 8, 5,
                             5, 8, 3, 1, 0, 7, 3, 4, 4, 3, 7, 0, 6, 0, 1, 2, 2, 1, 0, 6};
constexpr int kTriSquare[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};

// Squares below the a1-h8 diagonal numbered 0-27 (only those entries are used).
constexpr int8_t kLow[64] = {28, 0,  1,  2,  3,  4,  5,  6,  0, 29, 7,  8,  9,  10, 11, 12,
                             1,  7,  30, 13, 14, 15, 16, 17, 2, 8,  13, 31, 18, 19, 20, 21,
                             3,  9,  14, 18, 32, 22, 23, 24, 4, 10, 15, 19, 22, 33, 25, 26,
                             5,  11, 16, 20, 23, 25, 34, 27, 6, 12, 17, 21, 24, 26, 27, 35};

inline int dia(int sq) {
    return sq >> 3; // only looked up for squares on the a1-h8 diagonal
}
inline bool off_diagonal(int sq) {
    return (sq >> 3) != (sq & 7);
}
inline int lp_value(int sq) {
    const int f = sq & 7, r = sq >> 3;
    return 6 * std::min(f, 7 - f) + (r - 1);
}
inline int po_value(int sq) {
    const int f = sq & 7, r = sq >> 3;
    return 47 - 12 * std::min(f, 7 - f) - 2 * (r - 1) - (f >= 4 ? 1 : 0);
}

uint64_t g_binom[6][64];
int16_t g_king_pair[10][64];
uint64_t g_lead_base[5][24];
uint64_t g_lead_count[5][4];

void init_index_tables() {
    for (int k = 0; k < 6; ++k)
        for (int m = 0; m < 64; ++m) {
            uint64_t c = 1;
            if (k > m) {
                c = 0;
            } else {
                for (int i = 0; i < k; ++i) c = c * static_cast<uint64_t>(m - i) / (i + 1);
            }
            g_binom[k][m] = c;
        }
    auto near = [](int a, int b) {
        return std::abs((a & 7) - (b & 7)) <= 1 && std::abs((a >> 3) - (b >> 3)) <= 1;
    };
    int z = 0;
    for (int t = 0; t < 10; ++t)
        for (int q = 0; q < 64; ++q) {
            g_king_pair[t][q] = -1;
            if (near(q, kTriSquare[t])) continue;
            if (t >= 6 && (q >> 3) >= (q & 7)) continue;
            g_king_pair[t][q] = static_cast<int16_t>(z++);
        }
    for (int t = 6; t < 10; ++t)
        for (int q = 0; q < 64; q += 9) {
            if (near(q, kTriSquare[t])) continue;
            g_king_pair[t][q] = static_cast<int16_t>(z++);
        }
    for (int k = 0; k < 5; ++k)
        for (int f = 0; f < 4; ++f) {
            uint64_t s = 0;
            for (int x = 6 * f; x < 6 * f + 6; ++x) {
                g_lead_base[k][x] = s;
                const int sq = 8 * (x - 6 * f + 1) + f;
                s += k == 0 ? 1 : g_binom[k][po_value(sq)];
            }
            g_lead_count[k][f] = s;
        }
}

// ---------------------------------------------------------------------------------------------
// Table structures

inline uint32_t read_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t read_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint64_t read_be64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return v;
}
inline uint64_t read_be32(const uint8_t* p) {
    return static_cast<uint64_t>(p[0]) << 24 | static_cast<uint64_t>(p[1]) << 16 |
           static_cast<uint64_t>(p[2]) << 8 | p[3];
}

// One compressed value stream: symbol dictionary, canonical code, index, sizes and data blocks.
struct Pairs {
    bool single = false;
    uint8_t value = 0; // of a single-value stream
    uint8_t flags = 0;
    int block_bits = 0, index_bits = 0, min_len = 0, max_len = 0;
    uint32_t real_blocks = 0, all_blocks = 0;
    int nsym = 0;
    const uint8_t* first_sym = nullptr; // h 16-bit entries
    const uint8_t* symbols = nullptr;   // nsym 3-byte records
    const uint8_t* index_table = nullptr;
    const uint8_t* size_table = nullptr;
    const uint8_t* data = nullptr;
    uint64_t index_len = 0, size_len = 0, data_len = 0;
    std::vector<uint64_t> base;
    std::vector<uint16_t> len; // values per symbol, minus one
};

struct EncInfo {
    uint8_t pieces[TBPIECES] = {};
    uint8_t norm[TBPIECES] = {};
    uint64_t factor[TBPIECES] = {};
    uint64_t size = 0;
    Pairs pairs;
};

// What a WDL and a DTZ table have in common: the material and the decoding state.
struct TableCore {
    const uint8_t* view = nullptr;
    size_t view_size = 0;
    uint64_t key = 0;    // material of the name, first side as White
    uint64_t key2 = 0;   // the same with the sides exchanged
    uint64_t tw_key = 0; // material of the file's own White pieces
    uint8_t num = 0, symmetric = 0, has_pawns = 0;
    uint8_t enc_type = 0; // pawnless: 0 three single pieces lead, 2 the two kings lead
    uint8_t pawns[2] = {};
    uint8_t counts[2][8] = {}; // [first side of the name, second][piece code]
    uint8_t lead_code = 0;     // pawn tables: code of the leading pawns
    int lead = 0, other = 0;   // pawn tables: leading pawns, pawns of the other colour
    EncInfo ei[4][2];          // [file group][stored side]
    std::atomic<bool> reported{false};
};

struct TbEntry : TableCore {
    std::atomic<uint8_t> ready{0};
    std::atomic<bool> dtz_failed{false}; // its DTZ file could not be used
};

struct DtzMap {
    const uint8_t* values = nullptr;
    int length = 0;
};

struct DtzEntry : TableCore {
    uint8_t flags[4] = {};
    DtzMap maps[4][4];
};

struct TbHashSlot {
    std::atomic<uint64_t> key{0};
    TbEntry* entry = nullptr;
};

struct DtzCacheSlot {
    uint64_t key1 = 0, key2 = 0;
    std::unique_ptr<DtzEntry> entry;
};

// Folders searched for the tables, in order: the first that holds a file is used.
std::vector<std::string> g_dtz_dirs, g_wdl_dirs;
std::mutex tb_lock;
std::unique_ptr<TbEntry[]> g_piece_entries, g_pawn_entries;
int g_num_piece = 0, g_num_pawn = 0;
TbHashSlot g_hash[TBHASH_SLOTS];
DtzCacheSlot g_dtz_cache[DTZ_CACHE_SIZE];
bool g_tables_ready = false;

// Prints one line of the tables' own, as an "info string" under UCI so that a GUI passes it over.
// One write, as search threads may report at the same time.
void tb_message(const std::string& text) {
    print_message("%s", text.c_str());
    std::fflush(stdout);
}

// A folder list separated by ':' (empty parts dropped; one folder is a list of one).
std::vector<std::string> split_dirs(const std::string& list) {
    std::vector<std::string> dirs;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) dirs.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return dirs;
}

// Path of a table file: in the first folder of the list that holds it, else in the first folder
// (so that a failure names a path), or "" when the list is empty.
std::string table_path(const std::vector<std::string>& dirs, const std::string& file) {
    for (const std::string& dir : dirs) {
        std::string path = dir + "/" + file;
        if (access(path.c_str(), R_OK) == 0) return path;
    }
    return dirs.empty() ? std::string() : dirs.front() + "/" + file;
}

void report_corrupted() {
    tb_message("Corrupted table.");
}

// ---------------------------------------------------------------------------------------------
// Material keys and names

constexpr char kLetters[] = " PNBRQK";

// counts[0] plays White's part in the key unless mirror is set.
uint64_t key_of_counts(const uint8_t counts[2][8], int mirror) {
    uint64_t key = 0;
    for (int c = 0; c < 2; ++c) {
        const int s = (c == 0) != (mirror != 0) ? 1 : 0;
        for (int code = PAWN; code <= KING; ++code)
            for (int i = 0; i < counts[c][code]; ++i)
                key ^= zobrist::piece[static_cast<size_t>((s * 8 + code) * 64 + i)];
    }
    return key;
}

// Real pieces of a Board: by real colour and by type, on real squares.
struct RealPieces {
    Bitboard colour[2];
    Bitboard type[8];
};

RealPieces real_pieces(const Board& b) {
    Board r = b;
    if (b.side == BLACK) {
        r.us = bswap(r.us);
        r.pbq = bswap(r.pbq);
        r.nbk = bswap(r.nbk);
        r.rqk = bswap(r.rqk);
    }
    RealPieces p{};
    p.colour[b.side & 1] = r.us;
    p.colour[(b.side & 1) ^ 1] = occupied(r) ^ r.us;
    p.type[PAWN] = pawns(r);
    p.type[KNIGHT] = knights(r);
    p.type[BISHOP] = bishops(r);
    p.type[ROOK] = rooks(r);
    p.type[QUEEN] = queens(r);
    p.type[KING] = kings(r);
    return p;
}

void material_counts(const RealPieces& p, int mirror, uint8_t counts[2][8]) {
    for (int c = 0; c < 2; ++c)
        for (int code = 0; code < 8; ++code)
            counts[c][code] =
                code >= PAWN && code <= KING
                    ? static_cast<uint8_t>(popcount(p.colour[c ^ mirror] & p.type[code]))
                    : 0;
}

uint64_t material_key(const Board& b, int mirror) {
    uint8_t counts[2][8];
    material_counts(real_pieces(b), 0, counts);
    return key_of_counts(counts, mirror);
}

std::string name_of(const Board& b, int mirror) {
    uint8_t counts[2][8];
    material_counts(real_pieces(b), mirror, counts);
    std::string name;
    for (int c = 0; c < 2; ++c) {
        if (c == 1) name += 'v';
        for (int code = KING; code >= PAWN; --code) name.append(counts[c][code], kLetters[code]);
    }
    return name;
}

// ---------------------------------------------------------------------------------------------
// Registry

// The hash is one ring of buckets of HSHMAX slots. A key starts at the first slot of its bucket
// (its top bits) and takes the first free slot from there, spilling into the following buckets
// when its own is full; a lookup walks the same way and stops at the first free slot. Slots are
// never freed (a corrupt table only has its key cleared), so no walk is cut short.
TbHashSlot& hash_slot(uint64_t key, int n) {
    return g_hash[((key >> (64 - TBHASHBITS)) * HSHMAX + static_cast<uint64_t>(n)) % TBHASH_SLOTS];
}

TbHashSlot* find_slot(uint64_t key) {
    for (int n = 0; n < TBHASH_SLOTS; ++n) {
        TbHashSlot& s = hash_slot(key, n);
        if (!s.entry) return nullptr;
        if (s.key.load(std::memory_order_relaxed) == key) return &s;
    }
    return nullptr;
}

void add_to_hash(TbEntry* e, uint64_t key) {
    for (int n = 0; n < TBHASH_SLOTS; ++n) {
        TbHashSlot& s = hash_slot(key, n);
        if (!s.entry) {
            s.key.store(key, std::memory_order_relaxed);
            s.entry = e;
            return;
        }
    }
    tb_message("HSHMAX too low!");
    std::exit(1);
}

void register_table(const std::string& name) {
    const std::string path = table_path(g_wdl_dirs, name + ".rtbw");
    if (path.empty() || access(path.c_str(), R_OK) != 0) return;
    uint8_t counts[2][8] = {};
    int side = 0;
    for (char ch : name) {
        if (ch == 'v') {
            side = 1;
            continue;
        }
        for (int code = PAWN; code <= KING; ++code)
            if (kLetters[code] == ch) counts[side][code]++;
    }
    const bool has_pawns = counts[0][PAWN] + counts[1][PAWN] > 0;
    TbEntry* e;
    if (has_pawns) {
        if (g_num_pawn == TBMAX_PAWN) {
            tb_message("TBMAX_PAWN limit too low!");
            std::exit(1);
        }
        e = &g_pawn_entries[g_num_pawn++];
    } else {
        if (g_num_piece == TBMAX_PIECE) {
            tb_message("TBMAX_PIECE limit too low!");
            std::exit(1);
        }
        e = &g_piece_entries[g_num_piece++];
    }
    e->key = key_of_counts(counts, 0);
    e->key2 = key_of_counts(counts, 1);
    e->ready.store(0, std::memory_order_relaxed);
    int num = 0, singles = 0;
    for (int c = 0; c < 2; ++c)
        for (int code = PAWN; code <= KING; ++code) {
            e->counts[c][code] = counts[c][code];
            num += counts[c][code];
            if (counts[c][code] == 1) singles++;
        }
    e->num = static_cast<uint8_t>(num);
    e->symmetric = e->key == e->key2;
    e->has_pawns = has_pawns;
    if (has_pawns) {
        // The second side leads when it has pawns and the first has none or more.
        int lead = 0;
        if (counts[1][PAWN] && (!counts[0][PAWN] || counts[0][PAWN] > counts[1][PAWN])) lead = 1;
        e->pawns[0] = counts[lead][PAWN];
        e->pawns[1] = counts[lead ^ 1][PAWN];
    } else {
        e->enc_type = singles >= 3 ? 0 : 2;
    }
    add_to_hash(e, e->key);
    if (e->key2 != e->key) add_to_hash(e, e->key2);
}

void release_view(TableCore& t) {
    if (t.view) munmap(const_cast<uint8_t*>(t.view), t.view_size);
    t.view = nullptr;
    t.view_size = 0;
}

// Maps a whole file read-only. A file that cannot be opened or mapped is reported and gives no
// view with `opened` false: the probes that need it fail and the engine plays on. An empty file
// gives no view either, but counts as opened (it is then reported as corrupted).
const uint8_t* map_file(const std::string& path, size_t& size, bool& opened) {
    size = 0;
    opened = false;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        tb_message("Could not open " + path + " for reading.");
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        tb_message("CreateFileMapping() failed.");
        return nullptr;
    }
    opened = true;
    if (st.st_size <= 0) {
        close(fd);
        return nullptr;
    }
    void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) {
        opened = false;
        tb_message("MapViewOfFile() failed.");
        return nullptr;
    }
    size = static_cast<size_t>(st.st_size);
    return static_cast<const uint8_t*>(p);
}

// ---------------------------------------------------------------------------------------------
// Set-up of a table file

// Bounds-checked reading position inside a mapped file.
struct Reader {
    const uint8_t* base;
    size_t size;
    size_t pos;
    bool fits(uint64_t n) const { return pos <= size && n <= size - pos; }
};

bool symbol_lengths(Pairs& pd) {
    std::vector<uint8_t> state(static_cast<size_t>(pd.nsym), 0); // 0 new, 1 open, 2 done
    std::vector<uint32_t> cnt(static_cast<size_t>(pd.nsym), 0);
    std::vector<int> stack;
    for (int s0 = 0; s0 < pd.nsym; ++s0) {
        if (state[s0] == 2) continue;
        stack.push_back(s0);
        while (!stack.empty()) {
            const int s = stack.back();
            const uint8_t* r = pd.symbols + 3 * s;
            const int left = r[0] | (r[1] & 15) << 8, right = r[1] >> 4 | r[2] << 4;
            if (right == 0xfff) {
                cnt[s] = 1;
                state[s] = 2;
                stack.pop_back();
                continue;
            }
            if (left >= pd.nsym || right >= pd.nsym) return false;
            if (state[s] == 0) {
                state[s] = 1;
                for (int c : {left, right}) {
                    if (state[c] == 1) return false; // a symbol that contains itself
                    if (state[c] == 0) stack.push_back(c);
                }
                continue;
            }
            if (state[s] == 1) {
                if (state[left] != 2 || state[right] != 2) return false;
                cnt[s] = cnt[left] + cnt[right];
                if (cnt[s] > 65536) return false;
                state[s] = 2;
            }
            stack.pop_back();
        }
    }
    pd.len.resize(static_cast<size_t>(pd.nsym));
    for (int s = 0; s < pd.nsym; ++s) pd.len[s] = static_cast<uint16_t>(cnt[s] - 1);
    return true;
}

// Reads the header of one compressed stream of `entries` values.
bool read_pairs(Reader& rd, uint64_t entries, bool dtz, Pairs& pd) {
    if (!rd.fits(2)) return false;
    const uint8_t* h = rd.base + rd.pos;
    pd.flags = h[0];
    if (h[0] & 0x80) {
        pd.single = true;
        pd.value = dtz ? 0 : h[1];
        if (!dtz && pd.value > 4) return false;
        rd.pos += 2;
        return true;
    }
    if (!rd.fits(12)) return false;
    pd.block_bits = h[1];
    pd.index_bits = h[2];
    const int extra = h[3];
    pd.real_blocks = read_u32(h + 4);
    pd.max_len = h[8];
    pd.min_len = h[9];
    if (pd.block_bits < 3 || pd.block_bits > 24 || pd.index_bits < 1 || pd.index_bits > 40 ||
        pd.min_len < 1 || pd.max_len < pd.min_len || pd.max_len > 32)
        return false;
    pd.all_blocks = pd.real_blocks + static_cast<uint32_t>(extra);
    if (pd.all_blocks < pd.real_blocks) return false;
    const int hl = pd.max_len - pd.min_len + 1;
    if (!rd.fits(12 + 2 * static_cast<uint64_t>(hl))) return false;
    pd.first_sym = h + 10;
    pd.nsym = read_u16(h + 10 + 2 * hl);
    if (pd.nsym < 1 || pd.nsym > 4095) return false;
    const uint64_t header_len =
        12 + 2 * static_cast<uint64_t>(hl) + 3 * static_cast<uint64_t>(pd.nsym) + (pd.nsym & 1);
    if (!rd.fits(header_len)) return false;
    pd.symbols = h + 12 + 2 * hl;
    if (!symbol_lengths(pd)) return false;
    pd.base.assign(static_cast<size_t>(hl), 0);
    int64_t b = 0;
    for (int i = hl - 2; i >= 0; --i) {
        b = (b + read_u16(pd.first_sym + 2 * i) - read_u16(pd.first_sym + 2 * (i + 1))) / 2;
        if (b < 0) return false;
        pd.base[i] = static_cast<uint64_t>(b);
    }
    for (int i = 0; i < hl; ++i) pd.base[i] <<= 64 - (pd.min_len + i);
    rd.pos += header_len;
    const uint64_t per_entry = uint64_t{1} << pd.index_bits;
    pd.index_len = 6 * ((entries + per_entry - 1) / per_entry);
    pd.size_len = 2 * static_cast<uint64_t>(pd.all_blocks);
    pd.data_len = static_cast<uint64_t>(pd.real_blocks) << pd.block_bits;
    return true;
}

// Groups, sizes, slots and factors of one piece list.
bool set_factors(const TableCore& t, EncInfo& e, int order, int order2, int file_group) {
    const int n = t.num;
    std::memset(e.norm, 0, sizeof e.norm);
    int i;
    if (t.has_pawns) {
        for (i = 0; i < t.lead; ++i)
            if (e.pieces[i] != t.lead_code) return false;
        e.norm[0] = static_cast<uint8_t>(t.lead);
        if (t.other) {
            for (; i < t.lead + t.other; ++i)
                if (e.pieces[i] != (t.lead_code ^ 8)) return false;
            e.norm[t.lead] = static_cast<uint8_t>(t.other);
        }
    } else {
        i = t.enc_type == 0 ? 3 : 2;
        e.norm[0] = static_cast<uint8_t>(i);
        if (t.enc_type == 2 &&
            !((e.pieces[0] == 6 && e.pieces[1] == 14) || (e.pieces[0] == 14 && e.pieces[1] == 6)))
            return false;
    }
    // The leading group of a pawnless table holds pieces that occur once each.
    int lead_len = e.norm[0];
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b)
            if (e.pieces[a] == e.pieces[b] && (a < lead_len || b < lead_len) && !t.has_pawns)
                return false;
    while (i < n) {
        int j = i;
        while (j < n && e.pieces[j] == e.pieces[i]) ++j;
        for (int k = j; k < n; ++k)
            if (e.pieces[k] == e.pieces[i]) return false; // equal codes must be adjacent
        e.norm[i] = static_cast<uint8_t>(j - i);
        i = j;
    }
    int start[TBPIECES], slot[TBPIECES], ng = 0;
    uint64_t size[TBPIECES];
    for (i = 0; i < n; i += e.norm[i]) {
        start[ng] = i;
        slot[ng] = -1;
        if (i == 0)
            size[ng] = t.has_pawns ? g_lead_count[t.lead - 1][file_group]
                                   : (t.enc_type == 0 ? 31332 : 462);
        else if (t.has_pawns && t.other && i == t.lead)
            size[ng] = g_binom[t.other][48 - t.lead];
        else
            size[ng] = g_binom[e.norm[i]][64 - i];
        ng++;
    }
    if (order >= ng) return false;
    slot[0] = order;
    if (t.has_pawns && t.other) {
        if (order2 >= ng || order2 == order) return false;
        slot[1] = order2;
    }
    int next = 0;
    for (int g = 0; g < ng; ++g) {
        if (slot[g] >= 0) continue;
        auto taken = [&](int s) {
            for (int x = 0; x < ng; ++x)
                if (slot[x] == s) return true;
            return false;
        };
        while (taken(next)) ++next;
        slot[g] = next;
    }
    uint64_t f = 1;
    for (int s = 0; s < ng; ++s)
        for (int g = 0; g < ng; ++g)
            if (slot[g] == s) {
                e.factor[start[g]] = f;
                f *= size[g];
            }
    e.size = f;
    return true;
}

// Builds the decoding state of a mapped file. Returns false for anything inconsistent.
bool setup_file(TableCore& t, bool dtz, uint8_t* dtz_flags, DtzMap (*maps)[4]) {
    const uint8_t* f = t.view;
    const size_t size = t.view_size;
    if (!f || size < 64 || size % 64 != 16) return false;
    if (read_u32(f) != (dtz ? DTZ_MAGIC : WDL_MAGIC)) return false;
    const uint8_t flags = f[4];
    if (((flags & 2) != 0) != (t.has_pawns != 0)) return false;
    const int groups = t.has_pawns ? 4 : 1;
    const int sides = dtz ? 1 : ((flags & 1) ? 2 : 1);
    if (!dtz && !t.symmetric && sides != 2) return false;
    const int n = t.num;
    if (n < 3 || n > TBPIECES) return false;

    // Pawn tables: the leading colour comes from the first code of the first list.
    if (t.has_pawns) {
        const uint8_t first = static_cast<uint8_t>(f[5 + 1 + (t.pawns[1] ? 1 : 0)] & 15);
        if ((first & 7) != PAWN) return false;
        t.lead_code = first;
    }
    Reader rd{f, size, 5};
    uint8_t order[4][2] = {}, order2[4][2] = {};
    for (int g = 0; g < groups; ++g) {
        const bool two_orders = t.has_pawns && t.pawns[1] > 0;
        if (!rd.fits(static_cast<uint64_t>(n + 1 + two_orders))) return false;
        const uint8_t* p = f + rd.pos;
        for (int s = 0; s < sides; ++s) {
            const int shift = s * 4;
            order[g][s] = static_cast<uint8_t>((p[0] >> shift) & 15);
            order2[g][s] = static_cast<uint8_t>(two_orders ? (p[1] >> shift) & 15 : 0);
            for (int i = 0; i < n; ++i)
                t.ei[g][s].pieces[i] = static_cast<uint8_t>((p[1 + two_orders + i] >> shift) & 15);
        }
        rd.pos += static_cast<size_t>(n + 1 + two_orders);
    }
    rd.pos += rd.pos & 1;

    // Every list must hold exactly the table's material; its White decides the orientation.
    bool first_list = true;
    for (int g = 0; g < groups; ++g)
        for (int s = 0; s < sides; ++s) {
            uint8_t counts[2][8] = {};
            for (int i = 0; i < n; ++i) {
                const uint8_t c = t.ei[g][s].pieces[i];
                if ((c & 7) < PAWN || (c & 7) > KING) return false;
                counts[c >> 3][c & 7]++;
            }
            const uint64_t k = key_of_counts(counts, 0);
            if (std::memcmp(counts[0], t.counts[0], 8) == 0 &&
                std::memcmp(counts[1], t.counts[1], 8) == 0) {
                if (first_list)
                    t.tw_key = t.key;
                else if (k != t.tw_key)
                    return false;
            } else if (std::memcmp(counts[0], t.counts[1], 8) == 0 &&
                       std::memcmp(counts[1], t.counts[0], 8) == 0) {
                if (first_list)
                    t.tw_key = t.key2;
                else if (k != t.tw_key)
                    return false;
            } else {
                return false;
            }
            if (first_list && t.has_pawns) {
                t.lead = counts[t.lead_code >> 3][PAWN];
                t.other = counts[(t.lead_code >> 3) ^ 1][PAWN];
                if (t.lead < 1 || t.lead > 4 || t.lead + t.other > n - 2) return false;
                if ((t.other > 0) != (t.pawns[1] > 0)) return false;
            }
            first_list = false;
        }
    for (int g = 0; g < groups; ++g)
        for (int s = 0; s < sides; ++s)
            if (!set_factors(t, t.ei[g][s], order[g][s], order2[g][s], g)) return false;

    for (int g = 0; g < groups; ++g)
        for (int s = 0; s < sides; ++s)
            if (!read_pairs(rd, t.ei[g][s].size, dtz, t.ei[g][s].pairs)) return false;

    if (dtz) {
        for (int g = 0; g < groups; ++g) {
            const Pairs& pd = t.ei[g][0].pairs;
            if (pd.single && pd.flags != 0x80) return false;
            if (pd.flags & 16) return false; // wide maps exist only for larger tables
            dtz_flags[g] = pd.flags;
            if (!(pd.flags & 2)) continue;
            for (int m = 0; m < 4; ++m) {
                if (!rd.fits(1)) return false;
                const int len = f[rd.pos];
                if (!rd.fits(1 + static_cast<uint64_t>(len))) return false;
                maps[g][m].values = f + rd.pos + 1;
                maps[g][m].length = len;
                rd.pos += 1 + static_cast<size_t>(len);
            }
        }
        rd.pos += rd.pos & 1;
    }
    for (int g = 0; g < groups; ++g)
        for (int s = 0; s < sides; ++s) {
            Pairs& pd = t.ei[g][s].pairs;
            if (!rd.fits(pd.index_len)) return false;
            pd.index_table = f + rd.pos;
            rd.pos += pd.index_len;
        }
    for (int g = 0; g < groups; ++g)
        for (int s = 0; s < sides; ++s) {
            Pairs& pd = t.ei[g][s].pairs;
            if (!rd.fits(pd.size_len)) return false;
            pd.size_table = f + rd.pos;
            rd.pos += pd.size_len;
        }
    for (int g = 0; g < groups; ++g)
        for (int s = 0; s < sides; ++s) {
            Pairs& pd = t.ei[g][s].pairs;
            rd.pos = (rd.pos + 63) & ~static_cast<size_t>(63);
            if (!rd.fits(pd.data_len)) return false;
            pd.data = f + rd.pos;
            rd.pos += pd.data_len;
        }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Decoding

// The stored value at index idx, or -1 when the file turns out inconsistent.
int decompress(const TableCore& t, const Pairs& pd, uint64_t idx, bool dtz) {
    if (pd.single) return pd.value;
    const uint8_t* file_end = t.view + t.view_size;
    const uint64_t k = idx >> pd.index_bits;
    int64_t d = static_cast<int64_t>(idx & ((uint64_t{1} << pd.index_bits) - 1)) -
                (int64_t{1} << (pd.index_bits - 1));
    const uint8_t* ie = pd.index_table + 6 * k;
    if (6 * k + 6 > pd.index_len) return -1;
    int64_t block = read_u32(ie);
    d += read_u16(ie + 4);
    const int64_t blocks = pd.all_blocks;
    if (block >= blocks) return -1;
    if (d < 0) {
        do {
            if (--block < 0) return -1;
            d += read_u16(pd.size_table + 2 * block) + 1;
        } while (d < 0);
    } else {
        while (d > read_u16(pd.size_table + 2 * block)) {
            d -= read_u16(pd.size_table + 2 * block) + 1;
            if (++block >= blocks) return -1;
        }
    }
    if (block >= static_cast<int64_t>(pd.real_blocks)) return -1;
    const uint8_t* p = pd.data + (static_cast<uint64_t>(block) << pd.block_bits);
    if (p + 8 > file_end) return -1;
    uint64_t w = read_be64(p);
    p += 8;
    int used = 0;
    int sym;
    for (;;) {
        int l = pd.min_len;
        while (w < pd.base[l - pd.min_len]) ++l;
        sym = read_u16(pd.first_sym + 2 * (l - pd.min_len)) +
              static_cast<int>((w - pd.base[l - pd.min_len]) >> (64 - l));
        if (sym >= pd.nsym) return -1;
        if (d <= pd.len[sym]) break;
        d -= pd.len[sym] + 1;
        w <<= l;
        used += l;
        if (used >= 32) {
            used -= 32;
            if (p + 4 > file_end) return -1;
            w |= read_be32(p) << used;
            p += 4;
        }
    }
    for (;;) {
        const uint8_t* r = pd.symbols + 3 * sym;
        const int right = r[1] >> 4 | r[2] << 4;
        if (right == 0xfff) return dtz ? (r[0] | (r[1] & 15) << 8) : r[0];
        const int left = r[0] | (r[1] & 15) << 8;
        if (d <= pd.len[left]) {
            sym = left;
        } else {
            d -= pd.len[left] + 1;
            sym = right;
        }
    }
}

inline void sort_squares(int* sq, int k) {
    for (int i = 1; i < k; ++i) // a handful of squares: insertion sort
        for (int j = i; j > 0 && sq[j - 1] > sq[j]; --j) std::swap(sq[j - 1], sq[j]);
}

// Adds the subindexes of the ordinary groups from position i on.
uint64_t encode_rest(const EncInfo& e, int* sq, int n, int i, uint64_t idx) {
    while (i < n) {
        const int k = e.norm[i];
        sort_squares(sq + i, k);
        uint64_t s = 0;
        for (int r = 0; r < k; ++r) {
            int j = 0;
            for (int x = 0; x < i; ++x) j += sq[x] < sq[i + r];
            s += g_binom[r + 1][sq[i + r] - j];
        }
        idx += s * e.factor[i];
        i += k;
    }
    return idx;
}

bool encode_pawnless(const EncInfo& e, int* sq, int n, int enc_type, uint64_t& idx) {
    if (sq[0] & 4)
        for (int i = 0; i < n; ++i) sq[i] ^= 7;
    if (sq[0] & 32)
        for (int i = 0; i < n; ++i) sq[i] ^= 56;
    const int lead = enc_type == 0 ? 3 : 2;
    for (int i = 0; i < lead; ++i) {
        const int d = (sq[i] >> 3) - (sq[i] & 7);
        if (d == 0) continue;
        if (d > 0)
            for (int x = 0; x < n; ++x) sq[x] = ((sq[x] >> 3) | (sq[x] << 3)) & 63;
        break;
    }
    uint64_t sub;
    if (enc_type == 0) {
        const int i = sq[1] > sq[0];
        const int j = (sq[2] > sq[0]) + (sq[2] > sq[1]);
        if (off_diagonal(sq[0]))
            sub = static_cast<uint64_t>(kTri[sq[0]] * 3906 + (sq[1] - i) * 62 + (sq[2] - j));
        else if (off_diagonal(sq[1]))
            sub = static_cast<uint64_t>(23436 + dia(sq[0]) * 1736 + kLow[sq[1]] * 62 + sq[2] - j);
        else if (off_diagonal(sq[2]))
            sub = static_cast<uint64_t>(30380 + dia(sq[0]) * 196 + (dia(sq[1]) - i) * 28 +
                                        kLow[sq[2]]);
        else
            sub = static_cast<uint64_t>(31164 + dia(sq[0]) * 42 + (dia(sq[1]) - i) * 6 +
                                        (dia(sq[2]) - j));
    } else {
        const int kp = g_king_pair[kTri[sq[0]]][sq[1]];
        if (kp < 0) return false;
        sub = static_cast<uint64_t>(kp);
    }
    idx = encode_rest(e, sq, n, lead, sub * e.factor[0]);
    return true;
}

uint64_t encode_pawn(const EncInfo& e, int* sq, int n, int a, int b) {
    if (sq[0] & 4)
        for (int i = 0; i < n; ++i) sq[i] ^= 7;
    // At most five pawns: a plain insertion sort (descending by po_value).
    for (int i = 2; i < a; ++i)
        for (int j = i; j > 1 && po_value(sq[j - 1]) < po_value(sq[j]); --j)
            std::swap(sq[j - 1], sq[j]);
    uint64_t sub = g_lead_base[a - 1][lp_value(sq[0])];
    for (int i = 1; i < a; ++i) sub += g_binom[a - i][po_value(sq[i])];
    uint64_t idx = sub * e.factor[0];
    int i = a;
    if (b) {
        sort_squares(sq + a, b);
        uint64_t s = 0;
        for (int r = 0; r < b; ++r) {
            int j = 0;
            for (int x = 0; x < a; ++x) j += sq[x] < sq[a + r];
            s += g_binom[r + 1][sq[a + r] - j - 8];
        }
        idx += s * e.factor[a];
        i += b;
    }
    return encode_rest(e, sq, n, i, idx);
}

// Collects the squares of the position in the table's piece order and computes its index.
// `exchange` swaps the colours (and flips pawn tables vertically); s is the list to use.
bool position_index(const TableCore& t, const RealPieces& p, bool exchange, int s, int& file_group,
                    uint64_t& idx) {
    const int n = t.num;
    const int x = exchange ? 1 : 0;
    const int flip = exchange && t.has_pawns ? 56 : 0;
    int sq[TBPIECES];
    auto collect = [&](const EncInfo& e, int i) {
        while (i < n) {
            const uint8_t c = e.pieces[i];
            Bitboard bb = p.colour[(c >> 3) ^ x] & p.type[c & 7];
            int want = i;
            while (want < n && e.pieces[want] == c) ++want;
            while (bb && i < n) sq[i++] = pop_lsb(bb) ^ flip;
            if (bb || i != want) return false;
        }
        return true;
    };
    if (!t.has_pawns) {
        const EncInfo& e = t.ei[0][s];
        file_group = 0;
        if (!collect(e, 0)) return false;
        if (!encode_pawnless(e, sq, n, t.enc_type, idx)) return false;
        return idx < e.size;
    }
    Bitboard lead = p.colour[(t.lead_code >> 3) ^ x] & p.type[PAWN];
    if (popcount(lead) != t.lead) return false;
    int a = 0;
    while (lead) sq[a++] = pop_lsb(lead) ^ flip;
    int best = 0;
    for (int i = 1; i < a; ++i)
        if (lp_value(sq[i]) < lp_value(sq[best]) ||
            (lp_value(sq[i]) == lp_value(sq[best]) && sq[i] < sq[best]))
            best = i;
    std::swap(sq[0], sq[best]);
    for (int i = 0; i < a; ++i)
        if (sq[i] < 8 || sq[i] >= 56) return false;
    file_group = lp_value(sq[0]) / 6;
    const EncInfo& e = t.ei[file_group][s];
    if (!collect(e, a)) return false;
    for (int i = a; i < a + t.other; ++i)
        if (sq[i] < 8 || sq[i] >= 56) return false;
    idx = encode_pawn(e, sq, n, a, t.other);
    return idx < e.size;
}

// Orientation of a position against a table: colour exchange and stored side.
void orient(const TableCore& t, uint64_t pos_key, uint32_t side, bool& exchange, int& s) {
    if (t.symmetric) {
        exchange = side == BLACK;
        s = 0;
    } else if (pos_key == t.tw_key) {
        exchange = false;
        s = side == WHITE ? 0 : 1;
    } else {
        exchange = true;
        s = side == WHITE ? 1 : 0;
    }
}

void report_once(TableCore& t) {
    if (!t.reported.exchange(true)) report_corrupted();
}

// ---------------------------------------------------------------------------------------------
// WDL tables

bool setup_wdl(TbEntry& e, const Board& b, uint64_t pos_key) {
    const std::string name = name_of(b, pos_key != e.key ? 1 : 0);
    bool opened;
    e.view = map_file(table_path(g_wdl_dirs, name + ".rtbw"), e.view_size, opened);
    if (!opened) return false;
    if (!setup_file(e, false, nullptr, nullptr)) {
        report_corrupted();
        release_view(e);
        return false;
    }
    return true;
}

int probe_wdl_table(const Board& b, int* success) {
    const uint64_t key = material_key(b, 0);
    static const uint64_t bare_kings = zobrist::piece[(8 + KING) * 64] ^ zobrist::piece[KING * 64];
    if (key == bare_kings) return 0;
    TbHashSlot* slot = find_slot(key);
    if (!slot || !slot->entry) {
        *success = 0;
        return 0;
    }
    TbEntry& e = *slot->entry;
    if (!e.ready.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> guard(tb_lock);
        if (!e.ready.load(std::memory_order_relaxed)) {
            if (!setup_wdl(e, b, key)) {
                // Reported once; from now on the material is not found at all.
                slot->key.store(0, std::memory_order_relaxed);
                *success = 0;
                return 0;
            }
            e.ready.store(1, std::memory_order_release);
        }
    }
    bool exchange;
    int s;
    orient(e, key, b.side, exchange, s);
    int group;
    uint64_t idx;
    const RealPieces p = real_pieces(b);
    if (!position_index(e, p, exchange, s, group, idx)) {
        *success = 0;
        return 0;
    }
    const int v = decompress(e, e.ei[group][s].pairs, idx, false);
    if (v < 0 || v > 4) {
        report_once(e);
        *success = 0;
        return 0;
    }
    return v - 2;
}

// ---------------------------------------------------------------------------------------------
// Capture resolution

constexpr int kScratch = 64;

int probe_ab(Board* cur, const Board* first, int alpha, int beta, int* success) {
    if (cur - first >= kScratch - 2) {
        *success = 0;
        return 0;
    }
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(*cur, list);
    while (end > list) {
        MoveEntry* best = list;
        for (MoveEntry* m = list + 1; m < end; ++m)
            if (m->score >= best->score) best = m;
        const Move m = best->move;
        *best = *--end;
        if (move_type(m) == MT_EN_PASSANT || leaves_king_attacked(*cur, m)) continue;
        Board* child = make_move(cur, m, first);
        const int v = -probe_ab(child, first, -beta, -alpha, success);
        if (*success == 0) return 0;
        if (v > alpha) {
            if (v >= beta) {
                *success = 2;
                return v;
            }
            alpha = v;
        }
    }
    const int v = probe_wdl_table(*cur, success);
    if (*success == 0) return 0;
    if (v > alpha) {
        *success = 1;
        return v;
    }
    *success = alpha > 0 ? 2 : 1;
    return alpha;
}

// The en passant captures of a position, which the tables do not store: the best WDL value
// they reach, and how many moves are legal and how many of them are en passant captures.
struct EnPassantScan {
    int best = -3, legal = 0, count = 0;
};

bool scan_en_passant(Board* cur, const Board* first, int* success, EnPassantScan& ep) {
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_all_moves(*cur, list);
    for (MoveEntry* m = list; m < end; ++m) {
        if (leaves_king_attacked(*cur, m->move)) continue;
        ep.legal++;
        if (move_type(m->move) != MT_EN_PASSANT) continue;
        ep.count++;
        Board* child = make_move(cur, m->move, first);
        const int e = -probe_ab(child, first, -2, 2, success);
        if (*success == 0) return false;
        ep.best = std::max(ep.best, e);
    }
    return true;
}

int probe_wdl(Board* cur, const Board* first, int* success) {
    *success = 1;
    const int v = probe_ab(cur, first, -2, 2, success);
    if (cur->ep_file == 8) return v;
    if (*success == 0) return 0;
    EnPassantScan ep;
    if (!scan_en_passant(cur, first, success, ep)) return 0;
    const int ep_best = ep.best, legal = ep.legal, ep_count = ep.count;
    if (ep_count == 0) return v;
    if (ep_best >= v) return ep_best;
    if (v != 0) return v;
    return ep_count == legal ? ep_best : 0;
}

// ---------------------------------------------------------------------------------------------
// DTZ tables

void free_dtz(DtzCacheSlot& slot) {
    if (slot.entry) release_view(*slot.entry);
    slot.entry.reset();
    slot.key1 = slot.key2 = 0;
}

std::unique_ptr<DtzEntry> load_dtz(const TbEntry& w, const std::string& name) {
    auto d = std::make_unique<DtzEntry>();
    bool opened;
    d->view = map_file(table_path(g_dtz_dirs, name + ".rtbz"), d->view_size, opened);
    if (!opened) return nullptr;
    d->key = w.key;
    d->key2 = w.key2;
    d->num = w.num;
    d->symmetric = w.symmetric;
    d->has_pawns = w.has_pawns;
    d->enc_type = w.enc_type;
    d->pawns[0] = w.pawns[0];
    d->pawns[1] = w.pawns[1];
    std::memcpy(d->counts, w.counts, sizeof d->counts);
    if (!setup_file(*d, true, d->flags, d->maps)) {
        report_corrupted();
        release_view(*d);
        return nullptr;
    }
    return d;
}

// The cache slot for the material of b, loading the table on a miss.
DtzCacheSlot* dtz_lookup(const Board& b) {
    const uint64_t key = material_key(b, 0);
    for (int i = 0; i < DTZ_CACHE_SIZE; ++i) {
        DtzCacheSlot& s = g_dtz_cache[i];
        if ((s.key1 == key || s.key2 == key) && (s.key1 || s.key2)) {
            if (i > 0) std::rotate(g_dtz_cache, g_dtz_cache + i, g_dtz_cache + i + 1);
            return &g_dtz_cache[0];
        }
    }
    TbHashSlot* slot = find_slot(key);
    if (!slot || !slot->entry) return nullptr;
    TbEntry& w = *slot->entry;
    // A DTZ file that was missing or damaged is reported once, not again after each eviction.
    if (w.dtz_failed.load(std::memory_order_relaxed)) return nullptr;
    const int mirror = key != w.key ? 1 : 0;
    free_dtz(g_dtz_cache[DTZ_CACHE_SIZE - 1]);
    std::rotate(g_dtz_cache, g_dtz_cache + DTZ_CACHE_SIZE - 1, g_dtz_cache + DTZ_CACHE_SIZE);
    DtzCacheSlot& s = g_dtz_cache[0];
    s.key1 = material_key(b, mirror);
    s.key2 = material_key(b, 1 - mirror);
    s.entry = load_dtz(w, name_of(b, mirror));
    if (!s.entry) w.dtz_failed.store(true, std::memory_order_relaxed);
    return &s;
}

int probe_dtz_table(const Board& b, int wdl, int* success) {
    DtzCacheSlot* slot = dtz_lookup(b);
    if (!slot || !slot->entry) {
        *success = 0;
        return 0;
    }
    DtzEntry& d = *slot->entry;
    const uint64_t key = material_key(b, 0);
    bool exchange;
    int s;
    orient(d, key, b.side, exchange, s);
    int group;
    uint64_t idx;
    const RealPieces p = real_pieces(b);
    if (!position_index(d, p, exchange, 0, group, idx)) {
        *success = 0;
        return 0;
    }
    const uint8_t flags = d.flags[group];
    if ((flags & 1) != s && !d.symmetric) {
        *success = -1;
        return 0;
    }
    int v = decompress(d, d.ei[group][0].pairs, idx, true);
    if (v < 0) {
        report_once(d);
        *success = 0;
        return 0;
    }
    if (flags & 2) {
        static constexpr int map_of[5] = {1, 3, 0, 2, 0};
        const DtzMap& m = d.maps[group][map_of[wdl + 2]];
        if (v >= m.length) {
            report_once(d);
            *success = 0;
            return 0;
        }
        v = m.values[v];
    }
    if (!((wdl == 2 && (flags & 4)) || (wdl == -2 && (flags & 8)))) v *= 2;
    return v;
}

bool is_mate(const Board& b) {
    if (!king_attackers(b)) return false;
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_all_moves(b, list);
    for (MoveEntry* m = list; m < end; ++m)
        if (!leaves_king_attacked(b, m->move)) return false;
    return true;
}

int probe_dtz(Board* cur, const Board* first, int* success);

int probe_dtz_no_ep(Board* cur, const Board* first, int* success) {
    const int wdl = probe_ab(cur, first, -2, 2, success);
    if (*success == 0 || wdl == 0) return 0;
    if (*success == 2) return wdl == 2 ? 1 : 101;
    MoveEntry list[MAX_MOVES];
    if (wdl > 0) {
        // A pawn push that keeps the result zeroes at once; en passant replies count.
        MoveEntry* end = gen_all_moves(*cur, list);
        for (MoveEntry* m = list; m < end; ++m) {
            if (move_piece(m->move) != PAWN || is_capture(m->move) ||
                leaves_king_attacked(*cur, m->move))
                continue;
            Board* child = make_move(cur, m->move, first);
            const int v = -probe_wdl(child, first, success);
            if (*success == 0) return 0;
            if (v == wdl) return wdl == 2 ? 1 : 101;
        }
    }
    const int r = probe_dtz_table(*cur, wdl, success);
    if (*success == 0) return 0;
    if (*success > 0) {
        const int dtz = r + 1 + ((wdl & 1) ? 100 : 0);
        return wdl > 0 ? dtz : -dtz;
    }
    // The file stores the other side to move: one ply of search.
    *success = 1;
    if (wdl > 0) {
        int best = 0xffff;
        MoveEntry* end = gen_quiets(*cur, list);
        for (MoveEntry* m = list; m < end; ++m) {
            if (move_piece(m->move) == PAWN || leaves_king_attacked(*cur, m->move)) continue;
            Board* child = make_move(cur, m->move, first);
            if (is_mate(*child)) {
                best = 1;
                continue;
            }
            const int v = -probe_dtz(child, first, success);
            if (*success == 0) return 0;
            if (v > 0 && v + 1 < best) best = v + 1;
        }
        return best;
    }
    int best = -1;
    MoveEntry* end = gen_all_moves(*cur, list);
    for (MoveEntry* m = list; m < end; ++m) {
        const uint32_t type = move_type(m->move);
        if ((is_capture(m->move) && type != MT_EN_PASSANT) || leaves_king_attacked(*cur, m->move))
            continue;
        Board* child = make_move(cur, m->move, first);
        int v;
        if (child->halfmove == 0) {
            if (wdl == -2) {
                v = -1;
            } else {
                v = probe_ab(child, first, 1, 2, success) == 2 ? 0 : -101;
                if (*success == 0) return 0;
            }
        } else {
            v = -probe_dtz(child, first, success) - 1;
            if (*success == 0) return 0;
        }
        best = std::min(best, v);
    }
    return best;
}

int probe_dtz(Board* cur, const Board* first, int* success) {
    if (cur - first >= kScratch - 2) {
        *success = 0;
        return 0;
    }
    *success = 1;
    const int v = probe_dtz_no_ep(cur, first, success);
    if (cur->ep_file == 8) return v;
    if (*success == 0) return 0;
    EnPassantScan ep;
    if (!scan_en_passant(cur, first, success, ep)) return 0;
    const int ep_best = ep.best, legal = ep.legal, ep_count = ep.count;
    if (ep_count == 0) return v;
    const int d = wdl_to_dtz[ep_best + 2];
    if (v < -100) return d >= 0 ? d : v;
    if (v < 0) return d >= 0 || d < -100 ? d : v;
    if (v > 100) return d > 0 ? d : v;
    if (v > 0) return d == 1 ? d : v;
    return d >= 0 || ep_count == legal ? d : 0;
}

void release_all() {
    for (int i = 0; i < DTZ_CACHE_SIZE; ++i) free_dtz(g_dtz_cache[i]);
    for (int i = 0; i < g_num_piece; ++i) release_view(g_piece_entries[i]);
    for (int i = 0; i < g_num_pawn; ++i) release_view(g_pawn_entries[i]);
}

} // namespace

void tb_init(const char* dtz_path, const char* wdl_path) {
    if (g_tables_ready) release_all();
    g_dtz_dirs = split_dirs(dtz_path ? dtz_path : "");
    g_wdl_dirs = split_dirs(wdl_path ? wdl_path : "");
    g_piece_entries = std::make_unique<TbEntry[]>(TBMAX_PIECE);
    g_pawn_entries = std::make_unique<TbEntry[]>(TBMAX_PAWN);
    g_num_piece = g_num_pawn = 0;
    for (auto& slot : g_hash) {
        slot.key.store(0, std::memory_order_relaxed);
        slot.entry = nullptr;
    }
    for (auto& slot : g_dtz_cache) {
        slot.key1 = slot.key2 = 0;
        slot.entry.reset();
    }
    if (const char* env = std::getenv("RTBZDIR"); env && std::strlen(env) <= 99) {
        g_dtz_dirs = split_dirs(env);
        tb_message("$DTZDIR loaded");
    }
    if (const char* env = std::getenv("RTBWDIR"); env && std::strlen(env) <= 99) {
        g_wdl_dirs = split_dirs(env);
        tb_message("$WDLDIR loaded");
    }
    static const char letters[] = " QRBNP";
    auto reg = [](std::initializer_list<int> first, std::initializer_list<int> second) {
        std::string name = "K";
        for (int i : first) name += letters[i];
        name += "vK";
        for (int i : second) name += letters[i];
        register_table(name);
    };
    for (int i = 1; i <= 5; ++i) reg({i}, {});
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j) reg({i}, {j});
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j) reg({i, j}, {});
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = 1; k <= 5; ++k) reg({i, j}, {k});
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = j; k <= 5; ++k) reg({i, j, k}, {});
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = i; k <= 5; ++k)
                for (int l = (k == i ? j : k); l <= 5; ++l) reg({i, j}, {k, l});
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = j; k <= 5; ++k)
                for (int l = 1; l <= 5; ++l) reg({i, j, k}, {l});
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = j; k <= 5; ++k)
                for (int l = k; l <= 5; ++l) reg({i, j, k, l}, {});
    tb_message("Found " + std::to_string(g_num_piece + g_num_pawn) + " tablebases.");
    init_index_tables();
    g_tables_ready = true;
}

int tb_probe_wdl(const Board& b, int* success) {
    if (b.castling) {
        *success = 0;
        return 0;
    }
    Board scratch[kScratch];
    scratch[0] = b;
    return probe_wdl(scratch, scratch, success);
}

int tb_probe_dtz(const Board& b, int* success) {
    if (b.castling) {
        *success = 0;
        return 0;
    }
    Board scratch[kScratch];
    scratch[0] = b;
    return probe_dtz(scratch, scratch, success);
}

namespace {

// Quicksort of the ranked root moves, largest value first. The first entry is the pivot; entries
// not above it are exchanged to the back of the unscanned part.
void rank_sort(MoveEntry* lo, MoveEntry* hi) {
    if (hi - lo < 1) return;
    const int16_t pivot = lo->score;
    MoveEntry* scan = lo + 1;
    MoveEntry* last = hi;
    while (scan <= last) {
        if (scan->score <= pivot) {
            std::swap(*scan, *last);
            --last;
        } else {
            ++scan;
        }
    }
    std::swap(*lo, *last);
    rank_sort(lo, last - 1);
    rank_sort(last + 1, hi);
}

// Whether the winner has been in this position before, looking back two plies at a time over the
// plies since the last zeroing move, but never before the first board of the stack.
bool repeated_since_zeroing(const Board& b, const Board* history) {
    const long reach = history ? &b - history : 0;
    for (long back = 0; back <= b.halfmove && back <= reach; back += 2)
        if ((&b)[-back].repetitions & 1) return true;
    return false;
}

} // namespace

int tb_root_filter(const Board& b, MoveEntry* first, int16_t* tb_score, MoveEntry** end,
                   const Board* history) {
    int success = 0;
    const int dtz = tb_probe_dtz(b, &success);
    if (!success) return 0;

    // Rank every legal move by the distance to zeroing of the line it starts, seen from the root.
    Board scratch[2];
    scratch[0] = b;
    for (MoveEntry* e = first; e < *end; ++e) {
        if (leaves_king_attacked(b, e->move)) continue;
        const Board* child = make_move(&scratch[0], e->move, scratch);
        int r;
        if (dtz > 0 && is_mate(*child)) {
            r = 1;
        } else if (child->halfmove == 0) {
            const int w = tb_probe_wdl(*child, &success);
            r = wdl_to_dtz[std::clamp(2 - w, 0, 4)];
        } else {
            const int d = -tb_probe_dtz(*child, &success);
            r = d > 0 ? d + 1 : d < 0 ? d - 1 : 0;
        }
        if (!success) return 0;
        e->score = static_cast<int16_t>(r);
    }

    const int hm = b.halfmove;
    MoveEntry* kept = first;
    if (dtz > 0) {
        *tb_score = dtz + hm >= 101 ? 2 : 15000;
        int best = 0xffff;
        for (MoveEntry* e = first; e < *end; ++e)
            if (e->score > 0 && e->score < best) best = e->score;
        // Without a repetition, any win that still beats the fifty-move rule will do; after one,
        // only the fastest, so that the game makes progress.
        int max = best;
        if (!repeated_since_zeroing(b, history) && best + hm <= 99) max = 99 - hm;
        for (MoveEntry* e = first; e < *end; ++e)
            if (e->score > 0 && e->score <= max) *kept++ = *e;
    } else if (dtz < 0) {
        *tb_score = hm - dtz >= 101 ? -2 : -15000;
        if (first == *end) return 1;
        int best = 0;
        for (MoveEntry* e = first; e < *end; ++e) best = std::min<int>(best, e->score);
        // Every move holds out past the fifty-move horizon of the winner: let the search choose.
        if (hm - 2 * best <= 99) return 1;
        for (MoveEntry* e = first; e < *end; ++e)
            if (e->score == best) *kept++ = *e;
    } else {
        *tb_score = 0;
        for (MoveEntry* e = first; e < *end; ++e)
            if (e->score == 0) *kept++ = *e;
    }
    // Tables that disagree with each other could leave no move at all: then the search decides.
    if (kept == first && first != *end) return 0;
    if (kept - first >= 2) rank_sort(first, kept - 1);
    *end = kept;
    return 1;
}
