#!/usr/bin/env bash
# Evaluation benchmark: builds the Release benchmark program in build/ and reports evaluations per
# second over a fixed set of positions. Arguments go to the program (the number of evaluations).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Configure build/ as the Makefile does unless it already is, then build the benchmark.
test -f build/build.ninja ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRONTAVEL_NATIVE=ON \
        -DBRONTAVEL_TESTS=OFF >&2
ninja -C build brontavel_evalbench >&2

./build/brontavel_evalbench "$@"
