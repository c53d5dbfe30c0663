// ImportCertificateFile against a private local machine store: DER, PEM, cut, missing and oversized files.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "setup.h"
#include "setup_harness.h"
#include "win_harness.h"

namespace {

const char* const TestStore = "VelmoraKitTestStore";

void DeleteTestStore()
{
    CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_DELETE_FLAG, TestStore);
}

std::vector<unsigned char> RootCertificate()
{
    return ReadBytes(BuildFile("setup/payload-resources/8-rootca.cer"));
}

class CertImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteTestStore();
        der = RootCertificate();
        ASSERT_GT(der.size(), 100u);
    }
    void TearDown() override { DeleteTestStore(); }
    ScratchFolder folder { "certs" };
    std::vector<unsigned char> der;
};

} // namespace

TEST_F(CertImportTest, ADerCertificateLandsInTheStoreOnce)
{
    std::string path = folder.File("rootca.cer");
    ASSERT_TRUE(WriteBytes(path, der));
    EXPECT_EQ(ImportCertificateFile(path.c_str(), TestStore), 0);
    EXPECT_EQ(ImportCertificateFile(path.c_str(), TestStore), 0);
    EXPECT_EQ(CountInMachineStore(TestStore, der), 1) << "a second import replaces, it does not duplicate";
}

TEST_F(CertImportTest, WhatIsNoWholeDerCertificateIsRefused)
{
    DWORD pemLength = 0;
    CryptBinaryToStringA(der.data(), (DWORD)der.size(), CRYPT_STRING_BASE64HEADER, NULL, &pemLength);
    std::string pem(pemLength, '\0');
    CryptBinaryToStringA(der.data(), (DWORD)der.size(), CRYPT_STRING_BASE64HEADER, &pem[0], &pemLength);
    pem.resize(pemLength);

    std::vector<unsigned char> oversized = der;
    oversized.resize(CERTIFICATE_BUFFER_SIZE + 1, 0);
    std::vector<unsigned char> cut(der.begin(), der.begin() + der.size() / 2);

    struct Case { const char* name; std::vector<unsigned char> bytes; };
    const Case cases[] = {
        { "pem", std::vector<unsigned char>(pem.begin(), pem.end()) },
        { "oversized", oversized },
        { "cut", cut },
        { "empty", {} },
    };
    for (const Case& c : cases) {
        std::string path = folder.File(std::string(c.name) + ".cer");
        ASSERT_TRUE(WriteBytes(path, c.bytes));
        EXPECT_EQ(ImportCertificateFile(path.c_str(), TestStore), -1) << c.name;
    }
    EXPECT_EQ(ImportCertificateFile(folder.File("absent.cer").c_str(), TestStore), -1);
    EXPECT_EQ(CountInMachineStore(TestStore, der), 0);
}
