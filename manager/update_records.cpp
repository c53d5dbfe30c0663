// Applies a certificate update record to DeviceTable and rebuilds the tree from the table alone.
#include "manager.h"

#include "update_record.h"

// ApplyUpdateToEntry copies a record's certificate into an entry's buffers.
static_assert((int)UPDATE_CERT_LIMIT <= (int)CERT_BUFFER_SIZE, "an update certificate must fit a container entry");

// Inserts the item of one stored certificate; NULL when its bytes do not decode or have no name.
static HTREEITEM InsertStoredCertificate(HWND tree, HTREEITEM keyItem, const unsigned char* stored, int length)
{
    if (length <= 0 || length > CERT_BUFFER_SIZE)
        return NULL;
    CertificateFacts facts;
    ZeroMemory(&facts, sizeof facts);
    void* decoded = NULL;
    if (!DecodeCertificate(stored, length, &facts, &decoded))
        return NULL;
    HTREEITEM item = facts.hasSubject ? InsertCertificateItem(tree, keyItem, facts.subject) : NULL;
    ReleaseCertificate(decoded);
    return item;
}

static void ShowRecord(HWND mainWindow, HWND tree, DeviceRecord* record)
{
    record->keyItem = InsertKeyItem(mainWindow, tree, record->label);
    for (int k = 0; k < CONTAINER_ENTRY_COUNT; ++k) {
        ContainerEntry* entry = &record->containers[k];
        if (entry->encryptionLength != 0) {
            entry->encryptionItem = InsertStoredCertificate(tree, record->keyItem, entry->encryptionCert,
                                                            entry->encryptionLength);
            // An encryption certificate that cannot be shown hides its whole entry.
            if (!entry->encryptionItem)
                continue;
        }
        if (entry->signatureLength != 0)
            entry->signatureItem = InsertStoredCertificate(tree, record->keyItem, entry->signatureCert,
                                                           entry->signatureLength);
    }
}

int ApplyCertificateUpdate(HWND mainWindow, const unsigned char* bytes, int byteCount)
{
    UpdateRecord update;
    if (byteCount < 0 || !DecodeUpdateRecord(bytes, (size_t)byteCount, &update))
        return 0;
    ContainerEntry* target = &DeviceTable[update.slot].containers[update.entry];
    CertificatePair pair = { &target->encryptionLength, target->encryptionCert, &target->signatureLength,
                             target->signatureCert };
    ApplyUpdateToEntry(&update, pair);

    HWND tree = GetDlgItem(mainWindow, IDC_KEY_TREE);
    ClearTreeWithImages(tree);
    // Every stored item names an item of the deleted tree: forget them all, so a certificate the
    // rebuild does not show can never match an item of the new tree.
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        DeviceTable[slot].keyItem = NULL;
        for (int k = 0; k < CONTAINER_ENTRY_COUNT; ++k) {
            DeviceTable[slot].containers[k].encryptionItem = NULL;
            DeviceTable[slot].containers[k].signatureItem = NULL;
        }
    }
    HTREEITEM firstKey = NULL;
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        if (DeviceTable[slot].label[0] == '\0')
            continue;
        ShowRecord(mainWindow, tree, &DeviceTable[slot]);
        if (!firstKey)
            firstKey = DeviceTable[slot].keyItem;
    }
    FinishTree(mainWindow, firstKey);
    return 0;
}
