// Runs the real engine binary in a fresh temporary working directory: whole scripted runs for
// transcript tests, and interactive sessions whose output is read as it comes, so that a test can
// act while a search is running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// The settings file every run gets unless the test places its own: small hash tables.
inline constexpr const char* kSmallTables = "[ENGINE]\nHashSize=16\nHashPawnSize=1\n";
inline constexpr const char* kFirstPrompt = "enter 'console' for console mode... ";
inline constexpr const char* kPrompt = "\nbrontavel> ";

// A file to place in the working directory (name relative to it; folders are made as needed).
using WorkFile = std::pair<std::string, std::string>;

struct RunResult {
    std::string out;      // everything the engine wrote to standard output
    int exit_status = -1; // -1 when it did not exit normally
    bool timed_out = false;
};

class Session {
  public:
    explicit Session(const std::string& ini = kSmallTables,
                     const std::vector<WorkFile>& files = {});
    ~Session(); // kills the engine if it still runs and removes the directory
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool started() const { return pid_ > 0; }
    const std::string& dir() const { return dir_; }
    void send(const std::string& line) { write(line + "\n"); }
    void write(const std::string& text);
    void close_input();
    // Reads until a whole line beginning with `prefix` arrives and returns it; the lines before it
    // are passed over. Nothing when the output ends or the time passes first.
    std::optional<std::string> wait_for(std::string_view prefix,
                                        std::chrono::milliseconds timeout = 30s);
    // The whole lines printed during `period`.
    std::vector<std::string> read_for(std::chrono::milliseconds period);
    size_t mark() const { return scanned_; }
    std::vector<std::string> lines_since(size_t mark) const;
    // The exit status; -1 if the engine ended abnormally, -2 (after killing it) on a timeout.
    int wait_exit(std::chrono::milliseconds timeout = 30s);
    const std::string& transcript() const { return out_; }

  private:
    bool pump(std::chrono::milliseconds timeout);
    std::optional<std::string> next_line();

    std::string dir_;
    pid_t pid_ = -1;
    int in_ = -1, out_fd_ = -1;
    bool eof_ = false;
    std::string out_;
    size_t scanned_ = 0;
};

// Writes `input` to a fresh engine, closes its input and collects the output until it ends.
RunResult run_engine(const std::string& input, std::chrono::milliseconds timeout = 60s,
                     const std::vector<WorkFile>& files = {});

// Plays `script` as an interface does: after a "go" the next line only once the best move has come,
// unless that line is "stop" or "ponderhit". The input is closed at the end unless the last line
// was "quit".
RunResult run_uci_script(const std::string& script, std::chrono::milliseconds timeout = 60s,
                         const std::vector<WorkFile>& files = {});

// What the engine printed after the first-line prompt.
std::string after_startup(const std::string& out);

// The console's reply to each command: "c", the commands (one per line), end of input.
std::vector<std::string> console(const std::vector<std::string>& commands,
                                 const std::vector<WorkFile>& files = {});

} // namespace e2e
