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
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    const unsigned char* data = found ? (const unsigned char*)LockResource(LoadResource(module, found)) : NULL;
    return data ? std::vector<unsigned char>(data, data + SizeofResource(module, found)) : std::vector<unsigned char>();
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

void ExpectCspRegistration(HKEY root, const std::string& imagePath, const std::string& trayPath)
{
    const std::vector<unsigned char> zero = { 0, 0, 0, 0 }, one = { 1, 0, 0, 0 },
                                     image(imagePath.c_str(), imagePath.c_str() + imagePath.size() + 1);
    const bool user = root == HKEY_CURRENT_USER;
    const struct { const char* name; DWORD type; std::vector<unsigned char> data; bool userOnly; } values[] = {
        { "Image Path", REG_SZ, image, false },
        { "Type", REG_DWORD, one, false },
        { "KeyEvent", REG_DWORD, zero, true },
        { "PinTimeout", REG_DWORD, zero, true },
        { "Signature", REG_BINARY, std::vector<unsigned char>(CspSignature, CspSignature + CSP_SIGNATURE_SIZE), false },
    };
    for (const auto& want : values) {
        RegistryValue got = ReadRegistryValue(root, CSP_KEY, want.name);
        if (want.userOnly && !user)
            EXPECT_FALSE(got.present) << want.name << " belongs to the user key only";
        else
            EXPECT_TRUE(got.type == want.type && got.data == want.data) << (user ? "user key: " : "machine key: ")
                                                                          << want.name;
    }
    RegistryValue run = ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE);
    EXPECT_TRUE(user || (run.type == REG_SZ && std::string(run.data.begin(), run.data.end()) == trayPath + '\0')) << "Run value";
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

void DeployFixture::SetUp()
{
    savedClock = DeployClock;
    DeployClock.pause = NoPause;
    DeployClock.tick = FixedTick;
    savedProtection = IsSystemProtectedFile;
    IsSystemProtectedFile = [](const char* path) {
        for (const std::string& protectedPath : ProtectedPaths)
            if (lstrcmpiA(protectedPath.c_str(), path) == 0)
                return 1;
        return 0;
    };
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
