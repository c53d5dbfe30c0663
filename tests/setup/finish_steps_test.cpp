// The certificate import into a private machine store: only a whole, readable certificate of at most
// 2048 bytes lands, once. What the reader makes of DER, PEM and cut files is checked by the cert_file
// fuzz replay; the real stores, the links and the registration by the end-to-end installs, the
// registration under failing registry calls by tests/fault/setup_fault_test.cpp.
#include "setup_harness.h"

#include <wincrypt.h>

TEST(CertImport, OnlyAWholeReadableCertificateOfAtMost2048BytesLandsInTheStoreAndOnlyOnce)
{
    const char* const store = "VelmoraKitTestStore";
    CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_DELETE_FLAG, store);
    ScratchFolder folder("certs");
    const std::vector<unsigned char> der = ReadBytes(BuildFile("setup/payload-resources/8-rootca.cer"));
    ASSERT_GT(der.size(), 100u);
    // The certificate followed by padding to one byte more than the installer takes.
    std::vector<unsigned char> oversized = der;
    oversized.resize(CERTIFICATE_BUFFER_SIZE + 1, 0);
    ASSERT_TRUE(WriteBytes(folder.File("oversized.cer"), oversized));
    EXPECT_EQ(ImportCertificateFile(folder.File("oversized.cer").c_str(), store), -1) << "oversized";
    // Whole, but held open without sharing, so it cannot be read.
    std::string held = folder.File("held.cer");
    ASSERT_TRUE(WriteBytes(held, der));
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(ImportCertificateFile(held.c_str(), store), -1) << "held";
    CloseHandle(handle);
    EXPECT_EQ(CountInMachineStore(store, der), 0);
    EXPECT_EQ(ImportCertificateFile(held.c_str(), store), 0);
    EXPECT_EQ(ImportCertificateFile(held.c_str(), store), 0);
    EXPECT_EQ(CountInMachineStore(store, der), 1) << "a second import replaces, it does not duplicate";
    CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_DELETE_FLAG, store);
}
