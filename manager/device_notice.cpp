// Takes the device interface path out of a broadcast record without reading past the record.
#include "device_notice.h"

#include <string.h>

static unsigned ReadLe32(const unsigned char* p)
{
    return (unsigned)p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

int ReadDeviceInterfaceName(const void* record, char* name, size_t size)
{
    if (size == 0)
        return 0;
    name[0] = '\0';
    if (!record)
        return 0;
    const unsigned char* bytes = (const unsigned char*)record;
    // The header (size and type) is read first; the size then limits everything after it.
    unsigned recordSize = ReadLe32(bytes);
    if (recordSize < 8)
        return 0;
    if (ReadLe32(bytes + 4) != DEVICE_TYPE_INTERFACE)
        return 0;
    if (recordSize <= DEVICE_RECORD_NAME_OFFSET)
        return 0;
    const char* text = (const char*)bytes + DEVICE_RECORD_NAME_OFFSET;
    size_t available = recordSize - DEVICE_RECORD_NAME_OFFSET;
    size_t len = strnlen(text, available);
    if (len == available || len >= size)
        return 0; // no terminator inside the record, or longer than the caller takes
    memcpy(name, text, len);
    name[len] = '\0';
    return 1;
}
