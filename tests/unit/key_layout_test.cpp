// Decoding the key's files without a key: every field read within the bytes there are.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "key_layout.h"

TEST(KeyLayout, SerialHexIsMostSignificantFirstAndBounded)
{
    const unsigned char lsbFirst[] = { 0x14, 0x13, 0x0a, 0x01 };
    char text[256];
    FormatSerialHex(lsbFirst, sizeof lsbFirst, text, sizeof text);
    EXPECT_STREQ(text, "010A1314");

    // 200 bytes do not fit 255 digits: the most significant 127 bytes are kept.
    std::vector<unsigned char> huge(200, 0x11);
    huge[199] = 0xAB;
    FormatSerialHex(huge.data(), huge.size(), text, sizeof text);
    EXPECT_EQ(strlen(text), 254u);
    EXPECT_EQ(std::string(text, 4), "AB11");
}

TEST(KeyLayout, ApplicationAndContainerIndicatorsPastTheDataReadAsZero)
{
    std::vector<unsigned char> info(340, 0);
    info[68 + 136] = 5; // second application only
    EXPECT_FALSE(ApplicationListed(info.data(), info.size(), 0));
    EXPECT_TRUE(ApplicationListed(info.data(), info.size(), 1));
    EXPECT_FALSE(ApplicationListed(info.data(), info.size(), 2));
    EXPECT_FALSE(ApplicationListed(info.data(), 100, 1));

    std::vector<unsigned char> dir(620, 0);
    dir[32] = 1;        // container 0: encryption indicator but not in use
    dir[148 + 40] = 1;  // container 1: signature, in use
    dir[148 + 48] = 1;
    ContainerState c0 = ReadContainerState(dir.data(), dir.size(), 0);
    ContainerState c1 = ReadContainerState(dir.data(), dir.size(), 1);
    EXPECT_EQ(c0.inUse + c0.hasEncryption + c0.hasSignature, 0);
    EXPECT_EQ(c1.inUse, 1);
    EXPECT_EQ(c1.hasEncryption, 0);
    EXPECT_EQ(c1.hasSignature, 1);
    EXPECT_EQ(ReadContainerState(dir.data(), 150, 1).inUse, 0);
}

TEST(KeyLayout, ALabelWithoutNulIsCutWithinItsFieldOnACharacterBoundary)
{
    std::vector<unsigned char> info(340, 0);
    memset(info.data(), 'a', 64);
    char label[64];
    ReadKeyLabel(info.data(), info.size(), label, sizeof label);
    EXPECT_EQ(strlen(label), 63u);

    memcpy(info.data(), "ab", 2);
    for (int i = 2; i < 64; i += 2)
        memcpy(info.data() + i, "张", 2); // the 63rd byte would be a lead byte
    ReadKeyLabel(info.data(), info.size(), label, sizeof label);
    EXPECT_EQ(strlen(label), 62u);
}
