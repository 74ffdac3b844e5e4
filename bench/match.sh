#!/usr/bin/env bash
# A match of the Release engine against a Debian engine (default glaurung) at 10 s + 0.1 s, one
# thread and 16 MB each, through bench/match.py; W/D/L, Elo with its error bar and every fault.
#   bench/match.sh [OPPONENT] [match.py options]
#   bench/match.sh "xboard:/usr/games/phalanx -l- -b- -r0" --games 40
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
opponent=${1:-/usr/games/glaurung}
shift || true
make -C "$root" --no-print-directory build >&2
exec python3 "$root/bench/match.py" "$root/build/brontavel" "$opponent" --games 40 "$@"
