// An interactive conversation with the real engine binary: lines are written one at a time and
// the output is read as it comes, so a test can act while a search is running (send "stop" to an
// infinite analysis, "ponderhit" to a ponder search) and measure how fast the engine answers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/harness.h"

namespace e2e {

class Session {
  public:
    // Starts the engine in a fresh temporary working directory that holds `ini` as its settings
    // file, plus `files`. Records a test failure if the engine cannot be started.
    explicit Session(const std::string& ini = kSmallTables,
                     const std::vector<WorkFile>& files = {});
    // Kills the engine if it still runs and removes the directory.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool started() const { return pid_ > 0; }
    // The engine's working directory; it lives as long as the session.
    const std::string& dir() const { return dir_; }

    // Writes `line` and a line break to the engine's standard input.
    void send(const std::string& line);
    // Closes the engine's standard input (end of input).
    void close_input();

    // Reads output until a whole line beginning with `prefix` arrives and returns it without its
    // line break; the lines before it are passed over. Nothing when the output ends or `timeout`
    // passes first.
    std::optional<std::string>
    wait_for(std::string_view prefix, std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // Reads whatever the engine prints during `period` and returns the whole lines among it.
    std::vector<std::string> read_for(std::chrono::milliseconds period);

    // Position in the output up to which lines have been passed over or returned.
    size_t mark() const { return scanned_; }
    // The whole lines between an earlier mark and the current one.
    std::vector<std::string> lines_since(size_t mark) const;

    // Waits for the engine to end and returns its exit status; -1 if it ended abnormally, and -2
    // (after killing it) if it was still running after `timeout`.
    int wait_exit(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // Everything the engine has printed so far.
    const std::string& transcript() const { return out_; }

  private:
    // Waits up to `timeout` for output and appends it; false when the output has ended or nothing
    // came in time.
    bool pump(std::chrono::milliseconds timeout);
    std::optional<std::string> next_line();

    std::string dir_;
    pid_t pid_ = -1;
    int in_ = -1;     // the engine's standard input, our end
    int out_fd_ = -1; // the engine's standard output, our end
    bool eof_ = false;
    std::string out_;
    size_t scanned_ = 0;
};

// Plays `script` the way an interface does: one line at a time, and after a "go" the next line
// only once the best move has come (unless that line is "stop" or "ponderhit", which are meant
// for the running search). After the last line the input is closed, unless that line was "quit",
// and the engine's end is awaited. Records a test failure when a best move or the end does not
// come within `timeout`.
RunResult run_uci_script(const std::string& script,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60),
                         const std::vector<WorkFile>& files = {});

} // namespace e2e
