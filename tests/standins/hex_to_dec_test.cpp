// HexToDec's arithmetic: known large values, the 512-byte boundary, and every way to reject input.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "hex_to_dec.h"

namespace {

TEST(HexToDec, GivesTheExactDecimalOrAnEmptyText)
{
    // Decimal values computed independently with python3: str(int(hex, 16)).
    const struct {
        std::string hex;
        const char* decimal;
        int result = HEX_TO_DEC_OK;
    } cases[] = {
        { "0", "0" },
        { "0000000000", "0" },
        { "ff", "255" },
        { "DEADBEEF", "3735928559" },
        { "FFFFFFFFFFFFFFFF", "18446744073709551615" },
        { "10000000000000000", "18446744073709551616" },
        // 20-byte certificate serial numbers (40 digits), mixed case included.
        { "574125ECCBBC1DC30B24B829A23A27123A5BC71B", "498135049231606636179648033591440066508150785819" },
        { "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", "1461501637330902918203684832716283019655932542975" },
        { "0123456789abcdefABCDEF0123456789abcdef01", "6495562832581790715880662546953496655653891841" },
        { "8000000000000000000000000000000000000001", "730750818665451459101842416358141509827966271489" },
        { std::string(5000, '0') + "1F", "31" }, // leading zeros cost no room
        { std::string(425, 'F'), "", HEX_TO_DEC_TOO_LONG }, // 512 digits and the NUL
        { "", "", HEX_TO_DEC_BAD_DIGIT },
        { "12G4", "", HEX_TO_DEC_BAD_DIGIT },
        { " 12", "", HEX_TO_DEC_BAD_DIGIT },
        { "12 ", "", HEX_TO_DEC_BAD_DIGIT },
        { "0x12", "", HEX_TO_DEC_BAD_DIGIT },
        { "-1", "", HEX_TO_DEC_BAD_DIGIT },
        { "\xB2\xE2", "", HEX_TO_DEC_BAD_DIGIT },
    };
    for (const auto& c : cases) {
        char decimal[512];
        memset(decimal, 'x', sizeof decimal);
        EXPECT_EQ(HexDigitsToDecimal(c.hex.c_str(), decimal, sizeof decimal), c.result) << c.hex.substr(0, 48);
        EXPECT_EQ(std::string(decimal, strnlen(decimal, sizeof decimal)), c.decimal) << c.hex.substr(0, 48);
    }
}

// 424 hex F's make 511 decimal digits, the most 512 bytes hold (python3 again).
TEST(HexToDec, FillsTheBufferAndNeverWritesPastIt)
{
    char decimal[512];
    ASSERT_EQ(HexDigitsToDecimal(std::string(424, 'F').c_str(), decimal, sizeof decimal), HEX_TO_DEC_OK);
    std::string text(decimal);
    EXPECT_EQ(text.size(), 511u);
    EXPECT_EQ(text.substr(0, 30), "352267555842411141379096344796");
    EXPECT_EQ(text.substr(481), "019136726187211439278796046335");

    char small[8];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(HexDigitsToDecimal("FFFFFF", small, 4), HEX_TO_DEC_TOO_LONG); // 16777215 needs 9 bytes
    EXPECT_EQ(std::string(small, 8), std::string("\0xxxxxxx", 8));
    EXPECT_EQ(HexDigitsToDecimal("3E7", small, 4), HEX_TO_DEC_OK); // 999 and its NUL fit exactly
    EXPECT_STREQ(small, "999");
    EXPECT_EQ(HexDigitsToDecimal(NULL, small, sizeof small), HEX_TO_DEC_NO_BUFFER);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(HexDigitsToDecimal("12", NULL, 512), HEX_TO_DEC_NO_BUFFER);
    EXPECT_EQ(HexDigitsToDecimal("12", small, 0), HEX_TO_DEC_NO_BUFFER);
}

} // namespace
