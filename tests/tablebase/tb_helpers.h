// The tablebase reference values and loading the tables, shared by the tablebase tests.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tablebase/tablebase.h"

namespace tbtest {

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

// Registers the tables of the folders for both kinds of table; gives what tb_init printed.
inline std::string init_tables(const std::string& dirs) {
    testing::internal::CaptureStdout();
    tb_init(dirs.c_str(), dirs.c_str());
    return testing::internal::GetCapturedStdout();
}

// Empties the registry, so that later tests never see the tables an earlier one loaded.
inline void unload_tables() {
    init_tables("");
}

} // namespace tbtest
