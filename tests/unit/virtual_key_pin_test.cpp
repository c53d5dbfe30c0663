// Both PIN dialogs in-process over the virtual key: the built token libraries bound by the manager's
// own loader, keys made by keysim.exe, and what each key holds afterwards read from its key.ini.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "manager_window.h"
#include "message_box_capture.h"
#include "standin_harness.h"

namespace {


struct Application {
    std::string pin;
    int retriesLeft;
    bool operator==(const Application& o) const { return pin == o.pin && retriesLeft == o.retriesLeft; }
};
std::ostream& operator<<(std::ostream& out, const Application& a)
{
    return out << "PIN " << a.pin << ", " << a.retriesLeft << " retries left";
}

class VirtualKeyPinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetDllDirectoryA(StandinsFolder().c_str());
        TokenLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };
        AppInstance = GetModuleHandleA(NULL);
        SelectedKeyItem = NULL;
        InitCommonControls();
    }
    void TearDown() override
    {
        if (dialog)
            DestroyWindow(dialog);
        if (window)
            DestroyWindow(window);
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        }
        ReleaseDeviceLibrary();
        KeyNumModule = NULL;
        EXPECT_EQ(KeyCmdModule, (HMODULE)NULL) << "KeyCmd.dll was left loaded";
        SetDllDirectoryA(NULL);
    }

    // The main window, listing the keys made so far.
    void OpenMain()
    {
        window = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDlgProc, 0);
        ASSERT_TRUE(window);
    }
    void SelectKey(int slot)
    {
        SendDlgItemMessageA(window, IDC_KEY_TREE, TVM_SELECTITEM, TVGN_CARET, (LPARAM)DeviceTable[slot].keyItem);
        ASSERT_EQ(SelectedKeyItem, DeviceTable[slot].keyItem);
    }
    // Opened modeless and hidden, as the unit tests of the dialogs do.
    void OpenDialog(int templateId, DLGPROC procedure)
    {
        dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(templateId), window, procedure, 0);
        ASSERT_TRUE(dialog);
    }
    void Type(int id, const char* text) { SetDlgItemTextA(dialog, id, text); }
    void Press(int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id)); }
    void Change(const char* current, const char* fresh)
    {
        OpenDialog(IDD_CHANGE_PIN, ChangePinDlgProc);
        Type(IDC_CURRENT_PIN, current);
        Type(IDC_NEW_PIN, fresh);
        Type(IDC_CONFIRM_PIN, fresh);
        Press(IDOK);
    }
    std::vector<std::string> Shown()
    {
        std::vector<std::string> texts;
        for (const CapturedBox& box : boxes.boxes)
            texts.push_back(box.text);
        return texts;
    }

    // The value of name in section of the slot's key.ini ("" when it is not there).
    std::string Value(int slot, const std::string& section, const std::string& name)
    {
        std::vector<unsigned char> bytes = ReadFileBytes(store.SlotFile(slot, "key.ini"));
        std::string text(bytes.begin(), bytes.end());
        size_t start = text.find("[" + section + "]\n");
        size_t end = start == std::string::npos ? start : text.find("\n[", start);
        size_t at = start == std::string::npos ? start : text.find("\n" + name + "=", start);
        if (at == std::string::npos || at > end)
            return "";
        at += name.size() + 2;
        return text.substr(at, text.find('\n', at) - at);
    }
    std::vector<Application> Applications(int slot)
    {
        std::vector<Application> apps;
        for (const char* section : { "application1", "application2" })
            apps.push_back({ Value(slot, section, "pin"), atoi(Value(slot, section, "retries_left").c_str()) });
        return apps;
    }

    TempStore store;
    MessageBoxCapture boxes;
    HWND window = NULL;
    HWND dialog = NULL;
};

// Keys whose two applications answer a change differently: either both take it or neither keeps it.
TEST_F(VirtualKeyPinTest, AChangeIsTakenByEveryApplicationOrByNone)
{
    // The change's calls on a key with two applications: reset; per application the loop's select of
    // the master file, its check (master file, device information: select, header, 3 pieces) and its
    // select = 2..9 and 10..17; then master file, application 1 and its change = 18..20.
    const int firstChange = 20;
    struct Case {
        const char* what;
        const char* create;
        int vanishAfter;  // 0: the key stays
        const char* current;
        const char* fresh;
        std::string shown;
        std::vector<Application> after;
    };
    const Case cases[] = {
        { "one PIN, both take it", "--pin 1111", 0, "1111", "5555", TEXT_CHANGE_SUCCEEDED,
          { { "5555", 6 }, { "5555", 6 } } },
        { "one PIN, both refuse it", "--pin 1111", 0, "9999", "5555",
          RetryMessage(5), { { "1111", 5 }, { "1111", 5 } } },
        // Gone before the second change: nothing can be taken back, but success is not claimed.
        { "one PIN, the key pulled out after the first change", "--pin 1111", firstChange, "1111", "5555",
          TEXT_CHANGE_FAILED, { { "5555", 6 }, { "1111", 6 } } },
        { "the first application's PIN", "--pin 1111 --pin2 2222", 0, "1111", "3333", TEXT_CHANGE_FAILED,
          { { "1111", 6 }, { "2222", 5 } } },
        { "the second application's PIN", "--pin 1111 --pin2 2222", 0, "2222", "4444", TEXT_CHANGE_FAILED,
          { { "1111", 5 }, { "2222", 6 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunKeysim("delete 0");
        Keysim(std::string("create 0 --label k ") + c.create);
        ASSERT_NO_FATAL_FAILURE(OpenMain());
        // Counted from here: the main window's refresh has read the key already.
        if (c.vanishAfter)
            Keysim("vanish 0 " + std::to_string(c.vanishAfter));
        boxes.boxes.clear();
        Change(c.current, c.fresh);
        EXPECT_EQ(Shown(), std::vector<std::string>({ c.shown }));
        EXPECT_EQ(Applications(0), c.after);
        if (c.vanishAfter) {
            EXPECT_EQ(Value(0, "key", "inserted"), "no") << "the key was pulled out where the case says";
        }
        DestroyWindow(dialog);
        DestroyWindow(window);
        dialog = window = NULL;
        ReleaseDeviceLibrary();
    }
}

// A refresh under an open PIN dialog selects the first key; the PIN typed for the second key then
// goes to no key at all.
TEST_F(VirtualKeyPinTest, ADialogStaysOnTheKeyItWasOpenedFor)
{
    Keysim("create 0 --label k0 --pin 1111 --apps 1");
    Keysim("create 1 --label k1 --pin 2222 --apps 1");
    ASSERT_NO_FATAL_FAILURE(OpenMain());
    const struct {
        int templateId;
        DLGPROC procedure;
        int pinBox;
        const char* failure;
    } dialogs[] = {
        { IDD_VERIFY_PIN, VerifyPinDlgProc, IDC_PIN_BOX, TEXT_VERIFY_FAILED },
        { IDD_CHANGE_PIN, ChangePinDlgProc, IDC_CURRENT_PIN, TEXT_CHANGE_FAILED },
    };
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.templateId);
        ASSERT_NO_FATAL_FAILURE(SelectKey(1));
        ASSERT_NO_FATAL_FAILURE(OpenDialog(d.templateId, d.procedure));
        RefreshDeviceTree(window);
        ASSERT_EQ(SelectedKeyItem, DeviceTable[0].keyItem);
        // Every call on either key from here on would show in its count.
        Keysim("vanish 0 1000");
        Keysim("vanish 1 1000");
        boxes.boxes.clear();
        Type(d.pinBox, "2222");
        if (d.templateId == IDD_CHANGE_PIN) {
            Type(IDC_NEW_PIN, "2222");
            Type(IDC_CONFIRM_PIN, "2222");
        }
        Press(IDOK);
        EXPECT_EQ(Shown(), std::vector<std::string>({ d.failure }));
        EXPECT_EQ(Value(0, "key", "vanish_after_calls"), "1000") << "nothing was sent to the key now selected";
        EXPECT_EQ(Value(1, "key", "vanish_after_calls"), "1000") << "nor to the one the dialog was opened for";
        Keysim("insert 0");
        Keysim("insert 1");
        DestroyWindow(dialog);
        dialog = NULL;
    }
    EXPECT_EQ(Applications(0)[0], Application({ "1111", 6 }));
    EXPECT_EQ(Applications(1)[0], Application({ "2222", 6 }));
}

} // namespace
