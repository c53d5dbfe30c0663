// Fuzz target: the device interface path taken out of a WM_DEVICECHANGE broadcast record, and the
// command line switch; both are bytes the manager gets from outside.
//
// The record's size field bounds every read, so the record given is as large as the size it declares:
// the first input byte picks whether the size field is kept (when it fits the input) or set to the
// input's size. The second picks the size of the caller's name buffer.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "command_line.h"
#include "device_notice.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    uint8_t mode = data[0];
    size_t nameSize = 1 + data[1] * 2;
    data += 2;
    size -= 2;

    // The command line: any bytes, NUL-terminated.
    char* line = (char*)malloc(size + 1);
    memcpy(line, data, size);
    line[size] = '\0';
    int close = IsCloseInstanceSwitch(line);
    size_t lineLength = strlen(line);
    FUZZ_CHECK(close == (lineLength >= 2 && line[lineLength - 2] == '-' && (line[lineLength - 1] | 0x20) == 'u'));
    free(line);

    // Some broadcasts carry no record at all (lParam 0).
    char none[2] = "x";
    FUZZ_CHECK(ReadDeviceInterfaceName(NULL, none, sizeof none) == 0 && none[0] == '\0');
    if (size < 8)
        return 0;
    unsigned char* record = (unsigned char*)malloc(size);
    memcpy(record, data, size);
    unsigned declared = (unsigned)record[0] | (unsigned)record[1] << 8 | (unsigned)record[2] << 16 |
                        (unsigned)record[3] << 24;
    if ((mode & 1) || declared > size) {
        declared = (unsigned)size;
        for (int i = 0; i < 4; ++i)
            record[i] = (unsigned char)(declared >> (8 * i));
    }
    char* name = (char*)malloc(nameSize);
    int found = ReadDeviceInterfaceName(record, name, nameSize);
    size_t nameLength = strnlen(name, nameSize);
    FUZZ_CHECK(nameLength < nameSize);
    // Found exactly when the record is an interface record whose name ends inside it and fits the buffer.
    unsigned type = (unsigned)record[4] | (unsigned)record[5] << 8 | (unsigned)record[6] << 16 | (unsigned)record[7] << 24;
    const unsigned char* named = record + DEVICE_RECORD_NAME_OFFSET;
    bool complete = type == DEVICE_TYPE_INTERFACE && declared > DEVICE_RECORD_NAME_OFFSET &&
                    memchr(named, 0, declared - DEVICE_RECORD_NAME_OFFSET) != NULL;
    FUZZ_CHECK(found == (complete && strlen((const char*)named) < nameSize));
    if (found)
        FUZZ_CHECK(memcmp(name, named, nameLength + 1) == 0);
    else
        FUZZ_CHECK(nameLength == 0);
    free(name);
    free(record);
    return 0;
}
