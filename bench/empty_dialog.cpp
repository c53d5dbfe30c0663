// The window-up benchmark's floor: a dialog program that shows a one-control template and does nothing else.
#include <windows.h>

#include "empty_dialog.h"

static INT_PTR CALLBACK EmptyDlgProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE)
        EndDialog(window, 0);
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_EMPTY), NULL, EmptyDlgProc, 0);
}
