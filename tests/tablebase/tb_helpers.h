// Helpers shared by the tablebase tests.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board_helpers.h"
#include "tablebase/tablebase.h"

namespace tbtest {

namespace fs = std::filesystem;

struct RefCase {
    std::string fen;
    int dtz, wdl;
};

// "FEN,DTZ,WDL" per line.
inline std::vector<RefCase> read_cases(const std::string& path) {
    std::vector<RefCase> cases;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t c2 = line.rfind(','), c1 = line.rfind(',', c2 - 1);
        cases.push_back({line.substr(0, c1), std::stoi(line.substr(c1 + 1, c2 - c1 - 1)),
                         std::stoi(line.substr(c2 + 1))});
    }
    return cases;
}

// Runs tb_init on one folder for both kinds of table and gives what it printed.
inline std::string init_tables(const std::string& dir) {
    testing::internal::CaptureStdout();
    tb_init(dir.c_str(), dir.c_str());
    return testing::internal::GetCapturedStdout();
}

// A fresh, empty folder that is removed again at the end of the test.
struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& tag) {
        static std::atomic<int> counter{0};
        path = fs::temp_directory_path() / ("tbtest-" + tag + "-" + std::to_string(::getpid()) +
                                            "-" + std::to_string(counter++));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string str() const { return path.string(); }
};

struct Probe {
    int value = 0, success = 0;
};

inline Probe probe(const std::string& fen, bool dtz) {
    auto s = stack_from(fen);
    EXPECT_TRUE(s) << fen;
    Probe p;
    if (s)
        p.value =
            dtz ? tb_probe_dtz(*s->current, &p.success) : tb_probe_wdl(*s->current, &p.success);
    return p;
}
inline Probe wdl_of(const std::string& fen) {
    return probe(fen, false);
}
inline Probe dtz_of(const std::string& fen) {
    return probe(fen, true);
}

// Every material of three to six pieces once, as a table name: the side with more pieces first,
// at equal counts the one whose pieces, taken in the order Q R B N P, come first.
inline std::vector<std::string> all_material_names() {
    std::vector<std::string> sides = {""}; // up to four pieces besides the king, as indexes 1-5
    for (size_t i = 0; i < sides.size(); ++i)
        for (char c = sides[i].empty() ? '1' : sides[i].back(); c <= '5' && sides[i].size() < 4;
             ++c)
            sides.push_back(sides[i] + c);
    auto letters = [](std::string side) {
        for (char& c : side) c = "QRBNP"[c - '1'];
        return side;
    };
    std::vector<std::string> names;
    for (const auto& a : sides)
        for (const auto& b : sides)
            if (!a.empty() && a.size() + b.size() <= 4 &&
                (a.size() > b.size() || (a.size() == b.size() && a <= b)))
                names.push_back("K" + letters(a) + "vK" + letters(b));
    return names;
}

// Empties the registry, so that later tests never see the tables an earlier one loaded.
inline void unload_tables() {
    TempDir empty("none");
    init_tables(empty.str());
}

struct TbTest : testing::Test {
    void TearDown() override { unload_tables(); }
};

} // namespace tbtest
