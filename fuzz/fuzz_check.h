// The fuzz targets' own checks: a broken property aborts like a sanitizer finding, naming itself.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);      \
            abort();                                                                           \
        }                                                                                      \
    } while (0)

// The length of the longest prefix of text within room bytes that does not end between a GBK lead
// byte and its trail byte, worked out character by character from the front.
inline size_t GbkBoundary(const std::string& text, size_t room)
{
    if (text.size() <= room)
        return text.size();
    size_t at = 0;
    for (;;) {
        unsigned char c = (unsigned char)text[at];
        size_t step = c >= 0x81 && c <= 0xFE && at + 1 < text.size() ? 2 : 1;
        if (at + step > room)
            return at;
        at += step;
    }
}
