// The PIN dialog tests' shared setup: fake keys, a main window, a modeless PIN dialog.
#include "pin_dialog_fixture.h"

#include "manager_window.h"

std::vector<EndedDialog> EndedDialogs;

static BOOL WINAPI RecordingEndDialog(HWND dialog, INT_PTR result)
{
    EndedDialogs.push_back({ dialog, result });
    return TRUE;
}

void InstallEndDialogCapture()
{
    static bool installed;
    if (!installed)
        PatchImport("user32.dll", "EndDialog", (void*)RecordingEndDialog);
    installed = true;
}

void PinDialogTest::SetUp()
{
    token.Install();
    AppInstance = GetModuleHandleA(NULL);
    SelectedKeyItem = NULL;
    InstallEndDialogCapture();
    EndedDialogs.clear();
    boxes = new MessageBoxCapture;
    // No message may be shown while a key is open.
    boxes->whileShown = [this](const CapturedBox&) {
        if (token.openKeys != 0)
            keyOpenDuringABox = true;
    };
    mainWindow = OpenTestMainWindow();
    ASSERT_TRUE(mainWindow);
}

void PinDialogTest::TearDown()
{
    EXPECT_FALSE(keyOpenDuringABox) << "a message box was shown while a key was open";
    EXPECT_EQ(token.openKeys, 0) << "a key was left open";
    EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0) << "KeyCmd.dll was left loaded";
    delete boxes;
    if (dialog)
        DestroyWindow(dialog);
    CloseTestMainWindow(mainWindow);
}

void PinDialogTest::PutKey(int slot, bool twoApplications)
{
    fake::KeyPlan plan;
    plan.label = "key" + std::to_string(slot);
    plan.applications[1] = twoApplications;
    fake::PutKey(token, slot, plan);
    RefreshDeviceTree(mainWindow);
}

void PinDialogTest::OpenDialog(int templateId, DLGPROC procedure)
{
    dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(templateId), mainWindow, procedure, 0);
    ASSERT_TRUE(dialog);
    ShowWindow(dialog, SW_SHOW);
    token.calls.clear();
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
    for (const CapturedBox& b : boxes->boxes) {
        EXPECT_EQ(b.owner, dialog);
        EXPECT_EQ(b.caption, "VelmoraCA客户端工具-提示");
        texts.push_back(b.text);
    }
    return texts;
}
