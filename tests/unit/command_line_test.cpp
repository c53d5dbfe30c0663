// The "-u" switch: the last two characters decide, in either case, with anything before them.
#include <gtest/gtest.h>

#include "command_line.h"

TEST(CloseInstanceSwitch, MatchesOnTheLastTwoCharacters)
{
    struct Case { const char* commandLine; int expected; };
    const Case cases[] = {
        { "-u", 1 },      { "-U", 1 },        { "foo -u", 1 },   { "x-u", 1 },
        { "\"c:\\a b\\KeyManager.exe\" -u", 1 }, { "张三-u", 1 },
        { "", 0 },        { "u", 0 },         { "-", 0 },        { "-u ", 0 },
        { "-ux", 0 },     { "-v", 0 },        { "/u", 0 },       { "--", 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsCloseInstanceSwitch(c.commandLine), c.expected) << "command line: [" << c.commandLine << "]";
    EXPECT_EQ(IsCloseInstanceSwitch(nullptr), 0);
}
