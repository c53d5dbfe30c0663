// The installer when the system says no: every registry call of the CSP registration failing in turn,
// a target file held open, a payload resource missing, a target folder unwritable or too long.
#include <string.h>

#include "setup_harness.h"

namespace {

const char* const ImagePath = "C:\\windows\\syswow64\\KeyCsp.dll";
const char* const TrayPath = "C:\\windows\\syswow64\\KeyTray.exe";

// Counts the registry calls by name; the one numbered FailAt fails.
int FailAt = -1;
std::vector<std::string> CallNames;

bool Fails(const char* name)
{
    CallNames.push_back(name);
    return (int)CallNames.size() - 1 == FailAt;
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

// A failed close still gives the handle back, so one round's keys never pile up in the next.
LONG WINAPI CloseKey(HKEY key)
{
    bool fails = Fails("closeKey");
    LONG result = RegCloseKey(key);
    return fails ? ERROR_INVALID_HANDLE : result;
}

// The registration through the counting calls: the user's key, then the machine's over a vendor key
// present. Returns the number of calls the user's part made.
int Register(int* user, int* machine)
{
    RemoveCspRegistration();
    HKEY vendor = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY, 0, NULL, 0, KEY_SET_VALUE | KitView, NULL, &vendor, NULL)
        == ERROR_SUCCESS)
        RegCloseKey(vendor);
    const RegistryApi saved = CspRegistry;
    CspRegistry = { CreateKey, OpenKey, SetValue, DeleteKey, CloseKey };
    CallNames.clear();
    *user = RegisterCspForUser(ImagePath);
    int userCalls = (int)CallNames.size();
    *machine = RegisterCspForMachine(ImagePath, TrayPath);
    CspRegistry = saved;
    return userCalls;
}

// The rows whose old file the installer deletes or sets aside by itself (no program is started).
std::vector<const PayloadRow*> PlainRows()
{
    std::vector<const PayloadRow*> rows;
    for (const PayloadRow& row : PayloadTable)
        if ((row.handling == EXISTING_DELETE || row.handling == EXISTING_SET_ASIDE) && PayloadRowApplies(&row, 0))
            rows.push_back(&row);
    return rows;
}

using DeployFaultTest = DeployFixture;

} // namespace

// A registration reported as done must be whole; one reported as failed must leave no provider key
// that applications enumerating providers would find.
TEST(RegistryFault, EveryRegistryCallFailingInTurnLeavesAWholeRegistrationOrNone)
{
    int user = 0, machine = 0;
    FailAt = -1;
    const int machineStart = Register(&user, &machine);
    ASSERT_EQ(user + machine, 2);
    const std::vector<std::string> baseline = CallNames;
    for (FailAt = 0; FailAt < (int)baseline.size(); ++FailAt) {
        Register(&user, &machine);
        SCOPED_TRACE("registry call " + std::to_string(FailAt) + " (" + baseline[FailAt] + ") fails");
        if (user)
            ExpectCspRegistration(HKEY_CURRENT_USER, ImagePath);
        else
            EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY));
        if (machine) {
            ExpectCspRegistration(HKEY_LOCAL_MACHINE, ImagePath, TrayPath);
        } else {
            // A machine key never created stops its clean-up at the first step, which leaves the
            // vendor key that was there before.
            EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY, KitView));
            EXPECT_EQ(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY, KitView),
                      FailAt >= machineStart && baseline[FailAt] == "createKey");
            EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE, KitView).present);
        }
        // Only a failed close may go unnoticed; any other refusal fails the registration it belongs to.
        EXPECT_EQ(user + machine, baseline[FailAt] == "closeKey" ? 2 : 1);
    }
    RemoveCspRegistration();
}

TEST_F(DeployFaultTest, ARowNotWrittenLeavesTheOldFileWholeAndNoFileOrPathHalfMade)
{
    // Held the way a running program holds its own file: no sharing at all.
    const std::vector<unsigned char> old = { 'o', 'l', 'd' };
    for (const PayloadRow* row : PlainRows()) {
        SCOPED_TRACE(std::string("held: ") + row->name);
        std::string target = folder->File(row->name);
        ASSERT_TRUE(WriteBytes(target, old));
        HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        int written = DeployPayloadRow(setup, row, &context);
        CloseHandle(held);
        std::string aside = std::string(row->name, strlen(row->name) - 4) + std::to_string(DeployTick) + ".OBK";
        if (written)
            EXPECT_TRUE(ReadBytes(target) == Carried(*row)) << "reported written, so it holds the payload";
        else
            EXPECT_TRUE(ReadBytes(target) == old || ReadBytes(folder->File(aside)) == old) << "the old file was lost";
        RemoveTree(folder->Path());
        CreateDirectoryA(folder->Path().c_str(), NULL);
    }

    std::string blocker = folder->File("not-a-folder");
    ASSERT_TRUE(WriteBytes(blocker, { 'x' }));
    std::string overlong = folder->Path() + "\\";
    overlong.resize(INSTALL_PATH_SIZE - 1 - 8, 'd');   // no payload name fits after it
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
            SCOPED_TRACE(std::string(fault.what) + ": " + plain->name);
            PayloadRow row = *plain;
            row.id = fault.otherId ? 9999 : row.id;
            if (fault.otherType)
                row.type = strcmp(row.type, "DLL") == 0 ? "EXE" : "DLL";
            EXPECT_EQ(DeployPayloadRow(setup, &row, &context), 0);
            EXPECT_FALSE(FileExists(fault.dir + "\\" + row.name)) << "an empty file was left";
            EXPECT_TRUE(fault.dir != overlong || context.workPath[0] == '\0') << "a refused path must not be left cut";
        }
    }
    EXPECT_TRUE(ReadBytes(blocker) == std::vector<unsigned char>({ 'x' }));
    EXPECT_EQ(FindFiles(folder->Path(), "*").size(), 1u) << "nothing but the blocking file";

    // A kit directory too long for its paths is refused before anything is written, and so is a link
    // path too long for the wide buffer. "\KeyUninstall.exe" needs 17 more bytes and the zero.
    std::string fits(INSTALL_PATH_SIZE - 1 - 17, 'd');
    EXPECT_EQ(BuildInstallContext(&context, fits.c_str(), 0), 1);
    EXPECT_EQ(BuildInstallContext(&context, (fits + "d").c_str(), 0), 0);
    EXPECT_EQ(context.targetDir[0], '\0');
    EXPECT_EQ(context.uninstallerPath[0], '\0');
    std::string link = folder->File(std::string(INSTALL_PATH_SIZE, 'l') + ".lnk");
    EXPECT_EQ(CreateShellShortcut(blocker.c_str(), link.c_str(), ""), 0);
}
