#!/usr/bin/env bash
# Move-generator benchmark: runs the console "perft" command of the Release engine, prints its
# report and checks every calculated node count against the expected one.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Build (or bring up to date) the Release engine.
make --no-print-directory -s build >&2

# The report starts on the prompt line; drop the prompt and keep the report lines.
report=$(printf 'c\nperft\nquit\n' | ./build/brontavel |
    sed -n 's/^brontavel> //; /^Running benchmark/,/^Total elapsed time/p')
printf '%s\n\n' "$report"

printf '%s\n' "$report" | awk '
    /^Expected value:/   { expected[++e] = $3 }
    /^Calculated value:/ { calculated[++c] = $3 }
    END {
        bad = (e == 0 || e != c)
        for (i = 1; i <= e; i++) if (expected[i] != calculated[i]) {
            printf "position %d: expected %s, calculated %s\n", i, expected[i], calculated[i]
            bad = 1
        }
        if (bad) { printf "FAIL (%d expected, %d calculated values)\n", e, c; exit 1 }
        printf "PASS (%d positions)\n", e
    }'
