// Move ordering: captures by score, killers and history for quiet moves.
#include "search/ordering.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/fen.h"
#include "board/movegen.h"

namespace {

class Ordering : public testing::Test {
  protected:
    void SetUp() override {
        t = std::make_unique<SearchThread>();
        new_game(t->stack);
    }
    // A quiet move word between two squares; the tables look at nothing else.
    static Move quiet(int from, int to) { return encode_move(PAWN, from, to); }
    uint16_t& counter(Move m) {
        return t->history[t->stack.current->side][move_from(m)][move_to(m)];
    }
    std::unique_ptr<SearchThread> t;
};

std::vector<Move> moves_of(const std::vector<MoveEntry>& list) {
    std::vector<Move> v;
    for (const MoveEntry& e : list) v.push_back(e.move);
    return v;
}

} // namespace

TEST_F(Ordering, CapturesByScoreLaterFirstAmongEquals) {
    MoveEntry list[] = {{1, 5}, {2, 5}, {3, 9}, {4, 5}, {5, -2}};
    MoveEntry* end = list + 5;
    std::vector<Move> order;
    while (end > list) order.push_back(pick_capture(list, end));
    EXPECT_EQ((std::vector<Move>{3, 4, 2, 1, 5}), order);

    // Negative scores (under-promotions) come after everything else.
    MoveEntry promotions[] = {{7, -3}, {8, -1}, {9, -2}, {10, 0}};
    end = promotions + 4;
    order.clear();
    while (end > promotions) order.push_back(pick_capture(promotions, end));
    EXPECT_EQ((std::vector<Move>{10, 8, 9, 7}), order);
}

TEST_F(Ordering, CapturesOfAPositionMostValuableVictimFirst) {
    // Pawn and knight can both take the queen, the rook a pawn.
    ASSERT_EQ(1, read_fen(t->stack, "4k3/8/8/4q3/3P4/5N2/p7/R6K w - - 0 1", nullptr));
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(*t->stack.current, list);
    std::vector<std::string> order;
    char text[MOVE_TEXT_SIZE];
    while (end > list) {
        move_to_text(text, pick_capture(list, end), WHITE);
        order.push_back(text);
    }
    EXPECT_EQ((std::vector<std::string>{"d4e5", "f3e5", "a1a2"}), order);
}

TEST_F(Ordering, KillerUpdates) {
    const Move a = quiet(12, 28), b = quiet(11, 27), c = quiet(6, 21);
    update_killers(*t, 3, a);
    EXPECT_EQ(a, t->killers[3][0]);
    EXPECT_EQ(0u, t->killers[3][1]);
    update_killers(*t, 3, b);
    EXPECT_EQ(b, t->killers[3][0]);
    EXPECT_EQ(a, t->killers[3][1]);
    // The move already in slot 0 changes nothing: slot 1 keeps its killer.
    update_killers(*t, 3, b);
    EXPECT_EQ(b, t->killers[3][0]);
    EXPECT_EQ(a, t->killers[3][1]);
    // The move in slot 1 moves up.
    update_killers(*t, 3, a);
    EXPECT_EQ(a, t->killers[3][0]);
    EXPECT_EQ(b, t->killers[3][1]);
    update_killers(*t, 3, c);
    EXPECT_EQ(c, t->killers[3][0]);
    EXPECT_EQ(a, t->killers[3][1]);
    // Other plies are untouched.
    EXPECT_EQ(0u, t->killers[2][0]);
    EXPECT_EQ(0u, t->killers[4][0]);
    clear_killers(*t);
    EXPECT_EQ(0u, t->killers[3][0]);
    EXPECT_EQ(0u, t->killers[3][1]);
}

TEST_F(Ordering, HistoryGrowsByDepthSquaredAndWraps) {
    const Move m = quiet(12, 28);
    update_history(*t, 10, m);
    EXPECT_EQ(100, counter(m));
    update_history(*t, 3, m);
    EXPECT_EQ(109, counter(m));
    clear_history(*t);
    EXPECT_EQ(0, counter(m));

    for (int i = 1; i <= 655; ++i) update_history(*t, 10, m);
    const uint16_t before = counter(m);
    EXPECT_EQ(65500, before);
    update_history(*t, 10, m); // the 656th cut-off
    EXPECT_EQ(64, counter(m));
    EXPECT_LT(counter(m), before);

    // The counters are kept per real colour: Black's move with the same squares is separate.
    clear_history(*t);
    update_history(*t, 4, m);
    t->stack.current->side = BLACK;
    EXPECT_EQ(0, counter(m));
    update_history(*t, 2, m);
    EXPECT_EQ(4, counter(m));
    t->stack.current->side = WHITE;
    EXPECT_EQ(16, counter(m));
}

TEST_F(Ordering, PickKiller) {
    const Move k0 = quiet(1, 18), k1 = quiet(6, 21);
    const Move x = quiet(8, 16), y = quiet(9, 17), z = quiet(10, 18);
    t->killers[5][0] = k0;
    t->killers[5][1] = k1;

    // A killer below the current slot is swapped up, the nearest one first.
    std::vector<MoveEntry> list = {{x, 0}, {k0, 0}, {y, 0}, {k1, 0}, {z, 0}};
    EXPECT_TRUE(pick_killer(*t, 5, &list[4], &list[0]));
    EXPECT_EQ((std::vector<Move>{x, k0, y, z, k1}), moves_of(list));
    // A killer already in the slot stays.
    EXPECT_TRUE(pick_killer(*t, 5, &list[4], &list[0]));
    EXPECT_EQ((std::vector<Move>{x, k0, y, z, k1}), moves_of(list));
    EXPECT_TRUE(pick_killer(*t, 5, &list[3], &list[0]));
    EXPECT_EQ((std::vector<Move>{x, z, y, k0, k1}), moves_of(list));

    // The first entry of the list is never pulled forward...
    list = {{k0, 0}, {x, 0}, {y, 0}};
    EXPECT_FALSE(pick_killer(*t, 5, &list[2], &list[0]));
    EXPECT_EQ((std::vector<Move>{k0, x, y}), moves_of(list));
    // ...and takes no part when it is the current slot.
    EXPECT_FALSE(pick_killer(*t, 5, &list[0], &list[0]));
    // Killers of another ply do not count.
    list = {{x, 0}, {k0, 0}, {y, 0}};
    EXPECT_FALSE(pick_killer(*t, 6, &list[2], &list[0]));
    EXPECT_EQ((std::vector<Move>{x, k0, y}), moves_of(list));
}

TEST_F(Ordering, PickHistory) {
    const Move a = quiet(8, 16), b = quiet(9, 17), c = quiet(10, 18), d = quiet(11, 19);
    counter(a) = 900; // in the first entry: never chosen
    counter(b) = 50;
    counter(c) = 50;
    counter(d) = 10;
    std::vector<MoveEntry> list = {{a, 0}, {b, 0}, {c, 0}, {d, 0}};
    pick_history(*t, &list[3], &list[0]);
    // The highest counter below the slot, the one nearest the end among equals.
    EXPECT_EQ(c, list[3].move);
    EXPECT_EQ(a, list[0].move);
    pick_history(*t, &list[2], &list[0]);
    EXPECT_EQ(b, list[2].move);
    pick_history(*t, &list[1], &list[0]);
    EXPECT_EQ((std::vector<Move>{a, d, b, c}), moves_of(list));
    // A current entry that already has the highest counter stays.
    counter(d) = 60;
    list = {{a, 0}, {b, 0}, {c, 0}, {d, 0}};
    pick_history(*t, &list[3], &list[0]);
    EXPECT_EQ((std::vector<Move>{a, b, c, d}), moves_of(list));
}
