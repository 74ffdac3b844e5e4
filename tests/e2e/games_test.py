#!/usr/bin/env python3
"""Complete games through the UCI protocol, driven like a match tool drives the engine: real
clocks, every move checked by the independent move generator of bench/chess_rules.py.

    tests/e2e/games_test.py ENGINE

The engine plays itself, then each opponent found among the Debian engines glaurung (UCI) and
phalanx (xboard). A fault of the engine (illegal move, crash, hang, loss on time, an unclean
exit) fails the test; an opponent's own faults are only reported.
"""

import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import chess_rules as rules  # noqa: E402
import match  # noqa: E402


def perft(pos, depth):
    if depth == 0:
        return 1
    return sum(perft(rules.make_move(pos, m), depth - 1) for m in rules.legal_moves(pos))


def checker_is_sound():
    """The move checker itself against known move counts (start position and a castling and
    en passant position after two plies)."""
    start = rules.Position.start()
    after = start
    for m in "e2e4 d7d5 e4e5 f7f5".split():
        after = rules.make_move(after, m)
    ok = perft(start, 3) == 8902 and "e5f6" in rules.legal_moves(after)
    # Castling is refused out of check.
    pos = start
    for m in "e2e4 e7e5 g1f3 f8c5 f1c4 d8h4 f3h4 g8f6 d2d3 c5f2".split():
        pos = rules.make_move(pos, m)
    return ok and "e1g1" not in rules.legal_moves(pos)


def main():
    engine = sys.argv[1]
    results = []
    if not checker_is_sound():
        print("the move checker disagrees with the known move counts")
        results.append(False)
    opponents = [(engine, "self-play")]
    for path, spec in (("/usr/games/glaurung", "/usr/games/glaurung"),
                       ("/usr/games/phalanx", "xboard:/usr/games/phalanx -l- -b- -r0")):
        if os.access(path, os.X_OK):
            opponents.append((spec, os.path.basename(path)))
        else:
            print("skipped: %s is not installed" % path)
    for spec, name in opponents:
        print("== %s" % name, flush=True)
        m = match.run([engine, spec, "--games", "2", "--tc", "3+0.03", "--max-plies", "160"])
        own = [text for who, text in m.faults if who != 1 or spec == engine]
        played = sum(m.score)
        results.append(not own and played == 2)
    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
