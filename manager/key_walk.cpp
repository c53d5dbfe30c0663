// The walk over the inserted keys, through the bound token library and the host's callbacks.
#include "key_walk.h"

#include <string.h>

#include "token/key_file.h"
#include "token/token_api.h"

int SelectMasterFile(int handle)
{
    unsigned short status = 0;
    int result = TokenLibrary.Select_File(handle, SELECT_MASTER_FILE, 0, 0, NULL, &status);
    return result >= 0 && status == KEY_STATUS_OK;
}

int SelectDirectory(int handle, unsigned id)
{
    unsigned char bytes[2] = { (unsigned char)(id >> 8), (unsigned char)(id & 0xFF) };
    unsigned short status = 0;
    int result = TokenLibrary.Select_File(handle, SELECT_DIRECTORY, 0, 2, bytes, &status);
    return result >= 0 && status == KEY_STATUS_OK;
}

ApplicationListing CheckApplicationListing(int handle, unsigned applicationId)
{
    if (!SelectMasterFile(handle))
        return APPLICATION_UNCHECKED;
    unsigned char info[DEVICE_INFO_SIZE];
    memset(info, 0, sizeof info);
    int length = 0;
    if (ReadUsbKeyFile(handle, DEVICE_INFO_FILE, info, sizeof info, &length) != 0)
        return APPLICATION_UNCHECKED;
    for (int i = 0; i < APPLICATION_COUNT; ++i)
        if (ApplicationListed(info, sizeof info, i) && applicationId == ApplicationId(i))
            return APPLICATION_LISTED;
    return APPLICATION_NOT_LISTED;
}

int CheckApplication(int handle, unsigned applicationId)
{
    return CheckApplicationListing(handle, applicationId) == APPLICATION_LISTED ? 0 : -1;
}

namespace {

struct Walk {
    const KeyWalkHost* host;
    char* report;
    size_t reportSize;
};

void AppendSerialNumber(const Walk* walk, const unsigned char* serial, size_t count)
{
    char hex[SERIAL_HEX_SIZE];
    FormatSerialHex(serial, count, hex, sizeof hex);
    char decimal[SERIAL_DECIMAL_SIZE];
    memset(decimal, 0, sizeof decimal);
    TokenLibrary.HexToDec(hex, decimal);
    decimal[sizeof decimal - 1] = '\0';
    AppendSerialReportLine(walk->report, walk->reportSize, decimal);
}

// Keeps what was read: the copy the viewer and the update records work from.
void KeepCertificate(ContainerEntry* entry, HTREEITEM item, const unsigned char* der, int length, int encryption)
{
    if (length < 0 || length > CERT_BUFFER_SIZE)
        return;
    if (encryption) {
        entry->encryptionItem = item;
        entry->encryptionLength = length;
        memcpy(entry->encryptionCert, der, (size_t)length);
    } else {
        entry->signatureItem = item;
        entry->signatureLength = length;
        memcpy(entry->signatureCert, der, (size_t)length);
    }
}

// Lists the certificate of container j of application index i; 1 when it was listed.
int ListCertificate(const Walk* walk, int handle, DeviceRecord* record, int i, int j, int encryption)
{
    if (!SelectMasterFile(handle) || !SelectDirectory(handle, ApplicationId(i)) ||
        !SelectDirectory(handle, ContainerDirectoryId(i, j)))
        return 0;
    unsigned char der[CERTIFICATE_FILE_SIZE];
    memset(der, 0, sizeof der);
    int length = 0;
    if (ReadUsbKeyFile(handle, encryption ? ENCRYPTION_CERT_FILE : SIGNATURE_CERT_FILE, der, sizeof der, &length) != 0)
        return 0;

    const KeyWalkHost* host = walk->host;
    CertificateFacts facts;
    memset(&facts, 0, sizeof facts);
    void* decoded = NULL;
    if (!host->decodeCertificate(host->context, der, length, &facts, &decoded))
        return 0;
    facts.subject[sizeof facts.subject - 1] = '\0';
    facts.issuer[sizeof facts.issuer - 1] = '\0';

    // A certificate whose subject reads but whose issuer does not leaves its subject line alone.
    int listed = 0;
    if (facts.hasSubject) {
        AppendSubjectReportLine(walk->report, walk->reportSize, facts.subject, encryption);
        if (facts.hasIssuer) {
            AppendIssuerReportLine(walk->report, walk->reportSize, facts.issuer);
            AppendSerialNumber(walk, facts.serial, facts.serial ? facts.serialLength : 0);
            AppendValidityReportLines(walk->report, walk->reportSize, &facts.notBefore, &facts.notAfter);
            HTREEITEM item = host->addCertificate(host->context, record->keyItem, facts.subject);
            KeepCertificate(&record->containers[ContainerEntryIndex(i, j)], item, der, length, encryption);
            listed = 1;
        }
    }
    host->releaseCertificate(host->context, decoded);
    return listed;
}

void ListApplication(const Walk* walk, int handle, DeviceRecord* record, int i)
{
    SelectMasterFile(handle);
    if (CheckApplication(handle, ApplicationId(i)) != 0)
        return;
    if (!SelectDirectory(handle, ApplicationId(i)))
        return;
    unsigned char directory[CONTAINER_DIRECTORY_SIZE];
    memset(directory, 0, sizeof directory);
    int length = 0;
    if (ReadUsbKeyFile(handle, CONTAINER_DIRECTORY_FILE, directory, sizeof directory, &length) != 0 || length == 0)
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
        if (containers[j].hasEncryption && !ListCertificate(walk, handle, record, i, j, 1))
            continue;
        if (containers[j].hasSignature)
            ListCertificate(walk, handle, record, i, j, 0);
    }
}

// Reads one key; returns its item, or NULL when the key is not listed.
HTREEITEM ListKey(const Walk* walk, DeviceRecord* record, int slot, unsigned char* serial)
{
    const KeyWalkHost* host = walk->host;
    record->slot = slot;
    int handle = host->openKey(host->context, slot);
    if (handle <= 0)
        return NULL;
    unsigned char answer[80];
    TokenLibrary.QZ_IC_RESET(handle, answer);
    TokenLibrary.QZ_GET_BCDSN(handle, serial);
    memcpy(record->serial, serial, sizeof record->serial);
    char serialText[16];
    FormatHexUpper(serial, serialText, KEY_SERIAL_SIZE);
    AppendKeyReportLines(walk->report, walk->reportSize, serialText);

    unsigned char info[DEVICE_INFO_SIZE];
    memset(info, 0, sizeof info);
    int length = 0;
    if (ReadUsbKeyFile(handle, DEVICE_INFO_FILE, info, sizeof info, &length) != 0) {
        host->closeKey(host->context, handle);
        return NULL;
    }
    ReadKeyLabel(info, sizeof info, record->label, sizeof record->label);
    AppendLabelReportLine(walk->report, walk->reportSize, record->label);
    record->keyItem = host->addKey(host->context, slot, record->label);
    for (int i = 0; i < APPLICATION_COUNT; ++i)
        ListApplication(walk, handle, record, i);
    host->closeKey(host->context, handle);
    return record->keyItem;
}

} // namespace

HTREEITEM WalkKeys(const KeyWalkHost* host, DeviceRecord* table, char* report, size_t reportSize)
{
    memset(table, 0, sizeof(DeviceRecord) * KEY_SLOT_COUNT);
    if (reportSize > 0)
        memset(report, 0, reportSize);
    Walk walk = { host, report, reportSize };

    // Zeroed once: a key that does not answer QZ_GET_BCDSN shows the previous key's serial.
    unsigned char serial[SERIAL_READ_SIZE];
    memset(serial, 0, sizeof serial);
    HTREEITEM firstKey = NULL;
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        HTREEITEM item = ListKey(&walk, &table[slot], slot, serial);
        if (item && !firstKey)
            firstKey = item;
    }
    return firstKey;
}
