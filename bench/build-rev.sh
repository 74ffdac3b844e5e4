#!/usr/bin/env bash
# Builds the engine as it was at a git revision, for a match against the working tree's build,
# and prints the path of the binary.
#   bench/build-rev.sh REV [DIR]     (default DIR: a folder under the system's temporary folder)
#   bench/match.py build/brontavel "$(bench/build-rev.sh HEAD~1)" --games 200
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rev=${1:?usage: build-rev.sh REV [DIR]}
sha=$(git -C "$root" rev-parse --short "$rev")
dir=${2:-${TMPDIR:-/tmp}/brontavel-rev-$sha}
if [[ ! -x "$dir/build/brontavel" ]]; then
    rm -rf "$dir/src"
    mkdir -p "$dir/src"
    git -C "$root" archive "$sha" | tar -x -C "$dir/src"
    cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DBRONTAVEL_NATIVE=ON -DBRONTAVEL_TESTS=OFF >&2
    cmake --build "$dir/build" --target brontavel >&2
fi
echo "$dir/build/brontavel"
