// Certificate update records another program leaves in the registry. Portable: no windows.h.
#pragma once

#include <stddef.h>

enum { UPDATE_HEADER_SIZE = 7, UPDATE_CERT_LIMIT = 3000, UPDATE_SLOT_COUNT = 4, UPDATE_ENTRY_COUNT = 4 };

struct UpdateRecord {
    int slot;                       // 0 to 3
    int entry;                      // container entry k, 0 to 3
    int encryption;                 // the certificate carried is the encryption certificate
    int encryptionPresent;          // after the change
    int signaturePresent;
    int length;                     // L, at most 3000
    const unsigned char* certificate; // L bytes inside the record
};

// Decodes a record of count bytes. The record comes from another program: a slot or entry outside
// 0 to 3, L above 3000, or fewer than 7 + L bytes reject it whole. Returns 1 when usable.
int DecodeUpdateRecord(const unsigned char* bytes, size_t count, UpdateRecord* record);

// One container entry's certificates as the update changes them.
struct CertificatePair {
    int* encryptionLength;
    unsigned char* encryptionCert; // UPDATE_CERT_LIMIT bytes
    int* signatureLength;
    unsigned char* signatureCert;  // UPDATE_CERT_LIMIT bytes
};

// Applies the record to the entry: the carried certificate replaces its kind when its flag is set,
// a cleared flag removes a certificate (its length becomes 0, its bytes stay).
void ApplyUpdateToEntry(const UpdateRecord* record, CertificatePair entry);
