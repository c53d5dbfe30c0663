// The steps after the payload is written: the token driver (with the Plug and Play calls replaced),
// the certificate import into a private machine store, the Start-menu links and the CSP registration
// on the real registry keys. Its clean-up after each failing registry call is in
// tests/fault/setup_fault_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>
#include <newdev.h>
#include <setupapi.h>
#include <wincrypt.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "setup_harness.h"
#include "win_harness.h"

namespace {

const char* const Inf = "C:\\windows\\system32\\VKEYDRV.INF";

// What the fakes answer, and each call they saw with the arguments that matter.
BOOL UpdateResult, CopyResult;
DWORD UpdateError;
std::vector<std::string> Calls;

BOOL WINAPI FakeUpdate(HWND owner, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot)
{
    char call[512];
    snprintf(call, sizeof call, "update %s %s flags %lu%s%s", hardwareId, infPath, (unsigned long)flags,
             owner == GetDesktopWindow() ? "" : " not owned by the desktop", reboot ? " asks about restarts" : "");
    Calls.push_back(call);
    SetLastError(UpdateError);
    return UpdateResult;
}

BOOL WINAPI FakeCopy(PCSTR source, PCSTR mediaLocation, DWORD mediaType, DWORD copyStyle, PSTR, DWORD destinationSize,
                     PDWORD requiredSize, PSTR* component)
{
    char call[512];
    snprintf(call, sizeof call, "copy %s type %lu style %lu into %lu bytes%s%s%s", source, (unsigned long)mediaType,
             (unsigned long)copyStyle, (unsigned long)destinationSize, mediaLocation ? " with a media location" : "",
             requiredSize ? "" : " without the required size", component ? " asks for the component" : "");
    Calls.push_back(call);
    return CopyResult;
}

TEST(DriverInstall, ForcesTheTokenDriverAndStagesItWhenNoTokenIsPresent)
{
    const DriverApi saved = TokenDriverApi;
    TokenDriverApi = { FakeUpdate, FakeCopy };
    // Forced for the token's hardware id, never asking about restarts; staged from its own path.
    const std::string update = "update USB\\VID_5E2B&PID_0001 " + std::string(Inf) + " flags "
                               + std::to_string(INSTALLFLAG_FORCE);
    const std::string copy = "copy " + std::string(Inf) + " type " + std::to_string(SPOST_PATH) + " style 0 into 256 bytes";
    struct Case { const char* what; BOOL update; DWORD error; BOOL copy; int result; bool staged; };
    const Case cases[] = {
        { "installed for a present token", TRUE, 0, FALSE, 0, false },
        { "no token: staged", FALSE, ERROR_NO_SUCH_DEVINST, TRUE, 0, true },
        { "no token, staging failed", FALSE, ERROR_NO_SUCH_DEVINST, FALSE, -1, true },
        { "refused", FALSE, ERROR_ACCESS_DENIED, TRUE, -1, false },
        { "refused under WOW64", FALSE, ERROR_IN_WOW64, TRUE, -1, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateResult = c.update;
        UpdateError = c.error;
        CopyResult = c.copy;
        Calls.clear();
        EXPECT_EQ(InstallTokenDriver(Inf), c.result);
        std::vector<std::string> expected = { update };
        if (c.staged)
            expected.push_back(copy);
        EXPECT_EQ(Calls, expected);
    }
    TokenDriverApi = saved;
}

const char* const TestStore = "VelmoraKitTestStore";

void DeleteTestStore()
{
    CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_DELETE_FLAG, TestStore);
}

TEST(CertImport, OnlyAWholeReadableDerCertificateLandsInTheStoreAndOnlyOnce)
{
    DeleteTestStore();
    ScratchFolder folder("certs");
    const std::vector<unsigned char> der = ReadBytes(BuildFile("setup/payload-resources/8-rootca.cer"));
    ASSERT_GT(der.size(), 100u);
    DWORD pemLength = 0;
    CryptBinaryToStringA(der.data(), (DWORD)der.size(), CRYPT_STRING_BASE64HEADER, NULL, &pemLength);
    std::string pem(pemLength, '\0');
    CryptBinaryToStringA(der.data(), (DWORD)der.size(), CRYPT_STRING_BASE64HEADER, &pem[0], &pemLength);
    pem.resize(pemLength);
    // The certificate followed by padding to one byte more than the buffer holds.
    std::vector<unsigned char> oversized = der;
    oversized.resize(CERTIFICATE_BUFFER_SIZE + 1, 0);

    struct Case { const char* name; std::vector<unsigned char> bytes; };
    const Case cases[] = {
        { "pem", std::vector<unsigned char>(pem.begin(), pem.end()) },
        { "oversized", oversized },
        { "cut", std::vector<unsigned char>(der.begin(), der.begin() + der.size() / 2) },
        { "empty", {} },
    };
    for (const Case& c : cases) {
        std::string path = folder.File(std::string(c.name) + ".cer");
        ASSERT_TRUE(WriteBytes(path, c.bytes));
        EXPECT_EQ(ImportCertificateFile(path.c_str(), TestStore), -1) << c.name;
    }
    EXPECT_EQ(ImportCertificateFile(folder.File("absent.cer").c_str(), TestStore), -1) << "absent";
    // Whole, but held open without sharing, so it cannot be read.
    std::string held = folder.File("held.cer");
    ASSERT_TRUE(WriteBytes(held, der));
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ImportCertificateFile(held.c_str(), TestStore), -1) << "held";
    CloseHandle(handle);
    EXPECT_EQ(CountInMachineStore(TestStore, der), 0);
    // Released, the same file imports.
    EXPECT_EQ(ImportCertificateFile(held.c_str(), TestStore), 0);
    EXPECT_EQ(ImportCertificateFile(held.c_str(), TestStore), 0);
    EXPECT_EQ(CountInMachineStore(TestStore, der), 1) << "a second import replaces, it does not duplicate";
    DeleteTestStore();
}

TEST(StartMenuShortcuts, MakeTheKitFolderWithBothLinksOverAnyEarlierOnes)
{
    RemoveTree(KitMenuFolder());
    ScratchFolder kit("menu");
    std::string manager = kit.File("KeyManager.exe");
    std::string uninstaller = kit.File("KeyUninstall.exe");
    std::string other = kit.File("程序.exe");
    for (const std::string& program : { manager, uninstaller, other })
        ASSERT_TRUE(WriteBytes(program, { 'M', 'Z' }));
    // A link of an earlier installation, to another program with arguments.
    ASSERT_TRUE(CreateDirectoryA(KitMenuFolder().c_str(), NULL));
    ASSERT_EQ(CreateShellShortcut(other.c_str(), (KitMenuFolder() + MANAGER_LINK).c_str(), "-x"), 1);
    ASSERT_EQ(ReadShellLink(KitMenuFolder() + MANAGER_LINK).target, other);
    // A link path longer than the wide buffer is refused, not passed on unterminated.
    const std::string tooLong = KitMenuFolder() + "\\" + std::string(300, 'l') + ".lnk";
    EXPECT_EQ(CreateShellShortcut(other.c_str(), tooLong.c_str(), ""), 0);

    // Twice: the existing folder is reused and the links are rewritten, not duplicated.
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        CreateStartMenuShortcuts(manager.c_str(), uninstaller.c_str());
        ShellLinkInfo managerLink = ReadShellLink(KitMenuFolder() + MANAGER_LINK);
        EXPECT_EQ(managerLink.target, manager);
        EXPECT_EQ(managerLink.arguments, "");
        EXPECT_EQ(ReadShellLink(KitMenuFolder() + UNINSTALLER_LINK).target, uninstaller);
        EXPECT_EQ(FindFiles(KitMenuFolder(), "*").size(), 2u);
    }
    RemoveTree(KitMenuFolder());
}

const char* const ImagePath = "C:\\windows\\syswow64\\KeyCsp.dll";
const char* const TrayPath = "C:\\windows\\syswow64\\KeyTray.exe";

class CspRegistryTest : public CspRegistryFixture {};

TEST_F(CspRegistryTest, RegisteringOverAnOldRegistrationAndUnregisteringReportWhatWasThere)
{
    EXPECT_EQ(UnregisterCspForUser(), 0) << "nothing to unregister";
    EXPECT_EQ(UnregisterCspForMachine(), 0) << "nothing to unregister";
    ASSERT_EQ(RegisterCspForUser("C:\\old\\KeyCsp.dll"), 1);
    ASSERT_EQ(RegisterCspForMachine("C:\\old\\KeyCsp.dll", "C:\\old\\KeyTray.exe"), 1);
    ASSERT_EQ(RegisterCspForUser(ImagePath), 1);
    ASSERT_EQ(RegisterCspForMachine(ImagePath, TrayPath), 1);
    ExpectCspRegistration(HKEY_CURRENT_USER, ImagePath);
    ExpectCspRegistration(HKEY_LOCAL_MACHINE, ImagePath, TrayPath);

    EXPECT_EQ(UnregisterCspForUser(), 1);
    EXPECT_EQ(UnregisterCspForMachine(), 0) << "no vendor key to delete";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY));
    EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).present) << "the Run value is never deleted here";
}

} // namespace
