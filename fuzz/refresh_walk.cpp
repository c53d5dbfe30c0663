// Fuzz target: the manager's refresh walk over a token whose every answer is fuzzed (see token_answers.h).
//
// device_tree.cpp and key_access.cpp need windows.h, so this file drives the portable pieces in the
// order those files call them: open each slot, reset, serial, device information file, for each
// application CheckApplication, select, container directory, per container the certificate files,
// close. Only CryptoAPI is stood in for: a certificate "decodes" when its first byte is 0x30, and its
// names, serial number and dates are taken from its bytes. After the walk one PIN operation runs the
// way pin_session.cpp sequences it, then the report is assembled as report.cpp does.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_check.h"
#include "key_file.h"
#include "key_layout.h"
#include "report_text.h"
#include "token_answers.h"

namespace {

enum { SLOTS = 4, ENTRIES = 4, NO_ANSWER = -1000 };

// The parts of DeviceRecord the walk writes, each buffer its own allocation of the manager's size,
// so a write past one is caught.
struct Entry {
    int encryptionLength, signatureLength;
    unsigned char* encryptionCert;
    unsigned char* signatureCert;
};
struct Record {
    int slot;
    int listed;
    char* label;
    Entry containers[ENTRIES];
};

struct Walk {
    AnsweringToken token;
    Record table[SLOTS];
    char* report;
    int libraryBound; // KeyCmd.dll as key_access.cpp leaves it
};

// key_access.cpp: a zero handle releases the library, a negative one leaves it bound.
int OpenKey(Walk* walk, int slot)
{
    walk->libraryBound = 1;
    int handle = TokenLibrary.QZ_Open(slot);
    if (handle == 0)
        walk->libraryBound = 0;
    return handle;
}

void CloseKey(Walk* walk, int handle)
{
    if (!walk->libraryBound)
        return;
    if (handle != 0)
        TokenLibrary.QZ_Close(handle);
    walk->libraryBound = 0;
}

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

int CheckApplication(int handle, unsigned applicationId)
{
    if (!SelectMasterFile(handle))
        return -1;
    unsigned char* info = (unsigned char*)calloc(1, DEVICE_INFO_SIZE);
    int length = 0;
    int found = -1;
    if (ReadUsbKeyFile(handle, 0xEF01, info, DEVICE_INFO_SIZE, &length) == 0) {
        FUZZ_CHECK(length >= 0 && length <= DEVICE_INFO_SIZE);
        for (int i = 0; i < APPLICATION_COUNT; ++i)
            if (ApplicationListed(info, DEVICE_INFO_SIZE, i) && applicationId == (unsigned)(APPLICATION_FIRST + i))
                found = 0;
    }
    free(info);
    return found;
}

// Stands in for CertGetNameStringA: a NUL-terminated name of at most size - 1 bytes from the bytes.
size_t TakeName(const unsigned char* der, size_t length, size_t at, char* name, size_t size)
{
    size_t n = 0;
    while (at + n < length && der[at + n] != 0 && n + 1 < size)
        ++n;
    memcpy(name, der + at, n);
    name[n] = '\0';
    return at + n + 1;
}

int ListCertificate(Walk* walk, int handle, Record* record, int i, int j, int encryption)
{
    if (!SelectMasterFile(handle) || !SelectDirectory(handle, APPLICATION_FIRST + i) ||
        !SelectDirectory(handle, 0xDF11 + 0x10 * i + j))
        return 0;
    unsigned char* der = (unsigned char*)calloc(1, CERTIFICATE_FILE_SIZE);
    int length = 0;
    int listed = 0;
    if (ReadUsbKeyFile(handle, encryption ? 0xEF01 : 0xEF02, der, CERTIFICATE_FILE_SIZE, &length) == 0 &&
        length > 0 && der[0] == 0x30) {
        FUZZ_CHECK(length <= CERTIFICATE_FILE_SIZE);
        char* subject = (char*)calloc(1, CERT_NAME_SIZE);
        char* issuer = (char*)calloc(1, CERT_NAME_SIZE);
        size_t at = TakeName(der, (size_t)length, 1, subject, CERT_NAME_SIZE);
        at = TakeName(der, (size_t)length, at, issuer, CERT_NAME_SIZE);
        AppendSubjectReportLine(walk->report, REPORT_TEXT_LIMIT, subject, encryption);
        AppendIssuerReportLine(walk->report, REPORT_TEXT_LIMIT, issuer);

        // The serial number blob: a count byte, then that many bytes, least significant first.
        size_t serialCount = at < (size_t)length ? der[at] : 0;
        size_t serialAt = at + 1;
        if (serialAt > (size_t)length)
            serialAt = (size_t)length;
        if (serialCount > (size_t)length - serialAt)
            serialCount = (size_t)length - serialAt;
        char* hex = (char*)malloc(SERIAL_HEX_SIZE);
        FormatSerialHex(der + serialAt, serialCount, hex, SERIAL_HEX_SIZE);
        FUZZ_CHECK(strnlen(hex, SERIAL_HEX_SIZE) < SERIAL_HEX_SIZE);
        char* decimal = (char*)calloc(1, SERIAL_DECIMAL_SIZE);
        TokenLibrary.HexToDec(hex, decimal);
        decimal[SERIAL_DECIMAL_SIZE - 1] = '\0';
        AppendSerialReportLine(walk->report, REPORT_TEXT_LIMIT, decimal);

        // SYSTEMTIME fields are 16-bit.
        unsigned short words[12] = {};
        size_t dateAt = serialAt + serialCount;
        for (int k = 0; k < 12 && dateAt + 2 * k + 1 < (size_t)length; ++k)
            words[k] = (unsigned short)(der[dateAt + 2 * k] | der[dateAt + 2 * k + 1] << 8);
        ReportDate start = { words[0], words[1], words[2], words[3], words[4], words[5] };
        ReportDate end = { words[6], words[7], words[8], words[9], words[10], words[11] };
        AppendValidityReportLines(walk->report, REPORT_TEXT_LIMIT, &start, &end);

        int k = 2 * i + j;
        FUZZ_CHECK(k >= 0 && k < ENTRIES);
        Entry* entry = &record->containers[k];
        if (encryption) {
            entry->encryptionLength = length;
            memcpy(entry->encryptionCert, der, (size_t)length);
        } else {
            entry->signatureLength = length;
            memcpy(entry->signatureCert, der, (size_t)length);
        }
        listed = 1;
        free(subject);
        free(issuer);
        free(hex);
        free(decimal);
    }
    free(der);
    return listed;
}

void ListApplication(Walk* walk, int handle, Record* record, int i)
{
    SelectMasterFile(handle);
    if (CheckApplication(handle, APPLICATION_FIRST + i) != 0)
        return;
    if (!SelectDirectory(handle, APPLICATION_FIRST + i))
        return;
    unsigned char* directory = (unsigned char*)calloc(1, CONTAINER_DIRECTORY_SIZE);
    int length = 0;
    if (ReadUsbKeyFile(handle, 0xEF01, directory, CONTAINER_DIRECTORY_SIZE, &length) != 0 || length == 0) {
        free(directory);
        return;
    }
    FUZZ_CHECK(length > 0 && length <= CONTAINER_DIRECTORY_SIZE);
    ContainerState containers[CONTAINERS_PER_APPLICATION];
    int inUse = 0;
    for (int j = 0; j < CONTAINERS_PER_APPLICATION; ++j) {
        containers[j] = ReadContainerState(directory, CONTAINER_DIRECTORY_SIZE, j);
        FUZZ_CHECK(containers[j].inUse || (!containers[j].hasEncryption && !containers[j].hasSignature));
        inUse += containers[j].inUse;
    }
    free(directory);
    if (inUse == 0)
        return;
    for (int j = 0; j < CONTAINERS_PER_APPLICATION; ++j) {
        if (containers[j].hasEncryption && !ListCertificate(walk, handle, record, i, j, 1))
            continue;
        if (containers[j].hasSignature)
            ListCertificate(walk, handle, record, i, j, 0);
    }
}

void ListKey(Walk* walk, int slot, unsigned char* serial)
{
    Record* record = &walk->table[slot];
    record->slot = slot;
    int handle = OpenKey(walk, slot);
    if (handle <= 0)
        return;
    unsigned char* answer = (unsigned char*)malloc(80);
    TokenLibrary.QZ_IC_RESET(handle, answer);
    free(answer);
    TokenLibrary.QZ_GET_BCDSN(handle, serial);
    char serialText[16];
    FUZZ_CHECK(FormatHexUpper(serial, serialText, 4) == 8);
    AppendKeyReportLines(walk->report, REPORT_TEXT_LIMIT, serialText);

    unsigned char* info = (unsigned char*)calloc(1, DEVICE_INFO_SIZE);
    int length = 0;
    if (ReadUsbKeyFile(handle, 0xEF01, info, DEVICE_INFO_SIZE, &length) != 0) {
        free(info);
        CloseKey(walk, handle);
        return;
    }
    ReadKeyLabel(info, DEVICE_INFO_SIZE, record->label, KEY_LABEL_FIELD);
    free(info);
    FUZZ_CHECK(strnlen(record->label, KEY_LABEL_FIELD) < KEY_LABEL_FIELD);
    AppendLabelReportLine(walk->report, REPORT_TEXT_LIMIT, record->label);
    record->listed = 1;
    for (int i = 0; i < APPLICATION_COUNT; ++i)
        ListApplication(walk, handle, record, i);
    CloseKey(walk, handle);
}

// pin_session.cpp's RunPinOperation.
int RunPinOperation(Walk* walk, int slot, int change, const unsigned char* data, int length)
{
    int handle = OpenKey(walk, slot);
    if (handle < 1)
        return NO_ANSWER;
    unsigned char* answer = (unsigned char*)calloc(1, 180);
    TokenLibrary.QZ_IC_RESET(handle, answer);
    free(answer);
    int result = NO_ANSWER;
    for (unsigned id = APPLICATION_FIRST; id < APPLICATION_FIRST + APPLICATION_COUNT; ++id) {
        unsigned short status = 0;
        TokenLibrary.Select_File(handle, SELECT_MASTER_FILE, 0, 0, NULL, &status);
        if (CheckApplication(handle, id) != 0 || !SelectDirectory(handle, id))
            break;
        result = change ? TokenLibrary.QZ_ChangePin(handle, length, data)
                        : TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, data, length);
        if (!change && result == 0)
            break;
    }
    CloseKey(walk, handle);
    return result;
}

void CheckTokenLeftClean(const Walk& walk)
{
    FUZZ_CHECK(walk.token.openCount == 0);
    FUZZ_CHECK(walk.token.closesOfUnknownHandles == 0);
    FUZZ_CHECK(walk.token.callsOnClosedHandles == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte picks the PIN operation that follows the refresh; the rest are the answers.
    if (size < 1)
        return 0;
    uint8_t mode = data[0];
    Walk walk;
    memset(&walk, 0, sizeof walk);
    StartAnsweringToken(&walk.token, data + 1, size - 1);
    walk.report = (char*)calloc(1, REPORT_TEXT_LIMIT);
    for (Record& record : walk.table) {
        record.label = (char*)calloc(1, KEY_LABEL_FIELD);
        for (Entry& entry : record.containers) {
            entry.encryptionCert = (unsigned char*)calloc(1, CERTIFICATE_FILE_SIZE);
            entry.signatureCert = (unsigned char*)calloc(1, CERTIFICATE_FILE_SIZE);
        }
    }

    // Zeroed once for all slots, as in the manager.
    unsigned char* serial = (unsigned char*)calloc(1, 64);
    for (int slot = 0; slot < SLOTS; ++slot)
        ListKey(&walk, slot, serial);
    free(serial);
    CheckTokenLeftClean(walk);
    FUZZ_CHECK(strnlen(walk.report, REPORT_TEXT_LIMIT) < REPORT_TEXT_LIMIT);

    if (mode & 1) {
        static const unsigned char pin[] = { '1', '2', '3', '4' };
        static const unsigned char change[] = { '1', '2', '3', '4', 0xFF, '5', '6', '7', '8' };
        int slot = (mode >> 1) & 3;
        int changing = (mode >> 3) & 1;
        RunPinOperation(&walk, slot, changing, changing ? change : pin, changing ? (int)sizeof change : (int)sizeof pin);
        CheckTokenLeftClean(walk);
    }

    // report.cpp: the full report is the device text with room for the lines around it.
    size_t fullSize = REPORT_TEXT_LIMIT + 512;
    char* full = (char*)malloc(fullSize);
    ReportDate now = { 2026, 12, 6, 23, 59, 59 };
    BuildReportText(full, fullSize, 10, &now, walk.report);
    AppendSavedNotice(full, fullSize);
    FUZZ_CHECK(strnlen(full, fullSize) < fullSize);
    // The device text fits the room made for it, whatever the keys held.
    FUZZ_CHECK(strstr(full, walk.report) != NULL);
    free(full);

    for (Record& record : walk.table) {
        free(record.label);
        for (Entry& entry : record.containers) {
            free(entry.encryptionCert);
            free(entry.signatureCert);
        }
    }
    free(walk.report);
    return 0;
}
