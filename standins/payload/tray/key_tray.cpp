// Stand-in for the tray client KeyTray.exe: a hidden "KeyTray" window with a notification-area icon
// whose menu opens the key manager or ends the client; "-u" ends the running client.
#include <windows.h>
#include <shellapi.h>

#include "bounded_text.h"
#include "command_line.h"
#include "module_dir.h"

#define TRAY_TITLE      "KeyTray"
#define TRAY_MUTEX      "VelmoraKeyTrayInstance"
#define TRAY_TOOLTIP    "VelmoraCA客户端工具"
#define WM_TRAY_NOTIFY  (WM_APP + 1)

enum { IDI_TRAY = 101, ID_OPEN_MANAGER = 40001, ID_EXIT = 40002, TRAY_ICON_ID = 1 };

static HINSTANCE TrayInstance;
static WNDPROC DialogProcedure;
static HANDLE SingleInstanceMutex;

static void SetTrayIcon(HWND window, DWORD action)
{
    NOTIFYICONDATAA icon;
    ZeroMemory(&icon, sizeof icon);
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = TRAY_ICON_ID;
    icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    icon.uCallbackMessage = WM_TRAY_NOTIFY;
    icon.hIcon = LoadIconA(TrayInstance, MAKEINTRESOURCEA(IDI_TRAY));
    TextCopy(icon.szTip, sizeof icon.szTip, TRAY_TOOLTIP);
    Shell_NotifyIconA(action, &icon);
}

// The key manager lies next to the client, in the kit's directory.
static void OpenKeyManager(void)
{
    char path[MAX_PATH];
    if (GetModuleFolder(NULL, path, sizeof path) && TextAppend(path, sizeof path, "KeyManager.exe"))
        ShellExecuteA(NULL, "open", path, "", NULL, SW_SHOWNORMAL);
}

static void OnTrayNotify(HWND window, LPARAM event)
{
    if (event != WM_RBUTTONUP && event != WM_LBUTTONDBLCLK)
        return;
    if (event == WM_LBUTTONDBLCLK) {
        OpenKeyManager();
        return;
    }
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, ID_OPEN_MANAGER, "打开证书管理工具");
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, ID_EXIT, "退出");
    POINT at;
    GetCursorPos(&at);
    // The window must be in front, or the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, NULL);
    DestroyMenu(menu);
}

static void OnMenuCommand(HWND window, WORD id)
{
    if (id == ID_OPEN_MANAGER)
        OpenKeyManager();
    else if (id == ID_EXIT)
        PostMessageA(window, WM_CLOSE, 0, 0);
}

static void OnClose(HWND window)
{
    SetTrayIcon(window, NIM_DELETE);
    DestroyWindow(window);
    PostQuitMessage(0);
}

static LRESULT CALLBACK TrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TRAY_NOTIFY:
        OnTrayNotify(window, lParam);
        return 0;
    case WM_COMMAND:
        OnMenuCommand(window, LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    }
    return CallWindowProcA(DialogProcedure, window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    TrayInstance = instance;
    if (IsCloseInstanceSwitch(commandLine)) {
        HWND running = FindWindowA("#32770", TRAY_TITLE);
        if (running)
            SendMessageA(running, WM_CLOSE, 0, 0);
        return 0;
    }
    SingleInstanceMutex = CreateMutexA(NULL, FALSE, TRAY_MUTEX);
    if (GetLastError() == ERROR_ALREADY_EXISTS && FindWindowA("#32770", TRAY_TITLE))
        return 0;
    // Never shown: the notification-area icon is the client's face.
    HWND window = CreateWindowExA(0, "#32770", TRAY_TITLE, WS_POPUP, 0, 0, 10, 10, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    DialogProcedure = (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)TrayProc);
    SetTrayIcon(window, NIM_ADD);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
