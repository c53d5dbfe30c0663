// Binding the token libraries: all or nothing, KeyCmd.dll only while a key is open.
#include <gtest/gtest.h>

#include "fake_token.h"
#include "manager.h"
#include "win_harness.h"

namespace {

bool AnyEntryBound(const TokenEntryName* entries, int count)
{
    for (int i = 0; i < count; ++i)
        if (*entries[i].slot)
            return true;
    return false;
}

bool AllEntriesBound(const TokenEntryName* entries, int count)
{
    for (int i = 0; i < count; ++i)
        if (!*entries[i].slot)
            return false;
    return true;
}

class FakeBindingTest : public ::testing::Test {
protected:
    void SetUp() override { token.Install(); }
    fake::Token& token = fake::Instance();
};

TEST_F(FakeBindingTest, DeviceLibrariesBindInOrderAndKeyCmdStaysUnbound)
{
    ASSERT_EQ(BindDeviceLibraries(), 1);
    EXPECT_TRUE(KeyDevModule && KeyNumModule);
    EXPECT_EQ(KeyCmdModule, (HMODULE)NULL);
    EXPECT_TRUE(AllEntriesBound(KeyDevEntries, KEYDEV_ENTRY_COUNT));
    EXPECT_TRUE(AllEntriesBound(KeyNumEntries, KEYNUM_ENTRY_COUNT));
    EXPECT_FALSE(AnyEntryBound(KeyCmdEntries, KEYCMD_ENTRY_COUNT));

    // Exit unregisters and releases KeyDev.dll; KeyNum.dll stays for the rest of the process.
    ReleaseDeviceLibrary();
    EXPECT_EQ(token.unregistrations, 1);
    EXPECT_EQ(KeyDevModule, (HMODULE)NULL);
    EXPECT_EQ(token.LoadedCount("KeyDev.dll"), 0);
    EXPECT_EQ(token.LoadedCount("KeyNum.dll"), 1);
    EXPECT_FALSE(AnyEntryBound(KeyDevEntries, KEYDEV_ENTRY_COUNT));
}

TEST_F(FakeBindingTest, AMissingDeviceLibraryOrNameLeavesNothingBound)
{
    std::vector<std::pair<std::string, std::string>> failures; // {missing library, missing name}
    failures.push_back({ "KeyDev.dll", "" });
    failures.push_back({ "KeyNum.dll", "" });
    for (const TokenEntryName& e : KeyDevEntries)
        failures.push_back({ "", e.name });
    for (const TokenEntryName& e : KeyNumEntries)
        failures.push_back({ "", e.name });

    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.first + failure.second);
        token.Install();
        if (!failure.first.empty())
            token.missingLibraries.insert(failure.first);
        if (!failure.second.empty())
            token.missingNames.insert(failure.second);
        EXPECT_EQ(BindDeviceLibraries(), 0);
        EXPECT_EQ(KeyDevModule, (HMODULE)NULL);
        EXPECT_EQ(KeyNumModule, (HMODULE)NULL);
        EXPECT_EQ(token.LoadedCount("KeyDev.dll"), 0);
        EXPECT_EQ(token.LoadedCount("KeyNum.dll"), 0);
        EXPECT_FALSE(AnyEntryBound(KeyDevEntries, KEYDEV_ENTRY_COUNT));
        EXPECT_FALSE(AnyEntryBound(KeyNumEntries, KEYNUM_ENTRY_COUNT));
    }
}

TEST_F(FakeBindingTest, OpenUsbKeyFailsWithoutKeyCmdOrAnyOfItsNames)
{
    std::vector<std::pair<std::string, std::string>> failures;
    failures.push_back({ "KeyCmd.dll", "" });
    for (const TokenEntryName& e : KeyCmdEntries)
        failures.push_back({ "", e.name });
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.first + failure.second);
        token.Install();
        token.Slot(0).present = true;
        if (!failure.first.empty())
            token.missingLibraries.insert(failure.first);
        if (!failure.second.empty())
            token.missingNames.insert(failure.second);
        EXPECT_EQ(OpenUsbKey(0), 0);
        EXPECT_EQ(KeyCmdModule, (HMODULE)NULL);
        EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
        EXPECT_FALSE(AnyEntryBound(KeyCmdEntries, KEYCMD_ENTRY_COUNT));
        EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
    }
}

TEST_F(FakeBindingTest, KeyCmdIsLoadedOnlyWhileAKeyIsOpen)
{
    token.Slot(1).present = true;
    int handle = OpenUsbKey(1);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 1);
    EXPECT_TRUE(AllEntriesBound(KeyCmdEntries, KEYCMD_ENTRY_COUNT));

    CloseUsbKey(handle);
    ASSERT_EQ(token.CountCalls("QZ_Close"), 1);
    EXPECT_EQ(token.CallsNamed("QZ_Close")[0].handle, handle);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
    EXPECT_FALSE(AnyEntryBound(KeyCmdEntries, KEYCMD_ENTRY_COUNT));

    // Closing again, with nothing bound, does nothing.
    CloseUsbKey(handle);
    EXPECT_EQ(token.CountCalls("QZ_Close"), 1);
}

TEST_F(FakeBindingTest, AnEmptySlotReleasesKeyCmdBeforeReturning)
{
    EXPECT_EQ(OpenUsbKey(2), 0);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 1);
    EXPECT_EQ(KeyCmdModule, (HMODULE)NULL);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
}

TEST_F(FakeBindingTest, ANegativeOpenIsPassedOnAndKeepsTheBindingForTheNextOpen)
{
    token.Slot(0).openResult = -3;
    token.Slot(1).present = true;
    EXPECT_EQ(OpenUsbKey(0), -3);
    EXPECT_NE(KeyCmdModule, (HMODULE)NULL);
    int handle = OpenUsbKey(1);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(token.loads["KeyCmd.dll"], 1) << "the second open reuses the binding";
    CloseUsbKey(handle);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
}

TEST_F(FakeBindingTest, CloseWithHandleZeroReleasesWithoutClosing)
{
    token.Slot(0).openResult = -1;
    EXPECT_EQ(OpenUsbKey(0), -1);
    CloseUsbKey(0);
    EXPECT_EQ(token.CountCalls("QZ_Close"), 0);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
}

// The same rules with real libraries on disk, found through the DLL search path.
class RealLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TokenLoader.load = LoadLibraryA;
        TokenLoader.lookup = GetProcAddress;
        TokenLoader.release = FreeLibrary;
        KeyDevModule = KeyNumModule = KeyCmdModule = NULL;
        memset(&TokenLibrary, 0, sizeof TokenLibrary);
    }
    void TearDown() override
    {
        ReleaseDeviceLibrary();
        if (KeyNumModule)
            FreeLibrary(KeyNumModule);
        KeyNumModule = NULL;
        if (KeyCmdModule)
            ReleaseCommandLibrary();
        SetDllDirectoryA(NULL);
        for (const char* name : { "KeyDev.dll", "KeyNum.dll", "KeyCmd.dll" })
            EXPECT_EQ(GetModuleHandleA(name), (HMODULE)NULL) << name << " still loaded";
    }
    void UseLayout(const char* layout)
    {
        std::string dir = BuildFile(std::string("tests/fixtures/") + layout);
        ASSERT_NE(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES) << dir;
        SetDllDirectoryA(dir.c_str());
    }
};

TEST_F(RealLibraryTest, BindsTheFullLibraries)
{
    UseLayout("full");
    ASSERT_EQ(BindDeviceLibraries(), 1);
    EXPECT_EQ(GetModuleHandleA("KeyDev.dll"), KeyDevModule);
    EXPECT_EQ(GetModuleHandleA("KeyNum.dll"), KeyNumModule);
    EXPECT_EQ(GetModuleHandleA("KeyCmd.dll"), (HMODULE)NULL);
    EXPECT_TRUE(AllEntriesBound(KeyDevEntries, KEYDEV_ENTRY_COUNT));

    // The fixture finds no key: KeyCmd.dll is unloaded again before OpenUsbKey returns.
    EXPECT_EQ(OpenUsbKey(0), 0);
    EXPECT_EQ(GetModuleHandleA("KeyCmd.dll"), (HMODULE)NULL);
}

TEST_F(RealLibraryTest, AMissingLibraryOrNameUnloadsEverything)
{
    for (const char* layout : { "no-keydev", "no-keynum", "keydev-missing-name", "keynum-missing-name" }) {
        SCOPED_TRACE(layout);
        UseLayout(layout);
        EXPECT_EQ(BindDeviceLibraries(), 0);
        EXPECT_EQ(KeyDevModule, (HMODULE)NULL);
        EXPECT_EQ(KeyNumModule, (HMODULE)NULL);
        EXPECT_EQ(GetModuleHandleA("KeyDev.dll"), (HMODULE)NULL);
        EXPECT_EQ(GetModuleHandleA("KeyNum.dll"), (HMODULE)NULL);
        EXPECT_FALSE(AnyEntryBound(KeyDevEntries, KEYDEV_ENTRY_COUNT));
        EXPECT_FALSE(AnyEntryBound(KeyNumEntries, KEYNUM_ENTRY_COUNT));
    }
    for (const char* layout : { "no-keycmd", "keycmd-missing-name" }) {
        SCOPED_TRACE(layout);
        UseLayout(layout);
        EXPECT_EQ(OpenUsbKey(0), 0);
        EXPECT_EQ(KeyCmdModule, (HMODULE)NULL);
        EXPECT_EQ(GetModuleHandleA("KeyCmd.dll"), (HMODULE)NULL);
        EXPECT_FALSE(AnyEntryBound(KeyCmdEntries, KEYCMD_ENTRY_COUNT));
    }
}

} // namespace
