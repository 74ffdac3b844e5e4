// Locating the shared test data (tablebases, books, reference values).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

// The test data folder: $BRONTAVEL_TESTDATA, else ../shared/testdata beside the repository.
// Empty when it cannot be found.
inline std::string testdata_dir() {
    namespace fs = std::filesystem;
    if (const char* env = std::getenv("BRONTAVEL_TESTDATA"); env && *env)
        return fs::is_directory(env) ? std::string(env) : std::string();
    fs::path p = fs::path(BRONTAVEL_SOURCE_DIR) / ".." / "shared" / "testdata";
    return fs::is_directory(p) ? fs::canonical(p).string() : std::string();
}

// Skips the current test with a clear message when the test data is missing.
#define REQUIRE_TESTDATA(dir)                                                                      \
    const std::string dir = testdata_dir();                                                        \
    if (dir.empty())                                                                               \
    GTEST_SKIP() << "shared test data not found: set BRONTAVEL_TESTDATA or place it at "           \
                    "../shared/testdata"

// Long-running checks are cut short in sanitizer builds.
inline bool quick_mode() {
    const char* q = std::getenv("BRONTAVEL_QUICK");
    return q && *q && *q != '0';
}
