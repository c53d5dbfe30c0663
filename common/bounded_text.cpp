// Checked text helpers for the kit's fixed buffers; GBK-aware so no character is split.
#include "bounded_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int IsGbkLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

size_t GbkPrefixLength(const char* text, size_t limit)
{
    size_t i = 0;
    while (i < limit && text[i] != '\0') {
        if (IsGbkLeadByte((unsigned char)text[i])) {
            // A lead byte without its trail byte inside the limit ends the prefix.
            if (i + 1 >= limit || text[i + 1] == '\0')
                break;
            i += 2;
        } else {
            i += 1;
        }
    }
    return i;
}

int TextAppendBytes(char* dst, size_t size, const char* src, size_t count)
{
    if (size == 0)
        return 0;
    size_t used = strnlen(dst, size);
    if (used >= size) {
        // Not terminated within its buffer: terminate rather than run past it.
        dst[size - 1] = '\0';
        used = strlen(dst);
    }
    size_t room = size - 1 - used;
    size_t srcLen = strnlen(src, count);
    size_t take = srcLen <= room ? srcLen : GbkPrefixLength(src, room);
    memcpy(dst + used, src, take);
    dst[used + take] = '\0';
    return take == srcLen;
}

int TextAppend(char* dst, size_t size, const char* src)
{
    return TextAppendBytes(dst, size, src, strlen(src));
}

int TextCopy(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return 0;
    dst[0] = '\0';
    return TextAppend(dst, size, src);
}

int TextAppendFormat(char* dst, size_t size, const char* format, ...)
{
    char piece[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (n < 0)
        return 0;
    // vsnprintf cuts by bytes: never hand on half a character.
    if ((size_t)n >= sizeof piece)
        piece[GbkPrefixLength(piece, sizeof piece)] = '\0';
    int whole = TextAppend(dst, size, piece);
    return whole && (size_t)n < sizeof piece;
}

void WipeBytes(void* buffer, size_t size)
{
    volatile unsigned char* p = (volatile unsigned char*)buffer;
    while (size--)
        *p++ = 0;
}
