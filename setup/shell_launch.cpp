// Starting payload programs and calling a payload library's COM self-registration.
#include "setup.h"

#include <olectl.h>

void ShellLaunch(const char* path, const char* parameters, int wait)
{
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    // No shell error box for a missing or broken program: it would hold up the whole sequence.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = path;
    info.lpParameters = parameters;
    // No directory: the program starts in ours, which the sequence has made the target directory.
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&info);
    if (!info.hProcess)
        return;
    // Bounded: an old copy that never ends must not stall the installer; the file is then set aside.
    if (wait)
        WaitForSingleObject(info.hProcess, DeployClock.stopWaitLimit);
    CloseHandle(info.hProcess);
}

// The type the COM headers declare, calling convention included; DllUnregisterServer has the same.
typedef decltype(&DllRegisterServer) RegistrationEntry;

void SelfRegisterLibrary(const char* path, int registerIt)
{
    // COM for this one registration; a refused initialisation has nothing to release.
    HRESULT com = CoInitialize(NULL);
    HMODULE library = LoadLibraryA(path);
    if (library) {
        RegistrationEntry entry = (RegistrationEntry)(void*)GetProcAddress(
            library, registerIt ? "DllRegisterServer" : "DllUnregisterServer");
        if (entry)
            entry();
        FreeLibrary(library);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}
