// The tables inside the search: positions reached by a capture or a pawn move are scored from the
// WDL tables on every search thread, the first probes of a table included.
#include <gtest/gtest.h>

#include "search/search_fixture.h"
#include "tablebase/tablebase.h"
#include "tablebase/tb_helpers.h"
#include "testdata.h"

using namespace tbtest;

namespace {

class TbSearch : public SearchFixture {
  protected:
    void TearDown() override {
        unload_tables();
        SearchFixture::TearDown();
    }
};

} // namespace

TEST_F(TbSearch, SeveralThreadsProbeTheTablesAtOnce) {
    REQUIRE_TESTDATA(data);
    // Five pieces, no five-piece table: the root is searched, and taking the rook leads into a
    // won four-piece table whose value (15000, below the mate scores) becomes the root's score.
    set("8/6R1/7K/8/8/8/4k3/1Q1r4 w - - 0 1");
    settings.syzygy = true;
    settings.syzygy_men = 5;
    for (int threads : {1, 2, 4}) {
        // Fresh tables each time, so that the threads race for the first use of each file.
        init_tables(data + "/syzygy");
        settings.threads = static_cast<uint8_t>(threads);
        std::string out;
        const uint64_t r = think_to_depth(quick_mode() ? 3 : 5, &out);
        EXPECT_EQ(15000, result_score(r)) << threads << " threads\n" << out;
        EXPECT_EQ("b1d1", text_of(result_move(r), WHITE)) << threads << " threads\n" << out;
    }
    // Without the tables the same search sees only material.
    settings.syzygy = false;
    settings.threads = 1;
    EXPECT_LT(result_score(think_to_depth(3)), 15000);
}

TEST_F(TbSearch, CastlingRightsKeepTheTablesOut) {
    REQUIRE_TESTDATA(data);
    // The rook and knight table calls this a draw, but it knows no castling: castling short
    // checks and wins the knight, into a won table that the search may probe.
    set("8/5n2/8/8/8/8/8/k3K2R w K - 0 1");
    settings.syzygy = true;
    settings.syzygy_men = 5;
    init_tables(data + "/syzygy");
    std::string out;
    const uint64_t r = think_to_depth(5, &out);
    EXPECT_EQ("e1g1", text_of(result_move(r), WHITE)) << out;
    EXPECT_EQ(15000, result_score(r)) << out;
}
