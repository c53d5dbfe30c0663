// The main window in-process: its template, initialisation, key buttons, device changes,
// update messages and exit, with the fake token libraries.
#include <gtest/gtest.h>

#include <string.h>

#include "dialog_template.h"
#include "fake_token.h"
#include "manager_window.h"
#include "manager.h"

#include <dbt.h>
#include "win_harness.h"

namespace {

TEST(MainDialogTemplate, MatchesItsTable)
{
    DialogTemplate d = LoadDialogTemplate(GetModuleHandleA(NULL), IDD_MAIN);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.style, (DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(std::vector<int>({ d.x, d.y, d.cx, d.cy }), std::vector<int>({ 0, 0, 292, 195 }));
    EXPECT_EQ(d.menu, "");
    EXPECT_EQ(d.className, "");
    EXPECT_EQ(d.title, "VelmoraCA客户端工具");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.weight, 0);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, DEFAULT_CHARSET);
    EXPECT_EQ(d.font, "宋体");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD button = child | WS_TABSTOP | BS_PUSHBUTTON;
    const DWORD hidden = WS_CHILD | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON;
    const TemplateControl expected[] = {
        { -1, "Static", child | SS_BITMAP, 0, 0, 0, 20, 20, "#102" },
        { -1, "Button", child | BS_GROUPBOX, 0, 4, 51, 286, 136, "USBKey管理 (软件版本: 1.0.0.12)" },
        { 1000, "SysTreeView32", child | WS_TABSTOP | TVS_HASLINES | TVS_LINESATROOT, 0, 11, 67, 196, 111, "Tree1" },
        { 1001, "Button", button, 0, 216, 69, 57, 14, "查看证书" },
        { 1002, "Button", button, 0, 216, 117, 57, 14, "修改密码" },
        { 1003, "Button", button, 0, 216, 141, 57, 14, "保存信息" },
        { 1004, "Button", button, 0, 216, 165, 57, 14, "退   出" },
        { 1019, "Button", button, 0, 216, 93, 57, 14, "验证密码" },
        { 1020, "Button", hidden, 0, 277, 92, 6, 14, "格式化" },
        { 1021, "Button", hidden, 0, 277, 71, 6, 14, "密码重置" },
    };
    ASSERT_EQ(d.controls.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const TemplateControl& c = d.controls[i];
        const TemplateControl& e = expected[i];
        SCOPED_TRACE(e.text);
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(lstrcmpiA(c.className.c_str(), e.className.c_str()), 0) << c.className;
        EXPECT_EQ(c.style, e.style) << std::hex << c.style << " vs " << e.style;
        EXPECT_EQ(c.exStyle, 0u);
        EXPECT_EQ(std::vector<int>({ c.x, c.y, c.cx, c.cy }), std::vector<int>({ e.x, e.y, e.cx, e.cy }));
        EXPECT_EQ(c.text, e.text);
    }
}

TEST(ManagerResources, BannerIconAndVersionAreThere)
{
    HMODULE self = GetModuleHandleA(NULL);
    HBITMAP banner = LoadBitmapA(self, MAKEINTRESOURCEA(IDB_BANNER));
    ASSERT_TRUE(banner);
    BITMAP info;
    GetObjectA(banner, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 438);
    EXPECT_EQ(info.bmHeight, 65);
    DeleteObject(banner);

    // The icon group holds one 32 x 32 image of 24 bits per pixel.
    HRSRC group = FindResourceA(self, MAKEINTRESOURCEA(IDI_APP), (LPCSTR)RT_GROUP_ICON);
    ASSERT_TRUE(group);
    const BYTE* dir = (const BYTE*)LockResource(LoadResource(self, group));
    EXPECT_EQ(*(const WORD*)(dir + 4), 1);
    EXPECT_EQ(dir[6], 32);
    EXPECT_EQ(dir[7], 32);
    EXPECT_EQ(*(const WORD*)(dir + 6 + 6), 24);

    HRSRC version = FindResourceA(self, MAKEINTRESOURCEA(1), (LPCSTR)RT_VERSION);
    ASSERT_TRUE(version);
    const BYTE* block = (const BYTE*)LockResource(LoadResource(self, version));
    VS_FIXEDFILEINFO* fixed = (VS_FIXEDFILEINFO*)(block + 40); // after the header and the key text
    ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000007u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000007u);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        token.Install();
        AppInstance = GetModuleHandleA(NULL);
        SelectedKeyItem = NULL;
        InitCommonControls();
    }
    void TearDown() override { CloseTestMainWindow(window); }
    void Open()
    {
        window = OpenTestMainWindow();
        ASSERT_TRUE(window);
        tree = GetDlgItem(window, IDC_KEY_TREE);
    }
    // Whether a WM_QUIT was posted; removes it so it cannot end a later test's loop.
    bool DrainQuit()
    {
        MSG message;
        bool quit = false;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            quit |= message.message == WM_QUIT;
        return quit;
    }
    std::vector<bool> KeyButtons()
    {
        return { IsControlEnabled(window, IDC_VIEW_CERT), IsControlEnabled(window, IDC_CHANGE_PIN),
                 IsControlEnabled(window, IDC_SAVE_REPORT), IsControlEnabled(window, IDC_VERIFY_PIN) };
    }
    HTREEITEM Root() { return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0); }
    int ItemCount() { return (int)SendMessageA(tree, TVM_GETCOUNT, 0, 0); }
    void AddMarkerItem()
    {
        TVINSERTSTRUCTA insert = {};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = (LPSTR) "marker";
        SendMessageA(tree, TVM_INSERTITEMA, 0, (LPARAM)&insert);
    }
    LRESULT SendDeviceChange(WPARAM event, const void* record)
    {
        return CallDialogProc(WM_DEVICECHANGE, event, (LPARAM)record);
    }
    INT_PTR CallDialogProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return MainDlgProc(window, message, wParam, lParam);
    }
    static std::vector<unsigned char> InterfaceRecord(const char* path, DWORD type = DBT_DEVTYP_DEVICEINTERFACE)
    {
        std::vector<unsigned char> bytes(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + strlen(path), 0);
        DEV_BROADCAST_DEVICEINTERFACE_A* r = (DEV_BROADCAST_DEVICEINTERFACE_A*)bytes.data();
        r->dbcc_size = (DWORD)bytes.size();
        r->dbcc_devicetype = type;
        strcpy(r->dbcc_name, path);
        return bytes;
    }

    fake::Token& token = fake::Instance();
    HWND window = NULL;
    HWND tree = NULL;
};

TEST_F(MainWindowTest, OpensWithThePlaceholderAndRegistersForKeys)
{
    Open();
    std::vector<TreeItemInfo> items = ReadTree(tree);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "没有USBKey");
    EXPECT_EQ(items[0].depth, 0);
    EXPECT_EQ(items[0].image, 0);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, false, false, false }));
    EXPECT_FALSE(IsControlEnabled(window, IDC_FORMAT_KEY));
    EXPECT_FALSE(IsControlVisible(window, IDC_FORMAT_KEY));
    EXPECT_FALSE(IsControlEnabled(window, IDC_RESET_PIN));
    EXPECT_FALSE(IsControlVisible(window, IDC_RESET_PIN));
    EXPECT_EQ(token.registrations, 1);
    EXPECT_EQ(token.registeredWindow, (void*)window);
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0) << "no key left open";
    EXPECT_EQ((HICON)SendMessageA(window, WM_GETICON, ICON_SMALL, 0), AppIcon);
}

TEST_F(MainWindowTest, WithoutTheLibrariesTheTreeStaysEmptyAndKeysAreIgnored)
{
    token.missingNames.insert("HexToDec");
    Open();
    EXPECT_EQ(Root(), (HTREEITEM)NULL);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, false, false, false }));
    EXPECT_EQ(token.registrations, 0);
    std::vector<unsigned char> record = InterfaceRecord("\\\\?\\USB#VID_5E2B&PID_0001#1#{x}");
    EXPECT_EQ(SendDeviceChange(DBT_DEVICEARRIVAL, record.data()), TRUE);
    EXPECT_EQ(Root(), (HTREEITEM)NULL);
    EXPECT_EQ(token.CountCalls("QZ_IsQZDevice"), 0);
}

TEST_F(MainWindowTest, SelectingATopLevelItemEnablesTheKeyButtons)
{
    Open();
    HTREEITEM placeholder = Root();
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)placeholder);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, true, true, true }));
    EXPECT_EQ(SelectedKeyItem, placeholder);

    // A child item is a certificate: only "查看证书", and the selected key stays.
    TVINSERTSTRUCTA insert = {};
    insert.hParent = placeholder;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = (LPSTR) "cert";
    HTREEITEM child = (HTREEITEM)SendMessageA(tree, TVM_INSERTITEMA, 0, (LPARAM)&insert);
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)child);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ true, false, false, false }));
    EXPECT_EQ(SelectedKeyItem, placeholder);
}

TEST_F(MainWindowTest, OnlyArrivalsAndRemovalsOfKeysRefreshTheTree)
{
    Open();
    struct Case { WPARAM event; std::string path; DWORD type; bool refresh; };
    const Case cases[] = {
        { DBT_DEVICEARRIVAL, "\\\\?\\USB#VID_5E2B&PID_0001#7#{a5dcbf10}", DBT_DEVTYP_DEVICEINTERFACE, true },
        { DBT_DEVICEREMOVECOMPLETE, "\\\\?\\usb#vid_5e2b&pid_0001#7#{a5dcbf10}", DBT_DEVTYP_DEVICEINTERFACE, true },
        { DBT_DEVICEARRIVAL, "\\\\?\\USB#VID_1234&PID_0001#7#{a5dcbf10}", DBT_DEVTYP_DEVICEINTERFACE, false },
        { DBT_DEVICEARRIVAL, "\\\\?\\USB#VID_5E2B&PID_0001#7", DBT_DEVTYP_VOLUME, false },
        { DBT_DEVICEQUERYREMOVE, "\\\\?\\USB#VID_5E2B&PID_0001#7", DBT_DEVTYP_DEVICEINTERFACE, false },
        { DBT_DEVNODES_CHANGED, "\\\\?\\USB#VID_5E2B&PID_0001#7", DBT_DEVTYP_DEVICEINTERFACE, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        // A marker item that only a rebuild of the tree removes.
        AddMarkerItem();
        std::vector<unsigned char> record = InterfaceRecord(c.path.c_str(), c.type);
        EXPECT_EQ(SendDeviceChange(c.event, record.data()), TRUE);
        EXPECT_EQ(ItemCount() == 1, c.refresh);
    }
}

TEST_F(MainWindowTest, DeviceChangesWithoutAUsableRecordAreIgnored)
{
    Open();
    AddMarkerItem();
    EXPECT_EQ(SendDeviceChange(DBT_DEVICEARRIVAL, nullptr), TRUE);
    EXPECT_EQ(SendDeviceChange(DBT_DEVICEREMOVECOMPLETE, nullptr), TRUE);
    // A record that claims to be only its header: no name to look at.
    DEV_BROADCAST_DEVICEINTERFACE_A shortRecord = {};
    shortRecord.dbcc_size = 28;
    shortRecord.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    EXPECT_EQ(SendDeviceChange(DBT_DEVICEARRIVAL, &shortRecord), TRUE);
    EXPECT_EQ(token.CountCalls("QZ_IsQZDevice"), 0);
    EXPECT_EQ(ItemCount(), 2);
}

TEST_F(MainWindowTest, EnterAndEscapeLeaveTheWindowOpen)
{
    Open();
    SendMessageA(window, WM_COMMAND, IDOK, 0);
    SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
    SendMessageA(window, WM_COMMAND, IDC_FORMAT_KEY, 0);
    SendMessageA(window, WM_COMMAND, IDC_RESET_PIN, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(DrainQuit());
    EXPECT_EQ(token.unregistrations, 0);
}

TEST_F(MainWindowTest, ExitUnregistersReleasesKeyDevAndQuits)
{
    for (UINT how : { (UINT)WM_COMMAND, (UINT)WM_CLOSE }) {
        SCOPED_TRACE(how);
        token.Install();
        Open();
        if (how == WM_COMMAND)
            SendMessageA(window, WM_COMMAND, IDC_EXIT, 0);
        else
            SendMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(token.unregistrations, 1);
        EXPECT_EQ(KeyDevModule, (HMODULE)NULL);
        EXPECT_EQ(token.LoadedCount("KeyDev.dll"), 0);
        EXPECT_EQ(token.LoadedCount("KeyNum.dll"), 1) << "KeyNum.dll is never released";
        EXPECT_TRUE(DrainQuit());
        CloseTestMainWindow(window);
        window = NULL;
    }
}

class UpdateMessageTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\DIZUDORU");
    }
    void TearDown() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\DIZUDORU");
        MainWindowTest::TearDown();
    }
    void PutValue(const char* name, size_t size)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\DIZUDORU", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL), ERROR_SUCCESS);
        std::vector<BYTE> bytes(size, 0x01);
        RegSetValueExA(key, name, 0, REG_BINARY, bytes.data(), (DWORD)bytes.size());
        RegCloseKey(key);
    }
};

TEST_F(UpdateMessageTest, OnlyTheTwoParameterPairsReadTheRegistry)
{
    Open();
    // No key in the registry: the two real requests fail to read, the others are not requests.
    EXPECT_EQ(CallDialogProc(WM_UPDATEINFO, 0, 0), FALSE);
    EXPECT_EQ(CallDialogProc(WM_UPDATEINFO, 1, 1), FALSE);
    EXPECT_EQ(CallDialogProc(WM_UPDATEINFO, 0, 1), TRUE);
    EXPECT_EQ(CallDialogProc(WM_UPDATEINFO, 1, 0), TRUE);
    EXPECT_EQ(CallDialogProc(WM_UPDATEINFO, 2, 2), TRUE);
}

TEST_F(UpdateMessageTest, ReadsUpTo3000BytesOfTheChosenValue)
{
    PutValue("UpDateInfExc", 3000);
    PutValue("UpDateInfSig", 3001);
    Open();
    EXPECT_EQ(CallDialogProc(WM_UPDATEINFO, 0, 0), TRUE);
    EXPECT_EQ(CallDialogProc(WM_UPDATEINFO, 1, 1), FALSE) << "a value above 3000 bytes is not read";
}

} // namespace
