// Fuzz target: the virtual key's HexToDec, fuzzed digit text into an output buffer of fuzzed size.
//
// Input: one byte picking the output size (0 to 254, or 512 as the manager passes for 0xFF), then the
// text. The decimal answer is turned back into hexadecimal here by other arithmetic (the decimal
// digits multiplied in base 16) and must give the input's digits again.
#include "fuzz_check.h"
#include "hex_to_dec.h"

namespace {

enum { MANAGER_BUFFER = 512, LONGEST = 424 }; // 16^424 has 511 decimal digits

// Lower-case hexadecimal of a decimal digit text, without leading zeros ("0" for zero).
std::string DecimalToHex(const char* decimal)
{
    std::vector<int> digits; // base 16, least significant first
    for (const char* p = decimal; *p; ++p) {
        FUZZ_CHECK(*p >= '0' && *p <= '9');
        int carry = *p - '0';
        for (int& d : digits) {
            carry += d * 10;
            d = carry % 16;
            carry /= 16;
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
            out += (char)tolower(c);
    return out.empty() ? "0" : out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    size_t outSize = in.Byte();
    outSize = outSize == 0xFF ? MANAGER_BUFFER : outSize;
    std::string hex = in.Take(in.Left());
    const char* digitSet = "0123456789abcdefABCDEF";
    std::string digits = hex.substr(0, hex.find_first_not_of(digitSet));

    // The manager's buffer first: a valid text of up to 424 significant digits converts exactly;
    // other texts are refused, as too long only when their digits up to the first other character are.
    char* full = (char*)malloc(MANAGER_BUFFER);
    int result = HexDigitsToDecimal(hex.c_str(), full, MANAGER_BUFFER);
    bool valid = !hex.empty() && digits == hex, tooLong = !digits.empty() && Normalised(digits).size() > LONGEST;
    if (result == HEX_TO_DEC_OK) {
        FUZZ_CHECK(valid && !tooLong && full[0] && (full[0] != '0' || full[1] == '\0'));
        FUZZ_CHECK(DecimalToHex(full) == Normalised(hex));
    } else {
        FUZZ_CHECK(full[0] == '\0');
        FUZZ_CHECK(result == HEX_TO_DEC_TOO_LONG ? tooLong : !valid && result == HEX_TO_DEC_BAD_DIGIT);
    }

    // Any other size: the same answer when it and its NUL fit, else refused and empty.
    char* out = (char*)malloc(outSize ? outSize : 1);
    memset(out, 'x', outSize ? outSize : 1);
    int sized = HexDigitsToDecimal(hex.c_str(), outSize ? out : NULL, outSize);
    if (outSize == 0)
        FUZZ_CHECK(sized == HEX_TO_DEC_NO_BUFFER);
    else if (result == HEX_TO_DEC_OK && strlen(full) < outSize)
        FUZZ_CHECK(sized == HEX_TO_DEC_OK && strcmp(out, full) == 0);
    else // refused; which reason comes first may depend on the room
        FUZZ_CHECK((sized == HEX_TO_DEC_TOO_LONG || sized == HEX_TO_DEC_BAD_DIGIT) && out[0] == '\0' &&
                   (result != HEX_TO_DEC_OK || sized == HEX_TO_DEC_TOO_LONG));
    FUZZ_CHECK(HexDigitsToDecimal(NULL, full, MANAGER_BUFFER) == HEX_TO_DEC_NO_BUFFER && full[0] == '\0');
    free(out);
    free(full);
    return 0;
}
