// Hexadecimal to decimal with schoolbook arithmetic on a digit array, so any length converts exactly.
#include "hex_to_dec.h"

#include <string.h>

enum { DECIMAL_DIGITS_MAX = 1024 };

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int HexDigitsToDecimal(const char* hex, char* decimal, size_t size)
{
    if (!decimal || size == 0)
        return HEX_TO_DEC_NO_BUFFER;
    decimal[0] = '\0';
    if (!hex)
        return HEX_TO_DEC_NO_BUFFER;
    if (hex[0] == '\0')
        return HEX_TO_DEC_BAD_DIGIT;

    // Decimal digits, least significant first; never more than the output can hold.
    size_t limit = size - 1 < (size_t)DECIMAL_DIGITS_MAX ? size - 1 : (size_t)DECIMAL_DIGITS_MAX;
    unsigned char digits[DECIMAL_DIGITS_MAX];
    size_t count = 0;
    for (const char* p = hex; *p; ++p) {
        int value = HexDigitValue(*p);
        if (value < 0)
            return HEX_TO_DEC_BAD_DIGIT;
        unsigned carry = (unsigned)value;
        for (size_t i = 0; i < count; ++i) {
            unsigned x = digits[i] * 16u + carry;
            digits[i] = (unsigned char)(x % 10);
            carry = x / 10;
        }
        while (carry) {
            if (count >= limit)
                return HEX_TO_DEC_TOO_LONG;
            digits[count++] = (unsigned char)(carry % 10);
            carry /= 10;
        }
    }
    if (count == 0) {
        if (size < 2)
            return HEX_TO_DEC_TOO_LONG;
        decimal[0] = '0';
        decimal[1] = '\0';
        return HEX_TO_DEC_OK;
    }
    for (size_t i = 0; i < count; ++i)
        decimal[i] = (char)('0' + digits[count - 1 - i]);
    decimal[count] = '\0';
    return HEX_TO_DEC_OK;
}

int ParseHexDigits(const char* text, size_t length, size_t digits, uint32_t* value)
{
    if (!text || length != digits || digits < 1 || digits > 8)
        return -1;
    uint32_t v = 0;
    for (size_t i = 0; i < digits; ++i) {
        int d = HexDigitValue(text[i]);
        if (d < 0)
            return -1;
        v = v << 4 | (uint32_t)d;
    }
    *value = v;
    return 0;
}

int ParseSerialHex(const char* text, size_t length, uint32_t* serial)
{
    return ParseHexDigits(text, length, 8, serial);
}
