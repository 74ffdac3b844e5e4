#!/usr/bin/env bash
# Tactical test positions: one thread searches each position of the test data's tactics.txt for a
# fixed time through the console and the script counts the positions whose best move is found.
#   bench/tactics.sh [seconds per position] [tactics file]   (defaults: 1, ../shared/testdata)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-1}
file=${2:-${BRONTAVEL_TESTDATA:-$root/../shared/testdata}/tactics.txt}
[ -f "$file" ] || { echo "tactics file not found: $file" >&2; exit 1; }
make -C "$root" --no-print-directory build >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '[ENGINE]\nHashSize=128\nThread=1\n' > "$work/brontavel.ini"

input=$(printf 'c\nst %s\n' "$seconds"
    grep -v '^#' "$file" | while IFS=';' read -r fen moves name; do
        printf 'setboard %s\ngo\n' "$fen"
    done
    printf 'quit\n')
out=$(cd "$work" && printf '%s\n' "$input" | "$root/build/brontavel")

printf '%s\n' "$out" | grep -o 'Bestmove: [a-h1-8qrbn]*' | awk '{ print $2 }' > "$work/found"
grep -v '^#' "$file" | paste -d';' - "$work/found" | awk -F';' -v secs="$seconds" '
    {
        n = split($2, best, " "); ok = 0
        for (i = 1; i <= n; ++i) if (best[i] == $4) ok = 1
        solved += ok; ++total
        printf "%-10s %-6s %-12s %s\n", $3, $4, $2, ok ? "solved" : "missed"
    }
    END { printf "solved %d of %d at %s s per position (1 thread)\n", solved, total, secs }'
