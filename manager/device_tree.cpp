// The tree of keys and certificates in the main window: reads every key into DeviceTable and ReportText.
#include "manager.h"

#include "../common/bounded_text.h"
#include "key_layout.h"

DeviceRecord DeviceTable[KEY_SLOT_COUNT];
char ReportText[REPORT_TEXT_SIZE];

static const char PlaceholderText[] = "没有USBKey";

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
        InsertTreeItem(tree, TVI_ROOT, PlaceholderText, KEY_ITEM_TEXT_LIMIT, 0);
    }
}

static int SelectMasterFile(int handle)
{
    unsigned short status = 0;
    int result = TokenLibrary.Select_File(handle, SELECT_MASTER_FILE, 0, 0, NULL, &status);
    return result >= 0 && status == KEY_STATUS_OK;
}

static int SelectDirectory(int handle, unsigned id)
{
    unsigned char bytes[2] = { (unsigned char)(id >> 8), (unsigned char)(id & 0xFF) };
    unsigned short status = 0;
    int result = TokenLibrary.Select_File(handle, SELECT_DIRECTORY, 0, 2, bytes, &status);
    return result >= 0 && status == KEY_STATUS_OK;
}

int CheckApplication(int handle, unsigned applicationId)
{
    if (!SelectMasterFile(handle))
        return -1;
    unsigned char info[DEVICE_INFO_SIZE];
    ZeroMemory(info, sizeof info);
    int length = 0;
    if (ReadUsbKeyFile(handle, 0xEF01, info, sizeof info, &length) != 0)
        return -1;
    for (int i = 0; i < APPLICATION_COUNT; ++i)
        if (ApplicationListed(info, sizeof info, i) && applicationId == (unsigned)(APPLICATION_FIRST + i))
            return 0;
    return -1;
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

static void AppendSerialNumber(const CRYPT_INTEGER_BLOB* serial)
{
    char hex[SERIAL_HEX_SIZE];
    FormatSerialHex(serial->pbData, serial->cbData, hex, sizeof hex);
    char decimal[SERIAL_DECIMAL_SIZE];
    ZeroMemory(decimal, sizeof decimal);
    TokenLibrary.HexToDec(hex, decimal);
    decimal[sizeof decimal - 1] = '\0';
    AppendSerialReportLine(ReportText, sizeof ReportText, decimal);
}

// Lists the certificate in file fileId of container j of application index i; 1 when it was listed.
static int ListCertificate(HWND tree, int handle, DeviceRecord* record, int i, int j, int encryption)
{
    if (!SelectMasterFile(handle) || !SelectDirectory(handle, APPLICATION_FIRST + i) ||
        !SelectDirectory(handle, 0xDF11 + 0x10 * i + j))
        return 0;
    unsigned char der[CERTIFICATE_FILE_SIZE];
    ZeroMemory(der, sizeof der);
    int length = 0;
    if (ReadUsbKeyFile(handle, encryption ? 0xEF01 : 0xEF02, der, sizeof der, &length) != 0)
        return 0;
    PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der, length);
    if (!context)
        return 0;

    int listed = 0;
    char subject[CERT_NAME_SIZE];
    char issuer[CERT_NAME_SIZE];
    ZeroMemory(subject, sizeof subject);
    ZeroMemory(issuer, sizeof issuer);
    if (CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, subject, sizeof subject) != 0) {
        AppendSubjectReportLine(ReportText, sizeof ReportText, subject, encryption);
        if (CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, NULL, issuer,
                               sizeof issuer) != 0) {
            AppendIssuerReportLine(ReportText, sizeof ReportText, issuer);
            AppendSerialNumber(&context->pCertInfo->SerialNumber);
            ReportDate start = LocalDateOf(&context->pCertInfo->NotBefore);
            ReportDate end = LocalDateOf(&context->pCertInfo->NotAfter);
            AppendValidityReportLines(ReportText, sizeof ReportText, &start, &end);

            HTREEITEM item = InsertTreeItem(tree, record->keyItem, subject, CERT_ITEM_TEXT_LIMIT, 1);
            SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)record->keyItem);
            ContainerEntry* entry = &record->containers[2 * i + j];
            if (encryption) {
                entry->encryptionItem = item;
                entry->encryptionLength = length;
                CopyMemory(entry->encryptionCert, der, length);
            } else {
                entry->signatureItem = item;
                entry->signatureLength = length;
                CopyMemory(entry->signatureCert, der, length);
            }
            listed = 1;
        }
    }
    CertFreeCertificateContext(context);
    return listed;
}

static void ListApplication(HWND tree, int handle, DeviceRecord* record, int i)
{
    SelectMasterFile(handle);
    if (CheckApplication(handle, APPLICATION_FIRST + i) != 0)
        return;
    if (!SelectDirectory(handle, APPLICATION_FIRST + i))
        return;
    unsigned char directory[CONTAINER_DIRECTORY_SIZE];
    ZeroMemory(directory, sizeof directory);
    int length = 0;
    if (ReadUsbKeyFile(handle, 0xEF01, directory, sizeof directory, &length) != 0 || length == 0)
        return;
    ContainerState containers[CONTAINERS_PER_APPLICATION];
    int inUse = 0;
    for (int j = 0; j < CONTAINERS_PER_APPLICATION; ++j) {
        containers[j] = ReadContainerState(directory, sizeof directory, j);
        inUse += containers[j].inUse;
    }
    if (inUse == 0)
        return;
    for (int j = 0; j < CONTAINERS_PER_APPLICATION; ++j) {
        // A container whose encryption certificate cannot be listed is left out whole.
        if (containers[j].hasEncryption && !ListCertificate(tree, handle, record, i, j, 1))
            continue;
        if (containers[j].hasSignature)
            ListCertificate(tree, handle, record, i, j, 0);
    }
}

// Reads one key; returns its tree item, or NULL when the key is not listed.
static HTREEITEM ListKey(HWND mainWindow, HWND tree, int slot, unsigned char* serial)
{
    DeviceRecord* record = &DeviceTable[slot];
    record->slot = slot;
    int handle = OpenUsbKey(slot);
    if (handle <= 0)
        return NULL;
    unsigned char answer[80];
    TokenLibrary.QZ_IC_RESET(handle, answer);
    TokenLibrary.QZ_GET_BCDSN(handle, serial);
    char serialText[16];
    FormatHexUpper(serial, serialText, 4);
    AppendKeyReportLines(ReportText, sizeof ReportText, serialText);

    unsigned char info[DEVICE_INFO_SIZE];
    ZeroMemory(info, sizeof info);
    int length = 0;
    if (ReadUsbKeyFile(handle, 0xEF01, info, sizeof info, &length) != 0) {
        CloseUsbKey(handle);
        return NULL;
    }
    ReadKeyLabel(info, sizeof info, record->label, sizeof record->label);
    AppendLabelReportLine(ReportText, sizeof ReportText, record->label);
    SetKeyButtons(mainWindow, FALSE, TRUE);
    record->keyItem = InsertTreeItem(tree, TVI_ROOT, record->label, KEY_ITEM_TEXT_LIMIT, 0);
    for (int i = 0; i < APPLICATION_COUNT; ++i)
        ListApplication(tree, handle, record, i);
    CloseUsbKey(handle);
    return record->keyItem;
}

int RefreshDeviceTree(HWND mainWindow)
{
    HWND tree = GetDlgItem(mainWindow, IDC_KEY_TREE);
    ZeroMemory(DeviceTable, sizeof DeviceTable);
    ZeroMemory(ReportText, sizeof ReportText);
    ClearTreeWithImages(tree);

    // Zeroed once: a key that does not answer QZ_GET_BCDSN shows the previous key's serial.
    unsigned char serial[64];
    ZeroMemory(serial, sizeof serial);
    HTREEITEM firstKey = NULL;
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        HTREEITEM item = ListKey(mainWindow, tree, slot, serial);
        if (item && !firstKey)
            firstKey = item;
    }
    FinishTree(mainWindow, firstKey);
    return 0;
}
