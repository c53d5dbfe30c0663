// Fuzz target: certificate update records as another program leaves them in the registry, decoded
// and applied to a container entry whose lengths and certificates are allocations of their own, so
// that a write past any of them is caught.
#include "fuzz_check.h"
#include "update_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Taken exactly when the header is complete, the slot and entry exist, and the declared
    // certificate is within the limit and inside the record; every field as in the bytes.
    UpdateRecord record;
    size_t declared = size >= UPDATE_HEADER_SIZE ? (size_t)(data[5] << 8 | data[6]) : 0;
    bool wellFormed = size >= UPDATE_HEADER_SIZE && data[0] < UPDATE_SLOT_COUNT && data[1] < UPDATE_ENTRY_COUNT &&
                      declared <= UPDATE_CERT_LIMIT && UPDATE_HEADER_SIZE + declared <= size;
    int decoded = DecodeUpdateRecord(data, size, &record);
    FUZZ_CHECK(decoded == (int)wellFormed);
    if (!decoded)
        return 0;
    FUZZ_CHECK(record.slot == data[0] && record.entry == data[1] && record.length == (int)declared);
    FUZZ_CHECK(record.certificate == data + UPDATE_HEADER_SIZE);
    // Kind 1 is the encryption certificate, any other the signature certificate.
    FUZZ_CHECK(!record.encryption == (data[2] != 1));
    FUZZ_CHECK(!record.encryptionPresent == !data[3] && !record.signaturePresent == !data[4]);

    const unsigned char OLD = 0x5C;
    int* lengths[2] = { new int(1111), new int(2222) }; // encryption, signature
    unsigned char* certificates[2] = { new unsigned char[UPDATE_CERT_LIMIT], new unsigned char[UPDATE_CERT_LIMIT] };
    memset(certificates[0], OLD, UPDATE_CERT_LIMIT);
    memset(certificates[1], OLD, UPDATE_CERT_LIMIT);
    ApplyUpdateToEntry(&record, CertificatePair{ lengths[0], certificates[0], lengths[1], certificates[1] });
    int carried = record.encryption ? 0 : 1, other = 1 - carried;
    int present[2] = { record.encryptionPresent, record.signaturePresent };
    if (present[carried]) {
        FUZZ_CHECK(*lengths[carried] == record.length);
        FUZZ_CHECK(memcmp(certificates[carried], record.certificate, (size_t)record.length) == 0);
        FUZZ_CHECK(AllBytes(certificates[carried] + record.length, UPDATE_CERT_LIMIT - (size_t)record.length, OLD));
    } else {
        // A removed certificate keeps its bytes; only its length goes.
        FUZZ_CHECK(*lengths[carried] == 0 && AllBytes(certificates[carried], UPDATE_CERT_LIMIT, OLD));
    }
    // The other kind is never written, only forgotten when its flag is cleared.
    FUZZ_CHECK(AllBytes(certificates[other], UPDATE_CERT_LIMIT, OLD));
    FUZZ_CHECK(*lengths[other] == (present[other] ? 1111 * (other + 1) : 0));
    for (int kind = 0; kind < 2; ++kind) {
        delete lengths[kind];
        delete[] certificates[kind];
    }
    return 0;
}
