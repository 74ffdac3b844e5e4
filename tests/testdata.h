// Locating the shared test data (tablebases, books, reference values).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

// $BRONTAVEL_TESTDATA, else ../shared/testdata beside the repository; empty when missing.
inline std::string testdata_dir() {
    namespace fs = std::filesystem;
    const char* env = std::getenv("BRONTAVEL_TESTDATA");
    const fs::path p =
        env && *env ? fs::path(env) : fs::path(BRONTAVEL_SOURCE_DIR) / "../shared/testdata";
    return fs::is_directory(p) ? fs::canonical(p).string() : std::string();
}

#define REQUIRE_TESTDATA(dir)                                                                      \
    const std::string dir = testdata_dir();                                                        \
    if (dir.empty()) GTEST_SKIP() << "test data not found: set BRONTAVEL_TESTDATA"

// Long-running checks are cut short in sanitizer builds.
inline bool quick_mode() {
    const char* q = std::getenv("BRONTAVEL_QUICK");
    return q && *q && *q != '0';
}
