// Fuzz target: the checked text helpers every fixed buffer goes through: copy, append, append a count
// of bytes, append formatted, into a buffer of fuzzed size that may hold text already (or no NUL).
//
// Input: buffer size, flags (bit 0: the buffer holds no NUL), byte count for TextAppendBytes, length of
// the text already in the buffer, that text, then the text to add (up to a NUL or the end).
// Every call must leave the old text, then the longest prefix of the new one that fits and ends on a
// GBK character boundary, worked out here character by character.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "bounded_text.h"
#include "fuzz_check.h"

namespace {

// The buffer after the call, from what it held and the text the call was given.
std::string Expected(const std::string& old, const std::string& added, size_t size, bool* whole)
{
    size_t take = GbkBoundary(added, size - 1 - old.size());
    *whole = take == added.size();
    return old + added.substr(0, take);
}

struct Buffer {
    char* bytes;
    size_t size;
    std::string old; // the text a call appends to
};

Buffer Fill(size_t size, bool unterminated, const std::string& text)
{
    Buffer b = { (char*)malloc(size ? size : 1), size, "" };
    b.bytes[0] = 0x5A;
    if (size == 0)
        return b;
    if (unterminated) {
        memset(b.bytes, 'u', size);
        b.old = std::string(size - 1, 'u'); // cut to end within the buffer
    } else {
        b.old = text.substr(0, size - 1);
        memcpy(b.bytes, b.old.c_str(), b.old.size() + 1);
    }
    return b;
}

// cut: the text was cut before it reached the buffer, so the call never reports it whole.
void Check(Buffer& b, int whole, const std::string& added, bool cut = false)
{
    if (b.size == 0) {
        FUZZ_CHECK(whole == 0 && (unsigned char)b.bytes[0] == 0x5A);
    } else {
        bool fits;
        std::string expected = Expected(b.old, added, b.size, &fits);
        FUZZ_CHECK(memchr(b.bytes, 0, b.size) != NULL);
        FUZZ_CHECK(b.bytes == expected && whole == (int)(fits && !cut));
    }
    WipeBytes(b.bytes, b.size);
    for (size_t i = 0; i < b.size; ++i)
        FUZZ_CHECK(b.bytes[i] == 0);
    free(b.bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    size_t bufferSize = data[0];
    bool unterminated = data[1] & 1;
    size_t count = data[2];
    size_t oldLength = data[3] < size - 4 ? data[3] : size - 4;
    std::string old((const char*)data + 4, oldLength);
    old = old.substr(0, old.find('\0'));
    std::string added((const char*)data + 4 + oldLength, size - 4 - oldLength);
    added = added.substr(0, added.find('\0'));

    Buffer b = Fill(bufferSize, unterminated, old);
    Check(b, TextAppend(b.bytes, b.size, added.c_str()), added);
    b = Fill(bufferSize, unterminated, old);
    Check(b, TextAppendBytes(b.bytes, b.size, added.c_str(), count), added.substr(0, count));
    b = Fill(bufferSize, unterminated, old);
    int copied = TextCopy(b.bytes, b.size, added.c_str());
    b.old.clear();
    Check(b, copied, added);
    // Formatting goes through a 1024-byte piece: a longer text is cut there first, and never whole.
    b = Fill(bufferSize, unterminated, old);
    int formatted = TextAppendFormat(b.bytes, b.size, "%s", added.c_str());
    std::string piece = added.substr(0, GbkBoundary(added, 1023));
    Check(b, formatted, piece, piece.size() < added.size());
    return 0;
}
