// Resources, registry and the payload-writing fixture for the installer's tests.
#include "setup_harness.h"

#include <wincrypt.h>

std::string SetupProgramFile()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KIT_SETUP_EXE", path, sizeof path);
    return n > 0 && n < sizeof path ? std::string(path, n) : BuildFile("setup/KeySetup.exe");
}

HMODULE LoadSetupResources()
{
    static HMODULE module = LoadLibraryExA(SetupProgramFile().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::vector<unsigned char> ResourceBytes(HMODULE module, const char* type, int id)
{
    std::vector<unsigned char> bytes;
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (!found)
        return bytes;
    const unsigned char* data = (const unsigned char*)LockResource(LoadResource(module, found));
    if (data)
        bytes.assign(data, data + SizeofResource(module, found));
    return bytes;
}

RegistryValue ReadRegistryValue(HKEY root, const char* path, const char* name)
{
    RegistryValue value;
    unsigned char buffer[4096];
    DWORD size = sizeof buffer;
    value.present = RegGetValueA(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, buffer, &size) == ERROR_SUCCESS;
    if (value.present)
        value.data.assign(buffer, buffer + size);
    return value;
}

bool RegistryKeyExists(HKEY root, const char* path, REGSAM extraAccess)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | extraAccess, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<unsigned char> TextValueBytes(const std::string& text)
{
    return std::vector<unsigned char>(text.c_str(), text.c_str() + text.size() + 1);
}

void ExpectCspRegistration(HKEY root, const std::string& imagePath, const std::string& trayPath)
{
    const std::vector<unsigned char> zero = { 0, 0, 0, 0 }, one = { 1, 0, 0, 0 };
    const bool user = root == HKEY_CURRENT_USER;
    const struct { const char* name; DWORD type; std::vector<unsigned char> data; bool userOnly; } values[] = {
        { "Image Path", REG_SZ, TextValueBytes(imagePath), false },
        { "Type", REG_DWORD, one, false },
        { "KeyEvent", REG_DWORD, zero, true },
        { "PinTimeout", REG_DWORD, zero, true },
        { "Signature", REG_BINARY, std::vector<unsigned char>(CspSignature, CspSignature + CSP_SIGNATURE_SIZE), false },
    };
    const char* where = user ? "user key: " : "machine key: ";
    for (const auto& want : values) {
        RegistryValue got = ReadRegistryValue(root, CSP_KEY, want.name);
        if (want.userOnly && !user) {
            EXPECT_FALSE(got.present) << where << want.name << " belongs to the user key only";
            continue;
        }
        ASSERT_TRUE(got.present) << where << want.name;
        EXPECT_EQ(got.type, want.type) << where << want.name;
        EXPECT_TRUE(got.data == want.data) << where << want.name;
    }
    if (!user) {
        RegistryValue run = ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE);
        EXPECT_EQ(run.type, (DWORD)REG_SZ) << "Run value";
        EXPECT_TRUE(run.data == TextValueBytes(trayPath)) << "Run value";
    }
}

void RemoveCspRegistration()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, CSP_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE);
}

int CountInMachineStore(const char* storeName, const std::vector<unsigned char>& der)
{
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, storeName);
    int count = 0;
    for (PCCERT_CONTEXT c = store ? CertEnumCertificatesInStore(store, NULL) : NULL; c;
         c = CertEnumCertificatesInStore(store, c))
        count += c->cbCertEncoded == der.size() && memcmp(c->pbCertEncoded, der.data(), der.size()) == 0;
    if (store)
        CertCloseStore(store, 0);
    return count;
}

std::vector<std::string> ProtectedPaths;

static void WINAPI NoPause(DWORD)
{
}

static DWORD WINAPI FixedTick(void)
{
    return DeployTick;
}

static int IsInProtectedPaths(const char* path)
{
    for (const std::string& protectedPath : ProtectedPaths)
        if (lstrcmpiA(protectedPath.c_str(), path) == 0)
            return 1;
    return 0;
}

void DeployFixture::SetUp()
{
    savedClock = DeployClock;
    DeployClock.pause = NoPause;
    DeployClock.tick = FixedTick;
    savedProtection = IsSystemProtectedFile;
    IsSystemProtectedFile = IsInProtectedPaths;
    ProtectedPaths.clear();
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder.reset(new ScratchFolder(std::string(test->test_suite_name()) + "-" + test->name()));
    ZeroMemory(&context, sizeof context);
    lstrcpynA(context.targetDir, folder->Path().c_str(), sizeof context.targetDir);
    setup = LoadSetupResources();
    ASSERT_NE(setup, (HMODULE)NULL) << "build setup/KeySetup.exe first";
}

void DeployFixture::TearDown()
{
    DeployClock = savedClock;
    IsSystemProtectedFile = savedProtection;
    folder.reset();
}
