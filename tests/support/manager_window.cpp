// The main window opened in-process over the virtual key.
#include "manager_window.h"

#include "win_harness.h"

std::string RetryMessage(int retries)
{
    return retries == 1 ? ManagerText("pin-wrong-last-try")
                        : FillIn(ManagerText("pin-wrong-retries"), "retries", std::to_string(retries));
}

void ManagerTest::SetUp()
{
    BindVirtualKey();
    AppInstance = GetModuleHandleA(NULL);
    SelectedKeyItem = NULL;
    boxes.whileShown = [this](const CapturedBox&) { keyOpenDuringABox |= Binding.openKeys != 0; };
}

void ManagerTest::TearDown()
{
    EXPECT_FALSE(keyOpenDuringABox) << "a message box was shown while a key was open";
    EXPECT_EQ(Binding.openKeys, 0) << "a key was left open";
    EXPECT_FALSE(IsLoaded("KeyCmd.dll")) << "KeyCmd.dll was left loaded";
    Close();
    UnbindVirtualKey();
}

void ManagerTest::Open()
{
    InitCommonControls();
    window = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDlgProc, 0);
    ASSERT_TRUE(window);
    tree = GetDlgItem(window, IDC_KEY_TREE);
}

void ManagerTest::Close()
{
    if (window && IsWindow(window))
        DestroyWindow(window);
    window = tree = NULL;
    // The exit posts a quit message; it must not end a later test's modal loop.
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    }
    ReleaseDeviceLibrary();
    // KeyNum.dll is never released by the program; a test starts over as a new process would.
    KeyNumModule = NULL;
}

std::vector<std::string> ManagerTest::Texts()
{
    std::vector<std::string> texts;
    for (const TreeItemInfo& item : ReadTree(tree))
        texts.push_back(std::string(item.depth, '-') + item.text);
    return texts;
}

std::vector<bool> ManagerTest::KeyButtons()
{
    std::vector<bool> on;
    for (int id : { IDC_VIEW_CERT, IDC_CHANGE_PIN, IDC_SAVE_REPORT, IDC_VERIFY_PIN })
        on.push_back(IsControlEnabled(window, id));
    return on;
}

LRESULT ManagerTest::DeviceChange(WPARAM event, const char* path, DWORD type)
{
    std::vector<unsigned char> bytes(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + strlen(path), 0);
    DEV_BROADCAST_DEVICEINTERFACE_A* record = (DEV_BROADCAST_DEVICEINTERFACE_A*)bytes.data();
    record->dbcc_size = (DWORD)bytes.size();
    record->dbcc_devicetype = type;
    strcpy(record->dbcc_name, path);
    return MainDlgProc(window, WM_DEVICECHANGE, event, (LPARAM)record);
}
