// Narrowing the library search of the elevated programs to the system directory.
#include "library_search.h"

#include <string.h>

#include "bounded_text.h"

void NarrowLibrarySearch(void)
{
    // Looked up at run time: Windows 7 has it only with its 2011 loader update.
    decltype(&SetDefaultDllDirectories) setDefault;
    if (BIND_SYSTEM_FUNCTION(GetModuleHandleA("kernel32"), SetDefaultDllDirectories, &setDefault)
        && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // Without it, at least the current folder leaves the search.
    SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name)
{
    HMODULE module = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // A loader without the flag: name the system directory itself (SysWOW64 under WOW64 too,
    // through the file system redirection).
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || !TextAppend(path, sizeof path, "\\")
        || !TextAppend(path, sizeof path, name))
        return NULL;
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
