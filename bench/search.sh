#!/usr/bin/env bash
# Search benchmark: one thread searches a fixed list of positions to a fixed depth through the
# console; prints nodes, time and nodes per second per position and in total.
#   bench/search.sh [depth]     (default 10)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
depth=${1:-10}
make -C "$root" --no-print-directory build >&2

positions=(
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"
    "rnbqkb1r/pp1p1ppp/2p5/4P3/2B5/8/PPP1NnPP/RNBQK2R w KQkq - 0 6"
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10"
    "r1bqkb1r/ppp2ppp/2n1pn2/8/2pP4/3BPN2/PP3PPP/RNBQK2R w KQkq - 0 6"
    "r3qrk1/pp2ppbp/6p1/1Np5/P7/2PP3P/1P2QPP1/R2R2K1 w - - 0 1"
    "r1bqkb1r/pp2pppp/3p1n2/6B1/3nP3/2N5/PPP2PPP/R2QKB1R b KQkq - 0 7"
    "r5k1/1pp2rbp/3p2p1/3Pp3/2P1P1q1/1NN2pBb/P6P/R2QR1K1 w - - 2 23"
    "r1b2rk1/2q1bppp/pp2p3/2npP3/1n3P1P/2NBBN2/PPPQ2P1/1K1R3R w - - 0 14"
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PNBPN2/PB3PPP/2RQ1RK1 w - - 0 11"
    "r2q1rk1/1b2bppp/p2p1n2/1ppNp3/3nP3/P2P1N1P/BPP2PP1/R1BQR1K1 w - - 4 14"
    "rnbqkb1r/pp3ppp/4pn2/2pp4/2PP4/2N2N2/PP2PPPP/R1BQKB1R w KQkq - 0 5"
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 1 8"
    "6k1/pbp2npp/1p3p2/8/8/1P4P1/PBP2P1P/6K1 w - - 0 1"
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1"
    "8/8/4k3/8/2p5/8/B2K4/8 w - - 0 1"
    "6k1/6p1/6Pp/ppp5/3pn2P/1P3K2/1PP2P2/3N4 b - - 0 1"
    "3r2k1/p4ppp/1p6/8/8/1P4P1/P4P1P/3R2K1 w - - 0 1"
    "r4rk1/pp1n1ppp/2p2n2/q2p4/3P4/2NBPN2/PP3PPP/R2Q1RK1 w - - 0 12"
    "8/5pk1/6p1/8/4R3/6P1/5PK1/3r4 w - - 0 40"
    "5k2/8/6r1/5K2/8/8/7p/8 b - - 3 75"
    "8/RP6/2k5/8/8/6P1/7P/7K w - - 1 62"
)

input=$(printf 'c\nthread 1\n'
    for fen in "${positions[@]}"; do printf 'setboard %s\nsd %s\ngo\n' "$fen" "$depth"; done
    printf 'quit\n')

start=$(date +%s.%N)
out=$(cd "$root" && printf '%s\n' "$input" | ./build/brontavel)
end=$(date +%s.%N)

# The last iteration line before each "Bestmove:" holds the depth, the time in hundredths and the
# node count of that search.
printf '%s\n' "$out" | awk -v depth="$depth" -v wall="$(awk "BEGIN { print $end - $start }")" '
    / *[0-9]+ +-?[0-9]+ +[0-9]+ +[0-9]+ / { n = split($0, f, " "); d = f[1]; t = f[3]; nodes = f[4] }
    /Bestmove:/ {
        ++count; total_nodes += nodes; total_time += t / 100
        printf "%2d  depth %2d  nodes %10d  time %7.2f s  %s\n", count, d, nodes, t / 100, $2
    }
    END {
        printf "positions:          %d (depth %d, 1 thread)\n", count, depth
        printf "total nodes:        %d\n", total_nodes
        printf "total search time:  %.2f s (wall %.2f s)\n", total_time, wall
        if (total_time > 0) printf "nodes per second:   %d\n", total_nodes / total_time
    }'
