// The main window in-process: initialisation, key buttons, device changes, update messages and exit,
// with the fake token libraries.
#include "manager_window.h"
#include "win_harness.h"

namespace {

class MainWindowTest : public ManagerTest {
protected:
    // Whether a WM_QUIT was posted; removes it so it cannot end a later test's loop.
    bool DrainQuit()
    {
        MSG message;
        bool quit = false;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            quit |= message.message == WM_QUIT;
        return quit;
    }
    int ItemCount() { return (int)SendMessageA(tree, TVM_GETCOUNT, 0, 0); }
    void AddMarker() { InsertTreeItem(tree, TVI_ROOT, "marker", KEY_ITEM_TEXT_LIMIT, 0); }
    INT_PTR Update(WPARAM wParam, LPARAM lParam) { return MainDlgProc(window, WM_UPDATEINFO, wParam, lParam); }
};

// The placeholder and the key buttons with no key: DeviceTreeTest.
TEST_F(MainWindowTest, OpensRegisteredForKeysWithTheUnusedButtonsHidden)
{
    Open();
    for (int id : { IDC_FORMAT_KEY, IDC_RESET_PIN }) {
        EXPECT_FALSE(IsControlEnabled(window, id)) << id;
        EXPECT_FALSE(IsControlVisible(window, id)) << id;
    }
    EXPECT_EQ(token.registrations, 1);
    EXPECT_EQ(token.registeredWindow, (void*)window);
    EXPECT_EQ((HICON)SendMessageA(window, WM_GETICON, ICON_SMALL, 0), AppIcon);
}

TEST_F(MainWindowTest, WithoutTheLibrariesTheTreeStaysEmptyAndKeysAreIgnored)
{
    token.missingNames.insert("HexToDec");
    Open();
    EXPECT_EQ(Root(), (HTREEITEM)NULL);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, false, false, false }));
    EXPECT_EQ(token.registrations, 0);
    EXPECT_EQ(DeviceChange(DBT_DEVICEARRIVAL), TRUE);
    EXPECT_EQ(Root(), (HTREEITEM)NULL);
    EXPECT_EQ(token.CountCalls("QZ_IsQZDevice"), 0);
}

TEST_F(MainWindowTest, OnlyArrivalsAndRemovalsOfKeysRefreshTheTree)
{
    Open();
    struct Case { WPARAM event; const char* path; DWORD type; bool refresh; };
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
        AddMarker(); // only a rebuild of the tree removes it
        EXPECT_EQ(DeviceChange(c.event, c.path, c.type), TRUE);
        EXPECT_EQ(ItemCount() == 1, c.refresh);
    }
    // No record, or one that claims to be only its header: no name to look at.
    int items = ItemCount();
    token.calls.clear();
    EXPECT_EQ(MainDlgProc(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), TRUE);
    EXPECT_EQ(MainDlgProc(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0), TRUE);
    DEV_BROADCAST_DEVICEINTERFACE_A header = {};
    header.dbcc_size = 28;
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    EXPECT_EQ(MainDlgProc(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&header), TRUE);
    EXPECT_EQ(token.CountCalls("QZ_IsQZDevice"), 0);
    EXPECT_EQ(ItemCount(), items);
}

TEST_F(MainWindowTest, EnterAndEscapeLeaveTheWindowOpenAndExitQuits)
{
    Open();
    for (int id : { IDOK, IDCANCEL, IDC_FORMAT_KEY, IDC_RESET_PIN })
        SendMessageA(window, WM_COMMAND, id, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(DrainQuit());
    EXPECT_EQ(token.unregistrations, 0);

    // The exit button and closing the window both unregister, release KeyDev.dll and quit.
    for (UINT how : { (UINT)WM_COMMAND, (UINT)WM_CLOSE }) {
        SCOPED_TRACE(how);
        Close();
        token.Install();
        Open();
        SendMessageA(window, how, how == WM_COMMAND ? IDC_EXIT : 0, 0);
        EXPECT_EQ(token.unregistrations, 1);
        EXPECT_EQ(KeyDevModule, (HMODULE)NULL);
        EXPECT_EQ(token.LoadedCount("KeyDev.dll"), 0);
        EXPECT_EQ(token.LoadedCount("KeyNum.dll"), 1) << "KeyNum.dll is never released";
        EXPECT_TRUE(DrainQuit());
    }
}

TEST_F(MainWindowTest, OnlyTheTwoParameterPairsReadUpTo3000BytesOfTheirValue)
{
    const char* const Key = "SOFTWARE\\DIZUDORU";
    RegDeleteKeyA(HKEY_CURRENT_USER, Key);
    Open();
    // No key in the registry: the two real requests fail to read, the others are not requests.
    EXPECT_EQ(Update(0, 0), FALSE);
    EXPECT_EQ(Update(1, 1), FALSE);
    EXPECT_EQ(Update(0, 1), TRUE);
    EXPECT_EQ(Update(1, 0), TRUE);
    EXPECT_EQ(Update(2, 2), TRUE);

    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL), ERROR_SUCCESS);
    std::vector<BYTE> bytes(3001, 0x01);
    RegSetValueExA(key, "UpDateInfExc", 0, REG_BINARY, bytes.data(), 3000);
    RegSetValueExA(key, "UpDateInfSig", 0, REG_BINARY, bytes.data(), 3001);
    RegCloseKey(key);
    EXPECT_EQ(Update(0, 0), TRUE);
    EXPECT_EQ(Update(1, 1), FALSE) << "a value above 3000 bytes is not read";
    RegDeleteKeyA(HKEY_CURRENT_USER, Key);
}

} // namespace
