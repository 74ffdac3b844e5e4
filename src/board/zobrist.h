// Zobrist key tables: fixed pseudo-random numbers, computed at compile time and therefore
// identical in every run of the program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zobrist {

// splitmix64 is a bijection of its counter, so every value drawn below is distinct.
constexpr uint64_t splitmix64(uint64_t n) {
    uint64_t z = n * 0x9E3779B97F4A7C15ULL + 0x6A09E667F3BCC909ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

template <size_t N> constexpr std::array<uint64_t, N> random_table(uint64_t first, size_t zero) {
    std::array<uint64_t, N> t{};
    for (size_t i = 0; i < N; ++i) t[i] = i == zero ? 0 : splitmix64(first + i);
    return t;
}

constexpr size_t kNone = ~size_t{0};

// Indexed by the real colour to move; Black's entry is 0.
inline constexpr auto side = random_table<2>(3000, 1);
// Indexed by the castling byte as stored (only 16 of the 52 values occur).
inline constexpr auto castling = random_table<52>(1000, kNone);
// Indexed by the en passant file; the entry for 8 (none) is 0.
inline constexpr auto en_passant = random_table<9>(2000, 8);
// Indexed by (colour * 8 + piece code) * 64 + square seen from that colour's own side.
inline constexpr auto piece = random_table<960>(0, kNone);

} // namespace zobrist
