// Fuzz target: the manager's own walk over the keys (WalkKeys) and its PIN loops (VerifyKeyPin, ChangeKeyPin),
// over a token whose every answer is fuzzed (see token_answers.h), then the report built from what was read.
//
// The host stands in for what is Windows-only: opening a key as key_access.cpp does (KeyCmd.dll is
// bound only while a key is open: a zero handle and a close release it, clearing its entries, so a
// call outside an open key is a call through a null entry; a negative handle leaves it bound), and a certificate decoder that takes any DER
// starting 0x30 and reads its names, serial number and dates from its bytes.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_check.h"
#include "key_pin.h"
#include "key_walk.h"
#include "report_text.h"
#include "token_answers.h"

namespace {

struct Host {
    AnsweringToken token;
    TokenEntryPoints bound; // the answering entries, bound again at every open
    int libraryBound;
    int itemsMade;
    int decodedOutstanding;
    int keysAdded;
};

int OpenKey(void* context, int slot)
{
    Host* host = (Host*)context;
    FUZZ_CHECK(slot >= 0 && slot < KEY_SLOT_COUNT);
    host->libraryBound = 1;
    TokenLibrary = host->bound;
    int handle = TokenLibrary.QZ_Open(slot);
    if (handle == 0) {
        host->libraryBound = 0;
        ClearTokenEntries(KeyCmdEntries, KEYCMD_ENTRY_COUNT);
    }
    return handle;
}

void CloseKey(void* context, int handle)
{
    Host* host = (Host*)context;
    FUZZ_CHECK(handle > 0); // the walk closes only what it opened
    if (!host->libraryBound)
        return;
    TokenLibrary.QZ_Close(handle);
    host->libraryBound = 0;
    ClearTokenEntries(KeyCmdEntries, KEYCMD_ENTRY_COUNT);
}

// Stands in for CertGetNameStringA: a NUL-terminated name of at most size - 1 bytes from the bytes.
size_t TakeName(const unsigned char* der, size_t length, size_t at, char* name, size_t size)
{
    size_t n = 0;
    while (at + n < length && der[at + n] != 0 && n + 1 < size)
        ++n;
    // at may lie past the end after an unterminated name: no pointer is made from it then.
    if (n > 0)
        memcpy(name, der + at, n);
    name[n] = '\0';
    return at + n + 1;
}

// Layout: 0x30, subject NUL, issuer NUL, serial count, serial bytes, twelve 16-bit date fields.
// The decoded copy is a heap allocation of its own, so a read past it or a leak is caught.
int DecodeCertificate(void* context, const unsigned char* der, int length, CertificateFacts* facts, void** decoded)
{
    FUZZ_CHECK(length >= 0 && length <= CERTIFICATE_FILE_SIZE);
    if (length == 0 || der[0] != 0x30)
        return 0;
    size_t size = (size_t)length;
    unsigned char* copy = (unsigned char*)malloc(size);
    memcpy(copy, der, size);
    *decoded = copy;
    ((Host*)context)->decodedOutstanding++;

    size_t at = TakeName(copy, size, 1, facts->subject, sizeof facts->subject);
    facts->hasSubject = at <= size;
    at = TakeName(copy, size, at, facts->issuer, sizeof facts->issuer);
    facts->hasIssuer = at <= size;
    size_t serialCount = at < size ? copy[at] : 0;
    size_t serialAt = at + 1 < size ? at + 1 : size;
    if (serialCount > size - serialAt)
        serialCount = size - serialAt;
    facts->serial = copy + serialAt;
    facts->serialLength = serialCount;
    // SYSTEMTIME fields are 16-bit.
    unsigned short words[12] = {};
    size_t dateAt = serialAt + serialCount;
    for (int k = 0; k < 12 && dateAt + 2 * k + 1 < size; ++k)
        words[k] = (unsigned short)(copy[dateAt + 2 * k] | copy[dateAt + 2 * k + 1] << 8);
    facts->notBefore = ReportDate{ words[0], words[1], words[2], words[3], words[4], words[5] };
    facts->notAfter = ReportDate{ words[6], words[7], words[8], words[9], words[10], words[11] };
    return 1;
}

void ReleaseCertificate(void* context, void* decoded)
{
    ((Host*)context)->decodedOutstanding--;
    free(decoded);
}

// Items are distinct non-null handles that are never dereferenced.
HTREEITEM MakeItem(Host* host)
{
    return (HTREEITEM)(uintptr_t)(0x1000 + 16 * ++host->itemsMade);
}

HTREEITEM AddKey(void* context, int slot, const char* label)
{
    Host* host = (Host*)context;
    FUZZ_CHECK(slot >= 0 && slot < KEY_SLOT_COUNT);
    FUZZ_CHECK(strnlen(label, LABEL_SIZE) < LABEL_SIZE);
    FUZZ_CHECK(host->libraryBound); // a key is shown only while it is open
    host->keysAdded++;
    return MakeItem(host);
}

HTREEITEM AddCertificate(void* context, HTREEITEM keyItem, const char* subject)
{
    FUZZ_CHECK(keyItem != NULL);
    FUZZ_CHECK(strnlen(subject, CERT_NAME_SIZE) < CERT_NAME_SIZE);
    return MakeItem((Host*)context);
}

void CheckTokenLeftClean(const Host& host)
{
    FUZZ_CHECK(host.token.openCount == 0);
    FUZZ_CHECK(host.token.closesOfUnknownHandles == 0);
    FUZZ_CHECK(host.token.callsOnClosedHandles == 0);
    FUZZ_CHECK(host.decodedOutstanding == 0);
}

// Every kept certificate has a tree item and a length within its buffer; every listed key a label.
void CheckTable(const DeviceRecord* table, const Host& host)
{
    int keys = 0;
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        const DeviceRecord& record = table[slot];
        FUZZ_CHECK(record.slot == slot);
        FUZZ_CHECK(memchr(record.label, 0, sizeof record.label) != NULL);
        keys += record.keyItem != NULL;
        for (const ContainerEntry& entry : record.containers) {
            FUZZ_CHECK(entry.encryptionLength >= 0 && entry.encryptionLength <= CERT_BUFFER_SIZE);
            FUZZ_CHECK(entry.signatureLength >= 0 && entry.signatureLength <= CERT_BUFFER_SIZE);
            FUZZ_CHECK((entry.encryptionItem != NULL) == (entry.encryptionLength > 0));
            FUZZ_CHECK((entry.signatureItem != NULL) == (entry.signatureLength > 0));
            FUZZ_CHECK(record.keyItem || (!entry.encryptionItem && !entry.signatureItem));
        }
    }
    FUZZ_CHECK(keys == host.keysAdded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte picks the PIN operation that follows the refresh; the rest are the answers.
    if (size < 1)
        return 0;
    uint8_t mode = data[0];
    Host host;
    memset(&host, 0, sizeof host);
    StartAnsweringToken(&host.token, data + 1, size - 1);
    host.bound = TokenLibrary;
    ClearTokenEntries(KeyCmdEntries, KEYCMD_ENTRY_COUNT);
    KeyWalkHost walkHost = { &host, OpenKey, CloseKey, DecodeCertificate, ReleaseCertificate, AddKey, AddCertificate };

    // Heap copies of the manager's globals, so a write past either is caught.
    DeviceRecord* table = (DeviceRecord*)malloc(sizeof(DeviceRecord) * KEY_SLOT_COUNT);
    char* report = (char*)malloc(REPORT_TEXT_LIMIT);
    HTREEITEM first = WalkKeys(&walkHost, table, report, REPORT_TEXT_LIMIT);
    CheckTokenLeftClean(host);
    CheckTable(table, host);
    FUZZ_CHECK((first != NULL) == (host.keysAdded > 0));
    FUZZ_CHECK(strnlen(report, REPORT_TEXT_LIMIT) < REPORT_TEXT_LIMIT);

    if (mode & 1) {
        static const unsigned char pin[] = { '1', '2', '3', '4' };
        static const unsigned char change[] = { '1', '2', '3', '4', 0xFF, '5', '6', '7', '8' };
        static const unsigned char undo[] = { '5', '6', '7', '8', 0xFF, '1', '2', '3', '4' };
        int slot = (mode >> 1) & 3;
        bool changing = (mode >> 3) & 1;
        if (changing)
            ChangeKeyPin(&walkHost, slot, change, (int)sizeof change, undo, (int)sizeof undo);
        else
            VerifyKeyPin(&walkHost, slot, pin, (int)sizeof pin);
        CheckTokenLeftClean(host);
    }

    // report.cpp: the full report is the device text with room for the lines around it.
    size_t fullSize = REPORT_TEXT_LIMIT + 512;
    char* full = (char*)malloc(fullSize);
    ReportDate now = { 2026, 12, 6, 23, 59, 59 };
    BuildReportText(full, fullSize, 10, &now, report);
    AppendSavedNotice(full, fullSize);
    FUZZ_CHECK(strnlen(full, fullSize) < fullSize);
    // The device text fits the room made for it, whatever the keys held.
    FUZZ_CHECK(strstr(full, report) != NULL);
    free(full);
    free(report);
    free(table);
    return 0;
}
