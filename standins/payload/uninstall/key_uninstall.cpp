// Entry of the uninstaller stand-in KeyUninstall.exe. Started plainly, it moves itself into a
// folder of its own in Windows' temporary folder so that it can delete its own file, and returns at
// once; with WAIT_SWITCH it uninstalls in place and returns only when done. It asks, removes the
// kit, reports.
#include "uninstall.h"

#include <stdlib.h>
#include <string.h>

#include "bounded_text.h"
#include "install_paths.h"
#include "library_search.h"
#include "module_dir.h"
#include "system_dir.h"

#define RELOCATED_SWITCH "-relocated"
#define WAIT_SWITCH      "-wait"

// Exit codes of a waiting run.
enum { UNINSTALLED = 0, NOT_UNINSTALLED = 1 };

// Starts a copy of this program from a new folder of its own and passes it our process id, so the
// copy can wait for this process to end and then delete the original. 1 when the copy runs.
static int StartRelocatedCopy(void)
{
    char self[MAX_PATH];
    char folder[MAX_PATH];
    char copy[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    if (length == 0 || length >= sizeof self || !CreatePrivateFolder(folder, sizeof folder))
        return 0;
    char commandLine[MAX_PATH + 64];
    commandLine[0] = '\0';
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!TextCopy(copy, sizeof copy, folder) || !TextAppend(copy, sizeof copy, "KeyUninstall.exe")
        || !CopyFileA(self, copy, TRUE)
        || !TextAppendFormat(commandLine, sizeof commandLine, "\"%s\" %s %lu", copy, RELOCATED_SWITCH,
                             (unsigned long)GetCurrentProcessId())
        || !CreateProcessA(copy, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        RemoveFolderWithFile(folder, copy);
        return 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

// The relocated copy waits until the process named after RELOCATED_SWITCH has ended: only then
// can the original's file be deleted. Nothing else is taken from the command line.
static void WaitForOriginal(const char* relocatedSwitch)
{
    unsigned long pid = strtoul(relocatedSwitch + strlen(RELOCATED_SWITCH), NULL, 10);
    HANDLE original = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)pid);
    if (original) {
        WaitForSingleObject(original, 10000);
        CloseHandle(original);
    }
}

// Asks, removes the kit but the file keep names (the running uninstaller's own, or NULL), marks
// that one for the next restart and reports. 1 when everything else is gone and the mark was made.
static int Uninstall(const char* dir, const char* keep)
{
    if (MessageBoxA(NULL, TEXT_UNINSTALL_CONFIRM, UNINSTALL_CAPTION, MB_YESNO | MB_ICONINFORMATION)
        != IDYES)
        return 0;
    RemovalCount count = { 0, 0 };
    RemoveKit(dir, keep, &count);
    int othersGone = count.marked == 0 && count.left == 0;
    if (keep)
        MarkForRestart(keep, &count);
    if (count.left > 0)
        MessageBoxA(NULL, TEXT_UNINSTALL_LEFT, UNINSTALL_CAPTION, MB_OK | MB_ICONWARNING);
    else if (count.marked > 0)
        MessageBoxA(NULL, TEXT_UNINSTALL_MARKED, UNINSTALL_CAPTION,
                    MB_OK | MB_ICONWARNING);
    else
        MessageBoxA(NULL, TEXT_UNINSTALL_DONE, UNINSTALL_CAPTION, MB_OK | MB_ICONINFORMATION);
    return othersGone && count.left == 0;
}

// This copy's own file and folder go now, or at the next restart at the latest. A copy that does
// not lie in a folder of the form we make (started with the switch from elsewhere) leaves both.
static void RemoveOwnCopy(void)
{
    char self[MAX_PATH];
    char folder[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    if (length > 0 && length < sizeof self && GetModuleFolder(NULL, folder, sizeof folder) && IsPrivateFolder(folder))
        RemoveFolderWithFile(folder, self);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    NarrowLibrarySearch();
    // The original's path is worked out here, never taken from the command line.
    char dir[MAX_PATH];
    char original[MAX_PATH];
    if (!GetKitDirectory(dir, sizeof dir) || !BuildWorkPath(original, sizeof original, dir, "KeyUninstall.exe"))
        return NOT_UNINSTALLED;
    const char* relocated = strstr(commandLine, RELOCATED_SWITCH);
    if (relocated) {
        WaitForOriginal(relocated);
        Uninstall(dir, NULL);
        RemoveOwnCopy();
        return 0;
    }
    int waiting = strstr(commandLine, WAIT_SWITCH) != NULL;
    if (!waiting && StartRelocatedCopy())
        return 0;
    // In place: the kit's uninstaller, when that is this program, stays for the next restart.
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    int selfIsOriginal = length > 0 && length < sizeof self && lstrcmpiA(self, original) == 0;
    int done = Uninstall(dir, selfIsOriginal ? original : NULL);
    if (!waiting)
        return 0;
    return done ? UNINSTALLED : NOT_UNINSTALLED;
}
