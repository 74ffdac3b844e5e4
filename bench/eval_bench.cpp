// Evaluation benchmark: evaluates a fixed set of opening, middle game and end game positions over
// and over, as the leaves of a search would, and reports evaluations per second.
//
// Usage: brontavel_evalbench [evaluations]   (default 2,000,000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "board/fen.h"
#include "config/settings.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "search/thread.h"

namespace {

const char* const kPositions[] = {
    // Openings.
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq - 2 5",
    "rnbqk2r/ppp1ppbp/3p1np1/8/2PPP3/2N5/PP3PPP/R1BQKBNR w KQkq - 1 5",
    "r1bqkbnr/pp1ppppp/2n5/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    // Middle games.
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
    "r2q1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1P2PN2/PB1NBPPP/R2Q1RK1 w - - 0 10",
    "2rq1rk1/pp1bppbp/3p1np1/8/3NP3/1BN1BP2/PPPQ2PP/2KR3R b - - 0 12",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1b2rk1/2q1bppp/p2p1n2/np2p3/3PP3/5N1P/PPBN1PP1/R1BQR1K1 b - - 1 13",
    "3r1rk1/p1q2ppp/1pn1p3/2b5/2P1N3/1P3N2/PB2QPPP/3R1RK1 w - - 0 18",
    "r1bqr1k1/pp3pbp/2pp1np1/4p3/2PPP3/2N2N1P/PP2BPP1/R2QR1K1 w - - 0 11",
    // End games.
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/4k3/3p4/3P4/4K3/8/8 w - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/5pk1/6p1/7p/7P/6P1/5PK1/8 w - - 0 1",
    "8/8/1p1k4/p1p5/P1P2K2/1P6/8/8 w - - 0 1",
    "4r1k1/5ppp/8/8/8/2B5/5PPP/4R1K1 b - - 0 1",
    "8/3k4/8/3PK3/8/8/8/2b5 w - - 0 1",
    "8/6pk/8/8/8/8/1Q4PK/5q2 w - - 0 1",
    "2r3k1/1q3ppp/8/8/8/8/1Q3PPP/2R3K1 w - - 0 1",
    "8/8/8/8/8/4k3/8/2N1K2B w - - 0 1",
};

} // namespace

int main(int argc, char** argv) {
    const unsigned long long evaluations = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;

    ResetEvalParams();
    auto thread = std::make_unique<SearchThread>();
    new_game(thread->stack);
    pawn_allocate(*thread, tt_entries_for_mb(4), 4, 0, 0);

    std::vector<Board> boards;
    for (const char* fen : kPositions) {
        if (!read_fen(thread->stack, fen, nullptr)) {
            std::printf("Bad position: %s\n", fen);
            return 1;
        }
        boards.push_back(*thread->stack.current);
    }
    Board* const current = thread->stack.current;

    // One pass to warm the pawn table, as it is during a search.
    long long checksum = 0;
    for (const Board& b : boards) {
        *current = b;
        checksum += evaluate(*thread);
    }

    const auto start = std::chrono::steady_clock::now();
    size_t next = 0;
    for (unsigned long long i = 0; i < evaluations; ++i) {
        *current = boards[next];
        checksum += evaluate(*thread);
        if (++next == boards.size()) next = 0;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("Positions: %zu\n", boards.size());
    std::printf("Evaluations: %llu\n", evaluations);
    std::printf("Time: %.3f s\n", seconds);
    std::printf("Evaluations per second: %.0f\n",
                seconds > 0 ? static_cast<double>(evaluations) / seconds : 0.0);
    std::printf("Checksum: %lld\n", checksum);
    pawn_free(*thread);
    return 0;
}
