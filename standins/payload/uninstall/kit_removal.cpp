// What the uninstaller stand-in removes: the installer's files, their set-aside copies, the
// Start-menu folder and the registry values; the authority's certificates stay trusted.
#include "uninstall.h"

#include <shlobj.h>
#include <string.h>

#include "bounded_text.h"
#include "library_search.h"
#include "setup.h"

// Payload names that system libraries also bear in the same directory: such a file is removed
// only when it is visibly the kit's own, never the system's.
static const char* const SystemLibraryNames[] = { "DevEnum.dll" };

static int IsSystemLibraryName(const char* name)
{
    for (size_t i = 0; i < sizeof SystemLibraryNames / sizeof SystemLibraryNames[0]; ++i)
        if (lstrcmpiA(name, SystemLibraryNames[i]) == 0)
            return 1;
    return 0;
}

// version is bound from the system directory, never imported: the uninstaller runs elevated, and
// an imported one would be looked for first beside it.
struct VersionApi {
    DWORD(WINAPI* infoSize)(LPCSTR path, LPDWORD handle);
    BOOL(WINAPI* info)(LPCSTR path, DWORD handle, DWORD size, LPVOID block);
    BOOL(WINAPI* queryValue)(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length);
};
static VersionApi Version;

// 1 when every function was found; looked for once.
static int BindVersionApi(void)
{
    static int bound = -1;
    if (bound < 0) {
        HMODULE version = LoadSystemLibrary("version.dll");
        // Every slot is filled, found or not.
        bound = BIND_SYSTEM_FUNCTION(version, GetFileVersionInfoSizeA, &Version.infoSize)
                & BIND_SYSTEM_FUNCTION(version, GetFileVersionInfoA, &Version.info)
                & BIND_SYSTEM_FUNCTION(version, VerQueryValueA, &Version.queryValue);
    }
    return bound;
}

static int VersionBlockNamesKitMaker(const char* path)
{
    if (!BindVersionApi())
        return 0;
    DWORD handle = 0;
    DWORD size = Version.infoSize(path, &handle);
    if (size == 0 || size > 64 * 1024)
        return 0;
    static BYTE block[64 * 1024];
    if (!Version.info(path, 0, size, block))
        return 0;
    struct Translation { WORD language; WORD codePage; }* translations = NULL;
    UINT length = 0;
    if (!Version.queryValue(block, "\\VarFileInfo\\Translation", (void**)&translations, &length) || length < 4)
        return 0;
    char query[64];
    query[0] = '\0';
    TextAppendFormat(query, sizeof query, "\\StringFileInfo\\%04x%04x\\CompanyName", translations[0].language,
                     translations[0].codePage);
    char* maker = NULL;
    if (!Version.queryValue(block, query, (void**)&maker, &length) || !maker)
        return 0;
    return lstrcmpA(maker, KIT_MAKER) == 0;
}

int IsKitMadeFile(const char* path)
{
    // Read from a copy under another name: asked about a file that bears a system library's name
    // in the system directory, the loader may answer for the system's library instead. The copy
    // lies in a folder of our own that no program of the user can move away or swap while it is read.
    char folder[MAX_PATH];
    char copy[MAX_PATH];
    if (!CreatePrivateFolder(folder, sizeof folder))
        return 0;
    int kitMade = 0;
    if (TextCopy(copy, sizeof copy, folder) && TextAppend(copy, sizeof copy, "probe.tmp")
        && CopyFileA(path, copy, TRUE))
        kitMade = VersionBlockNamesKitMaker(copy);
    RemoveFolderWithFile(folder, copy);
    return kitMade;
}

void MarkForRestart(const char* path, RemovalCount* count)
{
    if (MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
        ++count->marked;
    else
        ++count->left;
}

// Deletes a file, or marks it for deletion at the next restart when it is in use.
static void DeleteOrMark(const char* path, const char* name, RemovalCount* count)
{
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return;
    if (IsSystemLibraryName(name) && !IsKitMadeFile(path))
        return;
    if (!DeleteFileA(path))
        MarkForRestart(path, count);
}

// The kit's running programs end through their own switches, which frees their files.
static void StopKitPrograms(const char* dir)
{
    static const struct { const char* name; const char* parameters; } programs[] = {
        { "KeyTray.exe", "-u" }, { "KeyManager.exe", "-u" }, { "KeyService.exe", "-remove" } };
    char path[MAX_PATH];
    for (size_t i = 0; i < sizeof programs / sizeof programs[0]; ++i)
        if (BuildWorkPath(path, sizeof path, dir, programs[i].name)
            && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            ShellLaunch(path, programs[i].parameters, 1);
}

static void UnregisterControls(const char* dir)
{
    char path[MAX_PATH];
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i)
        if (PayloadTable[i].handling == EXISTING_REREGISTER
            && BuildWorkPath(path, sizeof path, dir, PayloadTable[i].name)
            && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            SelfRegisterLibrary(path, 0);
}

static void RemovePayloadFiles(const char* dir, const char* keep, RemovalCount* count)
{
    char path[MAX_PATH];
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i)
        if (BuildWorkPath(path, sizeof path, dir, PayloadTable[i].name) && !(keep && lstrcmpiA(path, keep) == 0))
            DeleteOrMark(path, PayloadTable[i].name, count);
}

static const char* PayloadNameOfAside(const char* fileName)
{
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i)
        if (IsAsideNameFor(fileName, PayloadTable[i].name))
            return PayloadTable[i].name;
    return NULL;
}

// Set-aside copies of earlier installations: only names made from a payload name count.
static void RemoveAsideFiles(const char* dir, RemovalCount* count)
{
    char pattern[MAX_PATH];
    if (!BuildWorkPath(pattern, sizeof pattern, dir, "*.OBK"))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const char* payloadName = PayloadNameOfAside(found.cFileName);
        char path[MAX_PATH];
        if (payloadName && BuildWorkPath(path, sizeof path, dir, found.cFileName))
            DeleteOrMark(path, payloadName, count);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static void RemoveShortcuts(void)
{
    char folder[MAX_PATH];
    char link[MAX_PATH];
    ZeroMemory(folder, sizeof folder);
    LPITEMIDLIST items = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_COMMON_PROGRAMS, &items)) || !items)
        return;
    BOOL found = SHGetPathFromIDListA(items, folder);
    CoTaskMemFree(items);
    if (!found || !TextAppend(folder, sizeof folder, SHORTCUT_FOLDER))
        return;
    if (TextCopy(link, sizeof link, folder) && TextAppend(link, sizeof link, MANAGER_LINK))
        DeleteFileA(link);
    if (TextCopy(link, sizeof link, folder) && TextAppend(link, sizeof link, UNINSTALLER_LINK))
        DeleteFileA(link);
    // Only when empty: whatever the user put there stays.
    RemoveDirectoryA(folder);
}

static void RemoveRegistration(void)
{
    UnregisterCspForUser();
    UnregisterCspForMachine();
    HKEY run = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, RUN_VALUE);
        RegCloseKey(run);
    }
}

void RemoveKit(const char* dir, const char* keep, RemovalCount* count)
{
    StopKitPrograms(dir);
    UnregisterControls(dir);
    RemovePayloadFiles(dir, keep, count);
    RemoveAsideFiles(dir, count);
    RemoveShortcuts();
    RemoveRegistration();
}
