// Work paths, set-aside names and the certificate file read: plain string and stdio work, GBK-aware, no windows.h.
#include "install_paths.h"

#include <stdio.h>
#include <string.h>

#include "bounded_text.h"

int BuildWorkPath(char* out, size_t size, const char* dir, const char* name)
{
    memset(out, 0, size);
    if (TextCopy(out, size, dir) && TextAppend(out, size, "\\") && TextAppend(out, size, name))
        return 1;
    // Refused rather than cut: a cut path would name some other file.
    memset(out, 0, size);
    return 0;
}

// Where the character after the one at i starts: a GBK pair is one character, a lead byte at the end
// one on its own.
static size_t NextCharacter(const char* path, size_t i)
{
    return i + ((IsGbkLeadByte((unsigned char)path[i]) && path[i + 1] != '\0') ? 2 : 1);
}

// Byte offset where the fourth character from the end starts; GBK pairs count as one character,
// so the scan runs forward from the start, the only direction in which GBK can be read.
static size_t StartOfLastFourCharacters(const char* path)
{
    size_t starts[4] = { 0, 0, 0, 0 };
    size_t seen = 0;
    for (size_t i = 0; path[i] != '\0'; i = NextCharacter(path, i))
        starts[seen++ % 4] = i;
    if (seen < 4)
        return 0;
    return starts[seen % 4];
}

int BuildAsideName(char* out, size_t size, const char* path, unsigned long tick)
{
    char digits[24];
    snprintf(digits, sizeof digits, "%lu", tick);
    memset(out, 0, size);
    size_t at = StartOfLastFourCharacters(path);
    size_t length = strlen(path);
    size_t digitCount = strlen(digits);
    // Digits shorter than the old ending leave its last characters in place (KeyCmd42ll.OBK). Where
    // the digits end inside a double-byte character, the rest of it goes too: left alone, its trail
    // byte would read as some other character, or as a backslash that puts the name in a folder.
    size_t kept = at;
    while (kept < at + digitCount && kept < length)
        kept = NextCharacter(path, kept);
    size_t end = at + digitCount + (length - kept);
    if (end + 4 + 1 > size)
        return 0;
    memcpy(out, path, at);
    memcpy(out + at, digits, digitCount);
    memcpy(out + at + digitCount, path + kept, length - kept);
    memcpy(out + end, ".OBK", 5);
    return 1;
}

int CertificateLengthFits(long length)
{
    return length >= 0 && length <= CERTIFICATE_BUFFER_SIZE;
}

long ReadCertificateFile(const char* path, unsigned char* buffer)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return -1;
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0)
        length = ftell(file);
    // Refused whole rather than cut: a cut certificate would not decode anyway.
    if (!CertificateLengthFits(length) || fseek(file, 0, SEEK_SET) != 0
        || fread(buffer, 1, (size_t)length, file) != (size_t)length)
        length = -1;
    fclose(file);
    return length;
}

static int SameLetter(char a, char b)
{
    if (a >= 'a' && a <= 'z')
        a = (char)(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z')
        b = (char)(b - 'a' + 'A');
    return a == b;
}

// Case-insensitive for ASCII letters only; GBK bytes must match exactly.
static int SameText(const char* a, const char* b, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (!SameLetter(a[i], b[i]))
            return 0;
    return 1;
}

int IsAsideNameFor(const char* fileName, const char* payloadName)
{
    size_t stem = StartOfLastFourCharacters(payloadName);
    size_t length = strlen(fileName);
    if (stem == 0 || length < stem + 1 + 4)
        return 0;
    if (!SameText(fileName, payloadName, stem) || fileName[stem] < '0' || fileName[stem] > '9')
        return 0;
    return SameText(fileName + length - 4, ".OBK", 4);
}
