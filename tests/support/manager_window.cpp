// Opens and closes the main window for in-process tests.
#include "manager_window.h"

#include "manager.h"

HWND OpenTestMainWindow(void)
{
    AppInstance = GetModuleHandleA(NULL);
    InitCommonControls();
    return CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDlgProc, 0);
}

void CloseTestMainWindow(HWND window)
{
    if (window && IsWindow(window))
        DestroyWindow(window);
    // The exit posts a quit message; it must not end a later test's modal loop.
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    }
    ReleaseDeviceLibrary();
    // KeyNum.dll is never released by the program; a test starts over as a new process would.
    KeyNumModule = NULL;
}
