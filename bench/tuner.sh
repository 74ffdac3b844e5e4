#!/usr/bin/env bash
# Tuner benchmark: builds a data set of positions labelled with game results from fast games the
# engine plays against itself (bench/tuner_datagen.cpp describes the games), then runs the console
# commands "texel" (preparation), "mink" (eleven error evaluations) and "tune" (twenty weights) on
# it in a temporary directory and reports the time of each, per error evaluation and per
# iteration, the error before and after tuning, and whether every weight the tuner listed, at
# every iteration, stayed inside its row's min..max range.
#   bench/tuner.sh [positions] [threads]     (default 120000 positions, 2 threads)
# Environment: BRONTAVEL_BUILD_DIR (a configured build directory; default build/, set up as the
# Makefile does), TUNE_TIMEOUT (seconds allowed for "tune", default 1800), SEED (default 1).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
positions=${1:-120000}
threads=${2:-2}
build=${BRONTAVEL_BUILD_DIR:-$root/build}
tune_timeout=${TUNE_TIMEOUT:-1800}

if [[ -z ${BRONTAVEL_BUILD_DIR:-} ]]; then
    make -C "$root" --no-print-directory build >&2
else
    ninja -C "$build" brontavel >&2
fi
engine=$build/brontavel
core=$build/libbrontavel_core.a

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The core library may hold link-time-optimisation objects: link the generator the same way.
"${CXX:-g++}" -std=c++20 -O2 -flto -I"$root/src" "$root/bench/tuner_datagen.cpp" "$core" \
    -lpthread -o "$work/tuner_datagen"

cd "$work"
printf '[ENGINE]\nThread=%s\nHashSize=64\nHashPawnSize=4\n[TABLEBASE]\nSyzygy=false\n' \
    "$threads" >brontavel.ini

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# Runs console commands; their output goes to $1.
run() {
    local log=$1
    shift
    printf 'c\n%s\nquit\n' "$*" | "$engine" >"$log" 2>&1
}

t0=$(now)
./tuner_datagen "$positions" input.epd "${SEED:-1}"
t1=$(now)
echo "data set: $(wc -l <input.epd) positions in $(elapsed "$t0" "$t1") s;" \
    "results: $(cut -d';' -f2 input.epd | sort | uniq -c | tr -s ' \n' ' ')"

t0=$(now)
run startup.log ""
t1=$(now)
startup=$(elapsed "$t0" "$t1")

t0=$(now)
run texel.log texel
t1=$(now)
grep -E '^(brontavel> )?(Processed|Skipped|Initial)' texel.log | sed 's/^brontavel> //'
echo "texel: $(elapsed "$t0" "$t1") s (engine start-up $startup s)"
echo "skip reasons: $(cut -d';' -f2 skip.csv | sort | uniq -c | tr -s ' \n' ' ')"

t0=$(now)
run mink.log mink
t1=$(now)
grep -E 'e min' mink.log | sed 's/^brontavel> //'
mink=$(elapsed "$t0" "$t1")
echo "mink: $mink s for one read of output.csv and 11 error evaluations over" \
    "$(wc -l <output.csv) positions: $(awk -v m="$mink" -v s="$startup" \
        'BEGIN { printf "%.1f", (m - s) * 1000 / 11 }') ms per error evaluation (upper bound)"

# "tune" with no row switched on makes 4 error evaluations (the slope's two, the report's and the
# final one) after reading output.csv; "mink" makes 11. The difference gives the cost of one.
: >tune.txt
t0=$(now)
run tune0.log tune
t1=$(now)
tune0=$(elapsed "$t0" "$t1")
awk -v m="$mink" -v z="$tune0" -v s="$startup" 'BEGIN {
    e = (m - z) / 7
    printf "error evaluation: %.1f ms each; reading and parsing output.csv: %.0f ms\n",
        e * 1000, (z - s - 4 * e) * 1000 }'

# Twenty rows: fourteen scalars and the six movable rows of PT_PawnPassed.
printf '%s\n' P_Pawn P_Knight P_Bishop P_Rook P_Queen P_BishopPair P_RookOpenFile \
    P_RookSemiOpenFile P_SideToMove P_PawnIsolated P_PawnDoubled P_BackwardPawn P_NmobMg \
    P_BmobMg PT_PawnPassed >tune.txt
t0=$(now)
status=0
printf 'c\ntune\nquit\n' | timeout "$tune_timeout" "$engine" >tune.log 2>&1 || status=$?
t1=$(now)
iterations=$(grep -cE '^(d|norm) ' tune.log || true)
tune=$(elapsed "$t0" "$t1")
if [[ $status -eq 124 ]]; then
    echo "tune: stopped after $tune_timeout s, $iterations iterations completed"
else
    sed -n '/Texel Tuning completed/,$p' tune.log | sed 's/^brontavel> //' | grep -v '^$'
fi
echo "tune: $tune s, $iterations iterations:" \
    "$(awk -v t="$tune" -v n="$iterations" 'BEGIN { if (n) printf "%.2f", t / n; else printf "-" }')" \
    "s per iteration (20 weights)"
echo "error: $(sed -n 's/^\(brontavel> \)\{0,1\}Initial Overall Error: *\([0-9.]*\).*/\2/p' texel.log)" \
    "before, $(sed -n 's/^\(brontavel> \)\{0,1\}Best Overall Error: *\([0-9.]*\).*/\2/p' tune.log) after"
# Every listed value of a tuned row (one per iteration) and every tuned.csv line against the table.
./tuner_datagen --ranges >ranges.txt
awk 'FNR == NR { lo[$1] = $2; hi[$1] = $3; next }
     FILENAME == "tuned.csv" { split($0, f, ";"); $1 = f[1]; $2 = f[2] }
     ($1 in lo) && $2 ~ /^[+-]?[0-9]+$/ {
         n++; v = $2 + 0
         if (v < lo[$1] || v > hi[$1]) { bad++; print "out of range: " $1 " " v " (" lo[$1] ".." hi[$1] ")" }
     }
     END { printf "range check: %d listed values, %d outside their range\n", n, bad + 0 }' \
    ranges.txt <(sed 's/^brontavel> //' tune.log) tuned.csv
echo "tuned:"
tr '\n' ' ' <tuned.csv
echo
echo "first iteration:"
sed -n '/^Iteration 1$/,/^d /p' tune.log | sed 's/^brontavel> //'
