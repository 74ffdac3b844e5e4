#include "e2e/harness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
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

// A fresh directory under the system temp dir, removed when it goes out of scope.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "brontavel-e2e-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        if (path_.empty()) return;
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

class Fd {
  public:
    Fd() = default;
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    int* addr() { return &fd_; }
    void reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

bool make_pipe(Fd& read_end, Fd& write_end) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    *read_end.addr() = fds[0];
    *write_end.addr() = fds[1];
    return true;
}

// In the child: becomes the engine with its working directory, standard input and standard
// output set up. Never returns.
[[noreturn]] void exec_engine(const std::string& dir, int in_fd, int out_fd) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (dup2(in_fd, STDIN_FILENO) < 0 || dup2(out_fd, STDOUT_FILENO) < 0) _exit(126);
    signal(SIGPIPE, SIG_DFL);
    execl(BRONTAVEL_BINARY, BRONTAVEL_BINARY, static_cast<char*>(nullptr));
    _exit(127);
}

} // namespace

RunResult run_engine(const std::string& input, std::chrono::milliseconds timeout,
                     const std::vector<WorkFile>& files) {
    RunResult result;
    TempDir dir;
    if (dir.path().empty()) {
        ADD_FAILURE() << "cannot create a temporary working directory: " << std::strerror(errno);
        return result;
    }
    // Without a settings file of the test's own, the tables are kept small: the defaults would
    // ask for 8 GB, which every "clear" would have to zero.
    std::ofstream(fs::path(dir.path()) / "brontavel.ini") << kSmallTables;
    for (const auto& [name, text] : files) {
        const fs::path path = fs::path(dir.path()) / name;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        std::ofstream(path, std::ios::binary) << text;
    }

    Fd in_read, in_write, out_read, out_write;
    if (!make_pipe(in_read, in_write) || !make_pipe(out_read, out_write)) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return result;
    }

    // The engine may end before it has read all of its input; that must not kill the test.
    signal(SIGPIPE, SIG_IGN);

    const pid_t pid = fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        return result;
    }
    if (pid == 0) exec_engine(dir.path(), in_read.get(), out_write.get());
    in_read.reset();
    out_write.reset();
    fcntl(in_write.get(), F_SETFL, O_NONBLOCK);

    // Feed the input and drain the output together, so that neither side can block the other
    // on a full pipe.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t written = 0;
    if (input.empty()) in_write.reset();
    char buf[65536];
    while (out_read.get() >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timed_out = true;
            break;
        }
        pollfd fds[2] = {{out_read.get(), POLLIN, 0}, {in_write.get(), POLLOUT, 0}};
        const int n = poll(fds, in_write.get() >= 0 ? 2 : 1, static_cast<int>(left.count()));
        if (n < 0) {
            if (errno == EINTR) continue;
            ADD_FAILURE() << "poll: " << std::strerror(errno);
            break;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t got = read(out_read.get(), buf, sizeof buf);
            if (got > 0) {
                result.out.append(buf, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                out_read.reset(); // end of output
            }
        }
        if (in_write.get() >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t put =
                write(in_write.get(), input.data() + written, input.size() - written);
            if (put > 0) written += static_cast<size_t>(put);
            if ((put < 0 && errno != EINTR && errno != EAGAIN) || written == input.size())
                in_write.reset(); // all written, or the engine stopped reading
        }
    }
    in_write.reset();

    // The output is closed; the engine should be gone, or about to be.
    int status = -1;
    while (!result.timed_out) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() >= deadline)
            result.timed_out = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (result.timed_out) {
        ADD_FAILURE() << "the engine did not end within " << timeout.count()
                      << " ms; output so far:\n"
                      << result.out;
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (!result.timed_out && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    return result;
}

std::string after_startup(const std::string& out) {
    const size_t at = out.find(kFirstPrompt);
    if (at == std::string::npos) return out;
    return out.substr(at + std::strlen(kFirstPrompt));
}

std::string console(const std::string& commands) {
    const RunResult r = run_engine("c\n" + commands);
    EXPECT_EQ(r.exit_status, 0);
    const size_t at = r.out.find(kPrompt);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no console prompt in:\n" << r.out;
        return r.out;
    }
    return r.out.substr(at + std::strlen(kPrompt));
}

} // namespace e2e
