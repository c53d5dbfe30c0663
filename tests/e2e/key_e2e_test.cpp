// KeyManager.exe on virtual keys: keys arriving and leaving (also part-way through a refresh or a PIN
// check), the certificate view, the report, PIN verification on the on-screen keyboard, locking, and
// PIN change.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include "manager_window.h"
#include "win_harness.h"

namespace {


class KeyProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string temp = TempFolder();
        ASSERT_FALSE(temp.empty());
        folder = temp + "kit-keys-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        store = folder + "\\store";
        RemoveTree(folder);
        CreateDirectoryA(folder.c_str(), NULL);
        CreateDirectoryA(store.c_str(), NULL);
        // The manager's libraries and keysim share this private store.
        SetEnvironmentVariableA("KEYSIM_STORE", store.c_str());
        exe = folder + "\\KeyManager.exe";
        ASSERT_TRUE(CopyFileA(BuildFile("manager/KeyManager.exe").c_str(), exe.c_str(), FALSE));
        for (const char* dll : { "KeyCmd.dll", "KeyDev.dll", "KeyNum.dll" })
            ASSERT_TRUE(CopyFileA(BuildFile(std::string("standins/") + dll).c_str(), (folder + "\\" + dll).c_str(), FALSE));
    }
    void TearDown() override
    {
        manager.Kill();
        SetEnvironmentVariableA("KEYSIM_STORE", NULL);
    }

    int Keysim(const std::string& arguments)
    {
        Program keysim;
        EXPECT_TRUE(StartProgram(keysim, BuildFile("standins/keysim.exe"), arguments, folder));
        return (int)keysim.Wait(30000);
    }
    std::string Cert(const char* name)
    {
        return "\"" + SourceFile(std::string("standins/certs/") + name) + "\"";
    }
    static std::string SourceFile(const std::string& relative)
    {
        return WindowsPath(KIT_SOURCE_DIR "/" + relative);
    }
    void StartManager()
    {
        ASSERT_TRUE(StartProgram(manager, exe, ""));
        window = WaitForWindow("#32770", MAIN_WINDOW_TITLE, 20000);
        ASSERT_TRUE(window);
        WaitIdle(manager);
        tree = GetDlgItem(window, IDC_KEY_TREE);
    }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> texts;
        for (const TreeItemInfo& item : ReadTree(tree))
            texts.push_back(std::string(item.depth, '-') + item.text);
        return texts;
    }
    bool WaitForTree(const std::vector<std::string>& expected, DWORD timeoutMs = 15000)
    {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < timeoutMs) {
            if (Texts() == expected)
                return true;
            Sleep(100);
        }
        return false;
    }
    // The calls the key in slot still answers before it vanishes (0 when it is not told to), from key.ini.
    int CallsLeft(int slot)
    {
        std::string path = store + "\\slot" + std::to_string(slot) + "\\key.ini";
        FILE* file = fopen(path.c_str(), "rb");
        if (!file)
            return -1;
        char text[8192] = "";
        fread(text, 1, sizeof text - 1, file);
        fclose(file);
        const char* line = strstr(text, "\nvanish_after_calls=");
        return line ? atoi(line + 20) : 0;
    }
    // Waits for a message box of the manager, checks it, and presses OK.
    std::string AnswerBox(const char* caption = MESSAGE_CAPTION)
    {
        SeenMessageBox box;
        if (!WaitForMessageBox(caption, 15000, &box))
            return "<no message box>";
        PressButton(box.box, IDOK);
        WaitForWindowGone("#32770", caption, 5000);
        return box.text;
    }
    // One key made by the keysim "create" arguments, listed by a freshly started manager.
    void StartOnOneKey(const std::string& create)
    {
        ASSERT_EQ(Keysim("create 0 --label k " + create), 0);
        ASSERT_NO_FATAL_FAILURE(StartManager());
        ASSERT_TRUE(WaitForTree({ "k" }));
    }
    // Enters pin as typed on the physical keyboard, confirms, and answers the box that follows.
    std::string SubmitPin(HWND dialog, const char* pin)
    {
        SetDlgItemTextA(dialog, IDC_PIN_BOX, pin);
        PostMessageA(dialog, WM_COMMAND, IDOK, (LPARAM)GetDlgItem(dialog, IDOK));
        return AnswerBox();
    }
    HWND OpenPinDialog(int button, const char* title)
    {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(window, button));
        HWND dialog = WaitForWindow("#32770", title, 10000);
        // Found as soon as it exists; its keys get their captions before it is shown.
        for (int i = 0; dialog && i < 100 && !IsWindowVisible(dialog); ++i)
            Sleep(50);
        return dialog;
    }
    // Clicks the visible on-screen key whose caption is text. Enter is posted: the verification it
    // starts ends in a message box, which a sent click would wait for.
    bool ClickKey(HWND dialog, const char* text, bool post = false)
    {
        for (HWND key = GetWindow(dialog, GW_CHILD); key; key = GetWindow(key, GW_HWNDNEXT)) {
            int id = GetDlgCtrlID(key);
            if (id < 1040 || id > 2226 || !IsWindowVisible(key))
                continue;
            char caption[16] = "";
            GetWindowTextA(key, caption, sizeof caption);
            if (strcmp(caption, text) == 0) {
                if (post)
                    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)key);
                else
                    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)key);
                return true;
            }
        }
        return false;
    }
    void TypeOnScreen(HWND dialog, const char* pin)
    {
        for (const char* p = pin; *p; ++p) {
            char text[2] = { *p, 0 };
            EXPECT_TRUE(ClickKey(dialog, text)) << "no key shows " << text;
        }
    }
    void SelectItem(int index)
    {
        HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
        // Walk in display order: root, its children, the next root...
        std::vector<HTREEITEM> order;
        for (HTREEITEM r = item; r; r = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)r)) {
            order.push_back(r);
            for (HTREEITEM c = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)r); c;
                 c = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)c))
                order.push_back(c);
        }
        ASSERT_LT(index, (int)order.size());
        SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)order[index]);
    }
    // The window of the system certificate dialog: titled like the main window, owned by it.
    HWND WaitForCertificateDialog()
    {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 15000) {
            for (HWND w = FindWindowExA(NULL, NULL, NULL, MAIN_WINDOW_TITLE); w; w = FindWindowExA(NULL, w, NULL, MAIN_WINDOW_TITLE))
                if (w != window && IsWindowVisible(w))
                    return w;
            Sleep(100);
        }
        return NULL;
    }

    std::string folder, store, exe;
    Program manager;
    HWND window = NULL;
    HWND tree = NULL;
};

TEST_F(KeyProgramTest, KeysAppearWhenInsertedAndGoWhenRemoved)
{
    StartManager();
    EXPECT_EQ(Texts(), std::vector<std::string>({ TEXT_NO_KEY }));
    ASSERT_EQ(Keysim("create 2 --label 张三的Key --pin 1234 --apps 1 --removed"), 0);
    ASSERT_EQ(Keysim("put-cert 2 1 0 sig " + Cert("zhangsan-sig.der")), 0);
    ASSERT_EQ(Keysim("insert 2"), 0);
    EXPECT_TRUE(WaitForTree({ "张三的Key", "-张三" })) << "the key did not appear";
    EXPECT_TRUE(IsControlEnabled(window, IDC_VERIFY_PIN));
    ASSERT_EQ(Keysim("remove 2"), 0);
    EXPECT_TRUE(WaitForTree({ TEXT_NO_KEY })) << "the key did not go";
    EXPECT_FALSE(IsControlEnabled(window, IDC_VERIFY_PIN));
}

TEST_F(KeyProgramTest, ACertificateOpensFromTheButtonAndByDoubleClick)
{
    ASSERT_EQ(Keysim("create 0 --label k --pin 1234 --apps 1"), 0);
    ASSERT_EQ(Keysim("put-cert 0 1 0 enc " + Cert("zhangsan-enc.der")), 0);
    StartManager();
    ASSERT_TRUE(WaitForTree({ "k", "-张三" }));
    SelectItem(1);
    ASSERT_TRUE(IsControlEnabled(window, IDC_VIEW_CERT));
    PostMessageA(window, WM_COMMAND, IDC_VIEW_CERT, 0);
    HWND view = WaitForCertificateDialog();
    ASSERT_TRUE(view) << "no certificate dialog from the button";
    PostMessageA(view, WM_CLOSE, 0, 0);
    for (int i = 0; i < 50 && IsWindow(view); ++i)
        Sleep(100);
    ASSERT_FALSE(IsWindow(view));

    // A double-click on the certificate item: the tree's own mouse handling sends NM_DBLCLK.
    DWORD pid = manager.info.dwProcessId;
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    RECT* remote = (RECT*)VirtualAllocEx(process, NULL, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    WriteProcessMemory(process, remote, &item, sizeof item, NULL);
    SendMessageA(tree, TVM_GETITEMRECT, TRUE, (LPARAM)remote);
    RECT rect;
    ReadProcessMemory(process, remote, &rect, sizeof rect, NULL);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(tree, WM_LBUTTONUP, 0, at);
    PostMessageA(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(tree, WM_LBUTTONUP, 0, at);
    view = WaitForCertificateDialog();
    ASSERT_TRUE(view) << "no certificate dialog from the double-click";
    PostMessageA(view, WM_CLOSE, 0, 0);
}

TEST_F(KeyProgramTest, TheReportIsSavedAndShown)
{
    ASSERT_EQ(Keysim("create 1 --label 报告Key --pin 1234 --serial 5E2B00AA --apps 1"), 0);
    ASSERT_EQ(Keysim("put-cert 1 1 1 sig " + Cert("lisi-sig.der")), 0);
    DeleteFileA("c:\\KeyInfo.txt");
    StartManager();
    ASSERT_TRUE(WaitForTree({ "报告Key", "-李四" }));
    PostMessageA(window, WM_COMMAND, IDC_SAVE_REPORT, 0);
    std::string text = AnswerBox(REPORT_CAPTION);
    EXPECT_NE(text.find(REPORT_DEVICE_SERIAL "5E2B00AA\n" REPORT_DEVICE_LABEL "报告Key\n\n" REPORT_CERT_SUBJECT "李四" REPORT_CERT_SIGNATURE "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(REPORT_SAVED_NOTICE), std::string::npos);
    FILE* file = fopen("c:\\KeyInfo.txt", "rb");
    ASSERT_TRUE(file);
    char bytes[8192] = "";
    fread(bytes, 1, sizeof bytes - 1, file);
    fclose(file);
    EXPECT_NE(strstr(bytes, "\r\n\r\n设备和证书信息如下:\r\n\r\n设备名: MKT2048加密模块\r\n" REPORT_DEVICE_SERIAL "5E2B00AA\r\n"), nullptr);
    DeleteFileA("c:\\KeyInfo.txt");
}

TEST_F(KeyProgramTest, OnScreenKeyboardVerifiesARightAndAWrongPin)
{
    ASSERT_NO_FATAL_FAILURE(StartOnOneKey("--pin 1a2b --apps 2 --retries 6"));
    HWND dialog = OpenPinDialog(IDC_VERIFY_PIN, "验证USBKey密码");
    ASSERT_TRUE(dialog);
    TypeOnScreen(dialog, "0000");
    ClickKey(dialog, "Enter", true);
    EXPECT_EQ(AnswerBox(), RetryMessage(5));
    EXPECT_EQ(ControlText(dialog, IDC_PIN_BOX), "");

    TypeOnScreen(dialog, "1a2b");
    EXPECT_EQ(ControlText(dialog, IDC_PIN_BOX), "1a2b");
    ClickKey(dialog, "Enter", true);
    EXPECT_EQ(AnswerBox(), TEXT_VERIFY_SUCCEEDED);
    EXPECT_TRUE(WaitForWindowGone("#32770", "验证USBKey密码", 5000));
}

TEST_F(KeyProgramTest, WrongPinsLockTheKey)
{
    ASSERT_NO_FATAL_FAILURE(StartOnOneKey("--pin 4321 --apps 1 --retries 3"));
    HWND dialog = OpenPinDialog(IDC_VERIFY_PIN, "验证USBKey密码");
    ASSERT_TRUE(dialog);
    const std::string expected[] = {
        RetryMessage(2),
        TEXT_PIN_WRONG_LAST_TRY,
        TEXT_PIN_LOCKED,
        TEXT_PIN_LOCKED, // the right PIN no longer helps
    };
    const char* pins[] = { "9999", "9999", "9999", "4321" };
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(SubmitPin(dialog, pins[i]), expected[i]) << i;
}

TEST_F(KeyProgramTest, AChangedPinVerifies)
{
    ASSERT_NO_FATAL_FAILURE(StartOnOneKey("--pin 1111 --apps 2"));
    HWND change = OpenPinDialog(IDC_CHANGE_PIN, "修改USBKey密码");
    ASSERT_TRUE(change);
    SetDlgItemTextA(change, IDC_CURRENT_PIN, "1111");
    SetDlgItemTextA(change, IDC_NEW_PIN, "Abcdefg1");
    SetDlgItemTextA(change, IDC_CONFIRM_PIN, "Abcdefg1");
    EXPECT_TRUE(IsControlVisible(change, IDC_METER_HIGH_BAR));
    PostMessageA(change, WM_COMMAND, IDOK, (LPARAM)GetDlgItem(change, IDOK));
    EXPECT_EQ(AnswerBox(), TEXT_CHANGE_SUCCEEDED);
    EXPECT_TRUE(WaitForWindowGone("#32770", "修改USBKey密码", 5000));

    HWND verify = OpenPinDialog(IDC_VERIFY_PIN, "验证USBKey密码");
    ASSERT_TRUE(verify);
    EXPECT_EQ(SubmitPin(verify, "1111"), RetryMessage(5));
    // Typed on the physical keyboard this time: with Shift held on screen only the A would differ.
    EXPECT_EQ(SubmitPin(verify, "Abcdefg1"), TEXT_VERIFY_SUCCEEDED);
}

// Key 1 pulled out while the manager reads its certificate: the refresh goes on without it, the removal
// clears it from the tree, and plugged in again it is listed whole.
TEST_F(KeyProgramTest, AKeyPulledOutDuringARefreshIsListedAgainWhenBack)
{
    ASSERT_EQ(Keysim("create 0 --label k0 --pin 1234 --apps 1"), 0);
    ASSERT_EQ(Keysim("put-cert 0 1 0 sig " + Cert("zhangsan-sig.der")), 0);
    ASSERT_EQ(Keysim("create 1 --label k1 --pin 1234 --apps 1"), 0);
    ASSERT_EQ(Keysim("put-cert 1 1 0 sig " + Cert("lisi-sig.der")), 0);
    ASSERT_EQ(Keysim("create 2 --label k2 --pin 1234 --apps 1 --removed"), 0);
    ASSERT_EQ(Keysim("vanish 1 1000000"), 0);
    StartManager();
    const std::vector<std::string> all = { "k0", "-张三", "k1", "-李四" };
    ASSERT_TRUE(WaitForTree(all));
    // Reading key 1: reset, serial, device information (select, header, 3 pieces) = 7; application 1:
    // select MF, its check (MF, device information) = 14; select AD01, its directory (select, header,
    // 3 pieces) = 20; the certificate: MF, AD01, DF11, select EF02, header = 25, 8 pieces of its 943
    // bytes = 33; application 2's check = 40.
    ASSERT_EQ(1000000 - CallsLeft(1), 40) << "a refresh reads key 1 differently now: recount the calls below";

    // Vanishing after the certificate's header, and halfway through its pieces.
    for (int calls : { 25, 29 }) {
        ASSERT_EQ(Keysim("vanish 1 " + std::to_string(calls)), 0);
        ASSERT_EQ(Keysim("insert 2"), 0); // k2 arriving makes the manager read every key
        EXPECT_TRUE(WaitForTree({ "k0", "-张三", "k2" })) << calls;
        EXPECT_EQ(CallsLeft(1), 0);
        ASSERT_EQ(Keysim("remove 2"), 0);
        ASSERT_EQ(Keysim("insert 1"), 0);
        EXPECT_TRUE(WaitForTree(all)) << calls;
    }
}

// The only key pulled out while its PIN is checked: the user is told the check failed, the tree empties,
// and with the key back the same dialog verifies the PIN.
TEST_F(KeyProgramTest, AKeyPulledOutDuringAPinCheckVerifiesWhenBack)
{
    ASSERT_NO_FATAL_FAILURE(StartOnOneKey("--pin 1234 --apps 1"));
    HWND dialog = OpenPinDialog(IDC_VERIFY_PIN, "验证USBKey密码");
    ASSERT_TRUE(dialog);
    // The check: reset, select MF, application 1's check (MF, device information: select, header,
    // 3 pieces) = 8, select AD01 = 9, verify = 10. Vanishing inside the device information, and just
    // before the verify.
    for (int calls : { 6, 9 }) {
        ASSERT_EQ(Keysim("vanish 0 " + std::to_string(calls)), 0);
        EXPECT_EQ(SubmitPin(dialog, "1234"), TEXT_VERIFY_FAILED) << calls;
        EXPECT_TRUE(WaitForTree({ TEXT_NO_KEY })) << calls;
        ASSERT_EQ(Keysim("insert 0"), 0);
        ASSERT_TRUE(WaitForTree({ "k" })) << calls;
    }
    EXPECT_EQ(SubmitPin(dialog, "1234"), TEXT_VERIFY_SUCCEEDED);
    EXPECT_TRUE(WaitForWindowGone("#32770", "验证USBKey密码", 5000));
}

} // namespace
