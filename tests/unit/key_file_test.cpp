// Reading a length-prefixed file from an open key: piece sizes, offsets and every failure.
#include <gtest/gtest.h>
#include <string.h>

#include "fake_token.h"
#include "manager.h"

namespace {

std::vector<unsigned char> Pattern(size_t n)
{
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = (unsigned char)(i * 7 + 1);
    return bytes;
}

class KeyFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        token.Install();
        token.Slot(0).present = true;
        ASSERT_GT(handle = OpenUsbKey(0), 0);
    }
    void TearDown() override { CloseUsbKey(handle); }

    fake::Token& token = fake::Instance();
    int handle = 0;
};

TEST_F(KeyFileTest, ReadsInPiecesOfAtMost128BytesAtTheRightOffsets)
{
    struct Case { size_t length; std::vector<std::vector<int>> pieces; }; // {offset / 256, offset, count}
    const Case cases[] = {
        { 0, {} },
        { 128, { { 0, 2, 128 } } },
        { 129, { { 0, 2, 128 }, { 0, 130, 1 } } },
        { 300, { { 0, 2, 128 }, { 0, 130, 128 }, { 1, 258, 44 } } },
        { 340, { { 0, 2, 128 }, { 0, 130, 128 }, { 1, 258, 84 } } }, // exactly the buffer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<unsigned char> content = Pattern(c.length);
        token.PutFile(0, { 0xEF01 }, content);
        token.calls.clear();
        std::vector<unsigned char> destination(400, 0xEE);
        int length = -5;
        ASSERT_EQ(ReadUsbKeyFile(handle, 0xEF01, destination.data(), 340, &length), 0);
        EXPECT_EQ(length, (int)c.length);
        EXPECT_TRUE(std::equal(content.begin(), content.end(), destination.begin()));
        EXPECT_EQ(destination[c.length], 0xEE) << "byte after the content was touched";

        // The select names the file high byte first, then the 2-byte header, then the pieces.
        std::vector<fake::Call> selects = token.CallsNamed("Select_File");
        ASSERT_EQ(selects.size(), 1u);
        EXPECT_EQ(selects[0].args, (std::vector<int>{ 2, 0, 2 }));
        EXPECT_EQ(selects[0].data, (std::vector<unsigned char>{ 0xEF, 0x01 }));
        std::vector<fake::Call> reads = token.CallsNamed("Read_Binary");
        ASSERT_EQ(reads.size(), 1 + c.pieces.size());
        EXPECT_EQ(reads[0].args, (std::vector<int>{ 0, 0, 0, 0, 2 }));
        for (size_t i = 0; i < c.pieces.size(); ++i)
            EXPECT_EQ(reads[i + 1].args, (std::vector<int>{ 0, c.pieces[i][0], c.pieces[i][1], 0, c.pieces[i][2] }));
    }
}

TEST_F(KeyFileTest, EveryFailureStopsWithNothingWrittenPastTheBuffer)
{
    // Fails the n-th call named name with this result and status.
    auto failing = [](std::string name, int n, int result, unsigned short status) {
        return [=](const fake::Call& call, int* r, unsigned short* s) mutable {
            if (call.name != name || --n != 0)
                return false;
            *r = result;
            *s = status;
            return true;
        };
    };
    std::vector<unsigned char> shortBody = { 0x00, 0xC8 }; // says 200, holds 150
    std::vector<unsigned char> body = Pattern(150);
    shortBody.insert(shortBody.end(), body.begin(), body.end());
    struct Case {
        const char* what;
        std::vector<unsigned char> raw; // the file's bytes, prefix included; empty: no file
        decltype(fake::Token::intercept) intercept;
        int length;                     // what the caller learns, -5 when nothing
        int reads;
    };
    const Case cases[] = {
        { "no such file (6A82 at the select)", {}, nullptr, -5, 0 },
        { "a negative select with a good status", { 0, 4, 1, 2, 3, 4 }, failing("Select_File", 1, -1, 0x9000), -5, 0 },
        { "a file too short for its header", { 0x01 }, nullptr, -5, 1 },
        { "a failing third read", { 0x01, 0x2C }, failing("Read_Binary", 3, 0, 0x6B00), 300, 3 },
        { "341 bytes declared for 340", { 0x01, 0x55 }, nullptr, 341, 1 },
        { "65535 declared, a few bytes behind", { 0xFF, 0xFF, 1, 2, 3 }, nullptr, 65535, 1 },
        { "200 declared, 150 behind", shortBody, nullptr, 200, 3 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        token.Slot(0).files.clear();
        std::vector<unsigned char> raw = c.raw;
        if (raw.size() == 2) { // a prefix alone: the declared length of real bytes follows
            std::vector<unsigned char> rest = Pattern(raw[0] << 8 | raw[1]);
            raw.insert(raw.end(), rest.begin(), rest.end());
        }
        if (!raw.empty())
            token.PutRawFile(0, { 0xEF01 }, raw);
        token.intercept = c.intercept;
        token.calls.clear();
        std::vector<unsigned char> destination(400, 0xEE);
        int length = -5;
        EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF01, destination.data(), 340, &length), -1);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(token.CountCalls("Read_Binary"), c.reads) << "no read after the failing call";
        for (size_t i = c.length > 340 ? 0 : 340; i < destination.size(); ++i)
            ASSERT_EQ(destination[i], 0xEE) << "byte " << i << " written";
    }
    token.intercept = nullptr;
}

} // namespace
