// Reads DER or PEM certificate files; keysim refuses anything else, so only "corrupt garbage" stores
// undecodable certificates.
#include "certificate_file.h"

#include <string.h>

static const char PemBegin[] = "-----BEGIN CERTIFICATE-----";
static const char PemEnd[] = "-----END CERTIFICATE-----";

size_t DerElementLength(const unsigned char* bytes, size_t length)
{
    if (length < 2)
        return 0;
    size_t header = 2;
    size_t content = bytes[1];
    if (content & 0x80) {
        size_t count = content & 0x7F;
        // Definite lengths of up to 4 bytes, the shortest form only (as DER demands).
        if (count == 0 || count > 4 || length < 2 + count || bytes[2] == 0)
            return 0;
        content = 0;
        for (size_t i = 0; i < count; ++i)
            content = content << 8 | bytes[2 + i];
        if (content < 0x80)
            return 0;
        header += count;
    }
    if (content > length - header)
        return 0;
    return header + content;
}

static int Base64Value(unsigned char c)
{
    static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* at = c ? strchr(Digits, c) : NULL;
    return at ? (int)(at - Digits) : -1;
}

static const unsigned char* Find(const unsigned char* bytes, size_t length, const char* text)
{
    size_t n = strlen(text);
    for (size_t i = 0; i + n <= length; ++i)
        if (memcmp(bytes + i, text, n) == 0)
            return bytes + i;
    return NULL;
}

// Decodes the base64 between the PEM markers; whitespace is skipped, '=' ends the data.
static int DecodePem(const unsigned char* bytes, size_t length, unsigned char* der, size_t derSize, size_t* derLength)
{
    const unsigned char* begin = Find(bytes, length, PemBegin);
    if (!begin)
        return CERT_FILE_BAD_PEM;
    begin += strlen(PemBegin);
    const unsigned char* end = Find(begin, length - (size_t)(begin - bytes), PemEnd);
    if (!end)
        return CERT_FILE_BAD_PEM;
    unsigned bits = 0;
    int bitCount = 0;
    size_t out = 0;
    int padding = 0;
    for (const unsigned char* p = begin; p < end; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            continue;
        if (*p == '=') {
            padding++;
            continue;
        }
        int v = Base64Value(*p);
        if (v < 0 || padding)
            return CERT_FILE_BAD_PEM;
        bits = bits << 6 | (unsigned)v;
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            if (out >= derSize)
                return CERT_FILE_TOO_LARGE;
            der[out++] = (unsigned char)(bits >> bitCount & 0xFF);
        }
    }
    if (padding > 2)
        return CERT_FILE_BAD_PEM;
    *derLength = out;
    return CERT_FILE_OK;
}

int CertificateFromFile(const unsigned char* bytes, size_t length, unsigned char* der, size_t derSize,
                        size_t* derLength)
{
    *derLength = 0;
    size_t n = length;
    if (length > 0 && bytes[0] != 0x30) {
        // The decoded DER is never longer than its base64, so decoding may overwrite what it has read.
        int result = DecodePem(bytes, length, der, derSize, &n);
        if (result != CERT_FILE_OK)
            return result;
    } else {
        if (length > derSize)
            return CERT_FILE_TOO_LARGE;
        memmove(der, bytes, length);
    }
    if (n == 0 || der[0] != 0x30 || DerElementLength(der, n) != n)
        return CERT_FILE_NOT_DER;
    *derLength = n;
    return CERT_FILE_OK;
}
