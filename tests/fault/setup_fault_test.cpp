// The installer when the system says no: every registry call of the CSP registration failing in turn,
// a target file held open by another program, a payload resource missing, a target folder that
// cannot be written, certificate files that do not fit.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "setup.h"
#include "setup_harness.h"

namespace {

const char* const ImagePath = "C:\\windows\\syswow64\\KeyCsp.dll";
const char* const TrayPath = "C:\\windows\\syswow64\\KeyTray.exe";

// Counts the registry calls; the one numbered FailAt fails with access denied.
int CallCount;
int FailAt = -1;
std::vector<std::string> CallNames;

bool Fails(const char* name)
{
    CallNames.push_back(name);
    return CallCount++ == FailAt;
}

LONG WINAPI CreateKey(HKEY parent, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                      LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    if (Fails("createKey"))
        return ERROR_ACCESS_DENIED;
    return RegCreateKeyExA(parent, subKey, reserved, keyClass, options, access, security, result, disposition);
}

LONG WINAPI OpenKey(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    if (Fails("openKey"))
        return ERROR_ACCESS_DENIED;
    return RegOpenKeyExA(parent, subKey, options, access, result);
}

LONG WINAPI SetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    if (Fails("setValue"))
        return ERROR_ACCESS_DENIED;
    return RegSetValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI DeleteKey(HKEY key, LPCSTR subKey)
{
    if (Fails("deleteKey"))
        return ERROR_ACCESS_DENIED;
    return RegDeleteKeyA(key, subKey);
}

LONG WINAPI CloseKey(HKEY key)
{
    // A failed close still gives the handle back, so one test's keys never pile up in the next.
    bool fails = Fails("closeKey");
    LONG result = RegCloseKey(key);
    return fails ? ERROR_INVALID_HANDLE : result;
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

// A registration the installer reports as done must be whole; one it reports as failed must leave
// no provider key that applications enumerating providers would find.
// vendorStays: the machine key was never created, so its unregistration stops at its first step and
// leaves a provider vendor key that was there before.
void ExpectStateMatches(int user, int machine, bool vendorStays, const std::string& what)
{
    if (user) {
        for (const char* name : { "Image Path", "Type", "KeyEvent", "PinTimeout", "Signature" })
            EXPECT_TRUE(ReadRegistryValue(HKEY_CURRENT_USER, CSP_KEY, name).present) << what << ": user " << name;
    } else {
        EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY)) << what;
    }
    if (machine) {
        for (const char* name : { "Image Path", "Type", "Signature" })
            EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, CSP_KEY, name).present) << what << ": machine " << name;
        EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).present) << what;
    } else {
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY)) << what;
        EXPECT_EQ(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY), vendorStays) << what;
        EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).present) << what;
    }
}

class RegistryFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = CspRegistry;
        CspRegistry = { CreateKey, OpenKey, SetValue, DeleteKey, CloseKey };
        RemoveEverything();
    }
    void TearDown() override
    {
        CspRegistry = saved;
        FailAt = -1;
        RemoveEverything();
    }
    // The installer's registration: the user's key, then the machine's (over a vendor key present).
    void Register(int* user, int* machine)
    {
        RemoveEverything();
        HKEY vendor = NULL;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY, &vendor), ERROR_SUCCESS);
        RegCloseKey(vendor);
        CallCount = 0;
        CallNames.clear();
        *user = RegisterCspForUser(ImagePath);
        userCalls = CallCount;
        *machine = RegisterCspForMachine(ImagePath, TrayPath);
    }
    RegistryApi saved;
    int userCalls = 0;
};

TEST_F(RegistryFaultTest, EveryRegistryCallFailingInTurnLeavesAWholeRegistrationOrNone)
{
    int user = 0, machine = 0;
    FailAt = -1;
    Register(&user, &machine);
    ASSERT_EQ(user + machine, 2);
    std::vector<std::string> baseline = CallNames;
    int machineStart = userCalls;
    ASSERT_GT(baseline.size(), 10u);
    int survived = 0;
    for (int n = 0; n < (int)baseline.size(); ++n) {
        FailAt = n;
        Register(&user, &machine);
        std::string what = "registry call " + std::to_string(n) + " (" + baseline[n] + ") fails";
        ExpectStateMatches(user, machine, n >= machineStart && baseline[n] == "createKey", what);
        // Only a failed close may go unnoticed; any other refusal fails the registration it belongs to.
        if (baseline[n] != "closeKey")
            EXPECT_EQ(user + machine, 1) << what;
        else
            EXPECT_EQ(user + machine, 2) << what;
        ++survived;
    }
    printf("registry: %d injected faults survived\n", survived);
}

std::vector<DWORD> Pauses;
void WINAPI RecordPause(DWORD milliseconds)
{
    Pauses.push_back(milliseconds);
}
DWORD WINAPI FixedTick(void)
{
    return 424242;
}

class DeployFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedClock = DeployClock;
        DeployClock.pause = RecordPause;
        DeployClock.tick = FixedTick;
        folder.reset(new ScratchFolder(std::string("fault-") + ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        ZeroMemory(&context, sizeof context);
        lstrcpynA(context.targetDir, folder->Path().c_str(), sizeof context.targetDir);
        setup = LoadSetupResources();
        ASSERT_NE(setup, (HMODULE)NULL);
    }
    void TearDown() override
    {
        DeployClock = savedClock;
        folder.reset();
    }
    // The rows whose old file the installer deletes or sets aside by itself (no program is started).
    static std::vector<const PayloadRow*> PlainRows()
    {
        std::vector<const PayloadRow*> rows;
        for (const PayloadRow& row : PayloadTable)
            if ((row.handling == EXISTING_DELETE || row.handling == EXISTING_SET_ASIDE) && PayloadRowApplies(&row, 0))
                rows.push_back(&row);
        return rows;
    }
    DeployTiming savedClock;
    std::unique_ptr<ScratchFolder> folder;
    InstallContext context;
    HMODULE setup = NULL;
};

TEST_F(DeployFaultTest, ATargetHeldOpenByAnotherProgramIsReportedNotOverwrittenHalfway)
{
    const std::vector<unsigned char> old = { 'o', 'l', 'd' };
    for (const PayloadRow* row : PlainRows()) {
        std::string target = folder->File(row->name);
        std::string what = std::string("row ") + std::to_string(row->row) + " " + row->name;
        ASSERT_TRUE(WriteBytes(target, old)) << what;
        // Held the way a running program holds its own file: no sharing at all.
        HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(held, INVALID_HANDLE_VALUE) << what;
        int written = DeployPayloadRow(setup, row, &context);
        CloseHandle(held);
        std::vector<unsigned char> carried = ResourceBytes(setup, row->type, row->id);
        std::vector<unsigned char> now = ReadBytes(target);
        if (written) {
            EXPECT_TRUE(now == carried) << what << ": reported written, so it holds the payload";
        } else {
            // Not written: the old file is whole, at its name or set aside under the tick name.
            std::vector<unsigned char> aside = ReadBytes(folder->File(std::string(row->name).substr(0, strlen(row->name) - 4) + "424242.OBK"));
            EXPECT_TRUE(now == old || aside == old) << what << ": the old file was lost";
        }
        DeleteFileA(target.c_str());
        for (const std::string& name : FindFiles(folder->Path(), "*.OBK"))
            DeleteFileA(folder->File(name).c_str());
    }
}

TEST_F(DeployFaultTest, AMissingResourceWritesNothing)
{
    for (const PayloadRow* row : PlainRows()) {
        PayloadRow missing = *row;
        missing.id = 9999;
        std::string what = std::string("row ") + std::to_string(row->row) + " " + row->name;
        EXPECT_EQ(DeployPayloadRow(setup, &missing, &context), 0) << what;
        EXPECT_FALSE(FileExists(folder->File(row->name))) << what << ": an empty file was left";
    }
}

TEST_F(DeployFaultTest, AnUnwritableTargetFolderFailsEveryRowWithoutCreatingAnything)
{
    // A file where the folder should be, and a folder that is not there.
    std::string blocker = folder->File("not-a-folder");
    ASSERT_TRUE(WriteBytes(blocker, { 'x' }));
    for (const std::string& dir : { blocker, folder->File("missing\\deeper") }) {
        lstrcpynA(context.targetDir, dir.c_str(), sizeof context.targetDir);
        for (const PayloadRow* row : PlainRows()) {
            std::string what = dir + " row " + std::to_string(row->row);
            EXPECT_EQ(DeployPayloadRow(setup, row, &context), 0) << what;
            EXPECT_FALSE(FileExists(dir + "\\" + row->name)) << what;
        }
    }
    EXPECT_TRUE(ReadBytes(blocker) == std::vector<unsigned char>({ 'x' }));
    EXPECT_EQ(FindFiles(folder->Path(), "*").size(), 1u) << "nothing but the blocking file";
}

TEST_F(DeployFaultTest, CertificateFilesThatDoNotFitOrCannotBeReadAreRefused)
{
    struct Case { const char* name; long size; };
    const Case cases[] = { { "empty.cer", 0 }, { "one-over.cer", CERTIFICATE_BUFFER_SIZE + 1 }, { "large.cer", 100000 } };
    for (const Case& c : cases) {
        std::string path = folder->File(c.name);
        ASSERT_TRUE(WriteBytes(path, std::vector<unsigned char>((size_t)c.size, 0x30)));
        EXPECT_EQ(ImportCertificateFile(path.c_str(), "Root"), -1) << c.name;
    }
    EXPECT_EQ(ImportCertificateFile(folder->File("absent.cer").c_str(), "Root"), -1);
    // Held open without sharing: cannot be read, so refused.
    std::vector<unsigned char> good = ResourceBytes(setup, "DLL", 215);
    ASSERT_FALSE(good.empty());
    std::string held = folder->File("held.cer");
    ASSERT_TRUE(WriteBytes(held, good));
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ImportCertificateFile(held.c_str(), "Root"), -1);
    CloseHandle(handle);
}

} // namespace
