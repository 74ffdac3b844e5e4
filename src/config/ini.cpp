#include "config/ini.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Broken invariants of this module are programming errors: report them with the line and end.
[[noreturn]] void check_failed(const char* expr, int line) {
    std::fflush(stdout);
    std::fprintf(stderr, "Assertion failed: %s, file minIni, line %d\n", expr, line);
    std::fflush(stderr);
    std::abort();
}

#define INI_CHECK(cond) ((cond) ? static_cast<void>(0) : check_failed(#cond, __LINE__))

// Bytes 1 to 32 and, compared as signed values, every byte above 127.
bool is_blank(char c) {
    return c != '\0' && static_cast<signed char>(c) <= ' ';
}

char* skip_leading(char* s) {
    while (is_blank(*s)) ++s;
    return s;
}

// The end of the text [begin, end) once trailing blanks are dropped.
char* skip_trailing(char* end, const char* begin) {
    while (end > begin && is_blank(end[-1])) --end;
    return end;
}

// ASCII case folding, independent of the locale.
char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the `len` characters at `text` spell `name`, ignoring case.
bool same_name(const char* text, size_t len, const char* name) {
    if (std::strlen(name) != len) return false;
    for (size_t i = 0; i < len; ++i)
        if (fold(text[i]) != fold(name[i])) return false;
    return true;
}

// An open file and the number of bytes a lookup may still read from it.
struct Source {
    FILE* file;
    long left;
};

// One piece of a line: up to and including its line break, at most INI_LINE_SIZE - 1 bytes,
// always terminated. A zero byte in the file ends the text of its piece early; the rest of that
// piece is ignored. False at the end of the file or of the lookup's byte allowance.
bool read_piece(Source& source, char (&line)[INI_LINE_SIZE]) {
    int n = 0;
    while (n < INI_LINE_SIZE - 1 && source.left > 0) {
        const int c = getc_unlocked(source.file);
        if (c == EOF) break;
        --source.left;
        line[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    line[n] = '\0';
    return n > 0;
}

// Cuts the value at a comment outside double quotes, drops trailing blanks and strips a pair of
// enclosing quotes. Returns the start of the cleaned value and how it must be copied.
char* clean_value(char* value, IniCopy& mode) {
    bool quoted = false;
    char* p = value;
    for (; *p != '\0'; ++p) {
        if (!quoted && (*p == ';' || *p == '#')) break;
        if (*p == '"') {
            if (p[1] == '"')
                ++p; // "" is one quote character
            else
                quoted = !quoted;
        } else if (*p == '\\' && p[1] == '"') {
            ++p; // \" is one quote character
        }
    }
    char* end = skip_trailing(p, value);
    *end = '\0';
    mode = IniCopy::plain;
    if (end - value >= 2 && value[0] == '"' && end[-1] == '"') {
        end[-1] = '\0';
        ++value;
        mode = IniCopy::unquote;
    }
    return value;
}

// Copies `text` into `dest` as a default: cut to size - 1 characters and terminated. Unlike
// ini_copy_text it tolerates a default that lies inside the destination.
void copy_default(char* dest, const char* text, size_t size) {
    size_t n = 0;
    while (n < size - 1 && text[n] != '\0') ++n;
    std::memmove(dest, text, n);
    dest[n] = '\0';
}

} // namespace

void ini_copy_text(char* dest, const char* source, size_t size, IniCopy mode) {
    INI_CHECK(dest != nullptr && source != nullptr);
    INI_CHECK(size > 0);
    const auto d = reinterpret_cast<uintptr_t>(dest);
    const auto s = reinterpret_cast<uintptr_t>(source);
    INI_CHECK(d + size <= s || s + std::strlen(source) < d);
    size_t n = 0;
    if (mode == IniCopy::plain) {
        for (; n < size - 1 && source[n] != '\0'; ++n) dest[n] = source[n];
    } else {
        while (n < size - 1 && *source != '\0') {
            if ((source[0] == '"' || source[0] == '\\') && source[1] == '"') ++source;
            dest[n++] = *source++;
        }
    }
    dest[n] = '\0';
}

int ini_find_value(FILE* file, const char* section, const char* key, char* buffer, int size) {
    INI_CHECK(file != nullptr);
    INI_CHECK(key != nullptr);
    INI_CHECK(buffer != nullptr);
    INI_CHECK(size > 0);
    std::rewind(file);
    Source source{file, INI_MAX_BYTES};
    char line[INI_LINE_SIZE];

    // Find the section header; the keys follow it.
    if (section != nullptr && section[0] != '\0') {
        for (;;) {
            if (!read_piece(source, line)) return 0;
            const char* sp = skip_leading(line);
            if (*sp != '[') continue;
            const char* ep = std::strchr(sp, ']');
            if (ep != nullptr && same_name(sp + 1, static_cast<size_t>(ep - sp - 1), section))
                break;
        }
    }

    for (;;) {
        if (!read_piece(source, line)) return 0;
        char* sp = skip_leading(line);
        if (*sp == '[') return 0; // the next section: the key is not in ours
        if (*sp == ';' || *sp == '#') continue;
        char* sep = std::strchr(sp, '=');
        if (sep == nullptr) sep = std::strchr(sp, ':');
        if (sep == nullptr) continue;
        const char* name_end = skip_trailing(sep, sp);
        if (!same_name(sp, static_cast<size_t>(name_end - sp), key)) continue;

        INI_CHECK(*sep == '=' || *sep == ':');
        IniCopy mode;
        const char* value = clean_value(skip_leading(sep + 1), mode);
        ini_copy_text(buffer, value, static_cast<size_t>(size), mode);
        return 1;
    }
}

int ini_get_string(const char* section, const char* key, const char* def, char* buffer,
                   int buffer_size, const char* file_name) {
    if (buffer == nullptr || buffer_size < 1 || key == nullptr) return 0;
    bool found = false;
    if (file_name != nullptr) {
        if (FILE* file = std::fopen(file_name, "rb")) {
            found = ini_find_value(file, section, key, buffer, buffer_size) == 1;
            std::fclose(file);
        }
    }
    if (!found) copy_default(buffer, def != nullptr ? def : "", static_cast<size_t>(buffer_size));
    return static_cast<int>(std::strlen(buffer));
}

int32_t ini_get_long(const char* section, const char* key, int32_t def, const char* file_name) {
    char text[INI_NUMBER_SIZE];
    const int len = ini_get_string(section, key, "", text, INI_NUMBER_SIZE, file_name);
    if (len == 0) return def;
    const int base = len >= 2 && (text[1] == 'x' || text[1] == 'X') ? 16 : 10;
    // strtoll saturates at the 64-bit limits; bring those into the 32-bit range as well.
    const long long value = std::strtoll(text, nullptr, base);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int ini_get_bool(const char* section, const char* key, int def, const char* file_name) {
    char text[INI_BOOL_SIZE];
    ini_get_string(section, key, "", text, INI_BOOL_SIZE, file_name);
    switch (text[0]) {
    case '1':
    case 'T':
    case 't':
    case 'Y':
    case 'y': return 1;
    case '0':
    case 'F':
    case 'f':
    case 'N':
    case 'n': return 0;
    default: return def != 0 ? 1 : 0;
    }
}
