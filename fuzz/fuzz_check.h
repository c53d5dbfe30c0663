// What the fuzz targets share: their own checks, reading an input, and GBK character boundaries.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

// A broken property aborts like a sanitizer finding, naming itself.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);      \
            abort();                                                                           \
        }                                                                                      \
    } while (0)

// An input read front to back; past its end every byte reads as 0 and every text as empty.
struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    size_t Left() const { return (size_t)(end - at); }
    uint8_t Byte() { return at < end ? *at++ : 0; }
    unsigned Word() { return Byte() | (unsigned)Byte() << 8; }
    // count bytes (or what is left), cut at a NUL among them.
    std::string Take(size_t count)
    {
        std::string bytes((const char*)at, count < Left() ? count : Left());
        at += bytes.size();
        return bytes.substr(0, bytes.find('\0'));
    }
    // The bytes up to the next NUL, which is taken too.
    std::string Part()
    {
        const uint8_t* nul = (const uint8_t*)memchr(at, 0, Left());
        std::string bytes = Take(nul ? (size_t)(nul - at) : Left());
        at += at < end;
        return bytes;
    }
};

inline bool AllBytes(const void* bytes, size_t count, unsigned char value)
{
    for (size_t i = 0; i < count; ++i)
        if (((const unsigned char*)bytes)[i] != value)
            return false;
    return true;
}

// Where each GBK character of text starts, worked out from the front, then the text's end.
inline std::vector<size_t> GbkStarts(const std::string& text)
{
    std::vector<size_t> starts;
    for (size_t at = 0; at < text.size(); ++at) {
        starts.push_back(at);
        at += (unsigned char)text[at] >= 0x81 && (unsigned char)text[at] <= 0xFE && at + 1 < text.size();
    }
    starts.push_back(text.size());
    return starts;
}

// The length of the longest prefix of text within room bytes that ends on a character boundary.
inline size_t GbkBoundary(const std::string& text, size_t room)
{
    size_t boundary = 0;
    for (size_t start : GbkStarts(text))
        if (start <= room)
            boundary = start;
    return boundary;
}
