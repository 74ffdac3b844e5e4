#!/usr/bin/env python3
"""Self-play through UCI: two engine processes play each other like a GUI would drive them.

Each engine runs in its own temporary working directory holding a small settings file. The script
keeps real clocks, checks every move with its own move generator, and ends games by checkmate,
stalemate, threefold repetition, the fifty-move rule, insufficient material or a ply cap
(adjudicated draw). A loss on time, an illegal move, a crash or a hang is a failure; the exit
status is 1 if any game failed.

    bench/selfplay.py [--games N] [--engine PATH] [--time S] [--inc S] [...]
"""

import argparse
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

# ---------------------------------------------------------------------------------------------
# Rules of chess: a compact legal-move generator on a 64-square list.
# Squares: a1 = 0 ... h8 = 63. Pieces: "PNBRQK" White, "pnbrqk" Black, "." empty.

FILES = "abcdefgh"
KNIGHT_STEPS = [(1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2)]
KING_STEPS = [(1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1)]
DIAGONALS = [(1, 1), (1, -1), (-1, 1), (-1, -1)]
LINES = [(1, 0), (-1, 0), (0, 1), (0, -1)]


def square(name):
    return FILES.index(name[0]) + 8 * (int(name[1]) - 1)


def square_name(sq):
    return FILES[sq % 8] + str(sq // 8 + 1)


def on_board(f, r):
    return 0 <= f < 8 and 0 <= r < 8


def is_white(piece):
    return piece.isupper()


class Position:
    __slots__ = ("board", "white", "castling", "ep", "halfmove")

    def __init__(self, board, white, castling, ep, halfmove):
        self.board = board  # list of 64 piece letters
        self.white = white  # White to move
        self.castling = castling  # subset of "KQkq"
        self.ep = ep  # en passant target square or None
        self.halfmove = halfmove

    @staticmethod
    def start():
        rank1, rank8 = list("RNBQKBNR"), list("rnbqkbnr")
        board = rank1 + ["P"] * 8 + ["."] * 32 + ["p"] * 8 + rank8
        return Position(board, True, "KQkq", None, 0)


def attacked(board, sq, by_white):
    """Whether the side `by_white` attacks square sq."""
    f, r = sq % 8, sq // 8
    pawn, knight, bishop, rook, queen, king = "PNBRQK" if by_white else "pnbrqk"
    pawn_rank = r - 1 if by_white else r + 1
    for df in (-1, 1):
        if on_board(f + df, pawn_rank) and board[pawn_rank * 8 + f + df] == pawn:
            return True
    for df, dr in KNIGHT_STEPS:
        if on_board(f + df, r + dr) and board[(r + dr) * 8 + f + df] == knight:
            return True
    for df, dr in KING_STEPS:
        if on_board(f + df, r + dr) and board[(r + dr) * 8 + f + df] == king:
            return True
    for steps, slider in ((DIAGONALS, bishop), (LINES, rook)):
        for df, dr in steps:
            nf, nr = f + df, r + dr
            while on_board(nf, nr):
                p = board[nr * 8 + nf]
                if p != ".":
                    if p == slider or p == queen:
                        return True
                    break
                nf, nr = nf + df, nr + dr
    return False


def king_square(board, white):
    return board.index("K" if white else "k")


def in_check(pos):
    return attacked(pos.board, king_square(pos.board, pos.white), not pos.white)


def pseudo_moves(pos):
    board, white = pos.board, pos.white
    moves = []
    for sq, p in enumerate(board):
        if p == "." or is_white(p) != white:
            continue
        f, r = sq % 8, sq // 8
        kind = p.upper()
        if kind == "P":
            up = 1 if white else -1
            last = 7 if white else 0
            start = 1 if white else 6

            def add(to):
                if to // 8 == last:
                    moves.extend(square_name(sq) + square_name(to) + q for q in "qrbn")
                else:
                    moves.append(square_name(sq) + square_name(to))

            one = sq + 8 * up
            if board[one] == ".":
                add(one)
                two = one + 8 * up
                if r == start and board[two] == ".":
                    moves.append(square_name(sq) + square_name(two))
            for df in (-1, 1):
                if not on_board(f + df, r + up):
                    continue
                to = (r + up) * 8 + f + df
                target = board[to]
                if (target != "." and is_white(target) != white) or to == pos.ep:
                    add(to)
        elif kind in "NK":
            for df, dr in KNIGHT_STEPS if kind == "N" else KING_STEPS:
                if on_board(f + df, r + dr):
                    to = (r + dr) * 8 + f + df
                    target = board[to]
                    if target == "." or is_white(target) != white:
                        moves.append(square_name(sq) + square_name(to))
        else:
            steps = {"B": DIAGONALS, "R": LINES, "Q": DIAGONALS + LINES}[kind]
            for df, dr in steps:
                nf, nr = f + df, r + dr
                while on_board(nf, nr):
                    to = nr * 8 + nf
                    target = board[to]
                    if target == "." or is_white(target) != white:
                        moves.append(square_name(sq) + square_name(to))
                    if target != ".":
                        break
                    nf, nr = nf + df, nr + dr
    # Castling: king and rook at home, squares between empty, king's path not attacked.
    home = 0 if white else 56
    king, rook = ("K", "R") if white else ("k", "r")
    if board[home + 4] == king:
        rights = pos.castling
        if ((white and "K" in rights) or (not white and "k" in rights)) and board[home + 7] == rook \
                and board[home + 5] == "." and board[home + 6] == "." \
                and not any(attacked(board, home + i, not white) for i in (4, 5, 6)):
            moves.append(square_name(home + 4) + square_name(home + 6))
        if ((white and "Q" in rights) or (not white and "q" in rights)) and board[home] == rook \
                and board[home + 1] == "." and board[home + 2] == "." and board[home + 3] == "." \
                and not any(attacked(board, home + i, not white) for i in (4, 3, 2)):
            moves.append(square_name(home + 4) + square_name(home + 2))
    return moves


def make_move(pos, move):
    """The position after a pseudo-legal move given as coordinate text."""
    board = list(pos.board)
    frm, to = square(move[0:2]), square(move[2:4])
    piece = board[frm]
    capture = board[to] != "."
    ep = None
    if piece in "Pp":
        if to == pos.ep and not capture:
            board[to - 8 if piece == "P" else to + 8] = "."
            capture = True
        if abs(to - frm) == 16:
            ep = (frm + to) // 2
    board[to] = piece
    board[frm] = "."
    if len(move) == 5:
        board[to] = move[4].upper() if piece == "P" else move[4]
    if piece in "Kk" and abs(to - frm) == 2:
        rook_from, rook_to = (frm + 3, frm + 1) if to > frm else (frm - 4, frm - 1)
        board[rook_to] = board[rook_from]
        board[rook_from] = "."
    castling = pos.castling
    for sq, lost in ((4, "KQ"), (0, "Q"), (7, "K"), (60, "kq"), (56, "q"), (63, "k")):
        if frm == sq or to == sq:
            castling = "".join(c for c in castling if c not in lost)
    halfmove = 0 if capture or piece in "Pp" else pos.halfmove + 1
    return Position(board, not pos.white, castling, ep, halfmove)


def legal_moves(pos):
    result = []
    for move in pseudo_moves(pos):
        after = make_move(pos, move)
        if not attacked(after.board, king_square(after.board, pos.white), after.white):
            result.append(move)
    return result


def repetition_key(pos):
    # The en passant square counts only when a capture there is possible.
    ep = None
    if pos.ep is not None:
        pawn = "P" if pos.white else "p"
        f, r = pos.ep % 8, pos.ep // 8
        from_rank = r - 1 if pos.white else r + 1
        if any(on_board(f + df, from_rank) and pos.board[from_rank * 8 + f + df] == pawn
               for df in (-1, 1)):
            ep = pos.ep
    return ("".join(pos.board), pos.white, pos.castling, ep)


def insufficient_material(board):
    others = [(sq, p) for sq, p in enumerate(board) if p not in ".Kk"]
    if not others:
        return True
    if len(others) == 1 and others[0][1] in "NBnb":
        return True
    # Only bishops, all on squares of one colour.
    if all(p in "Bb" for _, p in others):
        colours = {(sq % 8 + sq // 8) % 2 for sq, _ in others}
        return len(colours) == 1
    return False


# ---------------------------------------------------------------------------------------------
# Engines


class EngineError(Exception):
    pass


class Engine:
    """One engine process in its own working directory, read by a thread into a queue."""

    def __init__(self, path, name, hash_mb, threads):
        self.name = name
        self.dir = tempfile.mkdtemp(prefix="brontavel-selfplay-")
        with open(os.path.join(self.dir, "brontavel.ini"), "w") as f:
            f.write("[ENGINE]\nHashSize=%d\nThread=%d\n" % (hash_mb, threads))
        self.proc = subprocess.Popen([path], cwd=self.dir, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True, bufsize=1)
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\r\n"))
        self.lines.put(None)

    def send(self, line):
        try:
            self.proc.stdin.write(line + "\n")
            self.proc.stdin.flush()
        except (BrokenPipeError, OSError):
            raise EngineError("%s: crashed (input closed)" % self.name)

    def wait_for(self, prefix, timeout):
        """The first line beginning with prefix; EngineError on a crash or after timeout."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise EngineError("%s: hang (no '%s' within %.1f s)" % (self.name, prefix, timeout))
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                code = self.proc.wait()
                raise EngineError("%s: crashed (exit status %s)" % (self.name, code))
            if line.startswith(prefix):
                return line

    def start(self):
        self.send("uci")
        self.wait_for("uciok", 30)
        self.send("isready")
        self.wait_for("readyok", 30)

    def close(self):
        """Sends quit and returns the exit status (None if the engine had to be killed)."""
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


# ---------------------------------------------------------------------------------------------
# Games

OPENINGS = [
    "e2e4 e7e5 g1f3 b8c6",
    "d2d4 d7d5 c2c4 e7e6",
    "e2e4 c7c5 g1f3 d7d6",
    "d2d4 g8f6 c2c4 g7g6",
    "e2e4 e7e6 d2d4 d7d5",
    "c2c4 e7e5",
    "e2e4 c7c6 d2d4 d7d5",
    "g1f3 d7d5 g2g3",
    "e2e4 e7e5 f2f4",
    "d2d4 d7d5 c1f4 g8f6 e2e3 c7c5",
]


def game_over(pos, legal, seen, plies, max_plies):
    """(result, reason) if the game has ended, else None. Results are seen from White."""
    if not legal:
        if in_check(pos):
            return ("0-1" if pos.white else "1-0"), "checkmate"
        return "1/2-1/2", "stalemate"
    if pos.halfmove >= 100:
        return "1/2-1/2", "fifty-move rule"
    if seen.get(repetition_key(pos), 0) >= 3:
        return "1/2-1/2", "threefold repetition"
    if insufficient_material(pos.board):
        return "1/2-1/2", "insufficient material"
    if plies >= max_plies:
        return "1/2-1/2", "adjudicated at %d plies" % max_plies
    return None


class Stats:
    def __init__(self):
        self.move_times = []
        self.slowest = None  # (milliseconds, where)
        self.game = 0


def play_game(white, black, opening, args, stats):
    """Plays one game. Returns (result, reason, plies, failure or None)."""
    pos = Position.start()
    moves = []
    seen = {repetition_key(pos): 1}
    for move in opening.split():
        if move not in legal_moves(pos):
            raise SystemExit("opening %s: illegal move %s" % (opening, move))
        pos = make_move(pos, move)
        moves.append(move)
        seen[repetition_key(pos)] = seen.get(repetition_key(pos), 0) + 1

    for engine in (white, black):
        engine.send("ucinewgame")
        engine.send("isready")
        engine.wait_for("readyok", 30)

    base, inc = int(args.time * 1000), int(args.inc * 1000)
    clock = {True: float(base), False: float(base)}  # milliseconds, by "White to move"
    while True:
        legal = legal_moves(pos)
        ended = game_over(pos, legal, seen, len(moves), args.max_plies)
        if ended:
            return ended[0], ended[1], len(moves), None
        engine = white if pos.white else black
        side = "White" if pos.white else "Black"
        engine.send("position startpos moves " + " ".join(moves))
        engine.send("go wtime %d btime %d winc %d binc %d"
                    % (int(clock[True]), int(clock[False]), inc, inc))
        started = time.monotonic()
        try:
            line = engine.wait_for("bestmove", clock[pos.white] / 1000 + args.grace)
        except EngineError as e:
            return None, None, len(moves), "%s (%s to move, ply %d)" % (e, side, len(moves) + 1)
        used = (time.monotonic() - started) * 1000
        stats.move_times.append(used)
        if stats.slowest is None or used > stats.slowest[0]:
            stats.slowest = (used, "game %d, %s, ply %d, %.0f ms on its clock"
                             % (stats.game, engine.name, len(moves) + 1, clock[pos.white]))
        words = line.split()
        move = words[1] if len(words) > 1 else ""
        if used > clock[pos.white]:
            return None, None, len(moves), "%s lost on time: %.0f ms used, %.0f ms left (ply %d)" % (
                engine.name, used, clock[pos.white], len(moves) + 1)
        if move not in legal:
            return None, None, len(moves), "%s played an illegal move '%s' (ply %d, moves %s)" % (
                engine.name, move, len(moves) + 1, " ".join(moves))
        clock[pos.white] += inc - used
        pos = make_move(pos, move)
        moves.append(move)
        key = repetition_key(pos)
        seen[key] = seen.get(key, 0) + 1


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Engine self-play through UCI.")
    parser.add_argument("--games", type=int, default=50)
    parser.add_argument("--engine", default=os.path.join(root, "build", "brontavel"))
    parser.add_argument("--time", type=float, default=10.0, help="seconds per game and side")
    parser.add_argument("--inc", type=float, default=0.1, help="increment per move, seconds")
    parser.add_argument("--hash", type=int, default=64, help="HashSize in MB")
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--max-plies", type=int, default=300)
    parser.add_argument("--grace", type=float, default=10.0,
                        help="seconds past the clock before a silent engine counts as hung")
    args = parser.parse_args()
    if not os.access(args.engine, os.X_OK):
        sys.exit("no engine at %s (build it first)" % args.engine)

    stats = Stats()
    score = {"win": 0, "draw": 0, "loss": 0}  # for engine 1
    by_colour = {"1-0": 0, "1/2-1/2": 0, "0-1": 0}
    failures = []
    engines = None
    print("%d games, %.1f s + %.2f s, hash %d MB, %d thread(s), engine %s"
          % (args.games, args.time, args.inc, args.hash, args.threads, args.engine), flush=True)
    wall = time.monotonic()
    for game in range(args.games):
        stats.game = game + 1
        if engines is None:
            engines = [Engine(args.engine, "engine 1", args.hash, args.threads),
                       Engine(args.engine, "engine 2", args.hash, args.threads)]
            try:
                for e in engines:
                    e.start()
            except EngineError as err:
                failures.append("game %d: start-up: %s" % (game + 1, err))
                print("game %3d: FAILURE start-up: %s" % (game + 1, err))
                for e in engines:
                    e.close()
                engines = None
                continue
        opening = OPENINGS[(game // 2) % len(OPENINGS)]
        one_is_white = game % 2 == 0
        white, black = (engines[0], engines[1]) if one_is_white else (engines[1], engines[0])
        started = time.monotonic()
        try:
            result, reason, plies, failure = play_game(white, black, opening, args, stats)
        except EngineError as err:
            result, reason, plies, failure = None, None, 0, str(err)
        took = time.monotonic() - started
        label = "game %3d: %s white, opening %-30s" % (game + 1, white.name, opening)
        if failure:
            failures.append("game %d: %s" % (game + 1, failure))
            print("%s FAILURE %s" % (label, failure), flush=True)
            # Start afresh: the engines' state is unknown now.
            for e in engines:
                e.close()
            engines = None
            continue
        by_colour[result] += 1
        if result == "1/2-1/2":
            score["draw"] += 1
        elif (result == "1-0") == one_is_white:
            score["win"] += 1
        else:
            score["loss"] += 1
        print("%s %-7s %-28s %3d plies %5.1f s" % (label, result, reason, plies, took), flush=True)

    if engines:
        for e in engines:
            status = e.close()
            if status != 0:
                failures.append("%s: exit status %s after quit" % (e.name, status))

    times = stats.move_times
    print()
    print("games played:   %d of %d (%.0f s)" % (sum(by_colour.values()), args.games,
                                                 time.monotonic() - wall))
    print("engine 1:       +%d =%d -%d" % (score["win"], score["draw"], score["loss"]))
    print("by colour:      1-0 %d, 1/2-1/2 %d, 0-1 %d"
          % (by_colour["1-0"], by_colour["1/2-1/2"], by_colour["0-1"]))
    if times:
        print("time per move:  average %.0f ms, maximum %.0f ms over %d moves"
              % (sum(times) / len(times), max(times), len(times)))
        print("slowest move:   %s" % stats.slowest[1])
    print("failures:       %d" % len(failures))
    for f in failures:
        print("  " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
