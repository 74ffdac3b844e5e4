#!/usr/bin/env python3
"""Complete games through UCI as a match tool plays them: real clocks, every move checked by the
independent move generator of bench/chess_rules.py.  Usage: games_test.py ENGINE

The engine plays itself, then the Debian engines glaurung (UCI) and phalanx (xboard) where they
are installed. A fault of the engine (illegal move, crash, hang, loss on time, an unclean exit)
fails the test; an opponent's own faults are only reported.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import chess_rules as rules  # noqa: E402
import match  # noqa: E402


def play(pos, moves):
    for m in moves.split():
        pos = rules.make_move(pos, m)
    return pos


def perft(pos, depth):
    if depth == 0:
        return 1
    return sum(perft(rules.make_move(pos, m), depth - 1) for m in rules.legal_moves(pos))


def main():
    engine = sys.argv[1]
    start = rules.Position.start()
    # The referee itself: the known count, en passant, and no castling out of check.
    results = [perft(start, 3) == 8902
               and "e5f6" in rules.legal_moves(play(start, "e2e4 d7d5 e4e5 f7f5"))
               and "e1g1" not in rules.legal_moves(
                   play(start, "e2e4 e7e5 g1f3 f8c5 f1c4 d8h4 f3h4 g8f6 d2d3 c5f2"))]
    opponents = [(engine, "self-play")]
    for path, how in (("/usr/games/glaurung", "/usr/games/glaurung"),
                      ("/usr/games/phalanx", "xboard:/usr/games/phalanx -l- -b- -r0")):
        if os.access(path, os.X_OK):
            opponents.append((how, os.path.basename(path)))
        else:
            print("skipped: %s is not installed" % path)
    for how, name in opponents:
        print("== %s" % name, flush=True)
        m = match.run([engine, how, "--games", "2", "--tc", "3+0.03", "--max-plies", "160"])
        own = [text for who, text in m.faults if who != 1 or how == engine]
        results.append(not own and sum(m.score) == 2)
    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
