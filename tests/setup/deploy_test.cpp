// Payload files over old ones in the way: those the system protects stay whole and are no failure, and
// an old copy that never ends holds the installer only for the bound.
#include <gtest/gtest.h>

#include "setup_harness.h"

using OldFileTest = DeployFixture;

TEST_F(OldFileTest, ProtectedFilesStayWholeAndAStuckOldCopyIsWaitedForOnlyToTheBound)
{
    std::string journal = folder->File("journal.txt");
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", journal.c_str());
    const std::vector<unsigned char> old = { 'o', 'l', 'd' };
    for (const PayloadRow& row : PayloadTable) {
        ASSERT_TRUE(WriteBytes(folder->File(row.name), old));
        ProtectedPaths.push_back(folder->File(row.name));
    }
    EXPECT_EQ(DeployPayload(setup, &context), 0);
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", NULL);
    for (const PayloadRow& row : PayloadTable)
        EXPECT_TRUE(ReadBytes(folder->File(row.name)) == old) << "row " << row.row << " " << row.name;
    EXPECT_TRUE(FindFiles(folder->Path(), "*.OBK").empty()) << "nothing set aside";
    EXPECT_FALSE(FileExists(journal)) << "nothing unregistered or registered";

    // An old copy of a program stopped through its switch, which ignores it and keeps running.
    ProtectedPaths.clear();
    const PayloadRow* stopped = NULL;
    for (const PayloadRow& row : PayloadTable)
        if (row.handling == EXISTING_STOP_THEN_SET_ASIDE && PayloadRowApplies(&row, 0))
            stopped = &row;
    ASSERT_NE(stopped, (const PayloadRow*)NULL);
    ASSERT_TRUE(CopyFileA(BuildFile("tests/stubborn_program.exe").c_str(), folder->File(stopped->name).c_str(), FALSE));
    HANDLE release = CreateEventA(NULL, TRUE, FALSE, "KitStubbornProgramRelease");
    DeployClock.stopWaitLimit = 1000;
    DWORD start = GetTickCount();
    EXPECT_EQ(DeployPayloadRow(setup, stopped, &context), DEPLOY_WRITTEN);
    DWORD elapsed = GetTickCount() - start;
    SetEvent(release);
    CloseHandle(release);
    EXPECT_LT(elapsed, 6000u);
    EXPECT_GE(elapsed, 900u) << "the old copy is given its time";
    Sleep(500);
}
