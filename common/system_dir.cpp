// Finds the kit's directory: the system directory, or its 32-bit counterpart on 64-bit Windows.
#include <windows.h>
#include <string.h>

#include "system_dir.h"

#include "library_search.h"

#if defined(KIT_TWIN_AS_WOW64) && !defined(_WIN64)
#error "KIT_TWIN_AS_WOW64 belongs to the x86-64 test build only"
#endif

int IsRunningUnderWow64(void)
{
#ifdef KIT_TWIN_AS_WOW64
    // The x86-64 build exists only for the tests on machines that cannot run 32-bit code: it takes
    // the path the shipped 32-bit programs take on 64-bit Windows, where they run under WOW64.
    return 1;
#else
    // Looked up at run time: older systems lack the function.
    decltype(&IsWow64Process) isWow64;
    if (!BIND_SYSTEM_FUNCTION(GetModuleHandleA("kernel32"), IsWow64Process, &isWow64))
        return 0;
    BOOL wow64 = FALSE;
    if (!isWow64(GetCurrentProcess(), &wow64))
        return 0;
    return wow64 ? 1 : 0;
#endif
}

int ApplySysWow64Rule(char* dir, size_t size)
{
    size_t len = strnlen(dir, size);
    if (len < 8 || len >= size)
        return 0;
    memcpy(dir + len - 8, "syswow64", 8);
    return 1;
}

int GetKitDirectory(char* dir, size_t size)
{
    int wow64 = IsRunningUnderWow64();
    memset(dir, 0, size);
    UINT n = GetSystemDirectoryA(dir, (UINT)size);
    if (n == 0 || n >= size) {
        memset(dir, 0, size);
        return 0;
    }
    if (wow64)
        ApplySysWow64Rule(dir, size);
    return 1;
}
