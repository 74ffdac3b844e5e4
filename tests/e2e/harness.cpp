#include "e2e/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

Session::Session(const std::string& ini, const std::vector<WorkFile>& files) {
    std::string pattern = (fs::temp_directory_path() / "brontavel-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a working directory: " << std::strerror(errno);
        return;
    }
    dir_ = pattern;
    // Without a settings file of the test's own the tables stay small: the defaults ask for 8 GB.
    std::ofstream(fs::path(dir_) / "brontavel.ini") << ini;
    for (const auto& [name, text] : files) {
        const fs::path path = fs::path(dir_) / name;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        std::ofstream(path, std::ios::binary) << text;
    }
    int to[2], from[2];
    if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    signal(SIGPIPE, SIG_IGN); // a write after the engine has ended must fail, not kill the test
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir_.c_str()) != 0 || dup2(to[0], STDIN_FILENO) < 0 ||
            dup2(from[1], STDOUT_FILENO) < 0)
            _exit(126);
        signal(SIGPIPE, SIG_DFL);
        execl(BRONTAVEL_BINARY, BRONTAVEL_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    in_ = to[1];
    out_fd_ = from[0];
    if (pid < 0) ADD_FAILURE() << "fork: " << std::strerror(errno);
    pid_ = pid;
}

Session::~Session() {
    close_input();
    if (out_fd_ >= 0) close(out_fd_);
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
}

void Session::write(const std::string& text) {
    for (size_t written = 0; written < text.size();) {
        const ssize_t put =
            in_ < 0 ? -1 : ::write(in_, text.data() + written, text.size() - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return; // the engine no longer reads: the test sees it in the output
        written += static_cast<size_t>(put);
    }
}

void Session::close_input() {
    if (in_ >= 0) close(in_);
    in_ = -1;
}

bool Session::pump(std::chrono::milliseconds timeout) {
    if (eof_ || out_fd_ < 0) return false;
    pollfd fd = {out_fd_, POLLIN, 0};
    int n;
    do n = poll(&fd, 1, static_cast<int>(timeout.count()));
    while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    char buf[65536];
    ssize_t got;
    do got = read(out_fd_, buf, sizeof buf);
    while (got < 0 && errno == EINTR);
    if (got <= 0) return !(eof_ = true);
    out_.append(buf, static_cast<size_t>(got));
    return true;
}

std::optional<std::string> Session::next_line() {
    const size_t end = out_.find('\n', scanned_);
    if (end == std::string::npos) return std::nullopt;
    std::string line = out_.substr(scanned_, end - scanned_);
    scanned_ = end + 1;
    return line;
}

std::optional<std::string> Session::wait_for(std::string_view prefix,
                                             std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        while (auto line = next_line())
            if (line->compare(0, prefix.size(), prefix) == 0) return line;
        if (remaining_ms(deadline) == 0 || eof_) return std::nullopt;
        pump(std::chrono::milliseconds(remaining_ms(deadline)));
    }
}

std::vector<std::string> Session::read_for(std::chrono::milliseconds period) {
    const size_t from = scanned_;
    const auto deadline = Clock::now() + period;
    while (remaining_ms(deadline) > 0 && !eof_)
        pump(std::chrono::milliseconds(remaining_ms(deadline)));
    while (next_line()) {
    }
    return lines_since(from);
}

std::vector<std::string> Session::lines_since(size_t mark) const {
    std::vector<std::string> lines;
    for (size_t p = mark, end; p < scanned_ && (end = out_.find('\n', p)) < scanned_; p = end + 1)
        lines.push_back(out_.substr(p, end - p));
    return lines;
}

int Session::wait_exit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
        if (done < 0 && errno != EINTR) return -1;
        if (remaining_ms(deadline) == 0) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
            return -2;
        }
        // Keep reading so that the engine never blocks on a full output pipe.
        if (!pump(std::chrono::milliseconds(std::min(remaining_ms(deadline), 5))))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pid_ = -1;
    while (pump(std::chrono::milliseconds(0))) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

RunResult run_engine(const std::string& input, std::chrono::milliseconds timeout,
                     const std::vector<WorkFile>& files) {
    RunResult result;
    Session s(kSmallTables, files);
    if (!s.started()) return result;
    s.write(input);
    s.close_input();
    result.exit_status = s.wait_exit(timeout);
    result.timed_out = result.exit_status == -2;
    EXPECT_FALSE(result.timed_out) << "the engine did not end; output:\n" << s.transcript();
    result.out = s.transcript();
    return result;
}

RunResult run_uci_script(const std::string& script, std::chrono::milliseconds timeout,
                         const std::vector<WorkFile>& files) {
    std::vector<std::string> lines;
    for (size_t p = 0; p < script.size();) {
        const size_t end = std::min(script.find('\n', p), script.size());
        lines.push_back(script.substr(p, end - p));
        p = end + 1;
    }
    RunResult result;
    Session s(kSmallTables, files);
    const auto starts = [](const std::string& line, const char* word) {
        return line.rfind(word, 0) == 0;
    };
    bool searching = false;
    for (size_t i = 0; i < lines.size() && s.started(); ++i) {
        s.send(lines[i]);
        searching = searching || starts(lines[i], "go");
        const bool for_search = i + 1 < lines.size() &&
                                (starts(lines[i + 1], "stop") || starts(lines[i + 1], "ponderhit"));
        if (searching && !for_search) {
            searching = false;
            if (!s.wait_for("bestmove ", timeout)) {
                ADD_FAILURE() << "no best move after \"" << lines[i] << "\" in:\n"
                              << s.transcript();
                result.timed_out = true;
                break;
            }
        }
    }
    if (lines.empty() || lines.back().empty() || lines.back()[0] != 'q') s.close_input();
    result.exit_status = s.wait_exit(timeout);
    if (result.exit_status == -2) {
        ADD_FAILURE() << "the engine did not end:\n" << s.transcript();
        result.timed_out = true;
    }
    result.out = s.transcript();
    return result;
}

std::string after_startup(const std::string& out) {
    const size_t at = out.find(kFirstPrompt);
    return at == std::string::npos ? out : out.substr(at + std::strlen(kFirstPrompt));
}

std::vector<std::string> console(const std::vector<std::string>& commands,
                                 const std::vector<WorkFile>& files) {
    std::string input = "c\n";
    for (const std::string& c : commands) input += c + "\n";
    const RunResult r = run_engine(input, 60s, files);
    EXPECT_EQ(0, r.exit_status);
    std::vector<std::string> parts;
    size_t at = r.out.find(kPrompt);
    EXPECT_NE(std::string::npos, at) << "no console prompt in:\n" << r.out;
    while (at != std::string::npos) {
        const size_t begin = at + std::strlen(kPrompt);
        at = r.out.find(kPrompt, begin);
        parts.push_back(r.out.substr(begin, at == std::string::npos ? at : at - begin));
    }
    parts.resize(commands.size() + 1); // the last reply is what follows the final prompt
    return parts;
}

} // namespace e2e
