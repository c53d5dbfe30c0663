// Reading a length-prefixed file from an open key: piece sizes, offsets and every failure.
#include <gtest/gtest.h>
#include <string.h>

#include "fake_token.h"
#include "manager.h"

namespace {

class KeyFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        token.Install();
        token.Slot(0).present = true;
        ASSERT_GT(handle = OpenUsbKey(0), 0);
        token.calls.clear();
    }
    void TearDown() override { CloseUsbKey(handle); }

    static std::vector<unsigned char> Pattern(size_t n)
    {
        std::vector<unsigned char> bytes(n);
        for (size_t i = 0; i < n; ++i)
            bytes[i] = (unsigned char)(i * 7 + 1);
        return bytes;
    }

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

TEST_F(KeyFileTest, ABadStatusAtTheSelectReadsNothing)
{
    unsigned char destination[16];
    int length = -5;
    // No such file on the key: 0x6A82.
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF07, destination, sizeof destination, &length), -1);
    EXPECT_EQ(token.CountCalls("Read_Binary"), 0);
    EXPECT_EQ(length, -5);

    // A negative result with a good status fails too.
    token.PutFile(0, { 0xEF01 }, Pattern(4));
    token.intercept = [](const fake::Call& call, int* result, unsigned short* status) {
        if (call.name != "Select_File")
            return false;
        *result = -1;
        *status = 0x9000;
        return true;
    };
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF01, destination, sizeof destination, &length), -1);
    EXPECT_EQ(token.CountCalls("Read_Binary"), 0);
}

TEST_F(KeyFileTest, AFailingPieceStopsTheReadWithTheLengthKnown)
{
    token.PutFile(0, { 0xEF01 }, Pattern(300));
    int readCount = 0;
    token.intercept = [&readCount](const fake::Call& call, int* result, unsigned short* status) {
        if (call.name != "Read_Binary" || ++readCount != 3)
            return false;
        *result = 0;
        *status = 0x6B00;
        return true;
    };
    std::vector<unsigned char> destination(340, 0);
    int length = 0;
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF01, destination.data(), destination.size(), &length), -1);
    EXPECT_EQ(length, 300);
    EXPECT_EQ(token.CountCalls("Read_Binary"), 3) << "no piece after the failing one";
}

TEST_F(KeyFileTest, AFailingHeaderReadLeavesTheLengthUnset)
{
    token.PutRawFile(0, { 0xEF01 }, { 0x01 }); // one byte: the 2-byte header cannot be read
    unsigned char destination[16];
    int length = -5;
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF01, destination, sizeof destination, &length), -1);
    EXPECT_EQ(length, -5);
}

TEST_F(KeyFileTest, ADeclaredLengthLargerThanTheBufferWritesNothing)
{
    // The key claims 341 bytes for a 340-byte buffer, and really has them.
    token.PutFile(0, { 0xEF01 }, Pattern(341));
    std::vector<unsigned char> destination(400, 0xEE);
    int length = 0;
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF01, destination.data(), 340, &length), -1);
    EXPECT_EQ(length, 341);
    EXPECT_EQ(token.CountCalls("Read_Binary"), 1) << "only the header is read";
    for (unsigned char b : destination)
        ASSERT_EQ(b, 0xEE);

    // The largest length a prefix can declare, 65535, with only a few bytes behind it.
    token.PutRawFile(0, { 0xEF02 }, { 0xFF, 0xFF, 1, 2, 3 });
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF02, destination.data(), destination.size(), &length), -1);
    EXPECT_EQ(length, 65535);

    // Exactly the buffer's size still fits.
    token.PutFile(0, { 0xEF03 }, Pattern(340));
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF03, destination.data(), 340, &length), 0);
    EXPECT_EQ(destination[340], 0xEE);
}

TEST_F(KeyFileTest, AShortFileBehindItsPrefixFailsAtThePieceThatPassesTheEnd)
{
    // Prefix says 200, the key holds 150: the second piece passes the end (wrong offset).
    std::vector<unsigned char> raw = { 0x00, 0xC8 };
    std::vector<unsigned char> body = Pattern(150);
    raw.insert(raw.end(), body.begin(), body.end());
    token.PutRawFile(0, { 0xEF01 }, raw);
    std::vector<unsigned char> destination(340, 0);
    int length = 0;
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF01, destination.data(), destination.size(), &length), -1);
    EXPECT_EQ(length, 200);
}

} // namespace
