#include "search/benchmark.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "board/fen.h"
#include "board/perft.h"

namespace {

struct BenchPosition {
    char fen[200];
    int32_t depth;
    int32_t unused;
    uint64_t expected;
};

constexpr BenchPosition kBenchPositions[6] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 6, 0, 119060324},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5, 0, 193690690},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 7, 0, 178633661},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 6, 0, 706045033},
    {"rnbqkb1r/pp1p1ppp/2p5/4P3/2B5/8/PPP1NnPP/RNBQK2R w KQkq - 0 6", 3, 0, 53392},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 5, 0, 164075551},
};

double clock_ms() {
    return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

} // namespace

void run_benchmark(SearchThread& thread) {
    std::printf("Running benchmark. . .\n");
    std::fflush(stdout);
    const double start = clock_ms();
    uint64_t total = 0;
    for (const BenchPosition& p : kBenchPositions) {
        std::fflush(stdout);
        new_game(thread.stack);
        read_fen(thread.stack, p.fen, nullptr);
        const uint64_t count = perft(thread.stack, p.depth);
        total += count;
        std::printf("Expected value:         %" PRIu64 "\n", p.expected);
        std::printf("Calculated value:       %" PRIu64 "\n\n", count);
    }
    const double seconds = (clock_ms() - start) / 1000.0;
    std::printf("\nTotal nodes:            %" PRIu64 "\n", total);
    std::printf("Raw nodes/s:            %" PRIu64 "\n",
                static_cast<uint64_t>(seconds > 0 ? static_cast<double>(total) / seconds : 0));
    std::printf("Total elapsed time:     %.2f s\n", seconds);
}
