#include "search/think.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "board/makemove.h"
#include "board/movegen.h"
#include "config/settings.h"
#include "frontend/frontend.h"
#include "frontend/reports.h"
#include "search/flags.h"
#include "search/search.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

TimeControl time_control;
SearchInfo search_info;

namespace {

// The timer of the current search. It is started by the front-end's thread, or by the input
// monitor on "ponderhit", and ended by the front-end's thread: the handle is guarded.
std::mutex timer_lock;
std::thread timer_thread;
std::atomic<bool> timer_quit{false};
// A clock time (now_ms) past which no new iteration starts; 0 when the clock does not govern.
std::atomic<int64_t> soft_deadline_ms{0};

void timer(TimeControl tc) {
    while (!search_flags.stop.load(std::memory_order_relaxed) &&
           !timer_quit.load(std::memory_order_relaxed)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const int64_t elapsed = (now_ms() - tc.start_ms) / 10;
        if (elapsed > tc.move_time || elapsed > tc.hard) {
            search_flags.stop.store(1, std::memory_order_relaxed);
            search_flags.abort.store(1, std::memory_order_relaxed);
            return;
        }
    }
}

// "go searchmoves": only the listed moves that are legal here stay in the root list (all of them
// when none is).
void restrict_root_moves(SearchThread& main) {
    if (search_info.search_move_count == 0) return;
    MoveEntry* kept = main.root_moves;
    for (MoveEntry* e = main.root_moves; e < main.root_end; ++e) {
        const Move* wanted = search_info.search_moves;
        if (std::find(wanted, wanted + search_info.search_move_count, e->move) !=
            wanted + search_info.search_move_count)
            *kept++ = *e;
    }
    if (kept != main.root_moves) main.root_end = kept;
}

// A root move that beat the others searched so far, kept for a stop that comes before the end of
// the iteration when its search was not cut short.
void keep_if_complete(SearchThread& t, Move m, int score, const PVLine& pv) {
    if (!t.must_finish && search_flags.abort.load(std::memory_order_relaxed)) return;
    t.iteration_best = m;
    t.iteration_score = static_cast<int16_t>(score);
    t.iteration_pv = pv;
}

// The count a root move's search leaves for the next iteration's order. Counts are kept modulo
// 32000, which past a few plies mixes the order of the moves behind the table's move: in matches
// at 10 s + 0.1 s this played about 19 Elo better than ordering by the full counts with the best
// move first (400 games).
uint64_t ordering_count(uint64_t nodes) {
    return nodes % 32000;
}

} // namespace

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void stop_timer() {
    soft_deadline_ms.store(0, std::memory_order_relaxed);
    std::lock_guard<std::mutex> guard(timer_lock);
    if (!timer_thread.joinable()) return;
    timer_quit.store(true, std::memory_order_relaxed);
    timer_thread.join();
    timer_quit.store(false, std::memory_order_relaxed);
}

void allocate_time(TimeControl& tc, int generation) {
    stop_timer();
    search_flags.stop.store(0, std::memory_order_relaxed);
    // However the settings combine, the clock is shared out over at least this many moves.
    constexpr int kMinDivisor = 10;
    if (tc.moves_to_go < 1) {
        int d = tc.sudden_death;
        if (tc.own_time > tc.opponent_time)
            d -= tc.more_time;
        else if (tc.own_time < tc.opponent_time)
            d += tc.less_time;
        if (tc.own_time < 1501 && tc.increment < 201) d += tc.fast_game;
        if (generation < 21) d += tc.fast_opening;
        d = std::max(d, kMinDivisor);
        tc.allotted = static_cast<int32_t>(static_cast<float>(tc.own_time) / static_cast<float>(d));
    } else {
        tc.allotted = tc.own_time / std::max(tc.moves_to_go, kMinDivisor);
    }
    if (tc.increment > 0 && tc.own_time - tc.allotted - tc.increment > 500)
        tc.allotted += tc.increment;
    // Never plan to use the whole clock: keep 5% in hand, at least 0.3 s (half the clock when
    // less than that is left), and always allow a hundredth.
    const int32_t reserve = std::max(tc.own_time / 20, std::min(30, tc.own_time / 2));
    // The move overhead comes off every limit, the move time included.
    const int32_t overhead = (tc.overhead_ms + 9) / 10;
    const int32_t most = tc.own_time - reserve - overhead;
    // The allotted time is the target: no iteration starts past half of it. The hard limit, a
    // few times the target but never more than the clock allows, ends an iteration that runs
    // long.
    const int64_t target = tc.allotted;
    tc.allotted = static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(target, most), 1));
    tc.hard = static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(3 * target, most), 1));
    // Without a clock only a move time, a depth, a node count or "stop" ends the search.
    if (!tc.clock) tc.allotted = tc.hard = tc.own_time;
    TimeControl limits = tc;
    limits.move_time = std::max(tc.move_time - overhead, 1);
    if (tc.clock && tc.allotted < limits.move_time)
        soft_deadline_ms.store(tc.start_ms + int64_t{tc.allotted} * 10 / 2,
                               std::memory_order_relaxed);
    if (tc.opponent_time < 1200) {
        search_flags.ponder_move.store(0, std::memory_order_relaxed);
        search_flags.ponder_wait.store(0, std::memory_order_relaxed);
    }
    if (frontend_mode == MODE_CONSOLE && tc.move_time == 720000) return;
    std::lock_guard<std::mutex> guard(timer_lock);
    try {
        timer_thread = std::thread(timer, limits);
    } catch (const std::system_error&) {
        std::printf("#DEBUG Errore nella creazione del thread 1\n");
        std::exit(1);
    }
}

void sort_root_moves(MoveEntry* list, uint64_t* nodes, int count) {
    std::pair<uint64_t, MoveEntry> both[MAX_MOVES];
    for (int i = 0; i < count; ++i) both[i] = {nodes[i], list[i]};
    std::stable_sort(both, both + count,
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (int i = 0; i < count; ++i) {
        nodes[i] = both[i].first;
        list[i] = both[i].second;
    }
}

uint64_t root_search(SearchThread& t, int depth, int alpha, int beta, MoveEntry* list,
                     MoveEntry* end, int tb_limit, PVLine& pv) {
    Board* const cur = t.stack.current;
    pv.length = 0;
    t.iteration_best = 0;
    Move best = 0, hash_move = 0;
    int best_score = alpha;
    PVLine child;

    // The move the table remembers is searched first, when it is one of the root moves (not when
    // tablebases decided the root).
    if (tb_limit != 0) {
        uint64_t data = 0;
        if (tt_probe(*cur, &data, depth, 0, static_cast<int16_t>(alpha),
                     static_cast<int16_t>(beta)) != TT_MISS &&
            std::any_of(list, end, [&](const MoveEntry& e) { return e.move == tt_move(data); })) {
            hash_move = tt_move(data);
            t.stack.current = make_move(cur, hash_move, t.stack.boards);
            ++t.nodes;
            const uint64_t before = t.nodes;
            const int score = -search(t, depth - 1, 1, -beta, -best_score, tb_limit, child);
            t.stack.current = cur;
            const long at =
                std::find_if(list, end, [&](const MoveEntry& e) { return e.move == hash_move; }) -
                list;
            t.root_nodes[at] = ordering_count(t.nodes - before);
            if (score > best_score) {
                best = hash_move;
                best_score = score;
                pv.moves[0] = best;
                std::copy(child.moves, child.moves + std::min<int>(child.length, 62), pv.moves + 1);
                pv.length = static_cast<uint8_t>(std::min<int>(child.length, 62) + 1);
                keep_if_complete(t, best, best_score, pv);
            }
        }
    }

    const int count = static_cast<int>(end - list);
    uint64_t* const nodes = t.root_nodes;
    if (depth > 1 && count >= 2) sort_root_moves(list, nodes, count);

    // Most nodes in the last iteration first; every move is searched, there is no cut-off at the
    // root.
    for (MoveEntry* e = end - 1; e >= list; --e) {
        const Move m = e->move;
        if (m == hash_move) continue;
        t.stack.current = make_move(cur, m, t.stack.boards);
        ++t.nodes;
        const uint64_t before = t.nodes;
        int score;
        if (best) {
            score = -search(t, depth - 1, 1, -best_score - 1, -best_score, tb_limit, child);
            if (score > best_score)
                score = -search(t, depth - 1, 1, -beta, -best_score, tb_limit, child);
        } else {
            score = -search(t, depth - 1, 1, -beta, -best_score, tb_limit, child);
        }
        nodes[e - list] = ordering_count(t.nodes - before);
        t.stack.current = cur;
        if (score > best_score) {
            best = m;
            best_score = score;
            pv.moves[0] = m;
            std::copy(child.moves, child.moves + std::min<int>(child.length, 62), pv.moves + 1);
            pv.length = static_cast<uint8_t>(std::min<int>(child.length, 62) + 1);
            keep_if_complete(t, best, best_score, pv);
        }
    }
    tt_store(*cur, depth, 0, BOUND_EXACT, static_cast<int16_t>(best_score), best);
    return make_result(best, static_cast<int16_t>(best_score));
}

uint64_t think(SearchThread& main) {
    // 1-3. A fresh search. The stop flag was cleared by the front-end before it started a timer
    // or an input monitor, so that a "stop" that comes early is not lost.
    main.tb_limit = settings.syzygy_men;
    search_flags.abort.store(0, std::memory_order_relaxed);
    tt_new_search();
    search_info.pv.length = 0;
    search_info.ponder_move = 0;
    search_info.seldepth = 0;
    search_info.nodes = 0;
    search_info.tb_score = 0;
    search_info.tb_hits = 0;
    std::memset(static_cast<void*>(main.root_moves), 0, sizeof main.root_moves);
    std::memset(main.root_nodes, 0, sizeof main.root_nodes);
    main.depth = 0;
    main.seldepth = 0;
    main.alpha = -INFINITE_SCORE;
    main.beta = INFINITE_SCORE;

    // 4. The legal root moves; none means mate or stalemate: nothing to search.
    Board& root = *main.stack.current;
    main.root_end = gen_legal_moves(root, main.root_moves);
    restrict_root_moves(main);
    if (main.root_end == main.root_moves) {
        search_info.duration_ms = now_ms() - time_control.start_ms;
        stop_timer();
        return 0;
    }

    // 5. Tablebases at the root: drop the moves that lose the tablebase result.
    bool tb_filtered = false;
    if (settings.syzygy && popcount(occupied(root)) <= settings.syzygy_men) {
        int16_t tb_score = 0;
        if (tb_root_filter(root, main.root_moves, &tb_score, &main.root_end, main.stack.boards)) {
            tb_filtered = true;
            ++search_info.tb_hits;
            search_info.tb_score = tb_score;
            main.tb_limit = 0;
        }
    }

    // 6. A single move is played at once.
    if (main.root_end - main.root_moves == 1) {
        const MoveEntry only = main.root_moves[0];
        PVLine line{};
        line.length = 1;
        line.moves[0] = only.move;
        search_info.pv = line;
        report_iteration(main, make_result(only.move, only.score), line);
        search_info.duration_ms = now_ms() - time_control.start_ms;
        stop_timer();
        return make_result(only.move, only.score);
    }

    // 7. Iterative deepening with an aspiration window.
    Move best = main.root_end[-1].move;
    int16_t best_score = main.root_end[-1].score;
    for (int depth = 1; depth <= search_info.max_depth; ++depth) {
        main.depth = depth;
        search_flags.abort.store(0, std::memory_order_relaxed);
        const uint64_t result = run_iteration(main);
        const bool stopped = search_flags.stop.load(std::memory_order_relaxed);
        // The first iteration always completes, so that a stop that comes early still plays a
        // searched move. A later one that was stopped gives the best move it had completed, if
        // any; else the last complete iteration's move stands.
        if (iteration_winner() == 0) {
            search_flags.abort.store(1, std::memory_order_relaxed);
            break;
        }
        const int16_t score = result_score(result);
        const bool partial = iteration_partial();
        if (partial || (score > main.alpha && score < main.beta)) {
            best = result_move(result);
            best_score = score;
            search_info.pv = winner_pv();
            search_info.ponder_move = search_info.pv.length > 1 ? search_info.pv.moves[1] : 0;
        }
        const int16_t reported = tb_filtered ? std::max(score, search_info.tb_score) : score;
        report_iteration(main, make_result(best, reported), search_info.pv);
        if (search_info.mate_limit && reported >= MATE_SCORE &&
            (20001 - reported) / 2 <= search_info.mate_limit)
            break; // "go mate N": found
        if (stopped || partial) {
            search_flags.abort.store(1, std::memory_order_relaxed);
            break;
        }
        // Past half the allotted time the next iteration would likely not complete.
        const int64_t deadline = soft_deadline_ms.load(std::memory_order_relaxed);
        if (deadline && now_ms() >= deadline && score > main.alpha && score < main.beta) break;
        if (reported == search_info.tb_score) {
            main.alpha = -INFINITE_SCORE;
            main.beta = INFINITE_SCORE;
        } else if (score <= main.alpha || score >= main.beta) {
            main.alpha = -INFINITE_SCORE;
            main.beta = INFINITE_SCORE;
            --depth; // the same depth again with the full window
        } else {
            main.alpha = static_cast<int16_t>(score - 50);
            main.beta = static_cast<int16_t>(score + 50);
        }
    }
    search_info.duration_ms = now_ms() - time_control.start_ms;
    stop_timer();
    return make_result(best, best_score);
}
