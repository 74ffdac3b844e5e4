// The book reader is not in yet: no position is found, and a missing file is reported as such.
#include "book/book.h"

#include <cstdio>

int book_probe(const char* file, const char*, char*) {
    std::FILE* f = std::fopen(file, "rb");
    if (!f) return -1;
    std::fclose(f);
    return 0;
}
