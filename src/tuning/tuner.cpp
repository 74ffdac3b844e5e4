#include "tuning/tuner.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "board/fen.h"
#include "board/movegen.h"
#include "config/settings.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "search/flags.h"
#include "search/search.h"
#include "search/think.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Files and lines
// ---------------------------------------------------------------------------------------------

constexpr const char* kInputFile = "input.epd";
constexpr const char* kOutputFile = "output.csv";
constexpr const char* kSkipFile = "skip.csv";
constexpr const char* kTunedFile = "tuned.csv";
constexpr const char* kSwitchFile = "tune.txt";

// A line holds at most 254 characters, then its line break and the terminator.
constexpr size_t kMaxLine = 254;
constexpr size_t kLineBuffer = kMaxLine + 2;

constexpr const char* kStartPlacement = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";

[[noreturn]] void file_not_found() {
    std::printf("File not found\n");
    std::fflush(stdout);
    std::exit(1);
}

FILE* open_or_die(const char* name, const char* mode) {
    FILE* f = std::fopen(name, mode);
    if (!f) file_not_found();
    return f;
}

struct Line {
    char text[kLineBuffer]; // the line as read, with its line break when it had one
    size_t length = 0;      // characters in text
    bool overlong = false;  // the line had more than kMaxLine characters; the rest was dropped
};

// Reads the next line; false at the end of the file. Characters beyond kMaxLine are consumed and
// dropped, so that an overlong line still counts as one line.
bool read_line(FILE* f, Line& line) {
    size_t n = 0;
    bool any = false;
    line.overlong = false;
    for (int c; (c = std::getc(f)) != EOF;) {
        any = true;
        if (c == '\n') {
            line.text[n++] = '\n';
            break;
        }
        if (n < kMaxLine)
            line.text[n++] = static_cast<char>(c);
        else
            line.overlong = true;
    }
    line.text[n] = 0;
    line.length = n;
    return any;
}

// Field 1 (up to the first ';') and field 2 (up to the next ';' or the end of the line) of a
// line. When field 1 is the whole line its line break is dropped: it is the position, not part of
// it. A last field 2 keeps its line break, so "1-0\n" is not a recognised result.
struct Fields {
    char first[kLineBuffer];
    char second[kLineBuffer];
    bool has_second = false;
};

void split_fields(const Line& line, Fields& f) {
    const char* p = line.text;
    size_t n = 0;
    while (*p && *p != ';') f.first[n++] = *p++;
    f.first[n] = 0;
    f.has_second = *p == ';';
    if (!f.has_second) {
        while (n > 0 && (f.first[n - 1] == '\n' || f.first[n - 1] == '\r')) f.first[--n] = 0;
        f.second[0] = 0;
        return;
    }
    ++p;
    n = 0;
    while (*p && *p != ';') f.second[n++] = *p++;
    f.second[n] = 0;
}

double result_value(const char* field) {
    if (std::strcmp(field, "1-0") == 0) return 1.0;
    if (std::strcmp(field, "1/2-1/2") == 0) return 0.5;
    return 0.0;
}

// A decimal number as atoi reads it, kept modulo 2^16 as a signed 16-bit number.
int16_t target_value(const char* field) {
    while (*field == ' ' || *field == '\t') ++field;
    bool negative = false;
    if (*field == '+' || *field == '-') negative = *field++ == '-';
    uint32_t value = 0;
    while (*field >= '0' && *field <= '9')
        value = value * 10 + static_cast<uint32_t>(*field++ - '0');
    if (negative) value = 0u - value;
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

double sigmoid(double k, double q) {
    return 1.0 / (1.0 + std::pow(10.0, -k * q / 400.0));
}

// ---------------------------------------------------------------------------------------------
// The positions of "output.csv" in memory
// ---------------------------------------------------------------------------------------------

enum class Label { Result, Score };

struct DataSet {
    bool active = false;
    Label label = Label::Result;
    std::vector<Board> boards;   // the readable positions, in file order
    std::vector<double> targets; // their result (0, 0.5, 1) or target score
    uint64_t lines = 0;          // every line read, unreadable ones included
};

void load_data(DataSet& data, Label label) {
    FILE* f = open_or_die(kOutputFile, "r");
    data = DataSet{};
    data.active = true;
    data.label = label;
    auto scratch = std::make_unique<PositionStack>();
    Line line;
    Fields fields;
    while (read_line(f, line)) {
        ++data.lines;
        split_fields(line, fields);
        if (line.overlong || !read_fen(*scratch, fields.first, nullptr)) continue;
        data.boards.push_back(*scratch->current);
        data.targets.push_back(label == Label::Result ? result_value(fields.second)
                                                      : target_value(fields.second));
    }
    std::fclose(f);
    if (data.lines == 0)
        std::printf("%s holds no positions: the error is taken as 0\n", kOutputFile);
    else if (data.boards.empty())
        std::printf("%s holds no readable position: the error is taken as 0\n", kOutputFile);
}

// The data set of the running tuning command, if any.
DataSet session_data;

// Evaluation records of the error functions, each with a small pawn table of its own (cleared at
// every evaluation, since the cached pawn scores depend on the weights being tuned).
std::vector<std::unique_ptr<SearchThread>> eval_records;
constexpr uint64_t kRecordPawnEntries = 1 << 14;

SearchThread& eval_record(size_t i) {
    while (eval_records.size() <= i) {
        auto record = std::make_unique<SearchThread>();
        pawn_allocate(*record, kRecordPawnEntries, 0, 0, 0);
        eval_records.push_back(std::move(record));
    }
    return *eval_records[i];
}

// Positions per chunk. The chunks are fixed by the data alone and their sums are added in chunk
// order, so the total is the same whichever thread did which chunk.
constexpr size_t kChunk = 2048;

// Sum over the data set of the per-position error with the variables as they are.
double error_sum(const DataSet& data, double k) {
    const size_t n = data.boards.size();
    const size_t chunks = (n + kChunk - 1) / kChunk;
    if (chunks == 0) return 0.0;
    std::vector<double> partial(chunks, 0.0);
    const size_t workers =
        std::min<size_t>(std::clamp<int>(settings.threads, 1, MAX_THREADS), chunks);
    for (size_t w = 0; w < workers; ++w) pawn_clear(eval_record(w));

    std::atomic<size_t> next{0};
    auto work = [&](size_t w) {
        SearchThread& record = *eval_records[w];
        for (size_t c; (c = next.fetch_add(1, std::memory_order_relaxed)) < chunks;) {
            double sum = 0.0;
            const size_t end = std::min(n, (c + 1) * kChunk);
            for (size_t i = c * kChunk; i < end; ++i) {
                record.stack.boards[0] = data.boards[i];
                record.stack.current = record.stack.boards;
                const int eval = evaluate(record);
                if (data.label == Label::Result) {
                    const int q = data.boards[i].side == BLACK ? -eval : eval;
                    const double d = data.targets[i] - sigmoid(k, q);
                    sum += d * d;
                } else {
                    sum += std::fabs(eval - data.targets[i]);
                }
            }
            partial[c] = sum;
        }
    };
    std::vector<std::thread> pool;
    for (size_t w = 1; w < workers; ++w) {
        try {
            pool.emplace_back(work, w);
        } catch (const std::system_error&) {
            break; // the threads already running take the remaining chunks
        }
    }
    work(0);
    for (std::thread& t : pool) t.join();

    double total = 0.0;
    for (double s : partial) total += s;
    return total;
}

double mean_error(Label label, double k) {
    ResetEvalParams();
    if (session_data.active && session_data.label == label) {
        return session_data.lines
                   ? error_sum(session_data, k) / static_cast<double>(session_data.lines)
                   : 0.0;
    }
    DataSet data;
    load_data(data, label);
    return data.lines ? error_sum(data, k) / static_cast<double>(data.lines) : 0.0;
}

// ---------------------------------------------------------------------------------------------
// Table snapshots and moves
// ---------------------------------------------------------------------------------------------

struct Snapshot {
    struct Row {
        int32_t value, best, tune;
        char name[sizeof(EvalParam::name)];
    };
    Row rows[EVAL_PARAM_COUNT];
};

void take_snapshot(Snapshot& s) {
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
        const EvalParam& p = EvalParamTable[i];
        s.rows[i].value = p.value;
        s.rows[i].best = p.best;
        s.rows[i].tune = p.tune;
        std::memcpy(s.rows[i].name, p.name, sizeof p.name);
    }
}

void restore_snapshot(const Snapshot& s) {
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
        EvalParam& p = EvalParamTable[i];
        p.value = s.rows[i].value;
        p.best = s.rows[i].best;
        p.tune = s.rows[i].tune;
        std::memcpy(p.name, s.rows[i].name, sizeof p.name);
    }
}

// Truncation toward zero, held inside the 32-bit range.
int32_t to_weight(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(x);
}

// A row's value moved by `delta` from `base`: the move is rounded to whole units, alike up and
// down, and the result kept inside the row's range. A row with an empty range (min above max) is
// never moved.
int32_t moved_weight(const EvalParam& p, int32_t base, double delta) {
    if (p.min > p.max) return base;
    const double x = static_cast<double>(base) + (std::isfinite(delta) ? std::round(delta) : 0.0);
    return static_cast<int32_t>(
        std::clamp(x, static_cast<double>(p.min), static_cast<double>(p.max)));
}

// The error along the line x0 + a * direction. Each point is measured once, told apart by the
// weights it gives (nearby steps often round to the same ones), and the lowest one is kept.
class LineProbe {
  public:
    LineProbe(SearchThread& thread, TuneErrorFn error, const Snapshot& x0, const double* direction)
        : thread_(thread), error_(error), x0_(x0), direction_(direction) {}

    double error_at(double a) {
        restore_snapshot(x0_);
        std::vector<int32_t> weights;
        for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
            EvalParam& p = EvalParamTable[i];
            if (!p.tune) continue;
            p.value = moved_weight(p, x0_.rows[i].value, direction_[i] * a);
            weights.push_back(p.value);
        }
        for (const Point& seen : seen_)
            if (seen.weights == weights) return seen.error;
        const double e = error_(thread_);
        if (seen_.empty() || e < seen_[best_].error) best_ = seen_.size();
        seen_.push_back({std::move(weights), e});
        return e;
    }

    // The change of the error over the next step of one unit.
    double slope_at(double a) {
        const double e = error_at(a);
        return (error_at(a + TUNE_H) - e) / TUNE_H;
    }

    // Leaves the table at the lowest point measured, or at x0 when none was.
    void move_to_best() {
        restore_snapshot(x0_);
        if (seen_.empty()) return;
        size_t k = 0;
        for (EvalParam& p : EvalParamTable)
            if (p.tune) p.value = seen_[best_].weights[k++];
    }

  private:
    struct Point {
        std::vector<int32_t> weights; // the tuned rows' values, in table order
        double error;
    };
    SearchThread& thread_;
    TuneErrorFn error_;
    const Snapshot& x0_;
    const double* direction_;
    std::vector<Point> seen_;
    size_t best_ = 0;
};

// Doublings of the bracketing step before the line search gives up widening.
constexpr int kMaxDoublings = 40;

// The least fall of the error over the first step that counts as a descent.
constexpr double kMinDescent = 1e-12;

// ---------------------------------------------------------------------------------------------
// Switches and sessions
// ---------------------------------------------------------------------------------------------

// A tuning command: the rows of "tune.txt" switched on and the positions of "output.csv" loaded
// for its lifetime; the table's own switches come back at its end.
class TuningSession {
  public:
    TuningSession(Label label, bool use_switch_file) {
        for (int i = 0; i < EVAL_PARAM_COUNT; ++i) own_switches_[i] = EvalParamTable[i].tune;
        if (use_switch_file) TuneApplySwitchFile();
        load_data(session_data, label);
    }
    ~TuningSession() {
        session_data = DataSet{};
        for (int i = 0; i < EVAL_PARAM_COUNT; ++i) EvalParamTable[i].tune = own_switches_[i];
    }
    TuningSession(const TuningSession&) = delete;
    TuningSession& operator=(const TuningSession&) = delete;

  private:
    int32_t own_switches_[EVAL_PARAM_COUNT];
};

// Cached pawn scores were computed with the old weights: drop them so that the tuned weights are
// the ones in force.
void refresh_pawn_tables(SearchThread& thread) {
    pawn_clear(thread);
    pawn_clear(main_search);
    for (int i = 1; i <= settings.threads; ++i) pawn_clear(search_thread(i));
}

void trim(char* s) {
    size_t n = std::strlen(s);
    while (n > 0 && std::strchr(" \t\r\n", s[n - 1])) s[--n] = 0;
    size_t start = 0;
    while (s[start] == ' ' || s[start] == '\t') ++start;
    if (start) std::memmove(s, s + start, n - start + 1);
}

// Whether a row name is the given name, or a member "name[i]" of the family so named.
bool names_row(const char* row, const char* name) {
    const size_t n = std::strlen(name);
    return std::strncmp(row, name, n) == 0 && (row[n] == 0 || row[n] == '[');
}

// ---------------------------------------------------------------------------------------------
// Preparation
// ---------------------------------------------------------------------------------------------

enum class Stage { Texel, First, Second };

struct PrepFiles {
    FILE* in;
    FILE* out;
    FILE* skip;
    uint64_t total; // line breaks of the input plus one, 0 without any
};

PrepFiles open_prep_files() {
    PrepFiles f{};
    // The input first: without it the files of an earlier stage are left as they are.
    f.in = open_or_die(kInputFile, "r");
    FILE* counter = open_or_die(kInputFile, "r");
    f.out = open_or_die(kOutputFile, "w");
    f.skip = open_or_die(kSkipFile, "w");
    uint64_t breaks = 0;
    char buffer[1 << 14];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, counter)) > 0;)
        breaks += static_cast<uint64_t>(std::count(buffer, buffer + got, '\n'));
    std::fclose(counter);
    f.total = breaks ? breaks + 1 : 0;
    return f;
}

void show_progress(uint64_t done, uint64_t total) {
    constexpr int kWidth = 60;
    static const char kBar[] = "||||||||||||||||||||||||||||||||||||||||||||||||||||||||||||";
    static_assert(sizeof kBar - 1 == kWidth);
    const double fraction =
        total ? std::min(1.0, static_cast<double>(done) / static_cast<double>(total)) : 1.0;
    const int filled = static_cast<int>(fraction * kWidth);
    if (isatty(fileno(stdout))) std::printf("\033[2J\033[H");
    std::printf("\r%3d%% [%.*s%*s]", static_cast<int>(fraction * 100.0), filled, kBar,
                kWidth - filled, "");
    std::fflush(stdout);
    std::printf("\n");
    std::fflush(stdout);
}

// The score of a depth-2 search of the thread's current position, without tablebase probes. A
// position without a legal move is a mate at ply 0 or a stalemate.
int16_t search_target(SearchThread& t) {
    PVLine pv{};
    std::memset(static_cast<void*>(t.root_moves), 0, sizeof t.root_moves);
    std::memset(t.root_nodes, 0, sizeof t.root_nodes);
    t.root_end = gen_legal_moves(*t.stack.current, t.root_moves);
    if (t.root_end == t.root_moves)
        return static_cast<int16_t>(king_attackers(*t.stack.current) ? -MATE : 0);
    const uint64_t result =
        root_search(t, 2, -INFINITE_SCORE, INFINITE_SCORE, t.root_moves, t.root_end, 0, pv);
    return result_score(result);
}

struct PrepResult {
    uint64_t processed = 0;
    uint64_t skipped = 0;
    double sum = 0.0;
};

PrepResult prepare(SearchThread& thread, Stage stage) {
    PrepFiles files = open_prep_files();
    // The stage replaces the position; the game is put back at the end.
    auto saved = std::make_unique<PositionStack>(thread.stack);
    const long saved_index = thread.stack.current - thread.stack.boards;
    search_flags.stop.store(0, std::memory_order_relaxed);
    search_flags.abort.store(0, std::memory_order_relaxed);

    PrepResult r;
    Line line;
    Fields fields;
    while (read_line(files.in, line)) {
        ++r.processed;
        if (r.processed % 10000 == 0) show_progress(r.processed, files.total);
        split_fields(line, fields);

        const char* reason = nullptr;
        int eval = 0, target = 0;
        if (stage == Stage::Texel && std::strstr(fields.first, kStartPlacement)) {
            reason = "StartPos";
        } else if (line.overlong || !read_fen(thread.stack, fields.first, nullptr)) {
            reason = "BadFEN";
        } else if (stage == Stage::Second) {
            eval = evaluate(thread);
            target = search_target(thread);
        } else {
            const Board& b = *thread.stack.current;
            if (popcount(occupied(b)) <= 6) {
                reason = "EGTB";
            } else if (king_attackers(b)) {
                reason = "inCheck";
            } else {
                eval = evaluate(thread);
                const int quiet = qsearch_counted(thread, 0, 0, -INFINITE_SCORE, INFINITE_SCORE, 0);
                if (eval != quiet) {
                    reason = "noQuiete";
                } else if (stage == Stage::Texel) {
                    if (std::abs(eval) >= MATE_SCORE) reason = "Mate";
                } else {
                    target = search_target(thread);
                    if (std::abs(target) >= MATE_SCORE) reason = "Mate";
                }
            }
        }

        if (reason) {
            ++r.skipped;
            std::fprintf(files.skip, "%s;%s;\n", fields.first, reason);
        } else if (stage == Stage::Texel) {
            const int q = thread.stack.current->side == BLACK ? -eval : eval;
            const double d = result_value(fields.second) - sigmoid(TUNE_K, q);
            r.sum += d * d;
            std::fwrite(line.text, 1, line.length, files.out);
        } else {
            r.sum += std::abs(eval - target);
            std::fprintf(files.out, "%s;%d;\n", fields.first, target);
        }
    }
    std::fclose(files.in);
    std::fclose(files.out);
    std::fclose(files.skip);

    thread.stack = *saved;
    thread.stack.current = thread.stack.boards + saved_index;
    return r;
}

// The mean error of the kept positions; 0, with a message, when none was kept.
double kept_mean(const PrepResult& r) {
    const uint64_t kept = r.processed - r.skipped;
    if (kept == 0) {
        std::printf("No position was kept: the error is taken as 0\n");
        return 0.0;
    }
    return r.sum / static_cast<double>(kept);
}

void print_counts(const PrepResult& r) {
    std::printf("Processed positions: %" PRIu64 "\n", r.processed);
    std::printf("Skipped   positions: %" PRIu64 "\n", r.skipped);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Error functions
// ---------------------------------------------------------------------------------------------

double TuneErrorSigmoid(SearchThread& thread) {
    return TuneErrorSigmoidK(thread, TUNE_K);
}

double TuneErrorSigmoidK(SearchThread&, double k) {
    return mean_error(Label::Result, k);
}

double TuneErrorAbs(SearchThread&) {
    return mean_error(Label::Score, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Optimiser
// ---------------------------------------------------------------------------------------------

void TuneGradient(SearchThread& thread, TuneErrorFn error, double* gradient) {
    // The error at the current values is the same for every row (the evaluation is
    // deterministic), so it is measured once.
    bool have_base = false;
    double e0 = 0.0;
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
        gradient[i] = 0.0;
        EvalParam& p = EvalParamTable[i];
        if (!p.tune) continue;
        if (!have_base) {
            e0 = error(thread);
            have_base = true;
        }
        const int32_t old = p.value;
        p.value = to_weight(old + TUNE_H);
        const double e1 = error(thread);
        p.value = old;
        gradient[i] = (e1 - e0) / TUNE_H * 1000.0;
    }
}

double TuneSlope(SearchThread& thread, TuneErrorFn error, const double* direction) {
    auto saved = std::make_unique<Snapshot>();
    take_snapshot(*saved);
    const double s = LineProbe(thread, error, *saved, direction).slope_at(0);
    restore_snapshot(*saved);
    return s;
}

int TuneLineSearch(SearchThread& thread, TuneErrorFn error, const double* direction) {
    auto x0 = std::make_unique<Snapshot>();
    take_snapshot(*x0);
    // Steps are counted in moves of the row with the largest entry, whatever the scale of the
    // gradient: one unit of a moves that row by one. Rows that the direction pushes against a
    // bound of their range are left where they are.
    double scaled[EVAL_PARAM_COUNT] = {};
    double largest = 0.0;
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
        const EvalParam& p = EvalParamTable[i];
        if (!p.tune || !std::isfinite(direction[i])) continue;
        if ((direction[i] < 0 && p.value <= p.min) || (direction[i] > 0 && p.value >= p.max))
            continue;
        scaled[i] = direction[i];
        largest = std::max(largest, std::fabs(direction[i]));
    }
    for (double& d : scaled) d = largest > 0 ? d / largest : 0.0;

    LineProbe line(thread, error, *x0, scaled);
    const double derA = largest > 0 ? 0.0 - line.slope_at(0) : 0.0; // +0 when flat
    std::printf("derA  %f\n", derA);
    if (!(derA > kMinDescent)) {
        restore_snapshot(*x0);
        return 1;
    }

    // Bracketing: widen while the error keeps falling; the slope is negative at lo and not at hi.
    double lo = 0.0, hi = TUNE_H;
    for (int doublings = 0; doublings < kMaxDoublings && line.slope_at(hi) < 0; ++doublings) {
        lo = hi;
        hi *= 2;
    }
    // Bisection down to one unit; the lowest point measured on the way is the one taken.
    while (hi - lo > TUNE_H) {
        const double mid = (lo + hi) / 2;
        if (line.slope_at(mid) < 0)
            lo = mid;
        else
            hi = mid;
    }
    line.move_to_best();
    return 0;
}

void TunePrintParams(const double* direction, double e) {
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
        const EvalParam& p = EvalParamTable[i];
        if (p.tune) std::printf("%-20s      %+5i     %+f\n", p.name, p.value, direction[i]);
    }
    std::printf("e %+f\n", e);
}

double TuneOptimize(SearchThread& thread, TuneErrorFn error, TuneStopRule rule) {
    std::printf("Iteration %i\n", 1);
    std::fflush(stdout);
    double gradient[EVAL_PARAM_COUNT], direction[EVAL_PARAM_COUNT];
    auto before = std::make_unique<Snapshot>();
    // A weight whose value lies outside its range starts from the nearer bound.
    for (EvalParam& p : EvalParamTable)
        if (p.tune) p.value = moved_weight(p, p.value, 0.0);
    for (int iteration = 1;; ++iteration) {
        take_snapshot(*before);
        TuneGradient(thread, error, gradient);
        for (int i = 0; i < EVAL_PARAM_COUNT; ++i) direction[i] = -gradient[i];
        const int flat = TuneLineSearch(thread, error, direction);
        TunePrintParams(direction, error(thread));

        bool stop;
        if (rule == TUNE_STOP_SEARCH_SCORE) {
            double squares = 0.0;
            for (int i = 0; i < EVAL_PARAM_COUNT; ++i) {
                if (!EvalParamTable[i].tune) continue;
                const double d =
                    static_cast<double>(EvalParamTable[i].value) - before->rows[i].value;
                squares += d * d;
            }
            std::printf("norm    %f\n\n", std::sqrt(squares));
            stop = flat == 1;
        } else {
            // Every row's change counts: changes of opposite sign do not cancel.
            int d = 0;
            for (int i = 0; i < EVAL_PARAM_COUNT; ++i)
                if (EvalParamTable[i].tune)
                    d += std::abs(EvalParamTable[i].value - before->rows[i].value);
            std::printf("d %d\n\n", d);
            stop = d <= 1;
        }
        std::fflush(stdout);
        if (stop) break;
        std::printf("Iteration %i\n", iteration + 1);
    }
    for (EvalParam& p : EvalParamTable)
        if (p.tune) p.best = p.value;
    return error(thread);
}

void WriteTunedParams() {
    FILE* f = open_or_die(kTunedFile, "w");
    std::printf("\n");
    for (const EvalParam& p : EvalParamTable) {
        if (!p.tune) continue;
        std::printf("Tuned param %s value %i\n", p.name, p.best);
        std::fprintf(f, "%s;%i;\n", p.name, p.best);
    }
    std::fclose(f);
}

int TuneApplySwitchFile() {
    FILE* f = std::fopen(kSwitchFile, "r");
    if (!f) return -1;
    int switched = 0;
    Line line;
    while (read_line(f, line)) {
        if (line.overlong) {
            std::printf("%s: a line is too long, ignored\n", kSwitchFile);
            continue;
        }
        trim(line.text);
        if (!line.text[0] || line.text[0] == '#') continue;
        bool known = false;
        for (EvalParam& p : EvalParamTable) {
            if (!names_row(p.name, line.text)) continue;
            known = true;
            if (p.step != 0 && !p.tune) {
                p.tune = 1;
                ++switched;
            }
        }
        if (!known) std::printf("%s: unknown parameter %s\n", kSwitchFile, line.text);
    }
    std::fclose(f);
    return switched;
}

// ---------------------------------------------------------------------------------------------
// Console commands
// ---------------------------------------------------------------------------------------------

void tune_texel_prepare(SearchThread& thread) {
    const PrepResult r = prepare(thread, Stage::Texel);
    std::printf("Texel Tuning First Stage completed\n");
    print_counts(r);
    const double e = kept_mean(r);
    std::printf("Initial Overall Error:      %3.6f (%2.2f%%)\n", e, std::sqrt(e));
    std::printf("\n");
    std::fflush(stdout);
}

void tune_texel(SearchThread& thread) {
    std::printf("Texel Tuning started\n");
    std::fflush(stdout);
    TuningSession session(Label::Result, true);
    const double e = TuneOptimize(thread, TuneErrorSigmoid, TUNE_STOP_TEXEL);
    refresh_pawn_tables(thread);
    std::printf("Texel Tuning completed\n");
    std::printf("Best Overall Error: %3.6f   (%2.2f%%)\n", e, std::sqrt(e));
    WriteTunedParams();
    std::fflush(stdout);
}

void tune_scan_k(SearchThread& thread) {
    TuningSession session(Label::Result, false);
    double best_e = 3.0, best_k = 0.0, k = 1.640;
    for (int i = 0; i < 11; ++i) {
        const double e = TuneErrorSigmoidK(thread, k);
        if (e < best_e) {
            best_e = e;
            best_k = k;
        }
        std::printf("with k = %f, e = %f (%2.2f%%)\n", k, e, std::sqrt(e));
        k += 0.001;
    }
    std::printf("\n");
    std::printf("e min %f     best k %f\n", best_e, best_k);
    std::fflush(stdout);
}

void tune_td1(SearchThread& thread) {
    const PrepResult r = prepare(thread, Stage::First);
    std::printf("Tuning First Stage completed\n");
    print_counts(r);
    std::printf("Initial Overall Error:      %3.6f\n", kept_mean(r));
    std::fflush(stdout);
}

void tune_td2(SearchThread& thread) {
    const PrepResult r = prepare(thread, Stage::Second);
    std::printf("Tuning Second Stage completed\n");
    print_counts(r);
    std::printf("Initial Overall Error:      %3.6f\n", kept_mean(r));
    std::fflush(stdout);
    TuningSession session(Label::Score, true);
    const double e = TuneOptimize(thread, TuneErrorAbs, TUNE_STOP_SEARCH_SCORE);
    refresh_pawn_tables(thread);
    std::printf("Best Overall Error: %3.6f\n", e);
    WriteTunedParams();
    std::fflush(stdout);
}

void tune_td3(SearchThread& thread) {
    std::printf("Tuning Third Stage started\n");
    std::fflush(stdout);
    TuningSession session(Label::Score, true);
    const double e = TuneOptimize(thread, TuneErrorAbs, TUNE_STOP_SEARCH_SCORE);
    refresh_pawn_tables(thread);
    std::printf("Tuning Third Stage completed\n");
    std::printf("Best Overall Error: %3.6f\n", e);
    WriteTunedParams();
    std::fflush(stdout);
}
