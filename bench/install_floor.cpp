// The first install's floor: the installer's own system calls in its order, made alone. The rows, the
// kit directory, the resource writes, the existing-file handling with its pauses, the registrations and
// the finishing steps are the installer's code and table; what it checks between them is left out, and
// which files are already there is looked at before the Yes, outside the measured time.
//   install_floor KeySetup.exe   (its resources are the files written)
#include "setup.h"

#include "system_dir.h"

static int Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc != 2)
        return 2;
    HMODULE payload = LoadLibraryExA(__argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    char kitDir[INSTALL_PATH_SIZE];
    InstallContext context;
    if (!payload || !GetKitDirectory(kitDir, sizeof kitDir) || !BuildInstallContext(&context, kitDir, IsRunningUnderWow64()))
        return 1;
    bool present[PAYLOAD_ROW_COUNT] = {};
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i)
        present[i] = BuildWorkPath(context.workPath, sizeof context.workPath, context.targetDir, PayloadTable[i].name)
                     && Exists(context.workPath);

    if (MessageBoxA(NULL, TEXT_SETUP_CONFIRM, SETUP_CAPTION, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return 0;
    SetCurrentDirectoryA(context.targetDir);
    // The installer's one apartment for the sequence: without it every registration, the tray start
    // and the links would build COM up and tear it down again, which the installer no longer does.
    HRESULT com = CoInitialize(NULL);
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i) {
        const PayloadRow* row = &PayloadTable[i];
        if (!PayloadRowApplies(row, context.wow64))
            continue;
        BuildWorkPath(context.workPath, sizeof context.workPath, context.targetDir, row->name);
        if (present[i])
            HandleExistingFile(row, context.workPath);
        ExtractResourceToFile(payload, row->id, row->type, context.workPath);
        if (row->handling == EXISTING_REREGISTER) {
            DeployClock.pause(row->pauses[2]);
            SelfRegisterLibrary(context.workPath, 1);
        }
    }
    FinishInstallSequence(&context);
    if (SUCCEEDED(com))
        CoUninitialize();
    MessageBoxA(NULL, TEXT_SETUP_DONE, SETUP_CAPTION, MB_OK | MB_ICONINFORMATION);
    return 0;
}
