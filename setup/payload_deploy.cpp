// Writing payload files: what happens to a file already there, the resource write, set-aside names,
// and the files the system protects.
#include "setup.h"

#include <sfc.h>

#include "library_search.h"

DeployTiming DeployClock = { Sleep, GetTickCount, 30000 };

// MinGW has no import library for sfc.dll, and a static import would also tie the installer to it.
// Loaded once, at the first file already there, and kept: a reinstall asks for every row, and loading
// and freeing the library each time cost more than the question. Any doubt answers "not protected":
// the installer then tries, and a refusal is reported.
static int AskSystemFileProtection(const char* path)
{
    static BOOL(WINAPI * query)(HANDLE rpcHandle, LPCWSTR path);
    static int looked;
    if (!looked) {
        looked = 1;
        BIND_SYSTEM_FUNCTION(LoadSystemLibrary("sfc.dll"), SfcIsFileProtected, &query);
    }
    WCHAR widePath[INSTALL_PATH_SIZE];
    if (!query || !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, widePath, INSTALL_PATH_SIZE))
        return 0;
    return query(NULL, widePath) ? 1 : 0;
}

int (*IsSystemProtectedFile)(const char* path) = AskSystemFileProtection;

int ExtractResourceToFile(HMODULE module, int id, const char* type, const char* path)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found)
        return 0;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded)
        return 0;
    const void* bytes = LockResource(loaded);
    int result = 0;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        // One write straight from the mapped resource: no copy of the payload in memory.
        DWORD size = SizeofResource(module, found);
        DWORD written = 0;
        result = WriteFile(file, bytes, size, &written, NULL) && written == size ? 1 : 0;
        CloseHandle(file);
    }
    FreeResource(loaded);
    return result;
}

void SetFileAside(const char* path)
{
    if (DeleteFileA(path))
        return;
    // In use: a loaded library or a running program can still be renamed, which frees its name.
    char asideName[INSTALL_PATH_SIZE];
    if (!BuildAsideName(asideName, sizeof asideName, path, DeployClock.tick()))
        return;
    MoveFileA(path, asideName);
}

static int FileExists(const char* path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return 1;
}

void HandleExistingFile(const PayloadRow* row, const char* path)
{
    switch (row->handling) {
    case EXISTING_DELETE:
        DeleteFileA(path);
        DeployClock.pause(row->pauses[0]);
        break;
    case EXISTING_SET_ASIDE:
        SetFileAside(path);
        DeployClock.pause(row->pauses[0]);
        break;
    case EXISTING_STOP_THEN_SET_ASIDE:
        // The old copy ends the running one and itself, which frees the file.
        ShellLaunch(path, row->stopParameters, 1);
        DeployClock.pause(row->pauses[0]);
        SetFileAside(path);
        DeployClock.pause(row->pauses[1]);
        break;
    case EXISTING_REREGISTER:
        // Unregistered by the old library itself, while it is still at its name.
        SelfRegisterLibrary(path, 0);
        DeployClock.pause(row->pauses[0]);
        SetFileAside(path);
        DeployClock.pause(row->pauses[1]);
        break;
    }
}

int DeployPayloadRow(HMODULE module, const PayloadRow* row, InstallContext* context)
{
    if (!BuildWorkPath(context->workPath, sizeof context->workPath, context->targetDir, row->name))
        return DEPLOY_FAILED;
    if (FileExists(context->workPath)) {
        // The system's own file under a payload name: every step would be refused, so none is tried.
        if (IsSystemProtectedFile(context->workPath))
            return DEPLOY_LEFT_TO_SYSTEM;
        HandleExistingFile(row, context->workPath);
    }
    if (!ExtractResourceToFile(module, row->id, row->type, context->workPath))
        return IsSystemProtectedFile(context->workPath) ? DEPLOY_LEFT_TO_SYSTEM : DEPLOY_FAILED;
    if (row->handling == EXISTING_REREGISTER) {
        DeployClock.pause(row->pauses[2]);
        SelfRegisterLibrary(context->workPath, 1);
    }
    return DEPLOY_WRITTEN;
}

int DeployPayload(HMODULE module, InstallContext* context)
{
    // Every row has its turn whatever an earlier one did; the failures are reported once, at the end.
    int failures = 0;
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i)
        if (PayloadRowApplies(&PayloadTable[i], context->wow64)
            && DeployPayloadRow(module, &PayloadTable[i], context) == DEPLOY_FAILED)
            ++failures;
    return failures;
}
