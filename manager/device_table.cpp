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

static HTREEITEM AddKeyItem(void* context, int, const char* label)
{
    return InsertKeyItem((HWND)context, label);
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
    host.decodeCertificate = DecodeForWalk;
    host.releaseCertificate = ReleaseForWalk;
    host.addKey = AddKeyItem;
    host.addCertificate = AddCertificateItem;
    FinishTree(mainWindow, WalkKeys(&host, DeviceTable, ReportText, sizeof ReportText));
    return 0;
}
