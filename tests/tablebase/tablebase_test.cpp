// Tablebases: the registry, WDL and DTZ probes and the root filter against the reference values,
// concurrent first probes, and damaged, missing and partial table files.
#include "tablebase/tablebase.h"

#include <map>
#include <random>
#include <set>
#include <thread>

#include "tablebase/tb_helpers.h"
#include "testdata.h"

using namespace tbtest;

namespace {

using TbRegistry = TbTest;
using TbProbe = TbTest;
using TbRootFilter = TbTest;

struct Filtered {
    int result = 0;
    int16_t tb_score = 0;
    std::vector<std::pair<std::string, int>> kept; // in list order
};

Filtered filter(const std::string& fen, const char* moves = nullptr) {
    auto s = stack_from(fen, moves);
    EXPECT_TRUE(s) << fen;
    Filtered f;
    if (!s) return f;
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(*s->current, list);
    f.result = tb_root_filter(*s->current, list, &f.tb_score, &end, s->boards);
    for (MoveEntry* e = list; e < end; ++e)
        f.kept.emplace_back(text_of(e->move, s->current->side), e->score);
    return f;
}

void copy_tables(const std::string& data, const TempDir& dir,
                 std::initializer_list<const char*> files) {
    for (const char* f : files) fs::copy_file(fs::path(data) / "syzygy" / f, dir.path / f);
}

} // namespace

TEST_F(TbRegistry, FoldersFilesAndPaths) {
    TempDir empty("empty");
    EXPECT_EQ("Found 0 tablebases.\n", init_tables(empty.str()));
    EXPECT_EQ(0, wdl_of("8/8/8/8/8/8/1Q6/K6k w - - 0 1").success);
    EXPECT_EQ(1, wdl_of("8/8/8/8/K7/8/3k4/8 w - - 0 1").success); // bare kings need no table
    // A WDL file registers its material; only a DTZ file does not. The whole six-piece set fits.
    const std::vector<std::string> names = all_material_names();
    ASSERT_EQ(510u, names.size());
    TempDir all("all");
    for (const auto& name : names) std::ofstream(all.path / (name + ".rtbw"));
    std::ofstream(all.path / "KQvK.rtbz");
    EXPECT_EQ("Found 510 tablebases.\n", init_tables(all.str()));
    REQUIRE_TESTDATA(data);
    EXPECT_EQ("Found 35 tablebases.\n", init_tables(data + "/syzygy"));
    // A folder of exactly 99 characters given by RTBWDIR, one of 100 refused; configured folders
    // of any length.
    TempDir base("env");
    std::string p99 = base.str() + "/";
    p99 += std::string(99 - p99.size(), 'x');
    fs::create_directories(p99);
    fs::copy_file(fs::path(data) / "syzygy" / "KRvK.rtbw", fs::path(p99) / "KRvK.rtbw");
    fs::create_directories(p99 + "y");
    ::setenv("RTBWDIR", p99.c_str(), 1);
    EXPECT_EQ("$WDLDIR loaded\nFound 1 tablebases.\n", init_tables(empty.str()));
    ::setenv("RTBWDIR", (p99 + "y").c_str(), 1);
    EXPECT_EQ("Found 0 tablebases.\n", init_tables(empty.str()));
    ::unsetenv("RTBWDIR");
    std::string deep = base.str();
    while (deep.size() < 300) deep += "/abcdefghijklmnopqrstuvwxyz0123456789";
    fs::create_directories(deep);
    fs::copy_file(fs::path(data) / "syzygy" / "KRvK.rtbw", fs::path(deep) / "KRvK.rtbw");
    EXPECT_EQ("Found 1 tablebases.\n", init_tables(deep));
    EXPECT_EQ(2, wdl_of("8/8/8/4k3/8/8/8/R3K3 w - - 0 1").value);
}

TEST_F(TbProbe, ReferenceValuesOfEveryPosition) {
    REQUIRE_TESTDATA(data);
    for (const auto& [dir, file] : {std::pair<const char*, const char*>{"syzygy", "tb-cases.txt"},
                                    {"syzygy5", "tb5-cases.txt"}}) {
        init_tables(data + "/" + dir);
        const auto cases = read_cases(data + "/" + file);
        ASSERT_GT(cases.size(), 100u) << file;
        int wrong = 0;
        for (const auto& c : cases) {
            const Probe w = wdl_of(c.fen), d = dtz_of(c.fen);
            if ((!w.success || w.value != c.wdl || !d.success || d.value != c.dtz) && ++wrong <= 10)
                ADD_FAILURE() << c.fen << ": WDL " << w.value << " DTZ " << d.value << ", expected "
                              << c.wdl << " " << c.dtz;
        }
        EXPECT_EQ(0, wrong) << file;
    }
    // A capture that wins at once is found before the table is read.
    init_tables(data + "/syzygy");
    const Probe p = wdl_of("8/8/8/8/8/k7/8/KQ5r w - - 0 1");
    EXPECT_EQ(2, p.success);
    EXPECT_EQ(2, p.value);
}

TEST_F(TbProbe, ConcurrentFirstProbesAgree) {
    REQUIRE_TESTDATA(data);
    init_tables(data + "/syzygy");
    auto cases = read_cases(data + "/tb-cases.txt");
    cases.resize(std::min<size_t>(cases.size(), 400));
    std::vector<std::unique_ptr<PositionStack>> stacks;
    for (const auto& c : cases) stacks.push_back(stack_from(c.fen));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < cases.size(); ++i) {
                const size_t k = (i + t * 97) % cases.size();
                int success = 0;
                if (tb_probe_wdl(*stacks[k]->current, &success) != cases[k].wdl || !success)
                    wrong++;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, wrong.load());
}

TEST_F(TbProbe, DamagedAndMissingFilesFailTheirProbes) {
    REQUIRE_TESTDATA(data);
    // A wrong magic number is reported once and never answers, for both colour assignments.
    TempDir magic("magic");
    copy_tables(data, magic, {"KQvKR.rtbw"});
    std::fstream(magic.path / "KQvKR.rtbw", std::ios::in | std::ios::out | std::ios::binary)
        .put('\x70');
    init_tables(magic.str());
    testing::internal::CaptureStdout();
    int answered = 0;
    for (const char* fen : {"8/8/8/3q4/8/1k6/8/K6R w - - 0 1", "8/8/8/3q4/8/1k6/8/K6R w - - 0 1",
                            "8/8/8/3Q4/8/1K6/8/k6r b - - 0 1"})
        answered += wdl_of(fen).success;
    EXPECT_EQ("Corrupted table.\nCorrupted table.\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, answered);
    // A WDL file alone: the DTZ probe fails once with its message, the WDL probe answers.
    TempDir wdl_only("wdlonly");
    copy_tables(data, wdl_only, {"KQvK.rtbw"});
    init_tables(wdl_only.str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, dtz_of("2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1").success);
    EXPECT_EQ(2, wdl_of("2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1").value);
    EXPECT_EQ(0, filter("2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1").result);
    EXPECT_EQ(0, dtz_of("2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1").success);
    EXPECT_EQ("Could not open " + wdl_only.str() + "/KQvK.rtbz for reading.\n",
              testing::internal::GetCapturedStdout());
    // Random damage to headers and data: values stay in range and nothing crashes.
    std::mt19937 rng(12345);
    const auto cases = read_cases(data + "/tb-cases.txt");
    for (int round = 0; round < (quick_mode() ? 10 : 40); ++round) {
        TempDir dir("fuzz");
        copy_tables(data, dir, {"KQvKR.rtbw", "KQvKR.rtbz", "KPvKP.rtbw", "KPvKP.rtbz"});
        for (const char* f : {"KQvKR.rtbw", "KQvKR.rtbz", "KPvKP.rtbw", "KPvKP.rtbz"}) {
            const size_t size = fs::file_size(dir.path / f);
            std::fstream file(dir.path / f, std::ios::in | std::ios::out | std::ios::binary);
            for (int k = 0; k < 8; ++k) {
                file.seekp(
                    static_cast<std::streamoff>(4 + rng() % (std::min<size_t>(4096, size) - 4)));
                file.put(static_cast<char>(rng()));
            }
        }
        if (round % 3 == 0) fs::resize_file(dir.path / "KPvKP.rtbz", 0);
        init_tables(dir.str());
        testing::internal::CaptureStdout();
        for (size_t i = 0; i < cases.size(); i += 37) {
            const Probe w = wdl_of(cases[i].fen);
            EXPECT_TRUE(w.value >= -2 && w.value <= 2) << cases[i].fen;
            dtz_of(cases[i].fen);
        }
        testing::internal::GetCapturedStdout();
    }
}

TEST_F(TbRootFilter, ReferencePositions) {
    REQUIRE_TESTDATA(data);
    init_tables(data + "/syzygy5");
    std::ifstream in(data + "/tb-root-cases.txt");
    ASSERT_TRUE(in);
    int cases = 0;
    testing::internal::CaptureStdout(); // tables missing for some lines are reported
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string part; std::getline(fields, part, ';');) f.push_back(part);
        ASSERT_EQ(5u, f.size()) << line;
        ++cases;
        const Filtered got = filter(f[0]);
        ASSERT_EQ(std::stoi(f[1]), got.result) << line;
        if (got.result == 0) continue;
        EXPECT_EQ(std::stoi(f[2]), got.tb_score) << line;
        // "VALUE:move,move VALUE:move": the kept moves with their values, and for a sorted list
        // the groups in the order given.
        std::map<std::string, int> want, have(got.kept.begin(), got.kept.end());
        std::vector<int> want_order, have_order;
        std::stringstream groups(f[4]);
        for (std::string g; f[4] != "-" && groups >> g;) {
            const int value = std::stoi(g.substr(0, g.find(':')));
            want_order.push_back(value);
            std::stringstream moves(g.substr(g.find(':') + 1));
            for (std::string m; std::getline(moves, m, ',');) want[m] = value;
        }
        EXPECT_EQ(want, have) << line;
        EXPECT_EQ(want.size(), got.kept.size()) << line;
        for (const auto& [move, value] : got.kept)
            if (have_order.empty() || have_order.back() != value) have_order.push_back(value);
        EXPECT_TRUE(f[3] != "sorted" || want_order == have_order) << line;
    }
    testing::internal::GetCapturedStdout();
    EXPECT_GT(cases, 200);
}

TEST_F(TbRootFilter, RepetitionsAndTheFiftyMoveRule) {
    REQUIRE_TESTDATA(data);
    init_tables(data + "/syzygy");
    const std::string fen = "2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1";
    // Without history every win within the fifty-move rule stays, the slowest first.
    Filtered f = filter(fen);
    ASSERT_EQ(1, f.result);
    EXPECT_EQ(15000, f.tb_score);
    EXPECT_EQ(23u, f.kept.size());
    EXPECT_EQ(19, f.kept.front().second);
    EXPECT_EQ(15, f.kept.back().second);
    // At a repeated root only the fastest wins are kept.
    f = filter(fen, "e8e7 c2c3 e7e8 c3c2");
    std::set<std::string> moves;
    for (const auto& kept : f.kept) moves.insert(kept.first);
    EXPECT_EQ(
        (std::set<std::string>{"c8b7", "c8c7", "c8d7", "e8d7", "e8d8", "e8e1", "e8e2", "e8e3"}),
        moves);
    // After 82 plies only wins within 17 plies beat the rule; after 99 the win is spoilt for one
    // side and the loss saved for the other.
    f = filter("2K1Q3/8/8/8/8/8/2k5/8 w - - 82 100");
    EXPECT_EQ(20u, f.kept.size());
    for (const auto& [move, value] : f.kept) EXPECT_LE(value, 17) << move;
    EXPECT_EQ(2, filter("2K1Q3/8/8/8/8/8/2k5/8 w - - 99 100").tb_score);
    EXPECT_EQ(-2, filter("2K1Q3/8/8/8/8/8/2k5/8 b - - 99 100").tb_score);
    // Beyond the tables: seven pieces, a five-piece material without a table, castling rights.
    EXPECT_EQ(0, filter("8/8/1k6/3ppp2/8/3K4/3PN3/8 w - - 0 1").result);
    EXPECT_EQ(0, filter("8/6R1/7K/8/8/8/4k3/1Q1r4 w - - 0 1").result);
    EXPECT_EQ(0, filter("8/5n2/8/8/8/8/8/k3K2R w K - 0 1").result);
    EXPECT_EQ(0, wdl_of("8/5n2/8/8/8/8/8/k3K2R w K - 0 1").success);
    EXPECT_EQ(1, filter("8/5n2/8/8/8/8/8/k3K2R w - - 0 1").result);
}
