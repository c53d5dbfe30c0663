// A main window with virtual keys and a PIN dialog opened modeless (and hidden) over it, EndDialog recorded.
#pragma once

#include <string>
#include <vector>

#include "manager_window.h"

struct EndedDialog {
    HWND dialog;
    INT_PTR result;
};
extern std::vector<EndedDialog> EndedDialogs;

class PinDialogTest : public ManagerTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes a key labelled key<slot> with a PIN of four digits and the serial number 5E2<slot><pin>, with
    // one or two applications (replacing the slot's key), and refreshes the main window.
    void PutKey(int slot, bool twoApplications, const std::string& pin = "1234");
    // Takes the key out of slot and refreshes, as a removal notice would.
    void RemoveKey(int slot);
    void OpenDialog(int templateId, DLGPROC procedure);
    void OpenVerify() { OpenDialog(IDD_VERIFY_PIN, VerifyPinDlgProc); }
    void OpenChange() { OpenDialog(IDD_CHANGE_PIN, ChangePinDlgProc); }
    void CloseDialog();
    void Type(int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }
    std::string Text(int id);
    void Press(int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id)); }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    // The control's own visibility: the dialog itself stays hidden.
    bool Visible(int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }
    int Focused() { return GetDlgCtrlID(GetFocus()); }
    // The texts of the boxes shown so far, each checked to be a prompt owned by the dialog.
    std::vector<std::string> BoxTexts();

    // Each secret is gone from wherever the PIN calls of this test found their data: the dialogs wipe
    // their buffers (at the same place for every press of OK from one test body) on every path.
    void ExpectWiped(const std::vector<std::string>& secrets);

    HWND dialog = NULL;
};
