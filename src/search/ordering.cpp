#include "search/ordering.h"

#include <cstring>
#include <utility>

void clear_killers(SearchThread& t) {
    std::memset(t.killers, 0, sizeof t.killers);
}

void clear_history(SearchThread& t) {
    std::memset(t.history, 0, sizeof t.history);
}

void update_killers(SearchThread& t, int ply, Move m) {
    Move* k = t.killers[ply & 63];
    if (k[0] != m) {
        k[1] = k[0];
        k[0] = m;
    }
}

void update_history(SearchThread& t, int depth, Move m) {
    uint16_t& h = t.history[t.stack.current->side & 1][move_from(m) & 63][move_to(m) & 63];
    h = static_cast<uint16_t>(h + depth * depth);
}

Move pick_capture(MoveEntry* list, MoveEntry*& end) {
    MoveEntry* best = end - 1;
    for (MoveEntry* e = end - 2; e >= list; --e)
        if (e->score > best->score) best = e;
    const Move m = best->move;
    *best = *--end;
    return m;
}

bool pick_killer(const SearchThread& t, int ply, MoveEntry* current, const MoveEntry* first) {
    if (current == first) return false;
    const Move k0 = t.killers[ply & 63][0], k1 = t.killers[ply & 63][1];
    if (current->move == k0 || current->move == k1) return true;
    for (MoveEntry* e = current - 1; e > first; --e) {
        if (e->move == k0 || e->move == k1) {
            std::swap(*e, *current);
            return true;
        }
    }
    return false;
}

void pick_history(const SearchThread& t, MoveEntry* current, const MoveEntry* first) {
    const auto& h = t.history[t.stack.current->side & 1];
    auto counter = [&](Move m) { return h[move_from(m) & 63][move_to(m) & 63]; };
    uint16_t best = counter(current->move);
    for (MoveEntry* e = current - 1; e > first; --e) {
        const uint16_t c = counter(e->move);
        if (c > best) {
            std::swap(*e, *current);
            best = c;
        }
    }
}
