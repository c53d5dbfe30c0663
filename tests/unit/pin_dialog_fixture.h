// A main window with fake keys and a PIN dialog opened over it, with message boxes and EndDialog
// captured, for the PIN dialog tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_token.h"
#include "key_builder.h"
#include "manager.h"
#include "message_box_capture.h"

struct EndedDialog {
    HWND dialog;
    INT_PTR result;
};
extern std::vector<EndedDialog> EndedDialogs;
void InstallEndDialogCapture();

class PinDialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Puts a key with one or two applications in slot and refreshes the main window.
    void PutKey(int slot, bool twoApplications);
    void OpenDialog(int templateId, DLGPROC procedure);
    void Type(int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }
    std::string Text(int id);
    void Press(int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id)); }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    bool Visible(int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
    int Focused() { return GetDlgCtrlID(GetFocus()); }
    std::vector<std::string> BoxTexts();

    fake::Token& token = fake::Instance();
    MessageBoxCapture* boxes = nullptr;
    HWND mainWindow = NULL;
    HWND dialog = NULL;
    bool keyOpenDuringABox = false;
};
