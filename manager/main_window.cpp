// The main window: its message handling, the key buttons, device changes and update messages.
#include "manager.h"

#include <dbt.h>

#include "device_notice.h"

// Set by the entry point, read by every dialog.
HINSTANCE AppInstance;
HICON AppIcon;
HTREEITEM SelectedKeyItem;

void SetKeyButtons(HWND mainWindow, BOOL certificateOn, BOOL keyOn)
{
    EnableWindow(GetDlgItem(mainWindow, IDC_VIEW_CERT), certificateOn);
    EnableWindow(GetDlgItem(mainWindow, IDC_CHANGE_PIN), keyOn);
    EnableWindow(GetDlgItem(mainWindow, IDC_SAVE_REPORT), keyOn);
    EnableWindow(GetDlgItem(mainWindow, IDC_VERIFY_PIN), keyOn);
}

static void OnInitDialog(HWND window)
{
    SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)AppIcon);
    SetKeyButtons(window, FALSE, FALSE);
    // Without the libraries the window stays open with an empty tree; only exit works.
    if (!BindDeviceLibraries())
        return;
    RefreshDeviceTree(window);
    TokenLibrary.QZ_RegisterCardNotification(window, 0);
}

static void OnExit(HWND window)
{
    ReleaseDeviceLibrary();
    PostQuitMessage(0);
    EndDialog(window, 0);
}

static void OnCommand(HWND window, int id)
{
    switch (id) {
    case IDC_VIEW_CERT:
        ShowCertificateDialog(window, NULL);
        break;
    case IDC_CHANGE_PIN:
        OpenChangePinDialog(window);
        break;
    case IDC_SAVE_REPORT:
        WriteDeviceReport(window);
        break;
    case IDC_EXIT:
        OnExit(window);
        break;
    case IDC_VERIFY_PIN:
        OpenVerifyPinDialog(window);
        break;
    default:
        // IDOK and IDCANCEL land here: Enter and Escape leave the window open.
        break;
    }
}

static void OnTreeSelectionChanged(HWND window)
{
    HWND tree = GetDlgItem(window, IDC_KEY_TREE);
    HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    if (!item)
        return;
    HTREEITEM parent = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item);
    if (parent) {
        SetKeyButtons(window, TRUE, FALSE);
    } else {
        SelectedKeyItem = item;
        SetKeyButtons(window, FALSE, TRUE);
    }
}

static void OnNotify(HWND window, WPARAM controlId, const NMHDR* header)
{
    if (controlId != IDC_KEY_TREE || !header)
        return;
    if (header->code == (UINT)TVN_SELCHANGEDA)
        OnTreeSelectionChanged(window);
    else if (header->code == (UINT)NM_DBLCLK)
        OnTreeDoubleClick(window);
}

static void OnDeviceChange(HWND window, WPARAM event, LPARAM record)
{
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return;
    if (!KeyDevModule)
        return;
    char path[MAX_PATH * 4];
    if (!ReadDeviceInterfaceName((const void*)record, path, sizeof path))
        return;
    if (TokenLibrary.QZ_IsQZDevice(path))
        RefreshDeviceTree(window);
}

// Reads the update record the sender left in the registry; the result is the message's return value.
static BOOL OnUpdateInfo(HWND window, WPARAM wParam, LPARAM lParam)
{
    const char* valueName;
    if (wParam == 0 && lParam == 0)
        valueName = "UpDateInfExc";
    else if (wParam == 1 && lParam == 1)
        valueName = "UpDateInfSig";
    else
        return TRUE;

    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\DIZUDORU", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    unsigned char record[UPDATE_RECORD_SIZE];
    ZeroMemory(record, sizeof record);
    DWORD size = sizeof record;
    LONG status = RegQueryValueExA(key, valueName, NULL, NULL, record, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size > sizeof record)
        return FALSE;
    ApplyCertificateUpdate(window, record, (int)size);
    return TRUE;
}

INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(window);
        return FALSE;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return FALSE;
    case WM_NOTIFY:
        OnNotify(window, wParam, (const NMHDR*)lParam);
        return FALSE;
    case WM_DEVICECHANGE:
        OnDeviceChange(window, wParam, lParam);
        return TRUE;
    case WM_UPDATEINFO:
        return OnUpdateInfo(window, wParam, lParam);
    case WM_CLOSE:
        OnExit(window);
        return FALSE;
    }
    return FALSE;
}
