#!/usr/bin/env bash
# Self-play through UCI: builds the Release engine and plays it against itself with real clocks,
# checking every move. Fails on a loss on time, an illegal move, a crash or a hang.
#   bench/selfplay.sh [match.py options]     (default: 50 games of 10 s + 0.1 s, 2 at a time)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
make -C "$root" --no-print-directory build >&2
exec python3 "$root/bench/match.py" "$root/build/brontavel" "$root/build/brontavel" --games 50 "$@"
