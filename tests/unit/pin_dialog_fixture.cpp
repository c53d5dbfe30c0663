// The PIN dialog tests' shared setup: virtual keys, a main window, a modeless PIN dialog.
#include "pin_dialog_fixture.h"

std::vector<EndedDialog> EndedDialogs;

static BOOL WINAPI RecordingEndDialog(HWND dialog, INT_PTR result)
{
    EndedDialogs.push_back({ dialog, result });
    return TRUE;
}

void PinDialogTest::SetUp()
{
    ManagerTest::SetUp();
    static bool patched = PatchImport("user32.dll", "EndDialog", (void*)RecordingEndDialog) != NULL;
    ASSERT_TRUE(patched);
    EndedDialogs.clear();
    Open();
}

void PinDialogTest::TearDown()
{
    CloseDialog();
    ManagerTest::TearDown();
}

void PinDialogTest::PutKey(int slot, bool twoApplications, const std::string& pin)
{
    std::string n = std::to_string(slot);
    KeysimHere("delete " + n);
    Provision("create " + n + " --label key" + n + " --pin " + pin + " --serial 5E2" + n + pin + " --apps " +
              (twoApplications ? "2" : "1"));
    RefreshDeviceTree(window);
}

void PinDialogTest::RemoveKey(int slot)
{
    Provision("remove " + std::to_string(slot));
    RefreshDeviceTree(window);
}

void PinDialogTest::OpenDialog(int templateId, DLGPROC procedure)
{
    CloseDialog();
    dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(templateId), window, procedure, 0);
    // Left hidden: under Wine without a window manager, taking a shown dialog down waits 2 seconds.
    ASSERT_TRUE(dialog);
    boxes.boxes.clear();
    EndedDialogs.clear();
}

void PinDialogTest::CloseDialog()
{
    if (dialog)
        DestroyWindow(dialog);
    dialog = NULL;
}

std::string PinDialogTest::Text(int id)
{
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::vector<std::string> PinDialogTest::BoxTexts()
{
    std::vector<std::string> texts;
    for (const CapturedBox& b : boxes.boxes) {
        EXPECT_EQ(b.owner, dialog);
        EXPECT_EQ(b.caption, ManagerText("caption"));
        texts.push_back(b.text);
    }
    return texts;
}

void PinDialogTest::ExpectWiped(const std::vector<std::string>& secrets)
{
    for (const auto& passed : Binding.pinData)
        for (const std::string& secret : secrets)
            EXPECT_NE(memcmp(passed.first, secret.data(), secret.size()), 0) << "a copy of a PIN was left behind";
}
