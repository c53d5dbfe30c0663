// Device broadcast records: the name is taken only from a complete device-interface record.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "device_notice.h"

TEST(DeviceNotice, ANameIsReadOnlyFromACompleteRecordThatFits)
{
    const char path[] = "\\\\?\\USB#VID_5E2B&PID_0001#1234#{a5dcbf10}";
    struct Case {
        const char* what;
        unsigned size, type;   // the record's own fields
        const char* name;
        size_t nameBytes;      // bytes that follow the header
        size_t buffer;         // the caller's name buffer
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        { "a well-formed record", 28 + sizeof path, 5, path, sizeof path, 260, path },
        { "a volume arrival", 40, 2, "x", 1, 260, nullptr },
        { "the header only", 28, 5, "", 0, 260, nullptr },
        { "a size smaller than the header", 4, 5, "", 0, 260, nullptr },
        { "3 name bytes by its size, none a NUL", 31, 5, "abcdef", 7, 260, nullptr },
        { "a name longer than the caller's buffer", 39, 5, "0123456789", 11, 8, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> record(28 + c.nameBytes, 0);
        for (int i = 0; i < 4; ++i) {
            record[i] = (unsigned char)(c.size >> (8 * i));
            record[4 + i] = (unsigned char)(c.type >> (8 * i));
        }
        memcpy(record.data() + 28, c.name, c.nameBytes);
        std::vector<char> name(c.buffer + 4, 'Z');
        EXPECT_EQ(ReadDeviceInterfaceName(record.data(), name.data(), c.buffer), c.expected ? 1 : 0);
        EXPECT_STREQ(name.data(), c.expected ? c.expected : "") << "a refused record leaves the name empty";
        EXPECT_EQ(std::string(name.end() - 4, name.end()), "ZZZZ") << "written past the buffer";
    }
    char name[8] = "stale";
    EXPECT_EQ(ReadDeviceInterfaceName(nullptr, name, sizeof name), 0);
    EXPECT_STREQ(name, "");
}
