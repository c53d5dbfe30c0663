// The tree of keys and certificates in the main window: its items, its images and its placeholder.
#include "manager.h"

#include "../common/bounded_text.h"

HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, const char* text, size_t limit, int image)
{
    // Item texts have fixed limits; longer names are cut on a character boundary.
    char shown[CERT_ITEM_TEXT_LIMIT];
    TextCopy(shown, limit < sizeof shown ? limit : sizeof shown, text);
    TVINSERTSTRUCTA insert;
    ZeroMemory(&insert, sizeof insert);
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = shown;
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    return (HTREEITEM)SendMessageA(tree, TVM_INSERTITEMA, 0, (LPARAM)&insert);
}

void ClearTreeWithImages(HWND tree)
{
    // Drawn once, when FinishTree has put every item in: the tree then measures and scrolls once
    // rather than after each insert and expand.
    SendMessageA(tree, WM_SETREDRAW, FALSE, 0);
    SendMessageA(tree, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
    HBITMAP bitmap = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_TREE_IMAGES));
    if (!bitmap)
        return;
    BITMAP size;
    ZeroMemory(&size, sizeof size);
    GetObjectA(bitmap, sizeof size, &size);
    HIMAGELIST images = ImageList_Create(size.bmWidth / 2, size.bmHeight, ILC_COLOR8 | ILC_MASK, 0, 1);
    if (images)
        ImageList_AddMasked(images, bitmap, RGB(255, 0, 255));
    DeleteObject(bitmap);
    // The tree hands back the list it had; each refresh makes a new one, so the old one goes.
    HIMAGELIST previous = (HIMAGELIST)SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, (LPARAM)images);
    if (previous && previous != images)
        ImageList_Destroy(previous);
}

void FinishTree(HWND mainWindow, HTREEITEM firstKey)
{
    HWND tree = GetDlgItem(mainWindow, IDC_KEY_TREE);
    if (firstKey) {
        SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)firstKey);
        SelectedKeyItem = firstKey;
    } else {
        SetKeyButtons(mainWindow, FALSE, FALSE);
        InsertTreeItem(tree, TVI_ROOT, TEXT_NO_KEY, KEY_ITEM_TEXT_LIMIT, 0);
    }
    SendMessageA(tree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree, NULL, TRUE);
}

HTREEITEM InsertKeyItem(HWND mainWindow, HWND tree, const char* label)
{
    SetKeyButtons(mainWindow, FALSE, TRUE);
    return InsertTreeItem(tree, TVI_ROOT, label, KEY_ITEM_TEXT_LIMIT, 0);
}

HTREEITEM InsertCertificateItem(HWND tree, HTREEITEM keyItem, const char* subject)
{
    HTREEITEM item = InsertTreeItem(tree, keyItem, subject, CERT_ITEM_TEXT_LIMIT, 1);
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)keyItem);
    return item;
}
