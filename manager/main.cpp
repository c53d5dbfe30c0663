// Entry of the key manager: single instance, the "-u" switch, the tray client, the main dialog.
#include "manager.h"

#include "../common/bounded_text.h"
#include "../common/marker_class.h"
#include "../common/system_dir.h"
#include "command_line.h"

static HANDLE SingleInstanceMutex;

static HWND FindMainWindow(void)
{
    return FindWindowA(DIALOG_CLASS, MAIN_WINDOW_TITLE);
}

// Starts KeyTray.exe from the kit's directory unless its window is already there.
static void StartTrayClient(void)
{
    if (FindWindowA(DIALOG_CLASS, TRAY_WINDOW_TITLE))
        return;
    char path[MAX_PATH];
    if (!GetKitDirectory(path, sizeof path))
        return;
    if (!TextAppend(path, sizeof path, "\\KeyTray.exe"))
        return;
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    // No shell error box when the client is missing: it would block the main window.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = path;
    info.lpParameters = "";
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&info);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    AppInstance = instance;
    InitCommonControls();

    // Never used for a window: it only marks the program, like the mutex of the same name.
    if (!RegisterMarkerClass(instance, IDI_APP, INSTANCE_NAME))
        return 0;
    AppIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));

    if (IsCloseInstanceSwitch(commandLine)) {
        HWND running = FindMainWindow();
        if (running)
            SendMessageA(running, WM_CLOSE, 0, 0);
        return 0;
    }

    SingleInstanceMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, INSTANCE_NAME);
    if (SingleInstanceMutex) {
        HWND running = FindMainWindow();
        if (running) {
            SetForegroundWindow(running);
            return 0;
        }
    } else {
        SingleInstanceMutex = CreateMutexA(NULL, TRUE, INSTANCE_NAME);
    }

    StartTrayClient();
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDlgProc, 0);
}
