// Finds a stand-in's own folder from its module path, stepping through GBK characters whole.
#include "module_dir.h"

int GetModuleFolder(HMODULE module, char* folder, size_t size)
{
    DWORD length = GetModuleFileNameA(module, folder, (DWORD)size);
    if (length == 0 || length >= size) {
        folder[0] = '\0';
        return 0;
    }
    // A GBK trail byte may equal '\': only whole characters are compared.
    char* name = folder;
    for (char* p = folder; *p; p = CharNextA(p))
        if (*p == '\\')
            name = p + 1;
    *name = '\0';
    return 1;
}
