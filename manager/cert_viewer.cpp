// Shows a certificate kept in DeviceTable in the system certificate dialog, loaded only for the view.
#include "manager.h"

#include <cryptuiapi.h>

#include "../common/bounded_text.h"

LibraryLoader ViewerLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };

// The header's own type, calling convention included.
typedef decltype(&CryptUIDlgViewCertificateA) ViewCertificateFn;

// The stored certificate behind a tree item; NULL (and no length) when no entry holds the item.
static const unsigned char* FindStoredCertificate(HTREEITEM item, int* length)
{
    if (!item)
        return NULL;
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        for (int k = 0; k < CONTAINER_ENTRY_COUNT; ++k) {
            const ContainerEntry* entry = &DeviceTable[slot].containers[k];
            if (entry->encryptionItem == item) {
                *length = entry->encryptionLength;
                return entry->encryptionCert;
            }
            if (entry->signatureItem == item) {
                *length = entry->signatureLength;
                return entry->signatureCert;
            }
        }
    }
    return NULL;
}

// The tree's selected item when it is a certificate (it has a parent), else NULL.
static HTREEITEM SelectedCertificateItem(HWND owner)
{
    HWND tree = GetDlgItem(owner, IDC_KEY_TREE);
    HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    if (!item)
        return NULL;
    if (!SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item))
        return NULL;
    return item;
}

void ShowCertificateDialog(HWND owner, HTREEITEM item)
{
    char title[256];
    ZeroMemory(title, sizeof title);
    if (!item)
        item = SelectedCertificateItem(owner);
    int length = 0;
    const unsigned char* der = FindStoredCertificate(item, &length);
    if (!der || length <= 0 || length > CERT_BUFFER_SIZE)
        return;
    PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der, length);
    if (!context)
        return;

    TextCopy(title, sizeof title, MAIN_WINDOW_TITLE);
    HCERTSTORE store = context->hCertStore;
    CRYPTUI_VIEWCERTIFICATE_STRUCTA request;
    ZeroMemory(&request, sizeof request);
    request.dwSize = sizeof request;
    request.hwndParent = owner;
    request.dwFlags = 0;
    request.szTitle = title;
    request.pCertContext = context;
    request.cStores = 1;
    request.rghStores = &store;

    HMODULE cryptui = ViewerLoader.load("cryptui");
    if (cryptui) {
        ViewCertificateFn view = (ViewCertificateFn)(void*)ViewerLoader.lookup(cryptui, "CryptUIDlgViewCertificateA");
        if (view)
            view(&request, NULL);
        ViewerLoader.release(cryptui);
    }
    CertFreeCertificateContext(context);
}

void OnTreeDoubleClick(HWND owner)
{
    HTREEITEM item = SelectedCertificateItem(owner);
    if (item)
        ShowCertificateDialog(owner, item);
}
