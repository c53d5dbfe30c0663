// Exact conversion of hexadecimal digit text of any length to decimal text (KeyNum.dll's HexToDec).
// Portable: no windows.h.
#pragma once

#include <stdint.h>

#include <stddef.h>

enum {
    HEX_TO_DEC_OK = 0,
    HEX_TO_DEC_BAD_DIGIT = 1,      // a character that is no hexadecimal digit, or no digit at all
    HEX_TO_DEC_TOO_LONG = 2,       // the decimal text and its NUL would not fit
    HEX_TO_DEC_NO_BUFFER = 3       // a null pointer or an empty output buffer
};

// Writes the decimal value of hex (digits 0-9, a-f, A-F; leading zeros allowed; "00" gives "0") into
// decimal with its NUL. On any failure decimal holds the empty text (when it can hold anything).
int HexDigitsToDecimal(const char* hex, char* decimal, size_t size);

// The value of one hexadecimal digit, or -1 for any other character.
int HexDigitValue(char c);

// Exactly digits (1..8) hexadecimal digits of a text of the given length; 0 on success, -1 when the
// length differs or a character is no digit.
int ParseHexDigits(const char* text, size_t length, size_t digits, uint32_t* value);

// Eight hexadecimal digits: a key's serial number.
int ParseSerialHex(const char* text, size_t length, uint32_t* serial);
