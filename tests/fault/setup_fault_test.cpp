// The installer when the system says no: every registry call of the CSP registration failing in turn,
// a target file held open by another program, a payload resource missing, a target folder that
// cannot be written or whose paths do not fit.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "setup_harness.h"

namespace {

const char* const ImagePath = "C:\\windows\\syswow64\\KeyCsp.dll";
const char* const TrayPath = "C:\\windows\\syswow64\\KeyTray.exe";

// Counts the registry calls; the one numbered FailAt fails.
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
    return Fails("createKey") ? ERROR_ACCESS_DENIED
                              : RegCreateKeyExA(parent, subKey, reserved, keyClass, options, access, security, result,
                                                disposition);
}

LONG WINAPI OpenKey(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    return Fails("openKey") ? ERROR_ACCESS_DENIED : RegOpenKeyExA(parent, subKey, options, access, result);
}

LONG WINAPI SetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    return Fails("setValue") ? ERROR_ACCESS_DENIED : RegSetValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI DeleteKey(HKEY key, LPCSTR subKey)
{
    return Fails("deleteKey") ? ERROR_ACCESS_DENIED : RegDeleteKeyA(key, subKey);
}

LONG WINAPI CloseKey(HKEY key)
{
    // A failed close still gives the handle back, so one test's keys never pile up in the next.
    bool fails = Fails("closeKey");
    LONG result = RegCloseKey(key);
    return fails ? ERROR_INVALID_HANDLE : result;
}

class RegistryFaultTest : public CspRegistryFixture {
protected:
    // The installer's registration through the counting calls: the user's key, then the machine's
    // (over a vendor key present). The fixture puts the real calls back.
    void Register(int* user, int* machine)
    {
        RemoveCspRegistration();
        HKEY vendor = NULL;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY, &vendor), ERROR_SUCCESS);
        RegCloseKey(vendor);
        CspRegistry = { CreateKey, OpenKey, SetValue, DeleteKey, CloseKey };
        CallCount = 0;
        CallNames.clear();
        *user = RegisterCspForUser(ImagePath);
        userCalls = CallCount;
        *machine = RegisterCspForMachine(ImagePath, TrayPath);
    }
    int userCalls = 0;
};

// The rows whose old file the installer deletes or sets aside by itself (no program is started).
std::vector<const PayloadRow*> PlainRows()
{
    std::vector<const PayloadRow*> rows;
    for (const PayloadRow& row : PayloadTable)
        if ((row.handling == EXISTING_DELETE || row.handling == EXISTING_SET_ASIDE) && PayloadRowApplies(&row, 0))
            rows.push_back(&row);
    return rows;
}

std::string Describe(const PayloadRow* row)
{
    return "row " + std::to_string(row->row) + " " + row->name;
}

using DeployFaultTest = DeployFixture;

} // namespace

// A registration reported as done must be whole; one reported as failed must leave no provider key
// that applications enumerating providers would find.
TEST_F(RegistryFaultTest, EveryRegistryCallFailingInTurnLeavesAWholeRegistrationOrNone)
{
    int user = 0, machine = 0;
    FailAt = -1;
    Register(&user, &machine);
    ASSERT_EQ(user + machine, 2);
    ExpectCspRegistration(HKEY_CURRENT_USER, ImagePath);
    ExpectCspRegistration(HKEY_LOCAL_MACHINE, ImagePath, TrayPath);
    const std::vector<std::string> baseline = CallNames;
    const int machineStart = userCalls;
    ASSERT_GT(baseline.size(), 10u);
    int survived = 0;
    for (int n = 0; n < (int)baseline.size(); ++n) {
        FailAt = n;
        Register(&user, &machine);
        SCOPED_TRACE("registry call " + std::to_string(n) + " (" + baseline[n] + ") fails");
        if (user)
            ExpectCspRegistration(HKEY_CURRENT_USER, ImagePath);
        else
            EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY));
        if (machine) {
            ExpectCspRegistration(HKEY_LOCAL_MACHINE, ImagePath, TrayPath);
        } else {
            // A machine key never created stops its clean-up at the first step, which leaves the
            // vendor key that was there before.
            bool vendorStays = n >= machineStart && baseline[n] == "createKey";
            EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY));
            EXPECT_EQ(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY), vendorStays);
            EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).present);
        }
        // Only a failed close may go unnoticed; any other refusal fails the registration it belongs to.
        EXPECT_EQ(user + machine, baseline[n] == "closeKey" ? 2 : 1);
        ++survived;
    }
    printf("registry: %d injected faults survived\n", survived);
}

TEST_F(DeployFaultTest, ATargetHeldOpenByAnotherProgramIsReportedNotOverwrittenHalfway)
{
    const std::vector<unsigned char> old = { 'o', 'l', 'd' };
    for (const PayloadRow* row : PlainRows()) {
        SCOPED_TRACE(Describe(row));
        std::string target = folder->File(row->name);
        ASSERT_TRUE(WriteBytes(target, old));
        // Held the way a running program holds its own file: no sharing at all.
        HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        int written = DeployPayloadRow(setup, row, &context);
        CloseHandle(held);
        std::vector<unsigned char> now = ReadBytes(target);
        if (written) {
            EXPECT_TRUE(now == Carried(*row)) << "reported written, so it holds the payload";
        } else {
            // Not written: the old file is whole, at its name or set aside under the tick name.
            std::string stem = std::string(row->name).substr(0, strlen(row->name) - 4);
            std::vector<unsigned char> aside = ReadBytes(folder->File(stem + std::to_string(DeployTick) + ".OBK"));
            EXPECT_TRUE(now == old || aside == old) << "the old file was lost";
        }
        DeleteFileA(target.c_str());
        for (const std::string& name : FindFiles(folder->Path(), "*.OBK"))
            DeleteFileA(folder->File(name).c_str());
    }
}

TEST_F(DeployFaultTest, ARowThatCannotBeWrittenFailsWithoutTouchingAnything)
{
    std::string blocker = folder->File("not-a-folder");
    ASSERT_TRUE(WriteBytes(blocker, { 'x' }));
    std::string overlong = folder->Path() + "\\";
    overlong.resize(INSTALL_PATH_SIZE - 1 - 8, 'd');   // no payload name fits after it
    // What each fault changes: the row's resource, or the target folder.
    const struct { const char* what; bool otherId, otherType; std::string dir; } faults[] = {
        { "no resource of that id", true, false, folder->Path() },
        { "the id under another type, which is part of its name", false, true, folder->Path() },
        { "a file where the folder should be", false, false, blocker },
        { "a folder that is not there", false, false, folder->File("missing\\deeper") },
        { "a folder too long for the work path", false, false, overlong },
    };
    for (const auto& fault : faults) {
        lstrcpynA(context.targetDir, fault.dir.c_str(), sizeof context.targetDir);
        for (const PayloadRow* plain : PlainRows()) {
            SCOPED_TRACE(std::string(fault.what) + ", " + Describe(plain));
            PayloadRow row = *plain;
            if (fault.otherId)
                row.id = 9999;
            if (fault.otherType)
                row.type = strcmp(row.type, "DLL") == 0 ? "EXE" : "DLL";
            EXPECT_EQ(DeployPayloadRow(setup, &row, &context), 0);
            EXPECT_FALSE(FileExists(fault.dir + "\\" + row.name)) << "an empty file was left";
            if (fault.dir == overlong) {
                EXPECT_EQ(context.workPath[0], '\0') << "a refused path must not be left cut";
            }
        }
    }
    EXPECT_TRUE(RecordedPauses.empty()) << "no old file was there to handle";
    EXPECT_TRUE(ReadBytes(blocker) == std::vector<unsigned char>({ 'x' }));
    EXPECT_EQ(FindFiles(folder->Path(), "*").size(), 1u) << "nothing but the blocking file";
}
