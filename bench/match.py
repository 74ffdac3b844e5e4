#!/usr/bin/env python3
"""Engine matches: N games between two engines with real clocks, several games at a time.

Every move is checked by an independent move generator (chess_rules.py). A game ends by
checkmate, stalemate, threefold repetition, the fifty-move rule, insufficient material or a ply
cap (adjudicated a draw). An illegal move, a crash, a hang or a loss on time is a fault: the game
is scored to the faulty engine's opponent, listed, and the exit status is 1.

Engines are named by their command line. A brontavel binary runs in its own working directory
with a settings file (no book, no tablebases); other UCI engines get Hash and Threads (and
OwnBook off) by setoption. Prefix an xboard engine's command with "xboard:".

    bench/match.py ENGINE1 ENGINE2 [--games N] [--tc 10+0.1] [--concurrency 2] [--hash 16]
    bench/match.py build/brontavel /usr/games/glaurung --games 40
    bench/match.py build/brontavel "xboard:/usr/games/phalanx -l- -b- -r0" --games 40

The openings are fixed; each is played twice, the engines swapping colours. Past the end of the
list the openings come round again with two more plies, legal moves drawn by a generator seeded
with the game pair's number, so that long matches do not repeat games. --first-pair N starts at
pair N: a second run of the same match plays new games (--first-pair 100 after 200 games).
"""

import argparse
import math
import os
import queue
import random
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chess_rules as rules  # noqa: E402

OPENINGS = [
    "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6",
    "d2d4 d7d5 c2c4 e7e6 b1c3 g8f6",
    "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4",
    "d2d4 g8f6 c2c4 g7g6 b1c3 f8g7",
    "e2e4 e7e6 d2d4 d7d5 b1c3 f8b4",
    "c2c4 e7e5 b1c3 g8f6 g2g3 d7d5",
    "e2e4 c7c6 d2d4 d7d5 e4e5 c8f5",
    "g1f3 d7d5 g2g3 g8f6 f1g2 c7c6",
    "e2e4 e7e5 f2f4 e5f4 g1f3 g7g5",
    "d2d4 d7d5 c1f4 g8f6 e2e3 c7c5",
    "e2e4 d7d5 e4d5 d8d5 b1c3 d5a5",
    "d2d4 g8f6 c2c4 e7e6 g1f3 b7b6",
    "e2e4 g7g6 d2d4 f8g7 b1c3 d7d6",
    "c2c4 c7c5 b1c3 b8c6 g2g3 g7g6",
    "e2e4 e7e5 g1f3 g8f6 f3e5 d7d6",
    "d2d4 f7f5 g2g3 g8f6 f1g2 e7e6",
    "e2e4 c7c5 b1c3 b8c6 g2g3 g7g6",
    "d2d4 d7d5 c2c4 d5c4 g1f3 g8f6",
    "e2e4 b8c6 d2d4 d7d5 b1c3 d5e4",
    "b2b3 e7e5 c1b2 b8c6 e2e3 g8f6",
]


class EngineError(Exception):
    pass


class Engine:
    """One engine process, read by a thread into a queue."""

    def __init__(self, command_line, name, args, eval_file=None):
        self.name = name
        self.xboard = command_line.startswith("xboard:")
        command = shlex.split(command_line[len("xboard:"):] if self.xboard else command_line)
        if os.sep in command[0]:
            command[0] = os.path.abspath(command[0])  # the engine runs in a directory of its own
        self.ours = os.path.basename(command[0]).startswith("brontavel")
        self.dir = tempfile.mkdtemp(prefix="brontavel-match-")
        if self.ours:
            with open(os.path.join(self.dir, "brontavel.ini"), "w") as f:
                f.write("[ENGINE]\nHashSize=%d\nThread=%d\nEvalFile=%s\n[BOOK]\nBook=false\n"
                        "[TABLEBASE]\nSyzygy=false\n"
                        % (args.hash, args.threads, os.path.abspath(eval_file) if eval_file else ""))
        self.args = args
        try:
            self.proc = subprocess.Popen(command, cwd=self.dir, stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                         text=True, bufsize=1)
        except OSError as e:
            raise EngineError("%s: cannot start %s: %s" % (name, command[0], e))
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.options = set()
        self.usermove = self.memory = False

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\r\n"))
        self.lines.put(None)

    def send(self, line):
        try:
            self.proc.stdin.write(line + "\n")
            self.proc.stdin.flush()
        except (BrokenPipeError, OSError):
            raise EngineError("%s: crash (its input is closed)" % self.name)

    def wait_for(self, prefixes, timeout):
        """The first line beginning with one of prefixes; EngineError on a crash or a time-out."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise EngineError("%s: hang (no %s within %.1f s)" % (self.name, prefixes, timeout))
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise EngineError("%s: crash (exit status %s)" % (self.name, self.proc.wait()))
            if line.startswith(prefixes):
                return line
            if not self.xboard and line.startswith("option name "):
                self.options.add(line[12:].split(" type ")[0].strip().lower())
            if self.xboard and line.startswith("feature "):
                self.usermove = self.usermove or "usermove=1" in line
                self.memory = self.memory or "memory=1" in line

    def start(self):
        if self.xboard:
            self.send("xboard")
            self.send("protover 2")
            self.send("ping 1")
            self.wait_for("pong", 30)
            if self.memory:
                self.send("memory %d" % self.args.hash)
            return
        self.send("uci")
        self.wait_for("uciok", 30)
        for name, value in (("hash", self.args.hash), ("threads", self.args.threads),
                            ("ownbook", "false")):
            if name in self.options:
                self.send("setoption name %s value %s" % (name, value))
        self.send("isready")
        self.wait_for("readyok", 60)

    def new_game(self, moves, base_ms, inc_ms):
        if self.xboard:
            self.send("new")
            self.send("easy")
            self.send("force")
            self.send("level 0 %d:%02d %g" % (base_ms // 60000, base_ms // 1000 % 60,
                                               inc_ms / 1000.0))
            for m in moves:
                self.send(("usermove " if self.usermove else "") + m)
            self.send("ping 2")
            self.wait_for("pong", 30)
        else:
            self.send("ucinewgame")
            self.send("isready")
            self.wait_for("readyok", 60)

    def think(self, moves, clock, inc_ms, white, timeout):
        """The engine's move after `moves`; an xboard engine is told the moves it has not seen."""
        if self.xboard:
            own, other = (clock[True], clock[False]) if white else (clock[False], clock[True])
            self.send("time %d" % max(int(own / 10), 1))
            self.send("otim %d" % max(int(other / 10), 1))
            for m in moves[self.told:]:
                self.send(("usermove " if self.usermove else "") + m)
            self.send("go")
            line = self.wait_for(("move ", "resign", "1-0", "0-1", "1/2-1/2"), timeout)
            self.send("force")
            move = line.split()[1] if line.startswith("move ") else ""
            # Castling may come in the short notation.
            castle = {"O-O": "g", "0-0": "g", "O-O-O": "c", "0-0-0": "c"}.get(move)
            return "e%s%s%s" % ("1" if white else "8", castle, "1" if white else "8") \
                if castle else move
        self.send("position startpos moves " + " ".join(moves) if moves else "position startpos")
        self.send("go wtime %d btime %d winc %d binc %d"
                  % (int(clock[True]), int(clock[False]), inc_ms, inc_ms))
        words = self.wait_for("bestmove", timeout).split()
        return words[1] if len(words) > 1 else ""

    def close(self):
        """Sends quit; returns the exit status (None when the engine had to be killed)."""
        status = None
        try:
            if self.proc.poll() is None:
                self.send("quit")
            status = self.proc.wait(timeout=10)
        except (EngineError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)
        return status


def game_over(pos, legal, seen, plies, max_plies):
    """(result, reason) when the game has ended, else None. Results are seen from White."""
    if not legal:
        if rules.in_check(pos):
            return ("0-1" if pos.white else "1-0"), "checkmate"
        return "1/2-1/2", "stalemate"
    if pos.halfmove >= 100:
        return "1/2-1/2", "fifty-move rule"
    if seen.get(rules.repetition_key(pos), 0) >= 3:
        return "1/2-1/2", "threefold repetition"
    if rules.insufficient_material(pos.board):
        return "1/2-1/2", "insufficient material"
    if plies >= max_plies:
        return "1/2-1/2", "adjudicated at %d plies" % max_plies
    return None


def opening_of(pair):
    """The opening moves of a game pair."""
    moves = OPENINGS[pair % len(OPENINGS)].split()
    if pair >= len(OPENINGS):
        draw = random.Random(pair)
        pos = rules.Position.start()
        for move in moves:
            pos = rules.make_move(pos, move)
        for _ in range(2):
            legal = sorted(rules.legal_moves(pos))
            if not legal:
                break
            move = draw.choice(legal)
            pos = rules.make_move(pos, move)
            moves.append(move)
    return " ".join(moves)


def play_game(white, black, opening, args, times, fens=None):
    """One game: (result, reason, plies, fault or None); `times` gets (engine, used, clock) and
    `fens`, when given, the FEN of every position after the opening."""
    pos = rules.Position.start()
    moves = []
    seen = {rules.repetition_key(pos): 1}
    for move in opening.split():
        if move not in rules.legal_moves(pos):
            raise SystemExit("opening %s: illegal move %s" % (opening, move))
        pos = rules.make_move(pos, move)
        moves.append(move)
        seen[rules.repetition_key(pos)] = seen.get(rules.repetition_key(pos), 0) + 1
    base, inc = int(args.base * 1000), int(args.inc * 1000)
    for engine in (white, black):
        engine.new_game(moves, base, inc)
        engine.told = len(moves)
    clock = {True: float(base), False: float(base)}  # milliseconds, by "White to move"
    while True:
        legal = rules.legal_moves(pos)
        ended = game_over(pos, legal, seen, len(moves), args.max_plies)
        if ended:
            return ended[0], ended[1], len(moves), None
        engine = white if pos.white else black
        ply = len(moves) + 1
        started = time.monotonic()
        try:
            move = engine.think(moves, clock, inc, pos.white, clock[pos.white] / 1000 + args.grace)
        except EngineError as e:
            return None, None, len(moves), (engine, "%s at ply %d" % (e, ply))
        used = (time.monotonic() - started) * 1000
        engine.told = len(moves) + 1
        times.append((engine.label, used, clock[pos.white]))
        if used > clock[pos.white]:
            return None, None, len(moves), (engine, "%s: loss on time at ply %d (%.0f ms used, "
                                            "%.0f ms left)" % (engine.name, ply, used,
                                                               clock[pos.white]))
        if move not in legal:
            return None, None, len(moves), (engine, "%s: illegal move '%s' at ply %d after %s" % (
                engine.name, move, ply, " ".join(moves)))
        clock[pos.white] += inc - used
        pos = rules.make_move(pos, move)
        moves.append(move)
        if fens is not None:
            fens.append(rules.fen(pos, len(moves) // 2 + 1))
        seen[rules.repetition_key(pos)] = seen.get(rules.repetition_key(pos), 0) + 1


def elo(score):
    score = min(max(score, 1e-6), 1 - 1e-6)
    return -400 * math.log10(1 / score - 1)


def elo_with_error(wins, draws, losses):
    """The Elo difference and the half-width of its 95 % interval."""
    n = wins + draws + losses
    if n == 0:
        return 0.0, 0.0
    s = (wins + draws / 2) / n
    var = (wins * (1 - s) ** 2 + draws * (0.5 - s) ** 2 + losses * s ** 2) / n
    margin = 1.96 * math.sqrt(var / n)
    return elo(s), (elo(s + margin) - elo(s - margin)) / 2


class Match:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.next_game = 0
        self.score = [0, 0, 0]  # wins, draws, losses of engine 1
        self.faults = []
        self.times = []
        self.positions = open(args.positions, "a") if args.positions else None

    def take_game(self):
        with self.lock:
            if self.next_game >= self.args.games:
                return None
            self.next_game += 1
            return self.next_game - 1

    def start_engines(self):
        engines = []
        try:
            for i, command_line in enumerate(self.args.engines):
                e = Engine(command_line, self.args.names[i], self.args, self.args.eval_file[i])
                e.label = i
                engines.append(e)
                e.start()
        except EngineError:
            for e in engines:
                e.close()
            raise
        return engines

    def worker(self):
        engines = None
        while True:
            game = self.take_game()
            if game is None:
                break
            if engines is None:
                try:
                    engines = self.start_engines()
                except EngineError as e:
                    self.record(game, None, "", 0, str(e), 0.0, True, faulty=-1)
                    continue
            opening = opening_of(self.args.first_pair + game // 2)
            one_white = game % 2 == 0
            white, black = (engines[0], engines[1]) if one_white else (engines[1], engines[0])
            started = time.monotonic()
            times, fens = [], []
            try:
                result, reason, plies, fault = play_game(white, black, opening, self.args, times,
                                                         fens)
            except EngineError as e:
                result, reason, plies, fault = None, None, 0, (None, str(e))
            finally:
                with self.lock:
                    self.times.extend(times)
            took = time.monotonic() - started
            if fault:
                faulty, text = fault
                # The faulty engine loses the game; the engines start afresh.
                result = None if faulty is None else ("0-1" if faulty is white else "1-0")
                for e in engines:
                    e.close()
                engines = None
                self.record(game, result, opening, plies, text, took, one_white,
                            faulty=-1 if faulty is None else faulty.label)
                continue
            self.record(game, result, opening, plies, reason, took, one_white)
            if self.positions:
                # Tuning data: every position of a game that ended by the rules or by
                # adjudication, labelled with its result.
                with self.lock:
                    self.positions.writelines("%s;%s;\n" % (f, result) for f in fens)
                    self.positions.flush()
        if engines:
            for e in engines:
                status = e.close()
                if status not in (0, None) and e.ours:
                    with self.lock:
                        self.faults.append((e.label, "%s: exit status %s after quit"
                                            % (e.name, status)))

    def record(self, game, result, opening, plies, text, took, one_white, faulty=None):
        """Scores a game; `faulty` is the label of the engine at fault (-1: unknown)."""
        fault = faulty is not None
        with self.lock:
            if result is not None:
                if result == "1/2-1/2":
                    self.score[1] += 1
                elif (result == "1-0") == one_white:
                    self.score[0] += 1
                else:
                    self.score[2] += 1
            if fault:
                self.faults.append((faulty, "game %d: %s" % (game + 1, text)))
            first = self.args.names[0] if one_white else self.args.names[1]
            print("game %3d: %-12s white, %-36s %-7s %-30s %3d plies %5.1f s%s"
                  % (game + 1, first, opening, result or "-", text, plies, took,
                     "  FAULT" if fault else ""), flush=True)

    def report(self, wall):
        w, d, l = self.score
        n = w + d + l
        print()
        print("%s vs %s: %d games, %.1f s + %.2f s, hash %d MB, %d thread(s), %.0f s"
              % (self.args.names[0], self.args.names[1], n, self.args.base, self.args.inc,
                 self.args.hash, self.args.threads, wall))
        if n:
            e, margin = elo_with_error(w, d, l)
            print("W/D/L:          +%d =%d -%d" % (w, d, l))
            print("score:          %.1f / %d (%.1f %%)" % (w + d / 2, n, 100.0 * (w + d / 2) / n))
            print("Elo difference: %+.0f +/- %.0f (95 %%)" % (e, margin))
        for label in (0, 1):
            used = [(u, c) for who, u, c in self.times if who == label]
            if used:
                print("%-15s %d moves, %.0f ms per move on average, at most %.0f ms; "
                      "each move used %.1f %% of the time on the clock on average"
                      % (self.args.names[label] + ":", len(used),
                         sum(u for u, _ in used) / len(used), max(u for u, _ in used),
                         100.0 * sum(u / c for u, c in used if c > 0) / len(used)))
        print("faults:         %d" % len(self.faults))
        for _, f in self.faults:
            print("  " + f)


def run(argv=None):
    """Plays the match that the command-line arguments describe; returns the Match."""
    parser = argparse.ArgumentParser(description="Engine matches with real clocks.")
    parser.add_argument("engines", nargs=2, metavar="ENGINE",
                        help='command line of an engine ("xboard:" before an xboard engine)')
    parser.add_argument("--games", type=int, default=40)
    parser.add_argument("--tc", default="10+0.1", help="seconds per game + increment per move")
    parser.add_argument("--concurrency", type=int, default=2, help="games played at a time")
    parser.add_argument("--hash", type=int, default=16, help="MB for each engine's table")
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--max-plies", type=int, default=400)
    parser.add_argument("--grace", type=float, default=5.0,
                        help="seconds past the clock before a silent engine counts as hung")
    parser.add_argument("--eval-file", nargs=2, metavar="FILE", default=[None, None],
                        help="weight files for our engines' EvalFile, '-' for the built-in ones")
    parser.add_argument("--names", nargs=2, metavar="NAME", help="names for the report")
    parser.add_argument("--first-pair", type=int, default=0, metavar="N",
                        help="number of the first game pair (its opening): a later run of the "
                             "same match plays other openings")
    parser.add_argument("--positions", metavar="FILE",
                        help='append "FEN;result;" lines of every position after the opening of '
                             "every game that ended without a fault (tuning data)")
    args = parser.parse_args(argv)
    base, _, inc = args.tc.partition("+")
    args.base, args.inc = float(base), float(inc or 0)
    args.eval_file = [None if f in (None, "", "-") else f for f in args.eval_file]
    if not args.names:
        args.names = [os.path.basename(shlex.split(e.replace("xboard:", "", 1))[0])
                      for e in args.engines]
        if args.names[0] == args.names[1]:
            args.names = [args.names[0] + "-1", args.names[1] + "-2"]
    match = Match(args)
    wall = time.monotonic()
    workers = [threading.Thread(target=match.worker) for _ in range(max(args.concurrency, 1))]
    for t in workers:
        t.start()
    for t in workers:
        t.join()
    match.report(time.monotonic() - wall)
    if match.positions:
        match.positions.close()
    return match


def main():
    return 1 if run().faults else 0


if __name__ == "__main__":
    sys.exit(main())
