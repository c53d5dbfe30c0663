// Building and recognising the device interface paths of virtual keys.
#include "device_path.h"

#include <string.h>

#include "bounded_text.h"

int FormatKeyDevicePath(uint32_t serial, char* path, size_t size)
{
    if (!path || size == 0)
        return -1;
    path[0] = '\0';
    return TextAppendFormat(path, size, "\\\\?\\USB#" KEY_DEVICE_ID "#%08X#" USB_INTERFACE_CLASS_TEXT,
                            (unsigned)serial)
               ? 0
               : -1;
}

static char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

int IsKeyDevicePath(const char* path)
{
    if (!path)
        return 0;
    const char* id = KEY_DEVICE_ID;
    size_t idLength = strlen(id);
    for (const char* p = path; *p; ++p) {
        size_t i = 0;
        while (i < idLength && p[i] && Upper(p[i]) == id[i])
            ++i;
        if (i == idLength)
            return 1;
    }
    return 0;
}
