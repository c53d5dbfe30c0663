// The inserted keys as the last refresh read them (DeviceTable, ReportText), and the refresh: the
// walk over the keys with the tree and the certificate decoder as its host.
#include "manager.h"

DeviceRecord DeviceTable[KEY_SLOT_COUNT];
char ReportText[REPORT_TEXT_SIZE];

static int DecodeForWalk(void*, const unsigned char* der, int length, CertificateFacts* facts, void** decoded)
{
    return DecodeCertificate(der, length, facts, decoded);
}

static void ReleaseForWalk(void*, void* decoded)
{
    ReleaseCertificate(decoded);
}

// The windows a refresh fills, looked up once: asking the dialog for its tree costs a round trip
// to the window server under Wine, and a refresh inserts dozens of items.
struct RefreshWindows {
    HWND mainWindow;
    HWND tree;
};

static HTREEITEM AddKeyItem(void* context, int, const char* label)
{
    const RefreshWindows* windows = (const RefreshWindows*)context;
    return InsertKeyItem(windows->mainWindow, windows->tree, label);
}

static HTREEITEM AddCertificateItem(void* context, HTREEITEM keyItem, const char* subject)
{
    return InsertCertificateItem(((const RefreshWindows*)context)->tree, keyItem, subject);
}

int RefreshDeviceTree(HWND mainWindow)
{
    // Emptied before the tree: the selection notices of the clearing find no stale record.
    ZeroMemory(DeviceTable, sizeof DeviceTable);
    ZeroMemory(ReportText, sizeof ReportText);
    RefreshWindows windows = { mainWindow, GetDlgItem(mainWindow, IDC_KEY_TREE) };
    ClearTreeWithImages(windows.tree);
    KeyWalkHost host = KeyAccessHost;
    host.context = &windows;
    host.decodeCertificate = DecodeForWalk;
    host.releaseCertificate = ReleaseForWalk;
    host.addKey = AddKeyItem;
    host.addCertificate = AddCertificateItem;
    FinishTree(mainWindow, WalkKeys(&host, DeviceTable, ReportText, sizeof ReportText));
    return 0;
}
