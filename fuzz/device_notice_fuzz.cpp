// Fuzz target: the device interface path taken out of a WM_DEVICECHANGE broadcast record, and the
// command line switch; both are bytes the manager gets from outside.
//
// Input: mode (bit 0: the record's size field is set to the record's size; otherwise so only when it
// declares more), name buffer size / 2, then the bytes: the record, and the same bytes as a command line.
#include "command_line.h"
#include "device_notice.h"
#include "fuzz_check.h"

static unsigned Le32(const unsigned char* p)
{
    return (unsigned)p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    uint8_t mode = in.Byte();
    size_t nameSize = 1 + in.Byte() * 2;
    size = in.Left();

    // The command line: the bytes up to a NUL. Only its last two characters decide.
    std::string line = in.Take(size);
    bool close = line.size() >= 2 && line[line.size() - 2] == '-' && (line.back() | 0x20) == 'u';
    FUZZ_CHECK(IsCloseInstanceSwitch(line.c_str()) == close);

    // Some broadcasts carry no record at all (lParam 0).
    char none[2] = "x";
    FUZZ_CHECK(ReadDeviceInterfaceName(NULL, none, sizeof none) == 0 && none[0] == '\0');
    if (size < 8)
        return 0;
    // The record's size field bounds every read, so the record is as large as the size it declares.
    unsigned char* record = (unsigned char*)malloc(size);
    memcpy(record, in.end - size, size);
    unsigned declared = Le32(record);
    if ((mode & 1) || declared > size) {
        declared = (unsigned)size;
        for (int i = 0; i < 4; ++i)
            record[i] = (unsigned char)(declared >> (8 * i));
    }
    char* name = (char*)malloc(nameSize);
    int found = ReadDeviceInterfaceName(record, name, nameSize);
    // Found exactly when the record is an interface record whose name ends inside it and fits the buffer.
    const unsigned char* named = record + DEVICE_RECORD_NAME_OFFSET;
    bool complete = Le32(record + 4) == DEVICE_TYPE_INTERFACE && declared > DEVICE_RECORD_NAME_OFFSET &&
                    memchr(named, 0, declared - DEVICE_RECORD_NAME_OFFSET) != NULL;
    FUZZ_CHECK(found == (complete && strlen((const char*)named) < nameSize));
    FUZZ_CHECK(memchr(name, 0, nameSize) != NULL && strcmp(name, found ? (const char*)named : "") == 0);
    free(name);
    free(record);
    return 0;
}
