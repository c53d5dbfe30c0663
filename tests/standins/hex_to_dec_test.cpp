// HexToDec's arithmetic: known large values, the 512-byte boundary, and every way to reject input.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <string>

#include "hex_to_dec.h"

namespace {

struct Conversion {
    const char* hex;
    const char* decimal;
};

// Decimal values computed independently with python3: str(int(hex, 16)).
const Conversion KnownValues[] = {
    { "0", "0" },
    { "00", "0" },
    { "0000000000", "0" },
    { "F", "15" },
    { "ff", "255" },
    { "10", "16" },
    { "DEADBEEF", "3735928559" },
    { "FFFFFFFFFFFFFFFF", "18446744073709551615" },
    { "10000000000000000", "18446744073709551616" },
    { "000000000001", "1" },
    // 20-byte certificate serial numbers (40 digits), mixed case included.
    { "574125ECCBBC1DC30B24B829A23A27123A5BC71B", "498135049231606636179648033591440066508150785819" },
    { "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", "1461501637330902918203684832716283019655932542975" },
    { "0123456789abcdefABCDEF0123456789abcdef01", "6495562832581790715880662546953496655653891841" },
    { "8000000000000000000000000000000000000001", "730750818665451459101842416358141509827966271489" },
};

class KnownConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(KnownConversion, GivesTheExactDecimal)
{
    char decimal[512];
    memset(decimal, 'x', sizeof decimal);
    ASSERT_EQ(HexDigitsToDecimal(GetParam().hex, decimal, sizeof decimal), HEX_TO_DEC_OK);
    EXPECT_STREQ(decimal, GetParam().decimal);
}

INSTANTIATE_TEST_SUITE_P(HexToDec, KnownConversion, ::testing::ValuesIn(KnownValues));

TEST(HexToDec, AgreesWithPrintfOnRandom64BitValues)
{
    std::mt19937_64 random(20240101);
    for (int i = 0; i < 2000; ++i) {
        unsigned long long value = random() >> (random() % 64);
        char hex[32];
        char expected[32];
        snprintf(hex, sizeof hex, i % 2 ? "%llX" : "%016llx", value);
        snprintf(expected, sizeof expected, "%llu", value);
        char decimal[512];
        ASSERT_EQ(HexDigitsToDecimal(hex, decimal, sizeof decimal), HEX_TO_DEC_OK) << hex;
        ASSERT_STREQ(decimal, expected) << hex;
    }
}

// 424 hex F's make 511 decimal digits (the most 512 bytes hold), 425 make 512 (python3 again).
TEST(HexToDec, FillsTheWholeBufferAndNoMore)
{
    char decimal[512];
    std::string largest(424, 'F');
    ASSERT_EQ(HexDigitsToDecimal(largest.c_str(), decimal, sizeof decimal), HEX_TO_DEC_OK);
    std::string text(decimal);
    EXPECT_EQ(text.size(), 511u);
    EXPECT_EQ(text.substr(0, 30), "352267555842411141379096344796");
    EXPECT_EQ(text.substr(481), "019136726187211439278796046335");

    std::string power = "1" + std::string(424, '0');
    ASSERT_EQ(HexDigitsToDecimal(power.c_str(), decimal, sizeof decimal), HEX_TO_DEC_OK);
    EXPECT_EQ(std::string(decimal).substr(481), "019136726187211439278796046336");

    std::string tooLarge(425, 'F');
    memset(decimal, 'x', sizeof decimal);
    EXPECT_EQ(HexDigitsToDecimal(tooLarge.c_str(), decimal, sizeof decimal), HEX_TO_DEC_TOO_LONG);
    EXPECT_STREQ(decimal, "");
}

TEST(HexToDec, NeverWritesPastASmallBuffer)
{
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(HexDigitsToDecimal("FFFFFF", buffer, 4), HEX_TO_DEC_TOO_LONG); // 16777215 needs 9 bytes
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(std::string(buffer + 4, 4), "xxxx");
    EXPECT_EQ(HexDigitsToDecimal("3E7", buffer, 4), HEX_TO_DEC_OK); // 999 and its NUL fit exactly
    EXPECT_STREQ(buffer, "999");
}

TEST(HexToDec, LongRunsOfLeadingZerosCostNoRoom)
{
    std::string hex = std::string(5000, '0') + "1F";
    char decimal[512];
    ASSERT_EQ(HexDigitsToDecimal(hex.c_str(), decimal, sizeof decimal), HEX_TO_DEC_OK);
    EXPECT_STREQ(decimal, "31");
}

struct Rejected {
    const char* hex;
    int result;
};

const Rejected RejectedInputs[] = {
    { "", HEX_TO_DEC_BAD_DIGIT },
    { "12G4", HEX_TO_DEC_BAD_DIGIT },
    { " 12", HEX_TO_DEC_BAD_DIGIT },
    { "12 ", HEX_TO_DEC_BAD_DIGIT },
    { "0x12", HEX_TO_DEC_BAD_DIGIT },
    { "-1", HEX_TO_DEC_BAD_DIGIT },
    { "\xB2\xE2", HEX_TO_DEC_BAD_DIGIT },
};

class RejectedInput : public ::testing::TestWithParam<Rejected> {};

TEST_P(RejectedInput, LeavesAnEmptyText)
{
    char decimal[512];
    memset(decimal, 'x', sizeof decimal);
    EXPECT_EQ(HexDigitsToDecimal(GetParam().hex, decimal, sizeof decimal), GetParam().result);
    EXPECT_STREQ(decimal, "");
}

INSTANTIATE_TEST_SUITE_P(HexToDec, RejectedInput, ::testing::ValuesIn(RejectedInputs));

TEST(HexToDec, RefusesNullPointers)
{
    char decimal[16] = "x";
    EXPECT_EQ(HexDigitsToDecimal(NULL, decimal, sizeof decimal), HEX_TO_DEC_NO_BUFFER);
    EXPECT_STREQ(decimal, "");
    EXPECT_EQ(HexDigitsToDecimal("12", NULL, 512), HEX_TO_DEC_NO_BUFFER);
    EXPECT_EQ(HexDigitsToDecimal("12", decimal, 0), HEX_TO_DEC_NO_BUFFER);
}

} // namespace
