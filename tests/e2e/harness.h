// Runs the real engine binary on a scripted standard input, for transcript tests.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct RunResult {
    std::string out;      // everything the engine wrote to standard output
    int exit_status = -1; // the exit status, or -1 when the process did not exit normally
    bool timed_out = false;
};

// The settings file every run gets unless the test places its own: small hash tables, the other
// settings at their defaults.
inline constexpr const char* kSmallTables = "[ENGINE]\nHashSize=16\nHashPawnSize=1\n";

// A file to place in the working directory before the engine starts (name relative to it; the
// folders on its path are made as needed).
using WorkFile = std::pair<std::string, std::string>;

// Starts the engine in a fresh temporary working directory, writes `input` to its standard input
// and closes it, and collects its standard output until it ends. After `timeout` the engine is
// killed, the result is marked as timed out and a test failure is recorded. The directory is
// removed afterwards.
RunResult run_engine(const std::string& input,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60),
                     const std::vector<WorkFile>& files = {});

// The first-line prompt that ends the start-up text.
inline constexpr const char* kFirstPrompt = "enter 'console' for console mode... ";

// The console prompt printed before every command.
inline constexpr const char* kPrompt = "\nbrontavel> ";

// What the engine printed after the first-line prompt; the whole output if the prompt is missing.
std::string after_startup(const std::string& out);

// Runs "c" followed by `commands` (one command per line, each ending in a line break) and returns
// what the console printed after its first prompt, so that expected texts start with the reply
// to the first command. Records a test failure if the engine did not exit with status 0 or never
// showed the console prompt.
std::string console(const std::string& commands);

} // namespace e2e
