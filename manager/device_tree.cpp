// The tree of keys and certificates in the main window, DeviceTable and ReportText.
#include "manager.h"

DeviceRecord DeviceTable[KEY_SLOT_COUNT];
char ReportText[REPORT_TEXT_SIZE];

static const char PlaceholderText[] = "没有USBKey";

static HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, const char* text, int image)
{
    TVINSERTSTRUCTA insert;
    ZeroMemory(&insert, sizeof insert);
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = (LPSTR)text;
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    return (HTREEITEM)SendMessageA(tree, TVM_INSERTITEMA, 0, (LPARAM)&insert);
}

// Rebuilds the table and the tree. Reading the keys themselves arrives with the certificate
// listing; until then every refresh lists no key and shows the placeholder.
int RefreshDeviceTree(HWND mainWindow)
{
    HWND tree = GetDlgItem(mainWindow, IDC_KEY_TREE);
    ZeroMemory(DeviceTable, sizeof DeviceTable);
    ZeroMemory(ReportText, sizeof ReportText);
    SendMessageA(tree, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot)
        DeviceTable[slot].slot = slot;

    SetKeyButtons(mainWindow, FALSE, FALSE);
    InsertTreeItem(tree, TVI_ROOT, PlaceholderText, 0);
    return 0;
}
