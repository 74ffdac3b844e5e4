// Tablebases: reference values, concurrent first probes, damaged files, search and self-test.
#include "tablebase/tablebase.h"

#include <atomic>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "config/config_fixture.h"
#include "search/search_fixture.h"
#include "tablebase/selftest.h"
#include "tablebase/tb_helpers.h"

using namespace tbtest;

namespace {

namespace fs = std::filesystem;

// Copies reference tables into a new folder of the working directory.
std::string copy_tables(const std::string& data, const std::string& dir,
                        std::initializer_list<const char*> files) {
    fs::create_directories(dir);
    for (const char* f : files) fs::copy_file(fs::path(data) / "syzygy" / f, fs::path(dir) / f);
    return dir;
}

struct Probe {
    int value = 0, success = 0;
};

// The WDL value of the position, or its DTZ value.
Probe probe(const std::string& fen, bool dtz = false) {
    const auto s = stack_from(fen);
    Probe p;
    p.value = dtz ? tb_probe_dtz(*s->current, &p.success) : tb_probe_wdl(*s->current, &p.success);
    return p;
}

struct Filtered {
    int result = 0;
    int16_t tb_score = 0;
    std::vector<std::pair<std::string, int>> kept; // in list order
};

Filtered filter(const std::string& fen, const char* moves = nullptr) {
    const auto s = stack_from(fen, moves);
    Filtered f;
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_legal_moves(*s->current, list);
    f.result = tb_root_filter(*s->current, list, &f.tb_score, &end, s->boards);
    for (MoveEntry* e = list; e < end; ++e)
        f.kept.emplace_back(text_of(e->move, s->current->side), e->score);
    return f;
}

struct TbTest : ScratchDir {
    ~TbTest() override { unload_tables(); }
};
struct TbSearch : SearchFixture {
    ~TbSearch() override { unload_tables(); }
};

const std::string kFolder = "D:/Release Under Test/TestSyzygy/";
const std::string kWhiteWins = "8/8/2Q5/8/2K5/8/8/4k3 w - - 0 26"; // DTZ 5, WDL 2
const std::string kBlackLoses = "8/8/7Q/k7/8/8/2K5/8 b - - 0 73";  // DTZ -10, WDL -2
const std::string kBareKings = "8/8/8/8/K7/8/3k4/8 w - - 0 1";     // DTZ 0, WDL 0

std::string test_file(int number) {
    return kFolder + "TestCase_0" + std::to_string(number) + ".txt";
}

struct TbSelfTest : TbTest {
    std::unique_ptr<PositionStack> stack_ = make_stack();
};
using TbSelfTestDeathTest = TbSelfTest;

} // namespace

TEST_F(TbTest, RegistryFoldersFilesAndPaths) {
    EXPECT_EQ("Found 0 tablebases.\n", init_tables(""));
    EXPECT_EQ(0, probe("8/8/8/8/8/8/1Q6/K6k w - - 0 1").success);
    EXPECT_EQ(1, probe(kBareKings).success); // bare kings need no table
    // The whole six-piece set registers: each material once, the side with more pieces first, at
    // equal counts the one whose pieces in the order QRBNP (1 to 5) come first; DTZ alone does not.
    std::vector<std::string> sides = {""};
    for (size_t i = 0; i < sides.size(); ++i)
        for (char c = sides[i].empty() ? '1' : sides[i].back(); c <= '5'; ++c)
            if (sides[i].size() < 4) sides.push_back(sides[i] + c);
    fs::create_directories("all");
    for (const auto& a : sides)
        for (const auto& b : sides)
            if (!a.empty() && a.size() + b.size() <= 4 &&
                (a.size() > b.size() || (a.size() == b.size() && a <= b))) {
                std::string name = "all/K" + a + "vK" + b + ".rtbw";
                for (char& c : name) c = c >= '1' && c <= '5' ? "QRBNP"[c - '1'] : c;
                write("", name.c_str());
            }
    write("", "all/KQvK.rtbz");
    EXPECT_EQ("Found 510 tablebases.\n", init_tables("all"));
    REQUIRE_TESTDATA(data);
    EXPECT_EQ("Found 35 tablebases.\n", init_tables(data + "/syzygy"));
    // RTBWDIR takes a folder of up to 99 characters; configured folders may be of any length.
    const std::string p99(99, 'x');
    std::string deep = "d";
    while (deep.size() < 300) deep += "/abcdefghijklmnopqrstuvwxyz0123456789";
    for (const std::string& dir : {p99, p99 + "y", deep}) copy_tables(data, dir, {"KRvK.rtbw"});
    ::setenv("RTBWDIR", p99.c_str(), 1);
    EXPECT_EQ("$WDLDIR loaded\nFound 1 tablebases.\n", init_tables(""));
    ::setenv("RTBWDIR", (p99 + "y").c_str(), 1);
    EXPECT_EQ("Found 0 tablebases.\n", init_tables(""));
    ::unsetenv("RTBWDIR");
    EXPECT_EQ("Found 1 tablebases.\n", init_tables(deep));
    EXPECT_EQ(2, probe("8/8/8/4k3/8/8/8/R3K3 w - - 0 1").value);
}

TEST_F(TbTest, ProbesMatchReferenceValuesWithConcurrentFirstWdlProbes) {
    REQUIRE_TESTDATA(data);
    for (const auto& [dir, file] :
         {std::pair{"syzygy", "tb-cases.txt"}, {"syzygy5", "tb5-cases.txt"}}) {
        SCOPED_TRACE(file);
        init_tables(data + "/" + dir);
        const auto cases = read_cases(data + "/" + file);
        ASSERT_GT(cases.size(), 100u);
        std::vector<std::unique_ptr<PositionStack>> stacks;
        for (const auto& c : cases) stacks.push_back(stack_from(c.fen));
        // Four threads, each starting elsewhere, race for the first use of every table; the DTZ
        // probes, made by one thread only, follow.
        std::atomic<int> wrong = 0;
        std::vector<std::thread> threads;
        for (size_t t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (size_t i = 0; i < cases.size(); ++i) {
                    const size_t k = (i + t * cases.size() / 4) % cases.size();
                    int success = 0;
                    wrong +=
                        tb_probe_wdl(*stacks[k]->current, &success) != cases[k].wdl || !success;
                }
            });
        for (auto& th : threads) th.join();
        EXPECT_EQ(0, wrong);
        for (const auto& c : cases) {
            const Probe w = probe(c.fen), d = probe(c.fen, true);
            EXPECT_TRUE(w.success && w.value == c.wdl && d.success && d.value == c.dtz)
                << c.fen << ": WDL " << w.value << ", DTZ " << d.value;
        }
    }
    // A capture that wins at once is found before the table is read.
    init_tables(data + "/syzygy");
    const Probe p = probe("8/8/8/8/8/k7/8/KQ5r w - - 0 1");
    EXPECT_TRUE(p.success == 2 && p.value == 2) << p.success << " " << p.value;
}

TEST_F(TbTest, DamagedAndMissingFilesFailTheirProbes) {
    REQUIRE_TESTDATA(data);
    // A wrong magic number is reported once per colour assignment and never answers.
    copy_tables(data, "m", {"KQvKR.rtbw"});
    std::fstream("m/KQvKR.rtbw", std::ios::in | std::ios::out | std::ios::binary).put('\x70');
    init_tables("m");
    testing::internal::CaptureStdout();
    int answered = 0;
    for (const char* fen : {"8/8/8/3q4/8/1k6/8/K6R w - - 0 1", "8/8/8/3q4/8/1k6/8/K6R w - - 0 1",
                            "8/8/8/3Q4/8/1K6/8/k6r b - - 0 1"})
        answered += probe(fen).success;
    EXPECT_EQ("Corrupted table.\nCorrupted table.\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, answered);
    // A WDL file alone: the WDL probe answers; DTZ and the root filter fail, with one message.
    init_tables(copy_tables(data, "w", {"KQvK.rtbw"}));
    const std::string fen = "2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1";
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, probe(fen, true).success);
    EXPECT_EQ(2, probe(fen).value);
    EXPECT_EQ(0, filter(fen).result);
    EXPECT_EQ(0, probe(fen, true).success);
    EXPECT_EQ("Could not open w/KQvK.rtbz for reading.\n", testing::internal::GetCapturedStdout());
    // Random damage to headers and data: values stay in range and nothing crashes.
    std::mt19937 rng(12345);
    const auto cases = read_cases(data + "/tb-cases.txt");
    const auto files = {"KQvKR.rtbw", "KQvKR.rtbz", "KPvKP.rtbw", "KPvKP.rtbz"};
    for (int round = 0; round < (quick_mode() ? 10 : 40); ++round) {
        const std::string dir = copy_tables(data, "r" + std::to_string(round), files);
        for (const char* f : files) {
            const size_t size = std::min<uintmax_t>(4096, fs::file_size(fs::path(dir) / f));
            std::fstream file(fs::path(dir) / f, std::ios::in | std::ios::out | std::ios::binary);
            for (int k = 0; k < 8; ++k)
                file.seekp(static_cast<std::streamoff>(4 + rng() % (size - 4))).put(char(rng()));
        }
        if (round % 3 == 0) fs::resize_file(dir + "/KPvKP.rtbz", 0);
        init_tables(dir);
        testing::internal::CaptureStdout();
        for (size_t i = 0; i < cases.size(); i += 37) {
            EXPECT_LE(std::abs(probe(cases[i].fen).value), 2) << cases[i].fen;
            probe(cases[i].fen, true);
        }
        testing::internal::GetCapturedStdout();
    }
}

// Lines "FEN;result;score;sorted|unsorted;VALUE:move,move VALUE:move" (kept moves by value).
TEST_F(TbTest, RootFilterMatchesReferencePositions) {
    REQUIRE_TESTDATA(data);
    init_tables(data + "/syzygy5");
    std::ifstream in(data + "/tb-root-cases.txt");
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
        // The kept moves as the file writes them: by falling value, each group in move order.
        std::map<int, std::multiset<std::string>, std::greater<>> groups;
        for (const auto& [move, value] : got.kept) groups[value].insert(move);
        std::string have;
        for (const auto& [value, moves] : groups) {
            have.append(have.empty() ? "" : " ").append(std::to_string(value));
            for (const auto& m : moves) have += (m == *moves.begin() ? ":" : ",") + m;
        }
        EXPECT_EQ(f[4], have.empty() ? "-" : have) << line;
        EXPECT_TRUE(f[3] != "sorted" ||
                    std::ranges::is_sorted(got.kept, std::greater<>(),
                                           &std::pair<std::string, int>::second))
            << line;
    }
    testing::internal::GetCapturedStdout();
    EXPECT_GT(cases, 200);
}

TEST_F(TbTest, RootFilterRepetitionsCastlingAndSevenPieces) {
    REQUIRE_TESTDATA(data);
    init_tables(data + "/syzygy");
    // At a repeated root only the fastest wins are kept (the reference positions have no history).
    const Filtered f = filter("2K1Q3/8/8/8/8/8/2k5/8 w - - 0 1", "e8e7 c2c3 e7e8 c3c2");
    ASSERT_EQ(1, f.result);
    std::string moves;
    for (const auto& kept : std::set(f.kept.begin(), f.kept.end())) moves += kept.first + " ";
    EXPECT_EQ("c8b7 c8c7 c8d7 e8d7 e8d8 e8e1 e8e2 e8e3 ", moves);
    // The tables know no castling rights, nor seven pieces.
    EXPECT_EQ(0, filter("8/8/1k6/3ppp2/8/3K4/3PN3/8 w - - 0 1").result);
    EXPECT_EQ(0, filter("8/5n2/8/8/8/8/8/k3K2R w K - 0 1").result);
    EXPECT_EQ(0, probe("8/5n2/8/8/8/8/8/k3K2R w K - 0 1").success);
    EXPECT_EQ(1, filter("8/5n2/8/8/8/8/8/k3K2R w - - 0 1").result);
}

TEST_F(TbSearch, SeveralThreadsProbeTheTablesAtOnce) {
    REQUIRE_TESTDATA(data);
    settings.syzygy = true;
    settings.syzygy_men = 5;
    // Taking the rook leads into a won four-piece table: 15000, below the mate scores. With a
    // castling right the table, which calls the root a draw, stays out: castling wins the knight.
    for (const auto& [fen, best] : {std::pair{"8/6R1/7K/8/8/8/4k3/1Q1r4 w - - 0 1", "b1d1"},
                                    {"8/5n2/8/8/8/8/8/k3K2R w K - 0 1", "e1g1"}}) {
        set(fen);
        for (int threads : {1, 2, 4}) {
            SCOPED_TRACE(testing::Message() << fen << ", " << threads << " threads");
            init_tables(data + "/syzygy"); // fresh, so that the threads race for each first use
            settings.threads = static_cast<uint8_t>(threads);
            std::string out;
            const uint64_t r = think_to_depth(quick_mode() ? 3 : 5, &out);
            EXPECT_EQ(15000, result_score(r)) << out;
            EXPECT_EQ(best, text_of(result_move(r), WHITE)) << out;
        }
    }
}

TEST_F(TbSelfTest, EachLineGoesToTheFilesOfItsMismatchesWithProgressEveryHundredThousand) {
    REQUIRE_TESTDATA(data);
    init_tables(data + "/syzygy");
    fs::create_directories(kFolder);
    std::string padding;
    for (int i = 1; i < 100000; ++i) padding += "-\n";
    // Each line goes to its test file, and to ErrorDTZ (D), ErrorWDL (W) and BadFEN (F) as marked.
    const struct {
        int file;
        std::string text, to;
    } lines[] = {
        {1, kWhiteWins + ",4,1\n", "DW"},
        {1, kBlackLoses + ",10,-2\n", "D"},
        {1, kWhiteWins + "\n", "DW"}, // missing or malformed numbers count as 0
        {1, "8/8/8/8/8/8/8/8 w - - 0 1,0,0\n", "F"},
        {1, kWhiteWins + ",5,2\r\n", ""},
        {3, kBareKings + ",,\n", ""},
        {3, kBareKings + ",zero,none\n", ""},
        {3, ",,,\n", "F"},
        {3, std::string(254, ',') + "\n", "F"},         // no FEN, then the left-over line break
        {3, std::string(599, 'x') + "\n", "F"},         // read as three lines without a FEN
        {3, ",," + kBlackLoses + ",,-10,,-2,,9\n", ""}, // empty fields are passed over
        {9, padding, "F"}, // the next line is the 100000th: progress is shown before it
        {9, kBlackLoses + ",-10,2\n", "W"},
        {9, kBareKings + std::string(220, ' ') + ",0,0\n", "F"}, // FEN too long
        {9, "\n", "F"},
        {9, kWhiteWins + ",4,1", "DW"}, // no line break at the end
    };
    std::string files[10], results[3] = {"", "", "earlier\n"}; // file 2 stays empty; BadFEN grows
    for (int i = 4; i <= 8; ++i) files[i] = kWhiteWins + ",5,2\n";
    for (const auto& line : lines) {
        files[line.file] += line.text;
        for (int k = 0; k < 3; ++k)
            if (line.to.find("DWF"[k]) != std::string::npos) results[k] += line.text;
    }
    std::string shown;
    for (int i = 1; i <= 9; ++i) {
        write(files[i], test_file(i).c_str());
        shown += test_file(i) + "\n";
    }
    write("earlier\n", (kFolder + "BadFEN.txt").c_str());
    // Counts run over all files, the line count restarts with each file. 100000 lines fill 4 %
    // of the bar, two of its 60 bars; the shares are of 2500000 lines.
    shown += test_file(9) + "\n\r  4% [||" + std::string(58, ' ') + "]\n" +
             "WDL Error:           2   0.00%\n"
             "DTZ Error:           3   0.00%\n"
             "FEN Error:      100006   4.00%\n\nSyzygy Test ended.\n";
    testing::internal::CaptureStdout();
    tb_self_test(*stack_);
    EXPECT_EQ(shown, testing::internal::GetCapturedStdout());
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(results[k],
                  read(kFolder + std::array{"ErrorDTZ", "ErrorWDL", "BadFEN"}[k] + ".txt"));
    // The last line read set up the position; a refused FEN leaves the stack as it was.
    EXPECT_EQ(fen_of(*stack_from(kWhiteWins)->current), fen_of(*stack_->current));
}

TEST_F(TbSelfTestDeathTest, AFileThatCannotBeOpenedEndsTheProgram) {
    // What the self-test prints goes to the error stream, where the death test looks for it.
    auto run_to_the_end = [this] {
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        tb_self_test(*stack_);
    };
    // The ninth test file is missing: the first eight are run, then the program ends.
    fs::create_directories(kFolder);
    for (int i = 1; i <= 8; ++i) write(kBareKings + ",0,0\n", test_file(i).c_str());
    EXPECT_EXIT(run_to_the_end(), testing::ExitedWithCode(1),
                "TestCase_08\\.txt\nFile not found\n$");
    // A result file that cannot be opened for appending stops the run before the first file.
    write("", test_file(9).c_str());
    fs::remove(kFolder + "ErrorWDL.txt");
    fs::create_directories(kFolder + "ErrorWDL.txt");
    EXPECT_EXIT(run_to_the_end(), testing::ExitedWithCode(1), "^File not found\n$");
}
