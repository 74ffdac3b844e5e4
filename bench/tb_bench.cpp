// Tablebase benchmark: probes the positions of a reference file over and over and reports WDL and
// DTZ probes per second, and root filters per second, after a first pass that maps the tables.
//
// Usage: brontavel_tbbench TABLE_FOLDER CASE_FILE [seconds per measurement, default 2]
// CASE_FILE lines are "FEN,DTZ,WDL"; lines starting with '#' are skipped.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/movegen.h"
#include "tablebase/tablebase.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Runs `probe` over every board until `budget` seconds pass; gives probes per second.
template <typename Probe>
double rate(const std::vector<Board>& boards, double budget, Probe probe, long& failures) {
    long count = 0;
    failures = 0;
    const auto start = Clock::now();
    do {
        for (const Board& b : boards) failures += probe(b) ? 0 : 1;
        count += static_cast<long>(boards.size());
    } while (seconds_since(start) < budget);
    return static_cast<double>(count) / seconds_since(start);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TABLE_FOLDER CASE_FILE [seconds]\n", argv[0]);
        return 2;
    }
    const double budget = argc > 3 ? std::atof(argv[3]) : 2.0;
    std::vector<Board> boards;
    std::ifstream in(argv[2]);
    auto stack = std::make_unique<PositionStack>();
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t comma = line.find(',');
        new_game(*stack);
        if (read_fen(*stack, line.substr(0, comma).c_str(), nullptr))
            boards.push_back(*stack->current);
    }
    if (boards.empty()) {
        std::fprintf(stderr, "no positions in %s\n", argv[2]);
        return 1;
    }
    tb_init(argv[1], argv[1]);

    // First pass: every table is mapped and set up on its first probe.
    auto start = Clock::now();
    int ok = 0;
    for (const Board& b : boards) tb_probe_wdl(b, &ok);
    std::printf("First WDL pass:   %zu positions in %.1f ms\n", boards.size(),
                seconds_since(start) * 1000);

    long failed = 0;
    double r = rate(
        boards, budget,
        [](const Board& b) {
            int success = 0;
            tb_probe_wdl(b, &success);
            return success != 0;
        },
        failed);
    std::printf("WDL probes/s:     %.0f (%ld failed)\n", r, failed);
    r = rate(
        boards, budget,
        [](const Board& b) {
            int success = 0;
            tb_probe_dtz(b, &success);
            return success != 0;
        },
        failed);
    std::printf("DTZ probes/s:     %.0f (%ld failed)\n", r, failed);
    r = rate(
        boards, budget,
        [](const Board& b) {
            MoveEntry list[MAX_MOVES];
            MoveEntry* end = gen_legal_moves(b, list);
            int16_t score = 0;
            return tb_root_filter(b, list, &score, &end) != 0;
        },
        failed);
    std::printf("Root filters/s:   %.0f (%ld failed)\n", r, failed);
    return 0;
}
