// The certificate import into a private machine store: a certificate file over 2048 bytes is refused,
// and a second import replaces. What the reader makes of DER, PEM and cut files: the cert_file replay.
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
    std::string whole = folder.File("whole.cer");
    ASSERT_TRUE(WriteBytes(whole, der));
    EXPECT_EQ(CountInMachineStore(store, der), 0);
    EXPECT_EQ(ImportCertificateFile(whole.c_str(), store), 0);
    EXPECT_EQ(ImportCertificateFile(whole.c_str(), store), 0);
    EXPECT_EQ(CountInMachineStore(store, der), 1) << "a second import replaces, it does not duplicate";
    CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_DELETE_FLAG, store);
}
