// Writing payload files: what happens to a file already there, the resource write, set-aside names.
#include "setup.h"

DeployTiming DeployClock = { Sleep, GetTickCount, 30000 };

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

static void HandleExistingFile(const PayloadRow* row, const char* path)
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
        return 0;
    if (FileExists(context->workPath))
        HandleExistingFile(row, context->workPath);
    int written = ExtractResourceToFile(module, row->id, row->type, context->workPath);
    if (row->handling == EXISTING_REREGISTER && written) {
        DeployClock.pause(row->pauses[2]);
        SelfRegisterLibrary(context->workPath, 1);
    }
    return written;
}
