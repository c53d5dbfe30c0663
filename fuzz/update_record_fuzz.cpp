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
    // Taken whole exactly when the header is complete, the slot and entry exist, and the declared
    // certificate is within the limit and inside the record; otherwise refused whole.
    size_t declared = size >= UPDATE_HEADER_SIZE ? (size_t)(data[5] << 8 | data[6]) : 0;
    bool wellFormed = size >= UPDATE_HEADER_SIZE && data[0] < UPDATE_SLOT_COUNT && data[1] < UPDATE_ENTRY_COUNT &&
                      declared <= UPDATE_CERT_LIMIT && UPDATE_HEADER_SIZE + declared <= size;
    int decoded = DecodeUpdateRecord(data, size, &record);
    FUZZ_CHECK(decoded == (int)wellFormed);
    if (!decoded)
        return 0;
    // Kind 1 is the encryption certificate, any other the signature certificate.
    FUZZ_CHECK(record.slot == data[0] && record.entry == data[1] && record.length == (int)declared);
    FUZZ_CHECK(!record.encryption == (data[2] != 1));
    FUZZ_CHECK(!record.encryptionPresent == !data[3] && !record.signaturePresent == !data[4]);

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
