#include "search/benchmark.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <iterator>

#include "board/fen.h"
#include "board/perft.h"
#include "config/settings.h"
#include "eval/pawnhash.h"
#include "frontend/frontend.h"
#include "frontend/reports.h"
#include "search/flags.h"
#include "search/think.h"
#include "search/tt.h"

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

// The search benchmark's positions: openings, middle games with tactics, endgames.
constexpr const char* kSearchBenchFens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbqkb1r/pp1p1ppp/2p5/4P3/2B5/8/PPP1NnPP/RNBQK2R w KQkq - 0 6",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1bqkb1r/ppp2ppp/2n1pn2/8/2pP4/3BPN2/PP3PPP/RNBQK2R w KQkq - 0 6",
    "r3qrk1/pp2ppbp/6p1/1Np5/P7/2PP3P/1P2QPP1/R2R2K1 w - - 0 1",
    "r1bqkb1r/pp2pppp/3p1n2/6B1/3nP3/2N5/PPP2PPP/R2QKB1R b KQkq - 0 7",
    "r5k1/1pp2rbp/3p2p1/3Pp3/2P1P1q1/1NN2pBb/P6P/R2QR1K1 w - - 2 23",
    "r1b2rk1/2q1bppp/pp2p3/2npP3/1n3P1P/2NBBN2/PPPQ2P1/1K1R3R w - - 0 14",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PNBPN2/PB3PPP/2RQ1RK1 w - - 0 11",
    "r2q1rk1/1b2bppp/p2p1n2/1ppNp3/3nP3/P2P1N1P/BPP2PP1/R1BQR1K1 w - - 4 14",
    "rnbqkb1r/pp3ppp/4pn2/2pp4/2PP4/2N2N2/PP2PPPP/R1BQKB1R w KQkq - 0 5",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 1 8",
    "r4rk1/pp1n1ppp/2p2n2/q2p4/3P4/2NBPN2/PP3PPP/R2Q1RK1 w - - 0 12",
    "5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - - 0 1",
    "r4q1k/p2bR1rp/2p2Q1N/5p2/5p2/2P5/PP3PPP/R5K1 w - - 0 1",
    "4k1r1/2p3r1/1pR1p3/3pP2p/3P2qP/P4N2/1PQ4P/5R1K b - - 0 1",
    "r4rk1/ppp2ppp/2n5/2bqp3/8/P2PB3/1PP1NPPP/R2Q1RK1 w - - 0 1",
    "r1b2rk1/ppbn1ppp/4p3/1QP4q/3P4/N4N2/5PPP/R1B2RK1 w - - 0 1",
    "r1bqk2r/ppp1nppp/4p3/n5N1/2BPp3/P1P5/2P2PPP/R1BQK2R w KQkq - 0 1",
    "3R1rk1/8/5Qpp/2p5/2P1p1q1/P3P3/1P2PK2/8 b - - 0 1",
    "1r1r2k1/4pp1p/2p1b1p1/p3R3/RqBP4/4P3/1PQ2PPP/6K1 b - - 0 1",
    "3r4/2p1rk2/1pQq1pp1/7p/1P1P4/P4P2/6PP/R1R3K1 b - - 0 1",
    "3r1r1k/1p4pp/p4p2/8/1PQR4/6Pq/P3PP2/2R3K1 b - - 0 1",
    "1rbq1rk1/p1p1bppp/2p2n2/8/Q1BP4/2N5/PP3PPP/R1B2RK1 b - - 0 1",
    "r1bqk2r/pppp1ppp/5n2/2b1n3/4P3/1BP3Q1/PP3PPP/RNB1K1NR b KQkq - 0 1",
    "r1b2rk1/2p1qnbp/p1pp2p1/5p2/2PQP3/1PN2N1P/PB3PP1/3R1RK1 w - - 0 1",
    "6k1/pbp2npp/1p3p2/8/8/1P4P1/PBP2P1P/6K1 w - - 0 1",
    "3r2k1/p4ppp/1p6/8/8/1P4P1/P4P1P/3R2K1 w - - 0 1",
    "6k1/6p1/6Pp/ppp5/3pn2P/1P3K2/1PP2P2/3N4 b - - 0 1",
    "6k1/p4p1p/1p3np1/2q5/4p3/4P1N1/PP3PPP/3Q2K1 w - - 0 1",
    "8/5pk1/6p1/8/4R3/6P1/5PK1/3r4 w - - 0 40",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "8/8/4k3/8/2p5/8/B2K4/8 w - - 0 1",
    "5k2/8/6r1/5K2/8/8/7p/8 b - - 3 75",
    "8/RP6/2k5/8/8/6P1/7P/7K w - - 1 62",
    "8/8/1p1k4/1P6/2PK4/8/8/8 w - - 0 1",
    "8/8/8/3k4/8/8/4KQ2/8 w - - 0 1",
};

} // namespace

int run_search_bench(int depth) {
    // Fixed conditions, whatever the settings file says: the node count identifies the search.
    frontend_mode = MODE_BENCH;
    settings.threads = 1;
    settings.syzygy = false;
    search_info.max_depth = depth;
    tt_allocate(tt_entries_for_mb(16), 16);
    const Settings defaults;
    pawn_allocate(search_thread(1), tt_entries_for_mb(defaults.pawn_hash_mb),
                  static_cast<uint32_t>(defaults.pawn_hash_mb), 0, 1);
    SearchThread& main = main_search;
    uint64_t total = 0;
    const int64_t start = now_ms();
    int index = 0;
    const int count = static_cast<int>(std::size(kSearchBenchFens));
    for (const char* fen : kSearchBenchFens) {
        new_game(main.stack);
        if (!read_fen(main.stack, fen, nullptr)) return 1;
        tt_clear();
        pawn_clear(search_thread(1));
        main.engine_side = main.stack.current->side;
        search_flags.stop.store(0, std::memory_order_relaxed);
        time_control.start_ms = now_ms();
        const uint64_t result = think(main);
        char move[MOVE_TEXT_SIZE];
        move_text_or_null(move, result_move(result), main.stack.current->side);
        total += search_info.nodes;
        std::printf("Position %2d/%d: %-6s %10" PRIu64 " nodes  %s\n", ++index, count, move,
                    search_info.nodes, fen);
    }
    const int64_t elapsed = std::max<int64_t>(now_ms() - start, 1);
    std::printf("\n===========================\n");
    std::printf("Total time (ms) : %" PRId64 "\n", elapsed);
    std::printf("Nodes searched  : %" PRIu64 "\n", total);
    std::printf("Nodes/second    : %" PRIu64 "\n", total * 1000 / static_cast<uint64_t>(elapsed));
    std::fflush(stdout);
    return 0;
}

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
