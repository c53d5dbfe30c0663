// Fuzz target: certificate update records as another program leaves them in the registry, decoded
// and applied to a container entry laid out like the manager's, with guard bytes around every field.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_check.h"
#include "update_record.h"

namespace {

enum { GUARD = 32, GUARD_BYTE = 0xA5, OLD_BYTE = 0x5C };

// ContainerEntry's lengths and certificate buffers in its order, each fenced so that a write past a
// field shows even where the sanitizer cannot see it (inside one structure).
struct FencedEntry {
    unsigned char guard0[GUARD];
    int encryptionLength;
    unsigned char guard1[GUARD];
    int signatureLength;
    unsigned char guard2[GUARD];
    unsigned char encryptionCert[UPDATE_CERT_LIMIT];
    unsigned char guard3[GUARD];
    unsigned char signatureCert[UPDATE_CERT_LIMIT];
    unsigned char guard4[GUARD];
};

bool Fenced(const unsigned char* guard)
{
    for (int i = 0; i < GUARD; ++i)
        if (guard[i] != GUARD_BYTE)
            return false;
    return true;
}

bool AllBytes(const unsigned char* bytes, size_t count, unsigned char value)
{
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] != value)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UpdateRecord record;
    memset(&record, 0xEE, sizeof record);
    if (!DecodeUpdateRecord(data, size, &record))
        return 0;

    FUZZ_CHECK(record.slot >= 0 && record.slot < UPDATE_SLOT_COUNT);
    FUZZ_CHECK(record.entry >= 0 && record.entry < UPDATE_ENTRY_COUNT);
    FUZZ_CHECK(record.length >= 0 && record.length <= UPDATE_CERT_LIMIT);
    // The certificate lies wholly inside the record.
    FUZZ_CHECK(record.certificate == data + UPDATE_HEADER_SIZE);
    FUZZ_CHECK((size_t)UPDATE_HEADER_SIZE + (size_t)record.length <= size);

    FencedEntry* entry = (FencedEntry*)malloc(sizeof(FencedEntry));
    memset(entry, GUARD_BYTE, sizeof *entry);
    memset(entry->encryptionCert, OLD_BYTE, sizeof entry->encryptionCert);
    memset(entry->signatureCert, OLD_BYTE, sizeof entry->signatureCert);
    entry->encryptionLength = 1111;
    entry->signatureLength = 2222;

    CertificatePair pair = { &entry->encryptionLength, entry->encryptionCert, &entry->signatureLength,
                             entry->signatureCert };
    ApplyUpdateToEntry(&record, pair);

    FUZZ_CHECK(Fenced(entry->guard0) && Fenced(entry->guard1) && Fenced(entry->guard2) && Fenced(entry->guard3) &&
               Fenced(entry->guard4));

    int carriedPresent = record.encryption ? record.encryptionPresent : record.signaturePresent;
    int otherPresent = record.encryption ? record.signaturePresent : record.encryptionPresent;
    int carriedLength = record.encryption ? entry->encryptionLength : entry->signatureLength;
    int otherLength = record.encryption ? entry->signatureLength : entry->encryptionLength;
    const unsigned char* carried = record.encryption ? entry->encryptionCert : entry->signatureCert;
    const unsigned char* other = record.encryption ? entry->signatureCert : entry->encryptionCert;

    if (carriedPresent) {
        FUZZ_CHECK(carriedLength == record.length);
        FUZZ_CHECK(memcmp(carried, record.certificate, (size_t)record.length) == 0);
        FUZZ_CHECK(AllBytes(carried + record.length, UPDATE_CERT_LIMIT - (size_t)record.length, OLD_BYTE));
    } else {
        // A removed certificate keeps its bytes; only its length goes.
        FUZZ_CHECK(carriedLength == 0);
        FUZZ_CHECK(AllBytes(carried, UPDATE_CERT_LIMIT, OLD_BYTE));
    }
    // The other kind is never written, only forgotten when its flag is cleared.
    FUZZ_CHECK(AllBytes(other, UPDATE_CERT_LIMIT, OLD_BYTE));
    FUZZ_CHECK(otherLength == (otherPresent ? (record.encryption ? 2222 : 1111) : 0));
    free(entry);
    return 0;
}
