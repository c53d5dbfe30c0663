// The tree of keys and certificates in the main window: the Windows side of the walk over the keys
// (certificate decoding, tree items) that fills DeviceTable and ReportText.
#include "manager.h"

#include "../common/bounded_text.h"

DeviceRecord DeviceTable[KEY_SLOT_COUNT];
char ReportText[REPORT_TEXT_SIZE];


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
}

static ReportDate LocalDateOf(const FILETIME* utc)
{
    FILETIME local;
    SYSTEMTIME time;
    ZeroMemory(&time, sizeof time);
    FileTimeToLocalFileTime(utc, &local);
    FileTimeToSystemTime(&local, &time);
    ReportDate date = { time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond };
    return date;
}

static int DecodeCertificate(void*, const unsigned char* der, int length, CertificateFacts* facts, void** decoded)
{
    PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der, length);
    if (!context)
        return 0;
    *decoded = (void*)context;
    facts->hasSubject = CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, facts->subject,
                                           sizeof facts->subject) != 0;
    facts->hasIssuer = CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, NULL,
                                          facts->issuer, sizeof facts->issuer) != 0;
    facts->serial = context->pCertInfo->SerialNumber.pbData;
    facts->serialLength = context->pCertInfo->SerialNumber.cbData;
    facts->notBefore = LocalDateOf(&context->pCertInfo->NotBefore);
    facts->notAfter = LocalDateOf(&context->pCertInfo->NotAfter);
    return 1;
}

static void ReleaseCertificate(void*, void* decoded)
{
    CertFreeCertificateContext((PCCERT_CONTEXT)decoded);
}

HTREEITEM InsertKeyItem(HWND mainWindow, const char* label)
{
    SetKeyButtons(mainWindow, FALSE, TRUE);
    return InsertTreeItem(GetDlgItem(mainWindow, IDC_KEY_TREE), TVI_ROOT, label, KEY_ITEM_TEXT_LIMIT, 0);
}

static HTREEITEM AddKeyItem(void* context, int, const char* label)
{
    return InsertKeyItem((HWND)context, label);
}

HTREEITEM InsertCertificateItem(HWND tree, HTREEITEM keyItem, const char* subject)
{
    HTREEITEM item = InsertTreeItem(tree, keyItem, subject, CERT_ITEM_TEXT_LIMIT, 1);
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)keyItem);
    return item;
}

static HTREEITEM AddCertificateItem(void* context, HTREEITEM keyItem, const char* subject)
{
    return InsertCertificateItem(GetDlgItem((HWND)context, IDC_KEY_TREE), keyItem, subject);
}

int RefreshDeviceTree(HWND mainWindow)
{
    // Emptied before the tree: the selection notices of the clearing find no stale record.
    ZeroMemory(DeviceTable, sizeof DeviceTable);
    ZeroMemory(ReportText, sizeof ReportText);
    ClearTreeWithImages(GetDlgItem(mainWindow, IDC_KEY_TREE));
    KeyWalkHost host = KeyAccessHost;
    host.context = mainWindow;
    host.decodeCertificate = DecodeCertificate;
    host.releaseCertificate = ReleaseCertificate;
    host.addKey = AddKeyItem;
    host.addCertificate = AddCertificateItem;
    FinishTree(mainWindow, WalkKeys(&host, DeviceTable, ReportText, sizeof ReportText));
    return 0;
}
