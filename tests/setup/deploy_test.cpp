// Writing payload rows into a scratch folder: what happens to a file already there (deleted, set
// aside, its program stopped, its library re-registered, left alone when the system protects it),
// the pauses made and the files counted as not written. Missing resources,
// unwritable or over-long folders and held files are in tests/fault/setup_fault_test.cpp; a running
// tray client and manager stopped through "-u" in the end-to-end reinstallation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup_harness.h"
#include "win_harness.h"

namespace {

using DeployTest = DeployFixture;

std::string StandIn(const std::string& name)
{
    return BuildFile("standins/payload/bin/" + name);
}

std::string ReadText(const std::string& path)
{
    std::vector<unsigned char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST_F(DeployTest, AFileIsWrittenAtOnceOrReplacesAnUnusedOldOneAfterItsPause)
{
    // Rows the installer handles by itself: one whose old file is deleted, three set aside.
    struct Case { int row; std::vector<DWORD> pauses; };
    const Case cases[] = { { 8, { 500 } }, { 14, { 500 } }, { 23, { 500 } }, { 34, { 300 } } };
    for (const Case& c : cases) {
        for (bool oldThere : { false, true }) {
            SCOPED_TRACE("row " + std::to_string(c.row) + (oldThere ? " over an unused old file" : " first written"));
            RecordedPauses.clear();
            if (oldThere) {
                ASSERT_TRUE(WriteBytes(Target(c.row), { 'o', 'l', 'd' }));
            }
            EXPECT_EQ(DeployPayloadRow(setup, &Row(c.row), &context), 1);
            EXPECT_STREQ(context.workPath, Target(c.row).c_str());
            EXPECT_TRUE(ReadBytes(Target(c.row)) == Carried(Row(c.row)));
            EXPECT_EQ(RecordedPauses, oldThere ? c.pauses : std::vector<DWORD>());
        }
    }
    EXPECT_TRUE(FindFiles(folder->Path(), "*.OBK").empty()) << "what could be deleted is not set aside";
}

TEST_F(DeployTest, ALoadedLibraryIsSetAsideUnderItsTickName)
{
    ASSERT_TRUE(CopyFileA(StandIn("KeyCsp.dll").c_str(), Target(15).c_str(), FALSE));
    std::vector<unsigned char> old = ReadBytes(Target(15));
    HMODULE loaded = LoadLibraryA(Target(15).c_str());
    ASSERT_NE(loaded, (HMODULE)NULL);

    EXPECT_EQ(DeployPayloadRow(setup, &Row(15), &context), 1);
    FreeLibrary(loaded);

    EXPECT_TRUE(ReadBytes(folder->File("KeyCsp123456789.OBK")) == old) << "the old library keeps its bytes under the new name";
    EXPECT_TRUE(ReadBytes(Target(15)) == Carried(Row(15)));
    EXPECT_EQ(RecordedPauses, std::vector<DWORD>({ 500 }));
}

TEST_F(DeployTest, FilesTheSystemProtectsAreLeftWholeAndAreNoFailure)
{
    // Every row over an old file of its name, each kind of handling among them.
    std::string journal = folder->File("journal.txt");
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", journal.c_str());
    const std::vector<unsigned char> old = { 'o', 'l', 'd' };
    for (const PayloadRow& row : PayloadTable) {
        ASSERT_TRUE(WriteBytes(folder->File(row.name), old));
        ProtectedPaths.push_back(folder->File(row.name));
    }
    EXPECT_EQ(DeployPayload(setup, &context), 0);
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", NULL);
    for (const PayloadRow& row : PayloadTable) {
        EXPECT_TRUE(ReadBytes(folder->File(row.name)) == old) << "row " << row.row << " " << row.name;
    }
    EXPECT_TRUE(FindFiles(folder->Path(), "*.OBK").empty()) << "nothing set aside";
    EXPECT_TRUE(RecordedPauses.empty()) << "no old copy stopped, nothing waited for";
    EXPECT_FALSE(FileExists(journal)) << "nothing unregistered or registered";
}

TEST_F(DeployTest, EveryRefusedWriteIsCountedUnlessTheSystemProtectsTheFile)
{
    lstrcpynA(context.targetDir, folder->File("not-there").c_str(), sizeof context.targetDir);
    for (int wow64 : { 0, 1 }) {
        context.wow64 = wow64;
        int applying = 0;
        for (const PayloadRow& row : PayloadTable)
            applying += PayloadRowApplies(&row, wow64);
        ProtectedPaths.clear();
        EXPECT_EQ(DeployPayload(setup, &context), applying) << "wow64 " << wow64;
        // A protected system library that shares a payload name: its refusal is the system's.
        ProtectedPaths.push_back(std::string(context.targetDir) + "\\" + Row(33).name);
        EXPECT_EQ(DeployPayload(setup, &context), applying - 1) << "wow64 " << wow64;
    }
}

TEST_F(DeployTest, AControlIsUnregisteredSetAsideWrittenAndRegistered)
{
    ASSERT_EQ(CoInitialize(NULL), S_OK) << "COM is not yet initialised on this thread";
    CoUninitialize();
    const char* const server = "SOFTWARE\\Classes\\CLSID\\{4B1806F5-18F9-41D5-8628-1A3F26D620EF}\\InprocServer32";
    std::string journal = folder->File("journal.txt");
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", journal.c_str());

    // Never there before: registered, after the pause that precedes registration. The carried copy
    // keeps no journal: the file the variable names is never made.
    EXPECT_EQ(DeployPayloadRow(setup, &Row(25), &context), 1);
    EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, server, NULL).data == TextValueBytes(Target(25)));
    EXPECT_FALSE(FileExists(journal));
    EXPECT_EQ(RecordedPauses, std::vector<DWORD>({ 300 }));

    // There already, as the test copy that notes its calls: it unregisters itself first, and the new
    // copy registers again after it.
    ASSERT_TRUE(CopyFileA(BuildFile("standins/payload/journal/SealView.ocx").c_str(), Target(25).c_str(), FALSE));
    RecordedPauses.clear();
    EXPECT_EQ(DeployPayloadRow(setup, &Row(25), &context), 1);
    EXPECT_EQ(ReadText(journal), "unregister " + Target(25) + "\r\n");
    EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, server, NULL).data == TextValueBytes(Target(25)));
    EXPECT_EQ(RecordedPauses, std::vector<DWORD>({ 200, 500, 300 }));
    EXPECT_TRUE(ReadBytes(Target(25)) == Carried(Row(25)));

    SelfRegisterLibrary(Target(25).c_str(), 0);
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", NULL);
    // A library that does not load: COM is released on that way out too.
    SelfRegisterLibrary(folder->File("absent.ocx").c_str(), 1);
    EXPECT_EQ(CoInitialize(NULL), S_OK) << "every registration released the COM it initialised";
    CoUninitialize();
}

TEST_F(DeployTest, AnOldCopyThatNeverEndsHoldsTheInstallerOnlyForTheBound)
{
    EXPECT_EQ(savedClock.stopWaitLimit, 30000u) << "the installer's own bound";
    // Row 12's old copy is a program that ignores "-remove" and keeps running; the bound is cut for the test.
    ASSERT_TRUE(CopyFileA(BuildFile("tests/stubborn_program.exe").c_str(), Target(12).c_str(), FALSE));
    HANDLE release = CreateEventA(NULL, TRUE, FALSE, "KitStubbornProgramRelease");
    DeployClock.stopWaitLimit = 1000;
    DWORD start = GetTickCount();
    DeployPayloadRow(setup, &Row(12), &context);
    DWORD elapsed = GetTickCount() - start;
    SetEvent(release);
    CloseHandle(release);
    EXPECT_LT(elapsed, 6000u);
    EXPECT_GE(elapsed, 900u) << "the old copy is given its time";
    EXPECT_EQ(RecordedPauses, std::vector<DWORD>({ 500, 500 }));
    Sleep(500);
}
