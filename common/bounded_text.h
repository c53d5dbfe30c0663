// Copying, appending and formatting into fixed text buffers, every write checked against the size.
#pragma once

#include <stddef.h>

// GBK lead bytes lie in 0x81..0xFE; a text is never cut between a lead byte and its trail byte.
int IsGbkLeadByte(unsigned char c);

// Length of the longest prefix of text (at most limit bytes) that ends on a GBK character boundary.
size_t GbkPrefixLength(const char* text, size_t limit);

// Each writes at most size bytes including the terminating NUL and always terminates (size > 0).
// They return 1 when the whole text fitted and 0 when it was cut (on a character boundary).
int TextCopy(char* dst, size_t size, const char* src);
int TextAppend(char* dst, size_t size, const char* src);
int TextAppendBytes(char* dst, size_t size, const char* src, size_t count);
int TextAppendFormat(char* dst, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Overwrites buffer contents in a way the compiler may not drop (PINs, change data).
void WipeBytes(void* buffer, size_t size);
