// The virtual key bound in-process, and keysim run without a child process.
#include "virtual_key.h"

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "manager.h"
#include "win_harness.h"

TokenBinding Binding;

static QZ_Open_Fn RealOpen;
static QZ_Close_Fn RealClose;

static int TOKENAPI CountedOpen(int slot)
{
    int handle = RealOpen(slot);
    if (handle > 0)
        ++Binding.openKeys;
    return handle;
}

// A close that the key refuses still counts: the manager has let the handle go.
static int TOKENAPI CountedClose(int handle)
{
    --Binding.openKeys;
    return RealClose(handle);
}

static HMODULE Load(const char* name)
{
    return Binding.missingLibraries.count(name) ? NULL : LoadLibraryA(name);
}

static FARPROC Lookup(HMODULE module, const char* name)
{
    FARPROC address = Binding.missingNames.count(name) ? NULL : GetProcAddress(module, name);
    if (address && strcmp(name, "QZ_Open") == 0) {
        RealOpen = (QZ_Open_Fn)(void*)address;
        return (FARPROC)(void*)CountedOpen;
    }
    if (address && strcmp(name, "QZ_Close") == 0) {
        RealClose = (QZ_Close_Fn)(void*)address;
        return (FARPROC)(void*)CountedClose;
    }
    return address;
}

void BindVirtualKey()
{
    Binding = TokenBinding();
    SetDllDirectoryA(BuildFile("standins").c_str());
    TokenLoader = { Load, Lookup, FreeLibrary };
}

void UnbindVirtualKey()
{
    TokenLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };
    SetDllDirectoryA(NULL);
}

bool IsLoaded(const char* library)
{
    return GetModuleHandleA(library) != NULL;
}
