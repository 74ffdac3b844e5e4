// Tuned weights read from a text file at start-up.
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "eval/params.h"

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

int row_named(std::string_view name) {
    for (int i = 0; i < EVAL_PARAM_COUNT; ++i)
        if (name == EvalParamTable[i].name) return i;
    return -1;
}

// The name as it may be shown: printable characters only, at most 40 of them.
std::string shown(std::string_view name) {
    constexpr std::size_t kShown = 40;
    std::string out;
    for (char c : name.substr(0, kShown)) out += c >= ' ' && c <= '~' ? c : '?';
    if (name.size() > kShown) out += "...";
    return out;
}

// Reads at most EVAL_FILE_MAX_BYTES + 1 bytes, so that a larger file shows as too large.
// Returns an empty string on success, else why the file cannot be used.
std::string read_bounded(const char* path, std::string& text) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return errno == ENOENT ? "not found" : "cannot be opened";
    char chunk[4096];
    std::size_t n;
    while (text.size() <= static_cast<std::size_t>(EVAL_FILE_MAX_BYTES) &&
           (n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return "cannot be read";
    if (text.size() > static_cast<std::size_t>(EVAL_FILE_MAX_BYTES)) return "is larger than 1 MB";
    return {};
}

struct Entry {
    int row;
    int32_t value;
};

// Parses one line; on success `entry.row` is the row (or -1 for a line without a weight).
// Returns an empty string on success, else why the line is refused.
std::string parse_line(std::string_view line, Entry& entry) {
    entry.row = -1;
    if (line.size() > static_cast<std::size_t>(EVAL_FILE_MAX_LINE)) return "line too long";
    line = trimmed(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') return {};
    const std::size_t semi = line.find(';');
    const std::string_view name = trimmed(line.substr(0, semi));
    const int row = row_named(name);
    if (row < 0) return "unknown weight " + shown(name);
    const std::string_view rest =
        semi == std::string_view::npos ? std::string_view{} : trimmed(line.substr(semi + 1));
    long long value = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec == std::errc::invalid_argument) return "no number for " + shown(name);
    std::string_view tail = trimmed(rest.substr(static_cast<std::size_t>(end - rest.data())));
    if (!tail.empty() && tail[0] == ';') tail = trimmed(tail.substr(1));
    if (!tail.empty()) return "characters after the value of " + shown(name);
    const EvalParam& p = EvalParamTable[row];
    if (ec == std::errc::result_out_of_range || value < p.min || value > p.max)
        return "value of " + shown(name) + " outside its range " + std::to_string(p.min) + ".." +
               std::to_string(p.max);
    entry = {row, static_cast<int32_t>(value)};
    return {};
}

} // namespace

bool load_eval_file(const char* path, std::string& message) {
    const std::string file = std::string("EvalFile ") + path;
    std::string text;
    if (std::string why = read_bounded(path, text); !why.empty()) {
        message = file + " " + why + ": built-in weights used";
        return false;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3); // a byte order mark some editors add

    std::array<Entry, EVAL_PARAM_COUNT> entries{};
    std::array<int, EVAL_PARAM_COUNT> line_of{}; // line that named each row, 0 = none
    int count = 0;
    int number = 0;
    std::string why;
    for (std::size_t pos = 0; pos < text.size() && why.empty();) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string_view line(text.data() + pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (++number > EVAL_FILE_MAX_LINES) {
            why = "more than " + std::to_string(EVAL_FILE_MAX_LINES) + " lines";
            break;
        }
        Entry entry{};
        why = parse_line(line, entry);
        if (!why.empty() || entry.row < 0) continue;
        if (const int first = line_of[entry.row]; first != 0) {
            why = std::string(EvalParamTable[entry.row].name) + " given again (first on line " +
                  std::to_string(first) + ")";
            continue;
        }
        line_of[entry.row] = number;
        entries[count++] = entry;
    }
    if (!why.empty()) {
        message = file + " line " + std::to_string(number) + ": " + why +
                  "; file refused, built-in weights used";
        return false;
    }

    for (int i = 0; i < count; ++i) {
        EvalParam& p = EvalParamTable[entries[i].row];
        p.value = entries[i].value;
        *p.var = p.value;
    }
    message = file + ": " + std::to_string(count) + " weights loaded";
    return true;
}
