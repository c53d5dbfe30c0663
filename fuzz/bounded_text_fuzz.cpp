// Fuzz target: the checked text helpers every fixed buffer goes through: copy, append, append a count
// of bytes, append formatted, into a buffer of fuzzed size that may hold text already (or no NUL).
//
// Input: buffer size, flags (bit 0: the buffer holds no NUL), byte count for TextAppendBytes, length of
// the text already in the buffer, that text, then the text to add (up to a NUL or the end).
#include "bounded_text.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    size_t bufferSize = in.Byte();
    bool unterminated = in.Byte() & 1;
    size_t count = in.Byte();
    std::string old = in.Take(in.Byte());
    std::string added = in.Take(in.Left());

    // Each call on a fresh buffer leaves the text it appends to, then the longest prefix of its text
    // that fits and ends on a GBK character boundary, and says whether it took all of it (never when
    // the text was cut before the call).
    auto check = [&](bool appends, const std::string& text, bool cut, auto call) {
        char* buffer = (char*)malloc(bufferSize ? bufferSize : 1);
        buffer[0] = 0x5A;
        size_t room = bufferSize ? bufferSize - 1 : 0;
        std::string before = unterminated ? std::string(room, 'u') : old.substr(0, room);
        memset(buffer, 'u', bufferSize);
        if (bufferSize && !unterminated)
            memcpy(buffer, before.c_str(), before.size() + 1);
        int whole = call(buffer);
        if (bufferSize == 0) {
            FUZZ_CHECK(whole == 0 && buffer[0] == 0x5A);
        } else {
            std::string start = appends ? before : "";
            size_t take = GbkBoundary(text, bufferSize - 1 - start.size());
            FUZZ_CHECK(memchr(buffer, 0, bufferSize) != NULL && buffer == start + text.substr(0, take));
            FUZZ_CHECK(whole == (take == text.size() && !cut));
        }
        WipeBytes(buffer, bufferSize);
        FUZZ_CHECK(AllBytes(buffer, bufferSize, 0));
        free(buffer);
    };
    check(true, added, false, [&](char* buffer) { return TextAppend(buffer, bufferSize, added.c_str()); });
    check(true, added.substr(0, count), false,
          [&](char* buffer) { return TextAppendBytes(buffer, bufferSize, added.c_str(), count); });
    check(false, added, false, [&](char* buffer) { return TextCopy(buffer, bufferSize, added.c_str()); });
    // Formatting goes through a 1024-byte piece: a longer text is cut there first.
    std::string piece = added.substr(0, GbkBoundary(added, 1023));
    check(true, piece, piece.size() < added.size(),
          [&](char* buffer) { return TextAppendFormat(buffer, bufferSize, "%s", added.c_str()); });
    return 0;
}
