// Tablebase registry, WDL and DTZ probes against reference values, and damaged table files.
#include "tablebase/tablebase.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "board/board_helpers.h"
#include "tablebase/tb_helpers.h"
#include "testdata.h"

namespace fs = std::filesystem;
using namespace tbtest;

namespace {

using TbRegistry = TbTest;
using TbWdl = TbTest;
using TbDtz = TbTest;
using TbDamaged = TbTest;

// A position with this material (piece letters besides the kings), White to move and without a
// capture: White's pieces stand on the first two ranks, and each of Black's goes to the first
// square from h8 back that White does not attack.
std::string quiet_position(const std::string& white, const std::string& black) {
    std::string board(64, '.');
    board[0] = 'K';
    int piece = 1, pawn = 8;
    for (char c : white) board[static_cast<size_t>(c == 'P' ? pawn++ : piece++)] = c;
    auto fen = [&board] {
        std::string f;
        for (int rank = 7; rank >= 0; --rank) {
            int gap = 0;
            for (int file = 0; file < 8; ++file) {
                const char c = board[static_cast<size_t>(rank * 8 + file)];
                if (c == '.') {
                    ++gap;
                    continue;
                }
                if (gap) f += std::to_string(gap);
                f += c;
                gap = 0;
            }
            if (gap) f += std::to_string(gap);
            if (rank) f += '/';
        }
        return f + " w - - 0 1";
    };
    auto quiet = [](const std::string& f) {
        auto s = stack_from(f);
        MoveEntry list[MAX_MOVES];
        return s && gen_captures(*s->current, list) == list;
    };
    for (char c : "K" + black) {
        int sq = 63;
        for (; sq >= 0; --sq) {
            if (board[static_cast<size_t>(sq)] != '.' || (c == 'P' && (sq < 8 || sq >= 56)))
                continue;
            board[static_cast<size_t>(sq)] = static_cast<char>(std::tolower(c));
            if (quiet(fen())) break;
            board[static_cast<size_t>(sq)] = '.';
        }
        EXPECT_GE(sq, 0) << "no square for " << c << " in " << fen();
    }
    return fen();
}

} // namespace

TEST_F(TbRegistry, EmptyFolderFindsNothingAndOnlyBareKingsResolve) {
    TempDir dir("empty");
    EXPECT_EQ(init_tables(dir.str(), dir.str()), "Found 0 tablebases.\n");
    Probe p = wdl_of("8/8/8/8/8/8/1Q6/K6k w - - 0 1");
    EXPECT_EQ(p.success, 0);
    p = dtz_of("8/8/8/8/8/8/1Q6/K6k w - - 0 1");
    EXPECT_EQ(p.success, 0);
    p = wdl_of("8/8/8/8/K7/8/3k4/8 w - - 0 1");
    EXPECT_EQ(p.success, 1);
    EXPECT_EQ(p.value, 0);
    p = dtz_of("8/8/8/8/K7/8/3k4/8 b - - 0 1");
    EXPECT_EQ(p.success, 1);
    EXPECT_EQ(p.value, 0);
}

TEST_F(TbRegistry, CountsWdlFilesOnlyAndAnswersBothColourAssignments) {
    REQUIRE_TESTDATA(data);
    EXPECT_EQ(init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy")),
              "Found 35 tablebases.\n");
    int wdl_files = 0;
    for (const auto& f : fs::directory_iterator(table_dir(data, "syzygy5")))
        wdl_files += f.path().extension() == ".rtbw";
    EXPECT_EQ(init_tables(table_dir(data, "syzygy5"), table_dir(data, "syzygy5")),
              "Found " + std::to_string(wdl_files) + " tablebases.\n");
    // KQvKR with either colour holding the queen, either side to move.
    EXPECT_EQ(wdl_of("8/8/8/3q4/8/1k6/8/K6R w - - 0 1").value, -2);
    EXPECT_EQ(wdl_of("8/8/8/3Q4/8/1K6/8/k6r b - - 0 1").value, -2);

    // A material present only as a DTZ file is not registered.
    TempDir dir("dtzonly");
    fs::copy_file(fs::path(data) / "syzygy" / "KQvK.rtbz", dir.path / "KQvK.rtbz");
    EXPECT_EQ(init_tables(dir.str(), dir.str()), "Found 0 tablebases.\n");
    EXPECT_EQ(wdl_of("8/8/8/8/8/8/1Q6/K6k w - - 0 1").success, 0);
}

TEST_F(TbRegistry, TheWholeSixPieceSetRegistersAndEveryMaterialIsFound) {
    // Empty files: registering needs only the WDL file, and a probe that finds one reports it as
    // corrupted, which tells a registered material from a missing one.
    const std::vector<std::string> names = all_material_names();
    ASSERT_EQ(names.size(), 510u);
    TempDir dir("all");
    for (const auto& name : names) std::ofstream(dir.path / (name + ".rtbw"));
    ASSERT_EQ(init_tables(dir.str(), dir.str()), "Found 510 tablebases.\n");
    for (const auto& name : names) {
        const size_t v = name.find('v');
        const std::string first = name.substr(1, v - 1), second = name.substr(v + 2);
        // Each colour holding the first side's material: the two keys of the table.
        for (const bool exchanged : {false, true}) {
            if (exchanged && first == second) continue;
            const std::string fen =
                exchanged ? quiet_position(second, first) : quiet_position(first, second);
            testing::internal::CaptureStdout();
            const Probe p = wdl_of(fen);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "Corrupted table.\n")
                << name << ": " << fen;
            EXPECT_EQ(p.success, 0) << fen;
        }
    }
}

TEST_F(TbRegistry, EnvironmentFolderAndLongPaths) {
    REQUIRE_TESTDATA(data);
    // A folder whose path has exactly 99 characters, holding one table.
    TempDir base("env");
    std::string p99 = base.str() + "/";
    ASSERT_LT(p99.size(), 99u);
    p99 += std::string(99 - p99.size(), 'x');
    fs::create_directories(p99);
    fs::copy_file(fs::path(data) / "syzygy" / "KRvK.rtbw", fs::path(p99) / "KRvK.rtbw");
    const std::string p100 = p99 + "y";
    fs::create_directories(p100);

    TempDir empty("noenv");
    ::setenv("RTBWDIR", p99.c_str(), 1);
    EXPECT_EQ(init_tables(empty.str(), empty.str()), "$WDLDIR loaded\nFound 1 tablebases.\n");
    ::setenv("RTBWDIR", p100.c_str(), 1);
    EXPECT_EQ(init_tables(empty.str(), empty.str()), "Found 0 tablebases.\n");
    ::unsetenv("RTBWDIR");

    // Configured folders longer than any fixed buffer work as given.
    std::string deep = base.str();
    while (deep.size() < 300) deep += "/abcdefghijklmnopqrstuvwxyz0123456789";
    fs::create_directories(deep);
    fs::copy_file(fs::path(data) / "syzygy" / "KRvK.rtbw", fs::path(deep) / "KRvK.rtbw");
    fs::copy_file(fs::path(data) / "syzygy" / "KRvK.rtbz", fs::path(deep) / "KRvK.rtbz");
    EXPECT_EQ(init_tables(deep, deep), "Found 1 tablebases.\n");
    Probe p = wdl_of("8/8/8/4k3/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(p.success, 1);
    EXPECT_EQ(p.value, 2);
    p = dtz_of("8/8/8/4k3/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(p.success, 1);
    EXPECT_GT(p.value, 0);
}

TEST_F(TbWdl, DecodesTheFormatExamples) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    // Each exercises another part of the decoder: symmetry steps, exchanged sides, the king-pair
    // encoding, backward block walks, file mirrors and symmetric pawn tables.
    const std::pair<const char*, int> cases[] = {
        {"8/1Q6/6k1/8/8/4K3/8/8 b - - 0 1", -2},  {"8/1Q6/6k1/8/8/4K3/8/8 w - - 0 1", 2},
        {"8/8/8/3q4/8/1k6/8/K6R w - - 0 1", -2},  {"8/8/8/8/2N5/1k6/8/1K2N3 w - - 0 1", 0},
        {"8/8/8/2k5/5p2/8/8/5K2 b - - 0 1", 0},   {"8/8/8/3k4/8/8/1P3P2/3K4 w - - 0 1", 2},
        {"8/8/4p3/8/2k5/8/3P4/6K1 b - - 0 1", 2},
    };
    for (const auto& [fen, wdl] : cases) {
        const Probe p = wdl_of(fen);
        EXPECT_EQ(p.success, 1) << fen;
        EXPECT_EQ(p.value, wdl) << fen;
    }
    // A capture that wins at once is found before the table is read.
    const Probe p = wdl_of("8/8/8/8/8/k7/8/KQ5r w - - 0 1");
    EXPECT_EQ(p.success, 2);
    EXPECT_EQ(p.value, 2);
}

TEST_F(TbWdl, ReferenceLinesUpToFourPieces) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    const auto cases = read_cases(data + "/tb-cases.txt");
    ASSERT_GT(cases.size(), 2000u);
    int wrong = 0;
    for (const auto& c : cases) {
        const Probe p = wdl_of(c.fen);
        if (p.success == 0 || p.value != c.wdl) {
            if (++wrong <= 10)
                ADD_FAILURE() << c.fen << ": " << p.value << " (" << p.success << "), expected "
                              << c.wdl;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(TbWdl, ReferenceLinesFivePieces) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy5"), table_dir(data, "syzygy5"));
    const auto cases = read_cases(data + "/tb5-cases.txt");
    ASSERT_GT(cases.size(), 100u);
    for (const auto& c : cases) {
        const Probe p = wdl_of(c.fen);
        EXPECT_NE(p.success, 0) << c.fen;
        EXPECT_EQ(p.value, c.wdl) << c.fen;
    }
}

TEST_F(TbWdl, ConcurrentFirstProbesAgree) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    auto cases = read_cases(data + "/tb-cases.txt");
    if (cases.size() > 400) cases.resize(400);
    std::vector<std::unique_ptr<PositionStack>> stacks;
    for (const auto& c : cases) stacks.push_back(stack_from(c.fen));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < cases.size(); ++i) {
                const size_t k = (i + static_cast<size_t>(t) * 97) % cases.size();
                int success = 0;
                const int v = tb_probe_wdl(*stacks[k]->current, &success);
                if (!success || v != cases[k].wdl) wrong++;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(TbDtz, ReferenceLinesUpToFourPieces) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    const auto cases = read_cases(data + "/tb-cases.txt");
    int wrong = 0;
    for (const auto& c : cases) {
        const Probe p = dtz_of(c.fen);
        if (p.success == 0 || p.value != c.dtz) {
            if (++wrong <= 10)
                ADD_FAILURE() << c.fen << ": " << p.value << " (" << p.success << "), expected "
                              << c.dtz;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(TbDtz, ReferenceLinesFivePieces) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy5"), table_dir(data, "syzygy5"));
    const auto cases = read_cases(data + "/tb5-cases.txt");
    for (const auto& c : cases) {
        const Probe p = dtz_of(c.fen);
        EXPECT_NE(p.success, 0) << c.fen;
        EXPECT_EQ(p.value, c.dtz) << c.fen;
    }
}

TEST_F(TbDtz, FormatExamplesAndCacheTurnover) {
    REQUIRE_TESTDATA(data);
    init_tables(table_dir(data, "syzygy"), table_dir(data, "syzygy"));
    // The stored side, a value map and the one-ply search where the other side is stored.
    EXPECT_EQ(dtz_of("8/1K2r3/8/3k4/8/7Q/8/8 w - - 0 1").value, 49);
    EXPECT_EQ(dtz_of("8/1K6/4r3/3k4/8/7Q/8/8 b - - 0 1").value, -52);
    EXPECT_EQ(dtz_of("8/8/8/8/2PK4/p7/8/k7 w - - 0 1").value, -3);
    // More materials than cache slots, twice over: evicted tables load again.
    const auto cases = read_cases(data + "/tb-cases.txt");
    for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i < cases.size(); i += 7) {
            const Probe p = dtz_of(cases[i].fen);
            EXPECT_EQ(p.value, cases[i].dtz) << cases[i].fen;
        }
}

namespace {

// Copies the named tables of the 3-4 piece set into dir.
void copy_tables(const std::string& data, const TempDir& dir,
                 std::initializer_list<const char*> files) {
    for (const char* f : files) fs::copy_file(fs::path(data) / "syzygy" / f, dir.path / f);
}

// Pieces in the placement field of a FEN.
int popcount_of(const std::string& placement) {
    int n = 0;
    for (char c : placement) n += std::isalpha(static_cast<unsigned char>(c)) ? 1 : 0;
    return n;
}

void patch(const fs::path& file, size_t offset, uint8_t value) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(value));
}

} // namespace

TEST_F(TbDamaged, WrongMagicIsReportedOncePerKeyAndNeverAnswers) {
    REQUIRE_TESTDATA(data);
    TempDir dir("magic");
    copy_tables(data, dir, {"KQvKR.rtbw", "KQvKR.rtbz"});
    patch(dir.path / "KQvKR.rtbw", 0, 0x70);
    init_tables(dir.str(), dir.str());
    testing::internal::CaptureStdout();
    const Probe a = wdl_of("8/8/8/3q4/8/1k6/8/K6R w - - 0 1"); // White holds the rook
    const Probe b = wdl_of("8/8/8/3q4/8/1k6/8/K6R w - - 0 1");
    const Probe c = wdl_of("8/8/8/3Q4/8/1K6/8/k6r b - - 0 1"); // White holds the queen
    const Probe d = wdl_of("8/8/8/3Q4/8/1K6/8/k6r w - - 0 1");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Corrupted table.\nCorrupted table.\n");
    EXPECT_EQ(a.success + b.success + c.success + d.success, 0);
}

TEST_F(TbDamaged, TruncatedFilesAreCorruptNotFatal) {
    REQUIRE_TESTDATA(data);
    TempDir dir("trunc");
    copy_tables(data, dir, {"KRvK.rtbw", "KRvK.rtbz", "KPvKP.rtbw", "KPvKP.rtbz"});
    fs::resize_file(dir.path / "KRvK.rtbw", fs::file_size(dir.path / "KRvK.rtbw") / 2);
    fs::resize_file(dir.path / "KPvKP.rtbz", 0);
    init_tables(dir.str(), dir.str());
    testing::internal::CaptureStdout();
    const Probe kr = wdl_of("8/8/8/4k3/8/8/8/R3K3 w - - 0 1");
    const Probe kp_wdl = wdl_of("8/8/8/8/2PK4/p7/8/k7 w - - 0 1");
    const Probe kp_dtz = dtz_of("8/8/8/8/2PK4/p7/8/k7 w - - 0 1");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(kr.success, 0);
    EXPECT_EQ(kp_wdl.success, 1);
    EXPECT_EQ(kp_wdl.value, -2);
    EXPECT_EQ(kp_dtz.success, 0);
    EXPECT_EQ(out, "Corrupted table.\nCorrupted table.\n");
}

TEST_F(TbDamaged, RandomDamageNeverCrashes) {
    REQUIRE_TESTDATA(data);
    const auto cases = read_cases(data + "/tb-cases.txt");
    // A pawnless table with both sides stored and a symmetric pawn table with value maps.
    const std::pair<const char*, const char*> materials[] = {{"KQvKR", "Q"}, {"KPvKP", "P"}};
    std::mt19937 rng(12345);
    const int rounds = quick_mode() ? 10 : 40;
    for (const auto& [material, marker] : materials) {
        std::vector<std::string> fens;
        for (const auto& c : cases) {
            const std::string placement = c.fen.substr(0, c.fen.find(' '));
            if (placement.find(marker) != std::string::npos && popcount_of(placement) == 4 &&
                fens.size() < 40)
                fens.push_back(c.fen);
        }
        ASSERT_FALSE(fens.empty());
        const std::string wdl = std::string(material) + ".rtbw";
        const std::string dtz = std::string(material) + ".rtbz";
        for (int round = 0; round < rounds; ++round) {
            TempDir dir("fuzz");
            copy_tables(data, dir, {wdl.c_str(), dtz.c_str()});
            for (const std::string& f : {wdl, dtz}) {
                const size_t size = fs::file_size(dir.path / f);
                // Most damage goes to the headers and tables in front of the data blocks.
                for (int k = 0; k < 8; ++k) {
                    const size_t limit = (rng() & 1) ? std::min<size_t>(4096, size) : size;
                    patch(dir.path / f, 4 + rng() % (limit - 4), static_cast<uint8_t>(rng()));
                }
            }
            init_tables(dir.str(), dir.str());
            testing::internal::CaptureStdout();
            for (const auto& fen : fens) {
                const Probe w = wdl_of(fen);
                EXPECT_GE(w.value, -2);
                EXPECT_LE(w.value, 2);
                dtz_of(fen);
            }
            testing::internal::GetCapturedStdout();
        }
    }
}
