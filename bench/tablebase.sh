#!/usr/bin/env bash
# Tablebase benchmark: builds the Release benchmark program in build/ and reports WDL probes, DTZ
# probes and root filters per second over the reference positions of the shared test data.
# Usage: bench/tablebase.sh [seconds per measurement]   ($BRONTAVEL_TESTDATA or ../shared/testdata)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
data=${BRONTAVEL_TESTDATA:-$root/../shared/testdata}
if [ ! -f "$data/tb-cases.txt" ]; then
    echo "tablebase benchmark skipped: no test data at $data (set BRONTAVEL_TESTDATA)" >&2
    exit 0
fi

test -f build/build.ninja ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRONTAVEL_NATIVE=ON \
        -DBRONTAVEL_TESTS=OFF >&2
ninja -C build brontavel_tbbench >&2

echo "3-4 pieces ($data/syzygy, tb-cases.txt):"
./build/brontavel_tbbench "$data/syzygy" "$data/tb-cases.txt" "${1:-2}"
echo "5 pieces ($data/syzygy5, tb5-cases.txt):"
./build/brontavel_tbbench "$data/syzygy5" "$data/tb5-cases.txt" "${1:-2}"
