// The settings file in the engine's working directory shapes start-up and the console's tables.
#include <string>

#include <gtest/gtest.h>

#include "e2e/harness.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(SettingsE2e, ThreadsAndHashSizeFromTheSettingsFile) {
    const std::string ini = "; test settings\r\n"
                            "[engine]\r\n"
                            "Thread=3\r\n"
                            "HashSize=16\r\n";
    const auto r = e2e::run_engine("c\nquit\n", std::chrono::seconds(60), {{"brontavel.ini", ini}});
    EXPECT_EQ(0, r.exit_status);
    const size_t prompt = r.out.find(e2e::kFirstPrompt);
    ASSERT_NE(std::string::npos, prompt) << r.out;
    const std::string startup = r.out.substr(0, prompt);
    EXPECT_EQ(1u, count(startup, "\nThread allocated for lazySMP: 3\n")) << startup;

    const std::string console = e2e::after_startup(r.out);
    EXPECT_EQ(0u, console.find("Allocated 16 MB for the Hash Table\n")) << console;
    EXPECT_EQ(3u, count(console, "HashPawn Table for Thread")) << console;
    for (const char* line :
         {" MB for the HashPawn Table for Thread 1\n", " MB for the HashPawn Table for Thread 2\n",
          " MB for the HashPawn Table for Thread 3\n"})
        EXPECT_EQ(1u, count(console, line)) << line;
}

} // namespace
