// Device broadcast records: the name is taken only from a complete device-interface record.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "device_notice.h"

static std::vector<unsigned char> Record(unsigned size, unsigned type, const char* name, size_t nameBytes)
{
    std::vector<unsigned char> bytes(28 + nameBytes, 0);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = (unsigned char)(size >> (8 * i));
        bytes[4 + i] = (unsigned char)(type >> (8 * i));
    }
    memcpy(bytes.data() + 28, name, nameBytes);
    return bytes;
}

TEST(DeviceNotice, ReadsTheInterfaceNameOfAWellFormedRecord)
{
    const char path[] = "\\\\?\\USB#VID_5E2B&PID_0001#1234#{a5dcbf10}";
    std::vector<unsigned char> r = Record(28 + sizeof path, 5, path, sizeof path);
    char name[260];
    ASSERT_EQ(ReadDeviceInterfaceName(r.data(), name, sizeof name), 1);
    EXPECT_STREQ(name, path);
}

TEST(DeviceNotice, RejectsRecordsThatCannotHoldAName)
{
    char name[260] = "stale";
    EXPECT_EQ(ReadDeviceInterfaceName(nullptr, name, sizeof name), 0);
    EXPECT_STREQ(name, "");

    // A volume or port arrival is not a device interface.
    std::vector<unsigned char> volume = Record(40, 2, "x", 1);
    EXPECT_EQ(ReadDeviceInterfaceName(volume.data(), name, sizeof name), 0);

    // Header only, or a size field smaller than the header.
    std::vector<unsigned char> headerOnly = Record(28, 5, "", 0);
    EXPECT_EQ(ReadDeviceInterfaceName(headerOnly.data(), name, sizeof name), 0);
    std::vector<unsigned char> tiny = Record(4, 5, "", 0);
    EXPECT_EQ(ReadDeviceInterfaceName(tiny.data(), name, sizeof name), 0);
}

TEST(DeviceNotice, NeverReadsPastTheRecordOrWritesPastTheName)
{
    // The size says 3 name bytes and none of them is a terminator: rejected, though bytes follow.
    std::vector<unsigned char> unterminated = Record(31, 5, "abcdef", 7);
    char name[260];
    EXPECT_EQ(ReadDeviceInterfaceName(unterminated.data(), name, sizeof name), 0);

    // A name longer than the caller's buffer is refused, not cut.
    std::vector<unsigned char> longName = Record(28 + 11, 5, "0123456789", 11);
    char small[8];
    memset(small, 'Z', sizeof small);
    EXPECT_EQ(ReadDeviceInterfaceName(longName.data(), small, sizeof small), 0);
    EXPECT_STREQ(small, "");
}
