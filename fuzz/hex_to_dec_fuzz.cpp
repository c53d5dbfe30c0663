// Fuzz target: the virtual key's HexToDec, fuzzed digit text into an output buffer of fuzzed size.
//
// Input: one byte picking the output size (0 to 255, or 512 as the manager passes when it is 0xFF),
// then the text. The decimal answer is turned back into hexadecimal here by other arithmetic (the
// decimal digits multiplied in base 16) and must give the input's digits again.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_check.h"
#include "hex_to_dec.h"

namespace {

enum { MANAGER_BUFFER = 512 };

// Lower-case hexadecimal of a decimal digit text, without leading zeros ("0" for zero).
std::string DecimalToHex(const char* decimal)
{
    std::vector<int> digits; // base 16, least significant first
    for (const char* p = decimal; *p; ++p) {
        FUZZ_CHECK(*p >= '0' && *p <= '9');
        int carry = *p - '0';
        for (int& d : digits) {
            int x = d * 10 + carry;
            d = x % 16;
            carry = x / 16;
        }
        for (; carry; carry /= 16)
            digits.push_back(carry % 16);
    }
    std::string hex;
    for (size_t i = digits.size(); i-- > 0;)
        hex += "0123456789abcdef"[digits[i]];
    return hex.empty() ? "0" : hex;
}

std::string Normalised(const std::string& hex)
{
    std::string out;
    for (char c : hex)
        if (!out.empty() || c != '0')
            out += (char)(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    return out.empty() ? "0" : out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t outSize = data[0] == 0xFF ? MANAGER_BUFFER : data[0];
    std::string hex((const char*)data + 1, size - 1);
    hex = hex.substr(0, hex.find('\0'));
    bool allDigits = !hex.empty();
    for (char c : hex)
        allDigits &= strchr("0123456789abcdefABCDEF", c) != NULL;

    // The manager's buffer first: every valid text of up to 424 significant digits converts exactly.
    char* full = (char*)malloc(MANAGER_BUFFER);
    int result = HexDigitsToDecimal(hex.c_str(), full, MANAGER_BUFFER);
    size_t fullLength = strnlen(full, MANAGER_BUFFER);
    FUZZ_CHECK(fullLength < MANAGER_BUFFER);
    if (!allDigits) {
        // Refused; as too long only when the digits before the first other character already are.
        std::string digits = hex.substr(0, hex.find_first_not_of("0123456789abcdefABCDEF"));
        FUZZ_CHECK(fullLength == 0);
        FUZZ_CHECK(result == HEX_TO_DEC_BAD_DIGIT ||
                   (result == HEX_TO_DEC_TOO_LONG && !digits.empty() && Normalised(digits).size() > 424));
    } else if (result == HEX_TO_DEC_OK) {
        FUZZ_CHECK(fullLength > 0 && (fullLength == 1 || full[0] != '0'));
        FUZZ_CHECK(DecimalToHex(full) == Normalised(hex));
    } else {
        // 424 digits always fit (16^424 has 511 decimal digits); only longer numbers may not.
        FUZZ_CHECK(result == HEX_TO_DEC_TOO_LONG && fullLength == 0);
        FUZZ_CHECK(Normalised(hex).size() > 424);
    }

    // Any other size: the same answer when it and its NUL fit, else refused and empty.
    char* out = (char*)malloc(outSize ? outSize : 1);
    memset(out, 'x', outSize ? outSize : 1);
    int sized = HexDigitsToDecimal(hex.c_str(), outSize ? out : NULL, outSize);
    if (outSize == 0)
        FUZZ_CHECK(sized == HEX_TO_DEC_NO_BUFFER);
    else if (result == HEX_TO_DEC_OK && fullLength < outSize)
        FUZZ_CHECK(sized == HEX_TO_DEC_OK && strcmp(out, full) == 0);
    else if (result == HEX_TO_DEC_OK)
        FUZZ_CHECK(sized == HEX_TO_DEC_TOO_LONG && out[0] == '\0');
    else // a text that is refused stays refused; which reason comes first may depend on the room
        FUZZ_CHECK((sized == HEX_TO_DEC_TOO_LONG || sized == HEX_TO_DEC_BAD_DIGIT) && out[0] == '\0');
    FUZZ_CHECK(HexDigitsToDecimal(NULL, full, MANAGER_BUFFER) == HEX_TO_DEC_NO_BUFFER && full[0] == '\0');
    free(out);
    free(full);
    return 0;
}
