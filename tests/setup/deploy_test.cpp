// Writing payload rows into a scratch folder: the resource write, what happens to a file already
// there (deleted, set aside, its program stopped, its library re-registered) and the pauses made.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "setup.h"
#include "setup_harness.h"
#include "win_harness.h"

namespace {

std::vector<DWORD> Pauses;
const DWORD FixedTick = 123456789;

void WINAPI RecordPause(DWORD milliseconds)
{
    Pauses.push_back(milliseconds);
}

DWORD WINAPI ReadFixedTick(void)
{
    return FixedTick;
}

const PayloadRow& Row(int number)
{
    return PayloadTable[number - 1];
}

std::string StandIn(const std::string& name)
{
    return BuildFile("standins/payload/bin/" + name);
}

std::string ReadText(const std::string& path)
{
    std::vector<unsigned char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class DeployTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedClock = DeployClock;
        DeployClock.pause = RecordPause;
        DeployClock.tick = ReadFixedTick;
        Pauses.clear();
        folder.reset(new ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        ZeroMemory(&context, sizeof context);
        lstrcpynA(context.targetDir, folder->Path().c_str(), sizeof context.targetDir);
        setup = LoadSetupResources();
        ASSERT_NE(setup, (HMODULE)NULL);
    }
    void TearDown() override
    {
        DeployClock = savedClock;
        SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", NULL);
        folder.reset();
    }
    std::vector<unsigned char> Carried(int number)
    {
        return ResourceBytes(setup, Row(number).type, Row(number).id);
    }
    std::string Target(int number) { return folder->File(Row(number).name); }

    DeployTiming savedClock;
    std::unique_ptr<ScratchFolder> folder;
    InstallContext context;
    HMODULE setup = NULL;
};

} // namespace

TEST_F(DeployTest, ExtractWritesTheResourceOrReportsWhyNot)
{
    std::string path = folder->File("rootca.cer");
    EXPECT_EQ(ExtractResourceToFile(setup, 215, "DLL", path.c_str()), 1);
    EXPECT_TRUE(ReadBytes(path) == Carried(8));

    std::string missing = folder->File("none.bin");
    EXPECT_EQ(ExtractResourceToFile(setup, 999, "DLL", missing.c_str()), 0);
    EXPECT_FALSE(FileExists(missing)) << "a missing resource creates no file";
    EXPECT_EQ(ExtractResourceToFile(setup, 215, "EXE", missing.c_str()), 0) << "the type is part of the name";

    std::string nowhere = folder->File("no-such-folder\\rootca.cer");
    EXPECT_EQ(ExtractResourceToFile(setup, 215, "DLL", nowhere.c_str()), 0);
}

TEST_F(DeployTest, AFirstInstallationOnlyWritesAndMakesNoPause)
{
    for (int number : { 8, 13, 15, 30 }) {
        EXPECT_EQ(DeployPayloadRow(setup, &Row(number), &context), 1) << "row " << number;
        EXPECT_TRUE(ReadBytes(Target(number)) == Carried(number)) << "row " << number;
        EXPECT_STREQ(context.workPath, Target(number).c_str());
    }
    EXPECT_TRUE(Pauses.empty());
    EXPECT_TRUE(FindFiles(folder->Path(), "*.OBK").empty());
}

TEST_F(DeployTest, AnUnusedOldFileIsReplacedAfterItsPause)
{
    struct Case { int row; std::vector<DWORD> pauses; };
    const Case cases[] = { { 9, { 500 } }, { 14, { 500 } }, { 23, { 500 } }, { 34, { 300 } } };
    for (const Case& c : cases) {
        Pauses.clear();
        ASSERT_TRUE(WriteBytes(Target(c.row), { 'o', 'l', 'd' }));
        EXPECT_EQ(DeployPayloadRow(setup, &Row(c.row), &context), 1) << "row " << c.row;
        EXPECT_TRUE(ReadBytes(Target(c.row)) == Carried(c.row)) << "row " << c.row;
        EXPECT_EQ(Pauses, c.pauses) << "row " << c.row;
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

    std::string aside = folder->File("KeyCsp123456789.OBK");
    EXPECT_TRUE(ReadBytes(aside) == old) << "the old library keeps its bytes under the new name";
    EXPECT_TRUE(ReadBytes(Target(15)) == Carried(15));
    EXPECT_EQ(Pauses, std::vector<DWORD>({ 500 }));
}

TEST_F(DeployTest, AnOverlongTargetIsRefusedForThatFileAlone)
{
    std::string deep(INSTALL_PATH_SIZE - 1 - 8, 'd');
    lstrcpynA(context.targetDir, deep.c_str(), sizeof context.targetDir);
    EXPECT_EQ(DeployPayloadRow(setup, &Row(14), &context), 0);   // "\KeyUninstall.exe.manifest" does not fit
    EXPECT_EQ(context.workPath[0], '\0');
    EXPECT_TRUE(Pauses.empty());
}

TEST_F(DeployTest, AControlIsUnregisteredSetAsideWrittenAndRegistered)
{
    std::string journal = folder->File("journal.txt");
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", journal.c_str());

    // Never there before: registered, after the pause that precedes registration.
    EXPECT_EQ(DeployPayloadRow(setup, &Row(25), &context), 1);
    EXPECT_EQ(ReadText(journal), "register " + Target(25) + "\r\n");
    EXPECT_EQ(Pauses, std::vector<DWORD>({ 300 }));

    // There already: the old copy unregisters itself first.
    DeleteFileA(journal.c_str());
    Pauses.clear();
    EXPECT_EQ(DeployPayloadRow(setup, &Row(25), &context), 1);
    EXPECT_EQ(ReadText(journal), "unregister " + Target(25) + "\r\nregister " + Target(25) + "\r\n");
    EXPECT_EQ(Pauses, std::vector<DWORD>({ 200, 500, 300 }));
    EXPECT_TRUE(ReadBytes(Target(25)) == Carried(25));

    SelfRegisterLibrary(Target(25).c_str(), 0);
}

TEST_F(DeployTest, ARunningProgramIsStoppedThroughItsOldCopy)
{
    ASSERT_TRUE(CopyFileA(StandIn("KeyTray.exe").c_str(), Target(10).c_str(), FALSE));
    Program tray;
    ASSERT_TRUE(StartProgram(tray, Target(10), ""));
    ASSERT_NE(WaitForWindow("#32770", "KeyTray", 10000), (HWND)NULL);

    EXPECT_EQ(DeployPayloadRow(setup, &Row(10), &context), 1);
    EXPECT_EQ(tray.Wait(5000), 0u) << "the running client ends when its old copy is started with -u";
    EXPECT_EQ(FindWindowA("#32770", "KeyTray"), (HWND)NULL);
    EXPECT_TRUE(ReadBytes(Target(10)) == Carried(10));
    EXPECT_EQ(Pauses, std::vector<DWORD>({ 500, 500 }));
}

TEST_F(DeployTest, AnOldCopyThatNeverEndsHoldsTheInstallerOnlyForTheBound)
{
    // Row 12's old copy is a program that ignores "-remove" and keeps running.
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
    EXPECT_EQ(Pauses, std::vector<DWORD>({ 500, 500 }));
    Sleep(500);
}
