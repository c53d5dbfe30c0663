// KeyNum.dll: hexadecimal serial numbers to decimal text.
#include "hex_to_dec.h"
#include "token_exports.h"

enum { DECIMAL_BUFFER = 512 };

int KEYAPI HexToDec(const char* hexDigits, char* decimal512)
{
    return HexDigitsToDecimal(hexDigits, decimal512, DECIMAL_BUFFER);
}
