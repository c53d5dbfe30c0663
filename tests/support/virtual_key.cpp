// The virtual key bound in-process, and keysim run without a child process.
#include "virtual_key.h"

#include <gtest/gtest.h>

#include <string.h>

#include <type_traits>
#include <vector>

#include "manager.h"
#include "token_exports.h"
#include "win_harness.h"

// The types the manager binds the token libraries' entries into are the libraries' own declarations,
// calling convention included: a mismatch fails the 32-bit compile, where the conventions differ.
#define SAME(entry) std::is_same<decltype(&::entry), decltype(TokenEntryPoints::entry)>::value
static_assert(SAME(QZ_Open) && SAME(QZ_Close) && SAME(QZ_IC_RESET) && SAME(Read_Binary) && SAME(Select_File)
                  && SAME(QZ_GET_BCDSN) && SAME(QZ_VerifyPinUpDatePinInfoFile) && SAME(QZ_ChangePin)
                  && SAME(QZ_RegisterCardNotification) && SAME(QZ_UnregisterCardNotification) && SAME(QZ_IsQZDevice)
                  && SAME(HexToDec),
              "an entry is bound as another type than the token library declares");
#undef SAME

TokenBinding Binding;

static QZ_Open_Fn RealOpen;
static QZ_Close_Fn RealClose;
static QZ_VerifyPin_Fn RealVerify;
static QZ_ChangePin_Fn RealChange;

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

static int TOKENAPI SeenVerify(int handle, const unsigned char* pin, int length)
{
    Binding.pinData.push_back({ pin, std::string((const char*)pin, (size_t)length) });
    return RealVerify(handle, pin, length);
}

static int TOKENAPI SeenChange(int handle, int length, const unsigned char* data)
{
    Binding.pinData.push_back({ data, std::string((const char*)data, (size_t)length) });
    return RealChange(handle, length, data);
}

static HMODULE WINAPI Load(LPCSTR name)
{
    return Binding.missingLibraries.count(name) ? NULL : LoadLibraryA(name);
}

static FARPROC WINAPI Lookup(HMODULE module, LPCSTR name)
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
    if (address && strcmp(name, "QZ_VerifyPinUpDatePinInfoFile") == 0) {
        RealVerify = (QZ_VerifyPin_Fn)(void*)address;
        return (FARPROC)(void*)SeenVerify;
    }
    if (address && strcmp(name, "QZ_ChangePin") == 0) {
        RealChange = (QZ_ChangePin_Fn)(void*)address;
        return (FARPROC)(void*)SeenChange;
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
