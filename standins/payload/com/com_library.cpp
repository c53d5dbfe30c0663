// Stand-in for a COM control of the payload: registers its class the way a real control does. The
// copy built for tests (STANDIN_JOURNAL) also notes each call in the journal VELMORA_STANDIN_JOURNAL
// names; the payload's copies have no journal, since elevated programs load them.
#include <windows.h>
#include <olectl.h>

#include "bounded_text.h"

static HINSTANCE ThisLibrary;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        ThisLibrary = instance;
    return TRUE;
}

#ifdef STANDIN_JOURNAL
static void NoteInJournal(const char* event, const char* modulePath)
{
    char journal[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", journal, sizeof journal);
    if (length == 0 || length >= sizeof journal)
        return;
    HANDLE file = CreateFileA(journal, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[MAX_PATH + 32];
    line[0] = '\0';
    TextAppendFormat(line, sizeof line, "%s %s\r\n", event, modulePath);
    DWORD written = 0;
    WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
    CloseHandle(file);
}
#else
static void NoteInJournal(const char*, const char*)
{
}
#endif

static HRESULT WriteDefault(const char* keyPath, const char* text)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    LONG result = RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE*)text, (DWORD)lstrlenA(text) + 1);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

#define CLASS_KEY "SOFTWARE\\Classes\\CLSID\\" STANDIN_CLASS_ID

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(ThisLibrary, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return SELFREG_E_CLASS;
    NoteInJournal("register", path);
    HRESULT result = WriteDefault(CLASS_KEY, STANDIN_CLASS_NAME);
    if (SUCCEEDED(result))
        result = WriteDefault(CLASS_KEY "\\InprocServer32", path);
    return result;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(ThisLibrary, path, sizeof path);
    if (length > 0 && length < sizeof path)
        NoteInJournal("unregister", path);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CLASS_KEY "\\InprocServer32");
    LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, CLASS_KEY);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
