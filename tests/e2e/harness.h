// Runs the real engine binary in a temporary directory of its own and reads its output as it
// comes; UCI search replies are parsed and their moves checked with the engine's board code.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "board/board_helpers.h"

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ms = std::chrono::milliseconds;
using WorkFile = std::pair<std::string, std::string>; // name in the working directory, contents

// The defaults ask for 8 GB of tables.
inline const std::string kSmallTables = "[ENGINE]\nHashSize=16\nHashPawnSize=1\n";
inline const std::string kFirstPrompt = "enter 'console' for console mode... ";
inline const std::string kPrompt = "\nbrontavel> ";
inline const std::string kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

inline double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline std::vector<std::string> split(const std::string& text, char sep = '\n') {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, sep);)
        if (sep == '\n' || !part.empty()) parts.push_back(part);
    return parts;
}

class Session {
  public:
    explicit Session(const std::string& ini = kSmallTables, const std::vector<WorkFile>& files = {},
                     std::vector<std::string> args = {}) {
        namespace fs = std::filesystem;
        dir_ = (fs::temp_directory_path() / "brontavel-e2e-XXXXXX").string();
        int to[2], from[2];
        if (!mkdtemp(dir_.data()) || pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot set up the engine's directory and pipes");
        std::ofstream(fs::path(dir_) / "brontavel.ini") << ini;
        for (const auto& [name, text] : files)
            std::ofstream(fs::path(dir_) / name, std::ios::binary) << text;
        signal(SIGPIPE, SIG_IGN); // a write after the engine has ended fails instead
        std::vector<char*> argv = {const_cast<char*>(BRONTAVEL_BINARY)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if ((pid_ = fork()) == 0) {
            if (chdir(dir_.c_str()) == 0 && dup2(to[0], 0) == 0 && dup2(from[1], 1) == 1) {
                signal(SIGPIPE, SIG_DFL);
                execv(argv[0], argv.data());
            }
            _exit(127);
        }
        close(to[0]);
        close(from[1]);
        in_ = to[1];
        out_fd_ = from[0];
        if (pid_ < 0) throw std::runtime_error("cannot start the engine");
    }
    ~Session() {
        close_input();
        close(out_fd_);
        if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    const std::string& dir() const { return dir_; }
    const std::string& transcript() const { return out_; }
    void send(const std::string& text, const char* end = "\n") { // a blocking pipe takes it whole
        const std::string s = text + end;
        if (in_ >= 0 && ::write(in_, s.data(), s.size()) < 0) close_input();
    }
    void close_input() { close(std::exchange(in_, -1)); } // a second close does nothing
    // Reads until a line beginning with `prefix` arrives and returns it; nothing when the output
    // ends or the time passes first.
    std::optional<std::string> wait_for(const std::string& prefix, ms timeout = 30s) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            for (size_t end; (end = out_.find('\n', scanned_)) != std::string::npos;) {
                std::string line = out_.substr(scanned_, end - scanned_);
                scanned_ = end + 1;
                if (line.starts_with(prefix)) return line;
            }
            if (eof_ || Clock::now() >= deadline) return std::nullopt;
            pump(deadline);
        }
    }
    size_t mark() const { return scanned_; }
    std::vector<std::string> lines_since(size_t mark) const {
        return split(out_.substr(mark, scanned_ - mark));
    }
    // The exit status once the engine has ended; -1 for an abnormal end, -2 on a timeout.
    int wait_exit(ms timeout = 30s) {
        const auto deadline = Clock::now() + timeout;
        while (!eof_ && Clock::now() < deadline) pump(deadline);
        int status = 0;
        pid_t done;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        if (done != pid_) return -2; // the destructor kills it
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    void pump(Clock::time_point deadline) {
        pollfd fd = {out_fd_, POLLIN, 0};
        const auto left = std::chrono::duration_cast<ms>(deadline - Clock::now()).count();
        if (poll(&fd, 1, static_cast<int>(std::max<int64_t>(0, left))) <= 0) return;
        char buf[65536];
        const ssize_t got = read(out_fd_, buf, sizeof buf);
        if (got > 0) out_.append(buf, static_cast<size_t>(got));
        eof_ = got == 0 || (got < 0 && errno != EINTR);
    }

    std::string dir_, out_;
    pid_t pid_ = -1;
    int in_ = -1, out_fd_ = -1;
    bool eof_ = false;
    size_t scanned_ = 0;
};

struct RunResult {
    std::string out;
    int exit_status;
};

// Writes `input` to a fresh engine, closes its input and collects the output until it ends.
inline RunResult run_engine(const std::string& input, const std::vector<WorkFile>& files = {},
                            const std::string& ini = kSmallTables,
                            const std::vector<std::string>& args = {}) {
    Session s(ini, files, args);
    s.send(input, "");
    s.close_input();
    const int status = s.wait_exit(120s);
    EXPECT_NE(-2, status) << "the engine did not end:\n" << s.transcript();
    return {s.transcript(), status};
}

// What the engine printed after the first-line prompt.
inline std::string after_startup(const std::string& out) {
    const size_t at = out.find(kFirstPrompt);
    return at == std::string::npos ? out : out.substr(at + kFirstPrompt.size());
}

// The console's reply to each command, the last one being what follows the final prompt.
inline std::vector<std::string> console(const std::vector<std::string>& commands,
                                        const std::vector<WorkFile>& files = {}) {
    std::string input = "c\n";
    for (const std::string& c : commands) input += c + "\n";
    const RunResult r = run_engine(input, files);
    EXPECT_EQ(0, r.exit_status);
    std::vector<std::string> parts;
    for (size_t at = r.out.find(kPrompt); at != std::string::npos;) {
        const size_t begin = at + kPrompt.size();
        at = r.out.find(kPrompt, begin);
        parts.push_back(r.out.substr(begin, at - begin)); // the last one runs to the end
    }
    parts.resize(commands.size() + 1); // a missing reply is empty
    return parts;
}

// An interactive session that has completed the handshake and allocated its tables.
inline bool start_uci(Session& s) {
    s.send("uci");
    s.send("isready");
    return s.wait_for("uciok") && s.wait_for("readyok");
}

// The lines of `script` after the handshake, each "go" waiting for its best move; what the engine
// printed after the first readyok.
inline std::vector<std::string> uci_script(const std::string& script) {
    Session s;
    EXPECT_TRUE(start_uci(s)) << s.transcript();
    const size_t mark = s.mark();
    for (const std::string& line : split(script)) {
        s.send(line);
        EXPECT_TRUE(!line.starts_with("go") || s.wait_for("bestmove ", 60s)) << line;
    }
    s.close_input();
    EXPECT_EQ(0, s.wait_exit(60s)) << s.transcript();
    return split(s.transcript().substr(mark));
}

inline bool is_legal(const std::string& fen, const std::string& moves, const std::string& move) {
    const auto s = stack_from(fen, moves.empty() ? nullptr : moves.c_str());
    return s && contains(texts(*s->current, gen_legal_moves), move);
}

struct Info {
    int depth = 0, score = 0; // centipawns, or moves to mate
    bool mate = false;
    uint64_t nodes = 0, tbhits = 0;
    std::vector<std::string> pv;
};

// What one "go" printed: its iteration lines, the best and ponder moves, the game-end lines after
// the best move, and anything else before it.
struct SearchReply {
    std::vector<Info> infos;
    std::string best, ponder;
    std::vector<std::string> results, other;
    int depth() const { return infos.empty() ? 0 : infos.back().depth; }
};

// Groups the lines of a transcript by the best-move line that ends each search.
inline std::vector<SearchReply> parse_searches(const std::vector<std::string>& lines) {
    static const std::regex info(R"(info depth +(\d+) (?:seldepth +\d+ )?score (cp|mate) +(-?\d+))"
                                 R"( nodes +(\d+) time +\d+ nps \d+ hashfull \d+ tbhits (\d+))"
                                 R"( pv ((?:[a-h][1-8][a-h][1-8][nbrq]? )*))");
    static const std::regex best(R"(bestmove (\S+)(?: ponder (\S+))?)");
    static const std::regex result(R"((1-0|0-1|1/2-1/2) \{.*\})");
    std::vector<SearchReply> searches;
    SearchReply cur;
    std::smatch m;
    for (const std::string& line : lines) {
        if (line.starts_with("info ") && !line.starts_with("info string ")) {
            EXPECT_TRUE(std::regex_match(line, m, info)) << "malformed: \"" << line << "\"";
            if (!m.empty())
                cur.infos.push_back({std::stoi(m[1]), std::stoi(m[3]), m[2] == "mate",
                                     std::stoull(m[4]), std::stoull(m[5]), split(m[6], ' ')});
        } else if (line.starts_with("bestmove ")) {
            EXPECT_TRUE(std::regex_match(line, m, best)) << "malformed: \"" << line << "\"";
            cur.best = m[1];
            cur.ponder = m[2];
            searches.push_back(std::exchange(cur, {}));
        } else if (std::regex_match(line, result) && !searches.empty() && cur.infos.empty() &&
                   cur.other.empty()) {
            searches.back().results.push_back(line);
        } else {
            cur.other.push_back(line);
        }
    }
    return searches;
}

// Every variation is a legal line from the root, the depths run from 1 up without gaps, the best
// move is legal and leads the last variation, and a ponder move is its second move.
inline void check_search(const std::string& fen, const std::string& moves, const SearchReply& s) {
    ASSERT_FALSE(s.infos.empty()) << "no iteration line before bestmove " << s.best;
    int expected = 1;
    for (const Info& info : s.infos) {
        EXPECT_TRUE(info.depth == expected || info.depth == expected - 1) << info.depth;
        expected = info.depth + 1;
        std::string line = moves;
        for (const std::string& m : info.pv) {
            EXPECT_TRUE(is_legal(fen, line, m)) << m << " after " << line;
            line += (line.empty() ? "" : " ") + m;
        }
    }
    EXPECT_TRUE(is_legal(fen, moves, s.best)) << "bestmove " << s.best;
    const auto& pv = s.infos.back().pv;
    EXPECT_TRUE(pv.empty() || s.best == pv[0]) << s.best;
    EXPECT_TRUE(s.ponder.empty() || (pv.size() >= 2 && s.ponder == pv[1])) << s.ponder;
}

// Reads the search whose lines follow `mark` up to its best move.
inline std::optional<SearchReply> finish(Session& s, size_t mark, ms timeout = 30s) {
    if (!s.wait_for("bestmove ", timeout)) return std::nullopt;
    const auto searches = parse_searches(s.lines_since(mark));
    EXPECT_EQ(1u, searches.size());
    return searches.size() == 1 ? std::optional(searches[0]) : std::nullopt;
}

} // namespace e2e
