// KeyManager.exe run for real and driven from another process, over virtual keys (the built token
// libraries, keys made by keysim in a private store): single instance, "-u", the tray client, the demo
// keys arriving and leaving, their report, a certificate view, and one PIN check on the on-screen
// keyboard with a change and a lock. The PIN answers' messages and keys pulled out part-way are
// checked in-process (tests/unit, tests/fault).
#include <gtest/gtest.h>

#include <string.h>

#include "manager.h"
#include "virtual_key.h"

namespace {

const char* const VerifyTitle = "验证USBKey密码";
const char* const ChangeTitle = "修改USBKey密码";

int CountWindows(const char* title)
{
    int count = 0;
    for (HWND w = FindWindowExA(NULL, NULL, "#32770", title); w; w = FindWindowExA(NULL, w, "#32770", title))
        ++count;
    return count;
}

void CloseAll(const char* title)
{
    for (int i = 0; i < 20 && FindWindowA("#32770", title); ++i) {
        PostMessageA(FindWindowA("#32770", title), WM_CLOSE, 0, 0);
        WaitForWindowGone("#32770", title, 2000);
    }
}

std::string TrayPath()
{
    return KitFile("KeyTray.exe");
}

// The manager where the installer puts it, beside the virtual key's libraries, over an empty private
// store: it finds the libraries and the tray client there.
class ManagerProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CopyFileA(BuildFile("manager/KeyManager.exe").c_str(), exe.c_str(), FALSE));
        for (const char* dll : { "KeyCmd.dll", "KeyDev.dll", "KeyNum.dll" })
            ASSERT_TRUE(CopyFileA(BuildFile(std::string("standins/") + dll).c_str(), KitFile(dll).c_str(), FALSE));
    }
    void TearDown() override
    {
        CloseAll(MAIN_WINDOW_TITLE);
        CloseAll("KeyTray");
        DeleteFileA(TrayPath().c_str());
    }
    HWND StartManager(Program& program, const std::string& arguments = "")
    {
        EXPECT_TRUE(StartProgram(program, exe, arguments));
        window = WaitForWindow("#32770", MAIN_WINDOW_TITLE, 20000);
        if (window)
            WaitIdle(program);
        tree = GetDlgItem(window, IDC_KEY_TREE);
        return window;
    }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> texts;
        for (const TreeItemInfo& item : ReadTree(tree))
            texts.push_back(std::string(item.depth, '-') + item.text);
        return texts;
    }
    bool WaitForTree(const std::vector<std::string>& expected)
    {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 15000; Sleep(100))
            if (Texts() == expected)
                return true;
        return false;
    }
    // Waits for a box of the manager, presses OK, and gives its text.
    std::string AnswerBox(const std::string& caption = ManagerText("caption"))
    {
        SeenMessageBox box;
        if (!WaitForMessageBox(caption.c_str(), 15000, &box))
            return "<no message box>";
        PressButton(box.box, IDOK);
        for (int i = 0; i < 100 && IsWindow(box.box); ++i)
            Sleep(50);
        return box.text;
    }
    HWND OpenDialog(int button, const char* title)
    {
        PressButton(window, button);
        HWND dialog = WaitForWindow("#32770", title, 10000);
        // Found as soon as it exists; its keys get their captions before it is shown.
        for (int i = 0; dialog && i < 100 && !IsWindowVisible(dialog); ++i)
            Sleep(50);
        return dialog;
    }
    // Clicks the visible on-screen key whose caption is text. Enter is posted: the check it starts
    // ends in a message box, which a sent click would wait for.
    bool ClickKey(HWND dialog, const char* text, bool post = false)
    {
        for (HWND key = GetWindow(dialog, GW_CHILD); key; key = GetWindow(key, GW_HWNDNEXT)) {
            char caption[16] = "";
            GetWindowTextA(key, caption, sizeof caption);
            int id = GetDlgCtrlID(key);
            if (id >= 1040 && id <= 2226 && IsWindowVisible(key) && strcmp(caption, text) == 0) {
                if (post)
                    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)key);
                else
                    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)key);
                return true;
            }
        }
        return false;
    }

    TempStore store;
    const std::string exe = KitFile("KeyManager.exe");
    Program manager;
    HWND window = NULL;
    HWND tree = NULL;
};

TEST_F(ManagerProgramTest, OneInstanceRunsAndDashUEndsItOrStartsNothing)
{
    ASSERT_TRUE(StartManager(manager));
    Program second;
    ASSERT_TRUE(StartProgram(second, exe, ""));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_EQ(CountWindows(MAIN_WINDOW_TITLE), 1);
    EXPECT_EQ(manager.Wait(0), (DWORD)STILL_ACTIVE);

    // "-u" ends the running instance normally; with nothing running it starts nothing, not even the
    // tray client that is there to start.
    ASSERT_TRUE(CopyFileA(BuildFile("tests/fixtures/fake_tray.exe").c_str(), TrayPath().c_str(), FALSE));
    for (const char* what : { "with the manager running", "with nothing running" }) {
        Program closer;
        ASSERT_TRUE(StartProgram(closer, exe, "-u"));
        EXPECT_EQ(closer.Wait(15000), 0u) << what;
        EXPECT_EQ(manager.Wait(15000), 0u) << what;
    }
    Sleep(500);
    EXPECT_EQ(CountWindows(MAIN_WINDOW_TITLE), 0);
    EXPECT_EQ(CountWindows("KeyTray"), 0) << "no tray client for -u";
}

TEST_F(ManagerProgramTest, AMissingTrayClientShowsNoBoxAndOneThereIsStartedOnce)
{
    DeleteFileA(TrayPath().c_str());
    ASSERT_TRUE(StartManager(manager));
    Sleep(1500);
    // Only the main window: no shell message about the missing program.
    for (HWND w = GetTopWindow(NULL); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        EXPECT_FALSE(owner == manager.info.dwProcessId && IsWindowVisible(w) && w != window);
    }
    EXPECT_TRUE(IsWindowEnabled(window));
    PressButton(window, IDC_EXIT);
    EXPECT_EQ(manager.Wait(10000), 0u);

    ASSERT_TRUE(CopyFileA(BuildFile("tests/fixtures/fake_tray.exe").c_str(), TrayPath().c_str(), FALSE));
    for (int start = 1; start <= 2; ++start) {
        Program again;
        ASSERT_TRUE(StartManager(again));
        EXPECT_TRUE(WaitForWindow("#32770", "KeyTray", 15000)) << "start " << start;
        Sleep(start == 2 ? 1500 : 0);
        EXPECT_EQ(CountWindows("KeyTray"), 1) << "a running tray client is left alone";
        PressButton(window, IDC_EXIT);
        EXPECT_EQ(again.Wait(10000), 0u);
    }
}

TEST_F(ManagerProgramTest, TheDemoKeysArriveAreReportedAndShownAndLeave)
{
    // The demo's two keys (tools/demo-keys.sh), whose report the golden files hold.
    const std::string certs = WindowsPath(KIT_SOURCE_DIR "/standins/certs/");
    Provision("create 0 --label 张三的USBKey --pin 123456 --serial 5E2B0001 --apps 2 --removed");
    Provision("put-cert 0 1 0 enc \"" + certs + "zhangsan-enc.der\"");
    Provision("put-cert 0 1 0 sig \"" + certs + "zhangsan-sig.der\"");
    Provision("put-cert 0 2 0 sig \"" + certs + "zhangsan-app2-sig.der\"");
    Provision("create 1 --label 李四的USBKey --pin 888888 --serial 5E2B0002 --apps 1 --removed");
    Provision("put-cert 1 1 0 sig \"" + certs + "lisi-sig.der\"");
    ASSERT_TRUE(StartManager(manager));
    EXPECT_EQ(Texts(), std::vector<std::string>({ TEXT_NO_KEY }));
    Provision("insert 0");
    Provision("insert 1");
    ASSERT_TRUE(WaitForTree({ "张三的USBKey", "-张三", "-张三", "-张三", "李四的USBKey", "-李四" }));

    DeleteFileA("c:\\KeyInfo.txt");
    PressButton(window, IDC_SAVE_REPORT);
    std::string shown = AnswerBox(ManagerText("report-caption"));
    std::vector<unsigned char> bytes = ReadBytes("c:\\KeyInfo.txt");
    std::string file(bytes.begin(), bytes.end());
    EXPECT_EQ(file, FillInNumbers(GoldenFile("KeyInfo.txt"), file));
    EXPECT_EQ(shown, FillInNumbers(GoldenFile("report-box.txt"), shown));
    DeleteFileA("c:\\KeyInfo.txt");

    // The system's certificate dialog, titled like the main window.
    HTREEITEM key = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)key));
    PressButton(window, IDC_VIEW_CERT);
    HWND view = NULL;
    for (DWORD start = GetTickCount(); !view && GetTickCount() - start < 15000; Sleep(100))
        for (HWND w = FindWindowExA(NULL, NULL, NULL, MAIN_WINDOW_TITLE); w; w = FindWindowExA(NULL, w, NULL, MAIN_WINDOW_TITLE))
            if (w != window && IsWindowVisible(w))
                view = w;
    ASSERT_TRUE(view) << "no certificate dialog";
    PostMessageA(view, WM_CLOSE, 0, 0);

    Provision("remove 0");
    Provision("remove 1");
    EXPECT_TRUE(WaitForTree({ TEXT_NO_KEY })) << "the keys did not go";
}

TEST_F(ManagerProgramTest, AChangedPinVerifiesOnTheOnScreenKeyboardAndWrongPinsLockTheKey)
{
    Provision("create 0 --label k --pin 1111 --apps 2 --retries 1");
    ASSERT_TRUE(StartManager(manager));
    ASSERT_TRUE(WaitForTree({ "k" }));
    HWND change = OpenDialog(IDC_CHANGE_PIN, ChangeTitle);
    ASSERT_TRUE(change);
    SetDlgItemTextA(change, IDC_CURRENT_PIN, "1111");
    SetDlgItemTextA(change, IDC_NEW_PIN, "1a2b3c4d");
    SetDlgItemTextA(change, IDC_CONFIRM_PIN, "1a2b3c4d");
    PressButton(change, IDOK);
    EXPECT_EQ(AnswerBox(), ManagerText("change-succeeded"));
    EXPECT_TRUE(WaitForWindowGone("#32770", ChangeTitle, 5000));

    HWND verify = OpenDialog(IDC_VERIFY_PIN, VerifyTitle);
    ASSERT_TRUE(verify);
    for (const char* p = "1a2b3c4d"; *p; ++p) {
        char text[2] = { *p, 0 };
        EXPECT_TRUE(ClickKey(verify, text)) << "no key shows " << text;
    }
    EXPECT_EQ(ControlText(verify, IDC_PIN_BOX), "1a2b3c4d");
    ClickKey(verify, "Enter", true);
    EXPECT_EQ(AnswerBox(), ManagerText("verify-succeeded"));
    EXPECT_TRUE(WaitForWindowGone("#32770", VerifyTitle, 5000));

    verify = OpenDialog(IDC_VERIFY_PIN, VerifyTitle);
    ASSERT_TRUE(verify);
    SetDlgItemTextA(verify, IDC_PIN_BOX, "9999"); // typed, with the key's last try
    PressButton(verify, IDOK);
    EXPECT_EQ(AnswerBox(), ManagerText("pin-locked"));
}

} // namespace
