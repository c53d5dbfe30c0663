// KeyManager.exe run for real: single instance, "-u", the tray client, the main window's state.
#include <gtest/gtest.h>

#include "manager.h"
#include "win_harness.h"

namespace {


int CountWindows(const char* className, const char* title)
{
    int count = 0;
    for (HWND w = FindWindowExA(NULL, NULL, className, title); w; w = FindWindowExA(NULL, w, className, title))
        ++count;
    return count;
}

void CloseAll(const char* title)
{
    for (int i = 0; i < 20; ++i) {
        HWND w = FindWindowA("#32770", title);
        if (!w)
            return;
        PostMessageA(w, WM_CLOSE, 0, 0);
        WaitForWindowGone("#32770", title, 2000);
    }
}

class ManagerProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseAll(MAIN_WINDOW_TITLE);
        CloseAll("KeyTray");
        // A private folder with the program and the virtual key's libraries, which find no key here.
        std::string temp = TempFolder();
        ASSERT_FALSE(temp.empty());
        folder = temp + "kit-e2e-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(folder.c_str(), NULL);
        exe = folder + "\\KeyManager.exe";
        ASSERT_TRUE(CopyFileA(BuildFile("manager/KeyManager.exe").c_str(), exe.c_str(), FALSE));
        for (const char* dll : { "KeyCmd.dll", "KeyDev.dll", "KeyNum.dll" })
            ASSERT_TRUE(CopyFileA(BuildFile(std::string("standins/") + dll).c_str(),
                                  (folder + "\\" + dll).c_str(), FALSE));
    }
    void TearDown() override
    {
        CloseAll(MAIN_WINDOW_TITLE);
        CloseAll("KeyTray");
        DeleteFileA(TrayPath().c_str());
    }
    static std::string TrayPath()
    {
        char dir[MAX_PATH];
        UINT n = GetSystemDirectoryA(dir, sizeof dir);
        // Too long a path is not written at all: n is then the size it needs.
        if (n == 0 || n >= sizeof dir)
            return "";
        return std::string(dir, n) + "\\KeyTray.exe";
    }
    HWND StartManager(Program& program, const std::string& arguments = "")
    {
        EXPECT_TRUE(StartProgram(program, exe, arguments));
        HWND window = WaitForWindow("#32770", MAIN_WINDOW_TITLE, 20000);
        if (window)
            WaitIdle(program);
        return window;
    }

    std::string folder;
    std::string exe;
};

TEST_F(ManagerProgramTest, OpensWithThePlaceholderSelectedByTheTreesFocus)
{
    Program manager;
    HWND window = StartManager(manager);
    ASSERT_TRUE(window);
    HWND tree = GetDlgItem(window, IDC_KEY_TREE);
    std::vector<TreeItemInfo> items;
    // The tree selects its first item when it takes the focus, so the placeholder counts as a key.
    for (int i = 0; i < 50 && !IsControlEnabled(window, IDC_VERIFY_PIN); ++i)
        Sleep(100);
    items = ReadTree(tree);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, TEXT_NO_KEY);
    EXPECT_TRUE(items[0].selected);
    EXPECT_FALSE(IsControlEnabled(window, IDC_VIEW_CERT));
    EXPECT_TRUE(IsControlEnabled(window, IDC_CHANGE_PIN));
    EXPECT_TRUE(IsControlEnabled(window, IDC_SAVE_REPORT));
    EXPECT_TRUE(IsControlEnabled(window, IDC_VERIFY_PIN));
    EXPECT_TRUE(IsControlEnabled(window, IDC_EXIT));
    EXPECT_FALSE(IsControlVisible(window, IDC_FORMAT_KEY));
    EXPECT_FALSE(IsControlVisible(window, IDC_RESET_PIN));
    char className[32];
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ(className, "#32770");

    PressButton(window, IDC_EXIT);
    EXPECT_EQ(manager.Wait(10000), 0u);
}

TEST_F(ManagerProgramTest, ASecondStartBringsTheFirstForwardAndEndsWithZero)
{
    Program first;
    HWND window = StartManager(first);
    ASSERT_TRUE(window);
    Program second;
    ASSERT_TRUE(StartProgram(second, exe, ""));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_EQ(CountWindows("#32770", MAIN_WINDOW_TITLE), 1);
    EXPECT_EQ(first.Wait(0), (DWORD)STILL_ACTIVE);
}

TEST_F(ManagerProgramTest, DashUClosesTheRunningInstance)
{
    Program first;
    ASSERT_TRUE(StartManager(first));
    {
        Program closer;
        ASSERT_TRUE(StartProgram(closer, exe, "-u"));
        EXPECT_EQ(closer.Wait(15000), 0u);
    }
    EXPECT_EQ(first.Wait(15000), 0u) << "the running instance exits normally";
    EXPECT_EQ(CountWindows("#32770", MAIN_WINDOW_TITLE), 0);

    // Upper case and text before the switch work the same.
    Program again;
    ASSERT_TRUE(StartManager(again));
    Program closer;
    ASSERT_TRUE(StartProgram(closer, exe, "/quiet -U"));
    EXPECT_EQ(closer.Wait(15000), 0u);
    EXPECT_EQ(again.Wait(15000), 0u);
}

TEST_F(ManagerProgramTest, DashUWithNothingRunningStartsNothing)
{
    ASSERT_TRUE(CopyFileA(BuildFile("tests/fixtures/fake_tray.exe").c_str(), TrayPath().c_str(), FALSE));
    Program closer;
    ASSERT_TRUE(StartProgram(closer, exe, "-u"));
    EXPECT_EQ(closer.Wait(15000), 0u);
    Sleep(500);
    EXPECT_EQ(CountWindows("#32770", MAIN_WINDOW_TITLE), 0);
    EXPECT_EQ(CountWindows("#32770", "KeyTray"), 0) << "no tray client for -u";
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "QuvaneClientClass_VLCA");
    EXPECT_EQ(mutex, (HANDLE)NULL) << "no mutex for -u";
    if (mutex)
        CloseHandle(mutex);
}

TEST_F(ManagerProgramTest, StartsTheTrayClientOnlyWhenItsWindowIsMissing)
{
    ASSERT_TRUE(CopyFileA(BuildFile("tests/fixtures/fake_tray.exe").c_str(), TrayPath().c_str(), FALSE));
    {
        Program manager;
        ASSERT_TRUE(StartManager(manager));
        EXPECT_TRUE(WaitForWindow("#32770", "KeyTray", 15000)) << "the tray client was started";
        PressButton(FindWindowA("#32770", MAIN_WINDOW_TITLE), IDC_EXIT);
        EXPECT_EQ(manager.Wait(10000), 0u);
    }
    // The tray client still runs: a new start leaves it alone.
    Program manager;
    ASSERT_TRUE(StartManager(manager));
    Sleep(1500);
    EXPECT_EQ(CountWindows("#32770", "KeyTray"), 1);
}

TEST_F(ManagerProgramTest, AMissingTrayClientShowsNoErrorBox)
{
    DeleteFileA(TrayPath().c_str());
    Program manager;
    HWND window = StartManager(manager);
    ASSERT_TRUE(window);
    Sleep(1500);
    // Only our own window: no shell message about the missing program.
    DWORD pid = manager.info.dwProcessId;
    int foreign = 0;
    for (HWND w = GetTopWindow(NULL); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w) && w != window)
            ++foreign;
    }
    EXPECT_EQ(foreign, 0);
    EXPECT_TRUE(IsWindowEnabled(window));
}

TEST_F(ManagerProgramTest, EnterAndEscapeLeaveTheWindowOpen)
{
    Program manager;
    HWND window = StartManager(manager);
    ASSERT_TRUE(window);
    HWND tree = GetDlgItem(window, IDC_KEY_TREE);
    for (WPARAM key : { (WPARAM)VK_ESCAPE, (WPARAM)VK_RETURN }) {
        PostMessageA(tree, WM_KEYDOWN, key, 1);
        PostMessageA(tree, WM_KEYUP, key, 0xC0000001);
    }
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    Sleep(1000);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(manager.Wait(0), (DWORD)STILL_ACTIVE);
}

} // namespace
