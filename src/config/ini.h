// Reads single values from an INI text file. Every call opens the file, searches it from the top,
// copies the value and closes the file again: nothing is cached, so a change of the file between
// two calls is seen by the second one.
//
// File format:
//  - "[name]" starts a section; the name is the text between '[' and the first ']', blanks
//    included. Keys before the first header belong to the unnamed section.
//  - "key=value" or, when the line has no '=', "key:value". Blanks around the key and the value
//    are dropped; bytes 1-32 and every byte above 127 count as blanks.
//  - Lines whose first non-blank character is ';' or '#' are comments, and so is the rest of a
//    value from a ';' or '#' that is not between double quotes.
//  - A value wholly enclosed in double quotes loses the quotes; inside it, "" and \" stand for one
//    double quote.
//  - Section and key names are compared without regard to case. The first matching key wins.
//  - Lines are read in pieces of at most INI_LINE_SIZE - 1 bytes; each piece counts as a line.
//  - A lookup reads no more than the first INI_MAX_BYTES bytes; the rest of a longer file is
//    ignored, so a file that never ends (a link to a device, say) cannot stall the reader.
//
// The file is untrusted: whatever it holds, the reader never writes or reads past a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr int INI_LINE_SIZE = 512;  // line buffer, so lines are read 511 bytes at a time
inline constexpr int INI_NUMBER_SIZE = 64; // value buffer of ini_get_long
inline constexpr int INI_BOOL_SIZE = 2;    // value buffer of ini_get_bool: the first character
inline constexpr long INI_MAX_BYTES = 4L << 20; // bytes a lookup reads at most: 4 MB

enum class IniCopy {
    plain,   // characters copied unchanged
    unquote, // "" and \" each become one double quote
};

// Copies `source` into `dest`: at most size - 1 characters, always terminated. `size` must be
// positive and the two areas must not overlap.
void ini_copy_text(char* dest, const char* source, size_t size, IniCopy mode);

// Looks `key` up in `section` (none or "" for the keys before the first section header) of the
// open file, searching it from the top. Returns 1 and leaves the value in `buffer` (cut to
// size - 1 characters) when the key is found, otherwise 0 with `buffer` untouched.
int ini_find_value(FILE* file, const char* section, const char* key, char* buffer, int size);

// The text of the key, or `def` (none reads as "") when the file cannot be opened or the key is
// missing, cut to buffer_size - 1 characters and terminated. Returns the length left in the
// buffer. With no key, no buffer or a buffer size below 1 it returns 0 and writes nothing.
int ini_get_string(const char* section, const char* key, const char* def, char* buffer,
                   int buffer_size, const char* file_name);

// The value read as an integer: hexadecimal when its second character is 'x' or 'X' ("0x1F"),
// decimal otherwise, up to the first character that does not belong to the number (no digits
// read as 0); numbers beyond the 32-bit range saturate. `def` when the file or key is missing or
// the value is empty.
int32_t ini_get_long(const char* section, const char* key, int32_t def, const char* file_name);

// The value read as a boolean from its first character: 1, T or Y give 1; 0, F or N give 0 (either
// case); anything else, an empty value, a missing key or file give `def` (as 1 or 0).
int ini_get_bool(const char* section, const char* key, int def, const char* file_name);
