// The Start-menu folder of the kit with its links to the key manager and the uninstaller.
#include "setup.h"

#include <shlobj.h>

#include "bounded_text.h"

int CreateShellShortcut(const char* targetPath, const char* linkPath, const char* arguments)
{
    CoInitialize(NULL);
    IShellLinkA* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link))) {
        CoUninitialize();
        return 0;
    }
    link->SetPath(targetPath);
    link->SetArguments(arguments);
    IPersistFile* file = NULL;
    if (FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        link->Release();
        CoUninitialize();
        return 0;
    }
    // A path too long for the buffer is refused: the conversion then leaves it unterminated.
    WCHAR widePath[INSTALL_PATH_SIZE];
    ZeroMemory(widePath, sizeof widePath);
    int saved = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, INSTALL_PATH_SIZE) != 0
                && SUCCEEDED(file->Save(widePath, TRUE));
    file->Release();
    link->Release();
    CoUninitialize();
    return saved;
}

// The all-users Start-menu programs folder; 1, or 0 when the system names none.
static int GetCommonProgramsFolder(char* folder, size_t size)
{
    LPITEMIDLIST items = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_COMMON_PROGRAMS, &items)) || !items)
        return 0;
    // The shell writes up to MAX_PATH bytes: the buffer is that size.
    int found = size >= MAX_PATH && SHGetPathFromIDListA(items, folder);
    CoTaskMemFree(items);
    return found;
}

void CreateStartMenuShortcuts(const char* managerPath, const char* uninstallerPath)
{
    char folder[INSTALL_PATH_SIZE];
    char link[INSTALL_PATH_SIZE];
    ZeroMemory(folder, sizeof folder);
    ZeroMemory(link, sizeof link);
    if (!GetCommonProgramsFolder(folder, sizeof folder))
        return;
    if (!TextAppend(folder, sizeof folder, SHORTCUT_FOLDER))
        return;
    // An existing folder is simply reused.
    CreateDirectoryA(folder, NULL);
    if (TextCopy(link, sizeof link, folder) && TextAppend(link, sizeof link, MANAGER_LINK))
        CreateShellShortcut(managerPath, link, "");
    if (TextCopy(link, sizeof link, folder) && TextAppend(link, sizeof link, UNINSTALLER_LINK))
        CreateShellShortcut(uninstallerPath, link, "");
}
