"""Rules of chess for the match and game scripts: an independent legal-move generator on a
64-square list, game-end rules, and the start position. It shares no code with the engine, so a
move it rejects is a real fault of the engine.
"""

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


def fen(pos, fullmove=1):
    """The position as FEN text."""
    ranks = []
    for r in range(7, -1, -1):
        text, gap = "", 0
        for f in range(8):
            piece = pos.board[r * 8 + f]
            if piece == ".":
                gap += 1
                continue
            text += (str(gap) if gap else "") + piece
            gap = 0
        ranks.append(text + (str(gap) if gap else ""))
    return "%s %s %s %s %d %d" % ("/".join(ranks), "w" if pos.white else "b", pos.castling or "-",
                                  square_name(pos.ep) if pos.ep is not None else "-",
                                  pos.halfmove, fullmove)


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


