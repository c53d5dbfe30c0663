// Entry of the uninstaller stand-in KeyUninstall.exe: moves itself out of the kit's directory so
// that it can delete its own file, asks, removes the kit, reports.
#include "uninstall.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bounded_text.h"
#include "system_dir.h"

#define RELOCATED_SWITCH "-relocated"

// Starts a copy of this program from the temporary folder and passes it our process id, so the
// copy can wait for this process to end and then delete the original. 1 when the copy runs.
static int StartRelocatedCopy(void)
{
    char self[MAX_PATH];
    char copy[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    DWORD tempLength = GetTempPathA(sizeof copy, copy);
    if (length == 0 || length >= sizeof self || tempLength == 0 || tempLength >= sizeof copy)
        return 0;
    if (!TextAppendFormat(copy, sizeof copy, "KeyUninstall%lu.tmp.exe", (unsigned long)GetTickCount()))
        return 0;
    if (!CopyFileA(self, copy, FALSE))
        return 0;
    // Both paths whole: a cut original's path would leave the original undeleted.
    char commandLine[2 * MAX_PATH + 64];
    commandLine[0] = '\0';
    if (!TextAppendFormat(commandLine, sizeof commandLine, "\"%s\" %s %lu \"%s\"", copy, RELOCATED_SWITCH,
                          (unsigned long)GetCurrentProcessId(), self)) {
        DeleteFileA(copy);
        return 0;
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(copy, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        DeleteFileA(copy);
        return 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

// Parses "-relocated PID "ORIGINAL"" and waits until that process has ended; the original's path
// goes into original. 1 when this is the relocated copy.
static int TakeOverFromOriginal(const char* commandLine, char* original, size_t size)
{
    const char* at = strstr(commandLine, RELOCATED_SWITCH);
    if (!at)
        return 0;
    char* end = NULL;
    unsigned long pid = strtoul(at + strlen(RELOCATED_SWITCH), &end, 10);
    const char* quote = strchr(end, '"');
    original[0] = '\0';
    if (quote) {
        const char* closing = strchr(quote + 1, '"');
        if (closing)
            TextAppendBytes(original, size, quote + 1, (size_t)(closing - quote - 1));
    }
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)pid);
    if (parent) {
        WaitForSingleObject(parent, 10000);
        CloseHandle(parent);
    }
    return 1;
}

static void Uninstall(const char* original)
{
    char dir[MAX_PATH];
    if (!GetKitDirectory(dir, sizeof dir))
        return;
    if (MessageBoxA(NULL, "开始卸载VelmoraCA客户端工具, 是否继续?", UNINSTALL_CAPTION, MB_YESNO | MB_ICONINFORMATION)
        != IDYES)
        return;
    int leftOver = RemoveKit(dir);
    if (original[0] && !DeleteFileA(original) && GetFileAttributesA(original) != INVALID_FILE_ATTRIBUTES) {
        MoveFileExA(original, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        ++leftOver;
    }
    if (leftOver == 0)
        MessageBoxA(NULL, "VelmoraCA客户端工具卸载完毕.", UNINSTALL_CAPTION, MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(NULL, "VelmoraCA客户端工具已卸载, 部分文件将在重新启动后删除!", UNINSTALL_CAPTION,
                    MB_OK | MB_ICONWARNING);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    char original[MAX_PATH];
    if (TakeOverFromOriginal(commandLine, original, sizeof original)) {
        Uninstall(original);
        // This copy lies in the temporary folder; it goes at the next restart.
        char self[MAX_PATH];
        DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
        if (length > 0 && length < sizeof self)
            MoveFileExA(self, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        return 0;
    }
    if (StartRelocatedCopy())
        return 0;
    // No copy could be made: uninstall from here and leave this one file for the restart.
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    original[0] = '\0';
    if (length > 0 && length < sizeof self)
        TextCopy(original, sizeof original, self);
    Uninstall(original);
    return 0;
}
