// The tablebase self-test: every line of the test files is set up, probed and compared with its
// expected DTZ and WDL; the lines that disagree are collected in error files beside the tests.
#include "tablebase/selftest.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "board/fen.h"
#include "tablebase/tablebase.h"

namespace {

constexpr size_t kPathSize = 255;
constexpr int kTestFileCount = 9;

constexpr char kTestFiles[kTestFileCount][kPathSize] = {
    "D:/Release Under Test/TestSyzygy/TestCase_01.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_02.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_03.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_04.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_05.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_06.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_07.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_08.txt",
    "D:/Release Under Test/TestSyzygy/TestCase_09.txt",
};

constexpr const char* kErrorDtzFile = "D:/Release Under Test/TestSyzygy/ErrorDTZ.txt";
constexpr const char* kErrorWdlFile = "D:/Release Under Test/TestSyzygy/ErrorWDL.txt";
constexpr const char* kBadFenFile = "D:/Release Under Test/TestSyzygy/BadFEN.txt";

// A line is read in pieces of at most 254 characters; the rest of a longer line is the next piece.
constexpr size_t kLineBuffer = 255;

// The progress report: shown every kProgressEvery lines of a file, with a bar that is full at
// kFullBarLines lines and error shares relative to that many lines.
constexpr uint64_t kProgressEvery = 100000;
constexpr double kFullBarLines = 2500000.0;
constexpr int kBarWidth = 60;
constexpr char kBars[] = "||||||||||||||||||||||||||||||||||||||||||||||||||||||||||||";
static_assert(sizeof kBars - 1 == kBarWidth);

struct Counters {
    uint64_t wdl_errors = 0;
    uint64_t dtz_errors = 0;
    uint64_t fen_errors = 0;
};

struct Files {
    FILE* test = nullptr;
    FILE* error_dtz = nullptr;
    FILE* error_wdl = nullptr;
    FILE* bad_fen = nullptr;
};

void close_files(Files& files) {
    for (FILE** f : {&files.test, &files.error_dtz, &files.error_wdl, &files.bad_fen}) {
        if (*f) std::fclose(*f);
        *f = nullptr;
    }
}

// Opens the test file and the three result files; if one of them cannot be opened the program
// ends with status 1.
Files open_files(const char* test_path) {
    Files files;
    files.test = std::fopen(test_path, "r");
    files.error_dtz = std::fopen(kErrorDtzFile, "a");
    files.error_wdl = std::fopen(kErrorWdlFile, "a");
    files.bad_fen = std::fopen(kBadFenFile, "a");
    if (!files.test || !files.error_dtz || !files.error_wdl || !files.bad_fen) {
        close_files(files);
        std::printf("File not found\n");
        std::fflush(stdout);
        std::exit(1);
    }
    return files;
}

// Only a terminal understands the escape sequence; redirected output gets nothing.
void clear_screen() {
    if (isatty(fileno(stdout))) std::fputs("\033[2J\033[H", stdout);
}

// Reads up to and including the next line break, at most size - 1 characters, and terminates
// the text. Returns the number of characters read (a line may hold zero bytes, so the length is
// the only reliable end); 0 at the end of the file.
size_t read_piece(FILE* f, char* buffer, size_t size) {
    size_t n = 0;
    while (n + 1 < size) {
        const int c = std::getc(f);
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n;
}

// The number at the start of a field: blanks, an optional sign, decimal digits. A missing field
// or one without digits gives 0; a number beyond the int range is held at its end.
int field_number(const char* field) {
    if (!field) return 0;
    const long value = std::strtol(field, nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

void print_progress(const char* path, uint64_t lines, const Counters& counters) {
    clear_screen();
    std::printf("%s\n", path);
    const double share = static_cast<double>(lines) / kFullBarLines;
    const int percent = static_cast<int>(std::min(share * 100, static_cast<double>(INT_MAX)));
    const int bars = static_cast<int>(std::clamp(share * kBarWidth, 0.0, double{kBarWidth}));
    std::printf("\r%3d%% [%.*s%*s]", percent, bars, kBars, kBarWidth - bars, "");
    std::fflush(stdout);
    std::printf("\n");
    const double per_cent_of_full = kFullBarLines / 100;
    std::printf("WDL Error:  %10llu   %3.2f%%\n",
                static_cast<unsigned long long>(counters.wdl_errors),
                static_cast<double>(counters.wdl_errors) / per_cent_of_full);
    std::printf("DTZ Error:  %10llu   %3.2f%%\n",
                static_cast<unsigned long long>(counters.dtz_errors),
                static_cast<double>(counters.dtz_errors) / per_cent_of_full);
    std::printf("FEN Error:  %10llu   %3.2f%%\n",
                static_cast<unsigned long long>(counters.fen_errors),
                static_cast<double>(counters.fen_errors) / per_cent_of_full);
    std::fflush(stdout);
}

void append(FILE* f, const char* line, size_t length) {
    std::fwrite(line, 1, length, f);
}

void run_test_file(PositionStack& stack, const char* path, Counters& counters) {
    Files files = open_files(path);
    clear_screen();
    std::printf("%s\n", path);

    char line[kLineBuffer];
    char fields[kLineBuffer];
    uint64_t lines = 0;
    for (size_t length; (length = read_piece(files.test, line, sizeof line)) > 0;) {
        ++lines;
        // FEN, expected DTZ, expected WDL; runs of commas count as one, as do leading ones.
        std::memcpy(fields, line, length + 1);
        char* rest = nullptr;
        const char* fen = strtok_r(fields, ",", &rest);
        const char* dtz_field = fen ? strtok_r(nullptr, ",", &rest) : nullptr;
        const char* wdl_field = dtz_field ? strtok_r(nullptr, ",", &rest) : nullptr;
        const int expected_dtz = field_number(dtz_field);
        const int expected_wdl = field_number(wdl_field);

        if (lines % kProgressEvery == 0) print_progress(path, lines, counters);

        // read_fen leaves the stack as it was when it refuses a FEN.
        if (!fen || !read_fen(stack, fen, nullptr)) {
            ++counters.fen_errors;
            append(files.bad_fen, line, length);
            continue;
        }
        int success = 0;
        const int wdl = tb_probe_wdl(*stack.current, &success);
        const int dtz = tb_probe_dtz(*stack.current, &success);
        if (wdl != expected_wdl) {
            ++counters.wdl_errors;
            append(files.error_wdl, line, length);
        }
        if (dtz != expected_dtz) {
            ++counters.dtz_errors;
            append(files.error_dtz, line, length);
        }
    }
    close_files(files);
}

} // namespace

void tb_self_test(PositionStack& stack) {
    Counters counters;
    for (const char* path : kTestFiles) run_test_file(stack, path, counters);
    std::printf("\nSyzygy Test ended.\n");
}
