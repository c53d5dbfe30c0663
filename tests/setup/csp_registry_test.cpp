// The CSP and autostart registration on the real keys, with one registry call made to fail through
// CspRegistry to see each clean-up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup.h"
#include "setup_harness.h"

namespace {

const char* const ImagePath = "C:\\windows\\syswow64\\KeyCsp.dll";
const char* const TrayPath = "C:\\windows\\syswow64\\KeyTray.exe";

// The value name whose write fails, or the key whose opening fails; empty for none.
std::string FailingValue;
std::string FailingOpen;

LONG WINAPI SetValueFailingOne(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    if (name && FailingValue == name)
        return ERROR_ACCESS_DENIED;
    return RegSetValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI OpenKeyFailingOne(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    if (subKey && FailingOpen == subKey)
        return ERROR_ACCESS_DENIED;
    return RegOpenKeyExA(parent, subKey, options, access, result);
}

std::vector<unsigned char> NumberBytes(DWORD number)
{
    const unsigned char* p = (const unsigned char*)&number;
    return std::vector<unsigned char>(p, p + sizeof number);
}

void RemoveEverything()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, CSP_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY);
    HKEY run = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, RUN_VALUE);
        RegCloseKey(run);
    }
}

class CspRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = CspRegistry;
        CspRegistry.setValue = SetValueFailingOne;
        CspRegistry.openKey = OpenKeyFailingOne;
        FailingValue.clear();
        FailingOpen.clear();
        RemoveEverything();
    }
    void TearDown() override
    {
        CspRegistry = saved;
        RemoveEverything();
    }
    RegistryApi saved;
};

struct ExpectedValue { const char* name; DWORD type; std::vector<unsigned char> data; };

void ExpectValues(HKEY root, const std::vector<ExpectedValue>& values)
{
    for (const ExpectedValue& want : values) {
        RegistryValue got = ReadRegistryValue(root, CSP_KEY, want.name);
        ASSERT_TRUE(got.present) << want.name;
        EXPECT_EQ(got.type, want.type) << want.name;
        EXPECT_TRUE(got.data == want.data) << want.name;
    }
}

} // namespace

TEST_F(CspRegistryTest, UserRegistrationWritesItsFiveValues)
{
    ASSERT_EQ(RegisterCspForUser(ImagePath), 1);
    std::vector<unsigned char> signature(CspSignature, CspSignature + CSP_SIGNATURE_SIZE);
    ExpectValues(HKEY_CURRENT_USER, { { "Image Path", REG_SZ, TextValueBytes(ImagePath) },
                                      { "Type", REG_DWORD, NumberBytes(1) },
                                      { "KeyEvent", REG_DWORD, NumberBytes(0) },
                                      { "PinTimeout", REG_DWORD, NumberBytes(0) },
                                      { "Signature", REG_BINARY, signature } });
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY));
}

TEST_F(CspRegistryTest, MachineRegistrationWritesTheKeyAndTheAutostart)
{
    ASSERT_EQ(RegisterCspForMachine(ImagePath, TrayPath), 1);
    std::vector<unsigned char> signature(CspSignature, CspSignature + CSP_SIGNATURE_SIZE);
    ExpectValues(HKEY_LOCAL_MACHINE, { { "Image Path", REG_SZ, TextValueBytes(ImagePath) },
                                       { "Type", REG_DWORD, NumberBytes(1) },
                                       { "Signature", REG_BINARY, signature } });
    EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, CSP_KEY, "KeyEvent").present) << "the user key's values only";
    RegistryValue run = ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE);
    EXPECT_EQ(run.type, (DWORD)REG_SZ);
    EXPECT_TRUE(run.data == TextValueBytes(TrayPath));
}

TEST_F(CspRegistryTest, RegisteringTwiceRewritesTheSameValues)
{
    ASSERT_EQ(RegisterCspForUser("C:\\old\\KeyCsp.dll"), 1);
    ASSERT_EQ(RegisterCspForUser(ImagePath), 1);
    ASSERT_EQ(RegisterCspForMachine(ImagePath, TrayPath), 1);
    ASSERT_EQ(RegisterCspForMachine(ImagePath, TrayPath), 1);
    EXPECT_TRUE(ReadRegistryValue(HKEY_CURRENT_USER, CSP_KEY, "Image Path").data == TextValueBytes(ImagePath));
    EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).data == TextValueBytes(TrayPath));
}

TEST_F(CspRegistryTest, AFailedUserWriteRemovesTheUserKey)
{
    for (const char* failing : { "Image Path", "Type", "KeyEvent", "PinTimeout", "Signature" }) {
        FailingValue = failing;
        EXPECT_EQ(RegisterCspForUser(ImagePath), 0) << failing;
        EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY)) << failing;
    }
}

TEST_F(CspRegistryTest, AFailedMachineStepRemovesTheMachineKeysButNotTheUserKey)
{
    struct Case { const char* value; const char* open; };
    const Case cases[] = { { "Image Path", "" }, { "Type", "" }, { "Signature", "" }, { RUN_VALUE, "" },
                           { "", RUN_KEY } };
    for (const Case& c : cases) {
        ASSERT_EQ(RegisterCspForUser(ImagePath), 1);
        HKEY vendor = NULL;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY, &vendor), ERROR_SUCCESS);
        RegCloseKey(vendor);
        FailingValue = c.value;
        FailingOpen = c.open;
        EXPECT_EQ(RegisterCspForMachine(ImagePath, TrayPath), 0) << c.value << c.open;
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY)) << c.value << c.open;
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY)) << c.value << c.open;
        EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).present) << c.value << c.open;
        EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY)) << c.value << c.open;
        FailingValue.clear();
        FailingOpen.clear();
    }
}

TEST_F(CspRegistryTest, UnregisteringReportsWhetherAllWasThere)
{
    EXPECT_EQ(UnregisterCspForUser(), 0);
    EXPECT_EQ(UnregisterCspForMachine(), 0);
    ASSERT_EQ(RegisterCspForUser(ImagePath), 1);
    EXPECT_EQ(UnregisterCspForUser(), 1);
    ASSERT_EQ(RegisterCspForMachine(ImagePath, TrayPath), 1);
    EXPECT_EQ(UnregisterCspForMachine(), 0) << "no vendor key to delete";
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY));
    EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).present) << "the Run value is never deleted here";
}
