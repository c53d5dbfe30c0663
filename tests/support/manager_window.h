// The key manager's main window opened in-process over the virtual key, and closed again as a new
// process would find everything: no window, no posted quit, no library bound.
#pragma once

#include <windows.h>
#include <dbt.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manager.h"
#include "message_box_capture.h"
#include "virtual_key.h"

// How both PIN dialogs word the key's refusals.
std::string RetryMessage(int retries); // 1: the last try

// A private key store, the stand-in libraries bound and every message box captured; Open() creates
// the main window. Each test must end with no key open and KeyCmd.dll released, and no box may appear
// while a key is open.
class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the main window modeless (it binds the device libraries and refreshes once).
    void Open();
    // Destroys it and unbinds everything, as a new process would find it.
    void Close();
    // The tree's items in display order, each prefixed by one '-' per level below the keys.
    std::vector<std::string> Texts();
    // Enabled: 查看证书, 修改密码, 保存信息, 验证密码.
    std::vector<bool> KeyButtons();
    void Select(HTREEITEM item) { SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item); }
    HTREEITEM Root() { return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0); }
    // Hands the main window a device change whose record names path.
    LRESULT DeviceChange(WPARAM event, const char* path = "\\\\?\\USB#VID_5E2B&PID_0001#0001#{a5dcbf10}",
                         DWORD type = DBT_DEVTYP_DEVICEINTERFACE);

    TempStore store;
    MessageBoxCapture boxes;
    bool keyOpenDuringABox = false;
    HWND window = NULL;
    HWND tree = NULL;
};
