// Finds the kit's directory: the system directory, or its 32-bit counterpart on 64-bit Windows.
#include <windows.h>
#include <string.h>

#include "system_dir.h"

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

int IsRunningUnderWow64(void)
{
    // Looked up at run time: older systems lack the function.
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel)
        return 0;
    IsWow64ProcessFn isWow64 = (IsWow64ProcessFn)(void*)GetProcAddress(kernel, "IsWow64Process");
    if (!isWow64)
        return 0;
    BOOL wow64 = FALSE;
    if (!isWow64(GetCurrentProcess(), &wow64))
        return 0;
    return wow64 ? 1 : 0;
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
