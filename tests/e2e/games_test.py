#!/usr/bin/env python3
"""Usage: games_test.py ENGINE. Complete games through UCI with real clocks against itself, then
glaurung (UCI) and phalanx (xboard) where installed, every move checked by bench/chess_rules.py;
only the engine's own faults (illegal move, crash, hang, loss on time, unclean exit) fail it."""

import functools
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import chess_rules as rules  # noqa: E402
import match  # noqa: E402


def perft(pos, depth):
    return 1 if depth == 0 else sum(perft(rules.make_move(pos, m), depth - 1)
                                    for m in rules.legal_moves(pos))


def main():
    engine = sys.argv[1]
    start = rules.Position.start()

    def legal_after(moves):
        return rules.legal_moves(functools.reduce(rules.make_move, moves.split(), start))

    # The referee itself: the known count, en passant, and no castling out of check.
    results = [perft(start, 3) == 8902 and "e5f6" in legal_after("e2e4 d7d5 e4e5 f7f5")
               and "e1g1" not in legal_after("e2e4 e7e5 g1f3 f8c5 f1c4 d8h4 f3h4 g8f6 d2d3 c5f2")]
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
