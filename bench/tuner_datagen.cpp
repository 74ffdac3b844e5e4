// Writes a data set for the tuner: "FEN;result;" lines from fast games the engine plays against
// itself.
//
// Each game opens with 8 random legal plies (so that the games differ). Without a node count both
// sides then pick the move with the best capture-only quiescence score after it, plus a random
// noise of up to +-30 centipawns; every position from the ninth ply on is written, labelled with
// the game's result: mate or stalemate as played, a draw by the fifty-move rule or bare kings,
// and otherwise, after 160 plies or once one side is ahead by 600 centipawns for 6 plies running,
// an adjudication by that quiescence score from White's view (above +150 a win, below -150 a
// loss, else a draw).
//
// With a node count each move is the engine's own search of about that many nodes (one thread,
// 16 MB), and the games are real games: mate, stalemate, repetition, the fifty-move rule and bare
// kings end them, a search score beyond 1000 centipawns for 8 plies running wins, and 400 plies
// draw.
//
//   tuner_datagen <positions> <file> [seed] [nodes]
//   tuner_datagen --ranges          (lists every row of the parameter table: name, min and max)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "config/settings.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "frontend/frontend.h"
#include "search/flags.h"
#include "search/search.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"

namespace {

constexpr int kOpeningPlies = 8;
constexpr int kMaxPlies = 160;
constexpr int kDecisive = 600;
constexpr int kDecisivePlies = 6;
constexpr int kAdjudicate = 150;
constexpr int kNoise = 30;

// Capture-only quiescence score of the current position, side to move's view.
int quiet_score(SearchThread& t) {
    return qsearch_counted(t, -1, 1, -INFINITE_SCORE, INFINITE_SCORE, 0);
}

const char* result_text(int white_score) {
    return white_score > 0 ? "1-0" : white_score < 0 ? "0-1" : "1/2-1/2";
}

constexpr int kSearchedWin = 1000;
constexpr int kSearchedWinPlies = 8;
constexpr int kSearchedMaxPlies = 400;

// One game of searched moves; its positions from the ninth ply on go to `lines`. Returns the
// result from White's view.
int searched_game(uint64_t nodes, std::mt19937_64& rng, std::vector<std::string>& lines) {
    SearchThread& main = main_search;
    new_game(main.stack);
    tt_clear();
    int decisive_run = 0;
    for (int ply = 0;; ++ply) {
        Board* cur = main.stack.current;
        MoveEntry list[MAX_MOVES];
        MoveEntry* end = gen_legal_moves(*cur, list);
        const int white = cur->side == WHITE ? 1 : -1;
        if (end == list) return king_attackers(*cur) ? -white : 0;
        if (cur->halfmove >= 100 || cur->repetitions >= 2 || popcount(occupied(*cur)) == 2)
            return 0;
        if (ply >= kSearchedMaxPlies) return 0;
        Move m;
        if (ply < kOpeningPlies) {
            m = list[std::uniform_int_distribution<long>(0, end - list - 1)(rng)].move;
        } else {
            char fen[FEN_BUFFER_SIZE];
            write_fen(*cur, fen);
            lines.push_back(std::string(fen) + std::to_string(cur->halfmove) + " 1");
            search_info.node_limit = nodes;
            search_info.max_depth = 64;
            search_flags.stop.store(0, std::memory_order_relaxed);
            main.engine_side = cur->side;
            time_control.start_ms = now_ms();
            const uint64_t r = think(main);
            m = result_move(r);
            const int score = result_score(r) * white;
            decisive_run = std::abs(score) >= kSearchedWin ? decisive_run + 1 : 0;
            if (decisive_run >= kSearchedWinPlies) return score > 0 ? 1 : -1;
        }
        make_move(cur, m, main.stack.boards);
        game_advance(main.stack);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--ranges") {
        for (const EvalParam& p : EvalParamTable) std::printf("%s %d %d\n", p.name, p.min, p.max);
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <positions> <file> [seed]\n", argv[0]);
        return 2;
    }
    const long wanted = std::atol(argv[1]);
    const uint64_t nodes = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 0;
    FILE* out = std::fopen(argv[2], "w");
    if (!out) {
        std::fprintf(stderr, "cannot create %s\n", argv[2]);
        return 1;
    }
    std::mt19937_64 rng(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1);
    std::uniform_int_distribution<int> noise(-kNoise, kNoise);
    ResetEvalParams();
    auto t = std::make_unique<SearchThread>();
    pawn_allocate(*t, 1 << 16, 1, 0, 0);
    search_flags.stop = 0;
    search_flags.abort = 0;

    long written = 0, games = 0;
    std::vector<std::string> lines;
    if (nodes) {
        frontend_mode = MODE_BENCH; // no iteration lines
        settings.threads = 1;
        settings.syzygy = false;
        settings.book = false;
        tt_allocate(tt_entries_for_mb(16), 16);
        pawn_allocate(search_thread(1), 1 << 16, 1, 0, 1);
        while (written < wanted) {
            lines.clear();
            const int white_result = searched_game(nodes, rng, lines);
            ++games;
            for (const std::string& fen : lines) {
                if (written >= wanted) break;
                std::fprintf(out, "%s;%s;\n", fen.c_str(), result_text(white_result));
                ++written;
            }
            if (games % 100 == 0)
                std::fprintf(stderr, "%ld positions, %ld games\n", written, games);
        }
        std::fclose(out);
        std::fprintf(stderr, "%ld positions from %ld games\n", written, games);
        return 0;
    }
    while (written < wanted) {
        new_game(t->stack);
        lines.clear();
        int white_result = 0; // +1 / 0 / -1, decided below
        int decisive_run = 0;
        bool over = false;
        for (int ply = 0; !over; ++ply) {
            Board* cur = t->stack.current;
            MoveEntry list[MAX_MOVES];
            MoveEntry* end = gen_legal_moves(*cur, list);
            const int white = cur->side == WHITE ? 1 : -1;
            if (end == list) {
                white_result = king_attackers(*cur) ? -white : 0;
                break;
            }
            if (cur->halfmove >= 100 || popcount(occupied(*cur)) == 2) break;
            if (ply >= kOpeningPlies) {
                char fen[FEN_BUFFER_SIZE];
                write_fen(*cur, fen);
                lines.push_back(std::string(fen) + std::to_string(cur->halfmove) + " 1");
                const int score = quiet_score(*t) * white;
                decisive_run = std::abs(score) >= kDecisive ? decisive_run + 1 : 0;
                if (ply >= kMaxPlies || decisive_run >= kDecisivePlies) {
                    white_result = score > kAdjudicate ? 1 : score < -kAdjudicate ? -1 : 0;
                    break;
                }
            }
            Move best = list[0].move;
            if (ply < kOpeningPlies) {
                best = list[std::uniform_int_distribution<long>(0, end - list - 1)(rng)].move;
            } else {
                int best_score = -1000000;
                for (MoveEntry* e = list; e < end; ++e) {
                    t->stack.current = make_move(cur, e->move, t->stack.boards);
                    const int score = -quiet_score(*t) + noise(rng);
                    t->stack.current = cur;
                    if (score > best_score) {
                        best_score = score;
                        best = e->move;
                    }
                }
            }
            make_move(cur, best, t->stack.boards);
            game_advance(t->stack);
        }
        ++games;
        for (const std::string& fen : lines) {
            if (written >= wanted) break;
            std::fprintf(out, "%s;%s;\n", fen.c_str(), result_text(white_result));
            ++written;
        }
    }
    std::fclose(out);
    std::fprintf(stderr, "%ld positions from %ld games\n", written, games);
    return 0;
}
