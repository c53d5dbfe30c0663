// Binding the token libraries: all or nothing, KeyCmd.dll only while a key is open.
#include <gtest/gtest.h>

#include "fake_token.h"
#include "manager.h"
#include "win_harness.h"

namespace {

// How many of a library's names are bound.
template <int N> int Bound(const TokenEntryName (&entries)[N])
{
    int bound = 0;
    for (const TokenEntryName& e : entries)
        bound += *e.slot != NULL;
    return bound;
}

class FakeBindingTest : public ::testing::Test {
protected:
    void SetUp() override { token.Install(); }
    fake::Token& token = fake::Instance();
};

TEST_F(FakeBindingTest, AMissingLibraryOrAnyMissingNameLeavesThatStepUnbound)
{
    struct Failure { std::string library, name; bool keyCmd; };
    std::vector<Failure> failures = { { "KeyDev.dll", "", false }, { "KeyNum.dll", "", false }, { "KeyCmd.dll", "", true } };
    for (const TokenEntryName& e : KeyDevEntries)
        failures.push_back({ "", e.name, false });
    for (const TokenEntryName& e : KeyNumEntries)
        failures.push_back({ "", e.name, false });
    for (const TokenEntryName& e : KeyCmdEntries)
        failures.push_back({ "", e.name, true });
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.library + failure.name);
        token.Install();
        token.Slot(0).present = true;
        if (!failure.library.empty())
            token.missingLibraries.insert(failure.library);
        if (!failure.name.empty())
            token.missingNames.insert(failure.name);
        if (!failure.keyCmd) {
            EXPECT_EQ(BindDeviceLibraries(), 0);
            EXPECT_EQ(KeyDevModule, (HMODULE)NULL);
            EXPECT_EQ(KeyNumModule, (HMODULE)NULL);
            EXPECT_EQ(token.LoadedCount("KeyDev.dll") + token.LoadedCount("KeyNum.dll"), 0);
            EXPECT_EQ(Bound(KeyDevEntries) + Bound(KeyNumEntries), 0);
        } else {
            EXPECT_EQ(OpenUsbKey(0), 0);
            EXPECT_EQ(KeyCmdModule, (HMODULE)NULL);
            EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
            EXPECT_EQ(Bound(KeyCmdEntries), 0);
            EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
        }
    }
}

TEST_F(FakeBindingTest, KeyCmdIsLoadedOnlyWhileAKeyIsOpen)
{
    token.Slot(1).present = true;
    int handle = OpenUsbKey(1);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 1);
    EXPECT_EQ(Bound(KeyCmdEntries), KEYCMD_ENTRY_COUNT);
    CloseUsbKey(handle);
    ASSERT_EQ(token.CallsNamed("QZ_Close").size(), 1u);
    EXPECT_EQ(token.CallsNamed("QZ_Close")[0].handle, handle);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
    EXPECT_EQ(Bound(KeyCmdEntries), 0);
    CloseUsbKey(handle);
    EXPECT_EQ(token.CountCalls("QZ_Close"), 1) << "closing again, with nothing bound, does nothing";

    // An empty slot: released before OpenUsbKey returns.
    EXPECT_EQ(OpenUsbKey(2), 0);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);

    // A negative open is passed on and keeps the binding for the next open; handle 0 releases only.
    token.Slot(0).openResult = -3;
    EXPECT_EQ(OpenUsbKey(0), -3);
    EXPECT_NE(KeyCmdModule, (HMODULE)NULL);
    int loads = token.loads["KeyCmd.dll"];
    handle = OpenUsbKey(1);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(token.loads["KeyCmd.dll"], loads) << "the second open reuses the binding";
    CloseUsbKey(handle);
    EXPECT_EQ(OpenUsbKey(0), -3);
    CloseUsbKey(0);
    EXPECT_EQ(token.CountCalls("QZ_Close"), 2);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
}

// The same rules with real libraries on disk, found through the DLL search path.
TEST(RealLibraryTest, AMissingLibraryOrNameUnloadsEverything)
{
    TokenLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };
    struct Case { const char* layout; bool binds; };
    const Case cases[] = {
        { "full", true },         { "no-keydev", false },           { "no-keynum", false },
        { "no-keycmd", true },    { "keydev-missing-name", false }, { "keynum-missing-name", false },
        { "keycmd-missing-name", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        KeyDevModule = KeyNumModule = KeyCmdModule = NULL;
        memset(&TokenLibrary, 0, sizeof TokenLibrary);
        std::string dir = BuildFile(std::string("tests/fixtures/") + c.layout);
        ASSERT_NE(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES) << dir;
        SetDllDirectoryA(dir.c_str());
        EXPECT_EQ(BindDeviceLibraries(), c.binds ? 1 : 0);
        EXPECT_EQ(GetModuleHandleA("KeyDev.dll"), KeyDevModule);
        EXPECT_EQ(GetModuleHandleA("KeyNum.dll"), KeyNumModule);
        EXPECT_EQ(GetModuleHandleA("KeyCmd.dll"), (HMODULE)NULL) << "KeyCmd.dll waits for a key";
        EXPECT_EQ(Bound(KeyDevEntries), c.binds ? KEYDEV_ENTRY_COUNT : 0);
        EXPECT_EQ(Bound(KeyNumEntries), c.binds ? KEYNUM_ENTRY_COUNT : 0);
        // The fixtures find no key: KeyCmd.dll, bound or not, is unloaded before OpenUsbKey returns.
        EXPECT_EQ(OpenUsbKey(0), 0);
        EXPECT_EQ(KeyCmdModule, (HMODULE)NULL);
        EXPECT_EQ(Bound(KeyCmdEntries), 0);
        ReleaseDeviceLibrary();
        if (KeyNumModule)
            FreeLibrary(KeyNumModule);
        SetDllDirectoryA(NULL);
        for (const char* name : { "KeyDev.dll", "KeyNum.dll", "KeyCmd.dll" })
            EXPECT_EQ(GetModuleHandleA(name), (HMODULE)NULL) << name << " still loaded";
    }
    KeyNumModule = NULL;
}

} // namespace
