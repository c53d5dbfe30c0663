/* A newdev.dll as an attacker would put it beside a downloaded installer: loaded, it notes so in
   newdev-loaded.txt beside itself. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    char note[MAX_PATH + 32];
    DWORD length = GetModuleFileNameA(self, note, MAX_PATH);
    char* name = note;
    DWORD written = 0;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH || length == 0 || length >= MAX_PATH)
        return TRUE;
    for (char* p = note; *p; p = CharNextA(p))
        if (*p == '\\')
            name = p + 1;
    lstrcpyA(name, "newdev-loaded.txt");
    HANDLE file = CreateFileA(note, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, "loaded\r\n", 8, &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}

/* Only there so that a program importing newdev starts. */
__declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND owner, LPCSTR hardwareId, LPCSTR infPath,
                                                                     DWORD flags, PBOOL reboot)
{
    (void)owner, (void)hardwareId, (void)infPath, (void)flags, (void)reboot;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}
