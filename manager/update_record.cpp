// Decodes a certificate update record and applies it to one container entry.
#include "update_record.h"

#include <string.h>

int DecodeUpdateRecord(const unsigned char* bytes, size_t count, UpdateRecord* record)
{
    if (!bytes || count < UPDATE_HEADER_SIZE)
        return 0;
    int length = bytes[5] << 8 | bytes[6];
    if (bytes[0] >= UPDATE_SLOT_COUNT || bytes[1] >= UPDATE_ENTRY_COUNT || length > UPDATE_CERT_LIMIT ||
        count < (size_t)UPDATE_HEADER_SIZE + (size_t)length)
        return 0;
    record->slot = bytes[0];
    record->entry = bytes[1];
    record->encryption = bytes[2] == 1;
    record->encryptionPresent = bytes[3] != 0;
    record->signaturePresent = bytes[4] != 0;
    record->length = length;
    record->certificate = bytes + UPDATE_HEADER_SIZE;
    return 1;
}

void ApplyUpdateToEntry(const UpdateRecord* record, CertificatePair entry)
{
    int carriedPresent = record->encryption ? record->encryptionPresent : record->signaturePresent;
    int otherPresent = record->encryption ? record->signaturePresent : record->encryptionPresent;
    int* carriedLength = record->encryption ? entry.encryptionLength : entry.signatureLength;
    unsigned char* carriedCert = record->encryption ? entry.encryptionCert : entry.signatureCert;
    int* otherLength = record->encryption ? entry.signatureLength : entry.encryptionLength;

    if (carriedPresent) {
        memcpy(carriedCert, record->certificate, (size_t)record->length);
        *carriedLength = record->length;
    } else {
        *carriedLength = 0;
    }
    if (!otherPresent)
        *otherLength = 0;
}
