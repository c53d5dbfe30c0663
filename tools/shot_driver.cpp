// Drives the key manager for the documentation's screenshots: opens a PIN dialog, presses a key.
//   shot_driver verify | change | press ID | type ID TEXT | close
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "resource.h"

static HWND WaitFor(const char* title)
{
    for (int i = 0; i < 200; ++i) {
        HWND window = FindWindowA("#32770", title);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(50);
    }
    return NULL;
}

// The PIN dialog on screen, if any.
static HWND PinDialog(void)
{
    HWND dialog = FindWindowA("#32770", "验证USBKey密码");
    return dialog ? dialog : FindWindowA("#32770", "修改USBKey密码");
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int argc = __argc;
    char** argv = __argv;
    if (argc < 2)
        return 2;
    HWND main = WaitFor("VelmoraCA客户端工具");
    if (!main)
        return 1;
    if (strcmp(argv[1], "verify") == 0 || strcmp(argv[1], "change") == 0) {
        bool verify = strcmp(argv[1], "verify") == 0;
        int button = verify ? IDC_VERIFY_PIN : IDC_CHANGE_PIN;
        PostMessageA(main, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(main, button));
        return WaitFor(verify ? "验证USBKey密码" : "修改USBKey密码") ? 0 : 1;
    }
    HWND dialog = PinDialog();
    if (!dialog)
        return 1;
    if (strcmp(argv[1], "press") == 0 && argc > 2) {
        int id = atoi(argv[2]);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
    } else if (strcmp(argv[1], "type") == 0 && argc > 3) {
        SetDlgItemTextA(dialog, atoi(argv[2]), argv[3]);
    } else if (strcmp(argv[1], "close") == 0) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return 0;
}
