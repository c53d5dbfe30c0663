// Checked text buffers: nothing written past the size, GBK characters never split.
#include <gtest/gtest.h>
#include <string.h>

#include "bounded_text.h"

TEST(BoundedText, CopyAndAppendStayWithinTheBuffer)
{
    char guard[16];
    memset(guard, 'X', sizeof guard);
    char* buffer = guard + 4; // 8 usable bytes between guards
    EXPECT_EQ(TextCopy(buffer, 8, "abc"), 1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(TextCopy(buffer, 8, "abcdefghij"), 0);
    EXPECT_STREQ(buffer, "abcdefg");
    // Appending to a buffer with no terminator within its size.
    memset(buffer, 'a', 8);
    EXPECT_EQ(TextAppend(buffer, 8, "b"), 0);
    EXPECT_EQ(buffer[7], '\0');
    EXPECT_EQ(std::string(guard, 4) + std::string(guard + 12, 4), "XXXXXXXX");

    char bytes[16] = "";
    EXPECT_EQ(TextAppendBytes(bytes, sizeof bytes, "abcdef", 3), 1);
    EXPECT_STREQ(bytes, "abc");
}

TEST(BoundedText, CutsFallOnGbkCharacterBoundaries)
{
    // "张三" is four bytes in GBK; three bytes of room after "ab" hold one character, not one and a half.
    char buffer[6] = "ab";
    EXPECT_EQ(TextAppend(buffer, sizeof buffer, "张三"), 0);
    EXPECT_STREQ(buffer, "ab张");
    char exact[7] = "ab";
    EXPECT_EQ(TextAppend(exact, sizeof exact, "张三"), 1);
    EXPECT_STREQ(exact, "ab张三");

    char date[32] = "日期:";
    EXPECT_EQ(TextAppendFormat(date, sizeof date, "%d年%d月%d日", 2014, 3, 5), 1);
    EXPECT_STREQ(date, "日期:2014年3月5日");
    char small[9] = ""; // "2014年3月" needs 9 bytes and the NUL
    EXPECT_EQ(TextAppendFormat(small, sizeof small, "%d年%d月", 2014, 3), 0);
    EXPECT_STREQ(small, "2014年3");
    // A formatted piece longer than the formatting room ends on a boundary too.
    std::string longText = std::string(1022, 'a') + "张";
    static char large[2048];
    EXPECT_EQ(TextAppendFormat(large, sizeof large, "%s", longText.c_str()), 0);
    EXPECT_EQ(strlen(large), 1022u) << "the lead byte of the cut character is dropped";

    EXPECT_EQ(GbkPrefixLength("张三", 3), 2u);
    EXPECT_EQ(GbkPrefixLength("a张", 2), 1u);
    EXPECT_EQ(GbkPrefixLength("a张", 3), 3u);
    // A lead byte at the very end of the text (a truncated character) is dropped.
    const char broken[] = { 'a', (char)0xD5, 0 };
    EXPECT_EQ(GbkPrefixLength(broken, 10), 1u);
}

TEST(BoundedText, WipeClearsEveryByte)
{
    char secret[16];
    memset(secret, 'p', sizeof secret);
    WipeBytes(secret, sizeof secret);
    EXPECT_EQ(std::string(secret, sizeof secret), std::string(sizeof secret, '\0'));
}
