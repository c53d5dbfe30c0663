// PIN verification: the box's rules, every answer of the key, and what is cleared and focused.
#include "pin_dialog_fixture.h"

namespace {

const char Locked[] = "对不起，您的USBKey已被锁！";
const char LastRetry[] = "对不起，您输入的USBKey密码不正确，还有最后一次重试机会，请重新输入！";
const char Failure[] = "验证USBKey密码失败！";
const char CharacterMessage[] = "只能使用16位内的数字、字母或其组合作为USBKey密码，请重新输入。";

std::string Retries(int n)
{
    return "对不起，您输入的USBKey密码不正确，还有 " + std::to_string(n) + " 次重试机会，请重新输入！";
}

class VerifyPinTest : public PinDialogTest {
protected:
    void Open() { OpenDialog(IDD_VERIFY_PIN, VerifyPinDlgProc); }
    // After a refused PIN the box is empty, focused, and the dialog stays.
    void ExpectRetryState()
    {
        EXPECT_EQ(Text(IDC_PIN_BOX), "");
        EXPECT_EQ(Focused(), IDC_PIN_BOX);
        EXPECT_FALSE(Enabled(IDOK));
        EXPECT_TRUE(EndedDialogs.empty());
    }
};

TEST_F(VerifyPinTest, OpensWithOkDisabledAndTheFocusInTheBox)
{
    PutKey(0, true);
    Open();
    EXPECT_FALSE(Enabled(IDOK));
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PIN_BOX, EM_GETLIMITTEXT, 0, 0), 16);
}

TEST_F(VerifyPinTest, TheRightPinInTheFirstApplicationTakesOneCall)
{
    PutKey(0, true);
    token.Slot(0).verifyResults = { 0 };
    Open();
    Type(IDC_PIN_BOX, "a1B2c3");
    ASSERT_TRUE(Enabled(IDOK));
    Press(IDOK);
    std::vector<fake::Call> calls = token.CallsNamed("QZ_VerifyPinUpDatePinInfoFile");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(std::string(calls[0].data.begin(), calls[0].data.end()), "a1B2c3");
    EXPECT_EQ(calls[0].args[0], 6);
    // The first application was selected before the call.
    std::vector<fake::Call> selects = token.CallsNamed("Select_File");
    EXPECT_EQ(selects.back().data, (std::vector<unsigned char>{ 0xAD, 0x01 }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ "验证USBKey密码成功！" }));
    EXPECT_EQ(boxes->boxes[0].style, (UINT)(MB_OK | MB_ICONINFORMATION));
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].dialog, dialog);
    EXPECT_EQ(EndedDialogs[0].result, IDOK);
}

TEST_F(VerifyPinTest, AWrongPinReportsTheSecondApplicationsRetries)
{
    for (int retries : { 1, 2, 3 }) {
        SCOPED_TRACE(retries);
        PutKey(0, true);
        token.Slot(0).verifyResults = { 5, retries };
        Open();
        boxes->boxes.clear();
        Type(IDC_PIN_BOX, "wrong1");
        Press(IDOK);
        EXPECT_EQ(token.CountCalls("QZ_VerifyPinUpDatePinInfoFile"), 2) << "both applications are asked";
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ retries == 1 ? LastRetry : Retries(retries) }));
        EXPECT_EQ(boxes->boxes[0].style, (UINT)(MB_OK | MB_ICONWARNING));
        ExpectRetryState();
        DestroyWindow(dialog);
        dialog = NULL;
    }
}

TEST_F(VerifyPinTest, AOneApplicationKeyReportsTheFirstApplicationsAnswer)
{
    struct Case { int answer; std::string message; };
    const Case cases[] = { { 1, LastRetry }, { 2, Retries(2) }, { 3, Retries(3) }, { -1, Locked }, { -7, Failure } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        PutKey(1, false);
        token.Slot(1).verifyResults = { c.answer };
        Open();
        boxes->boxes.clear();
        Type(IDC_PIN_BOX, "pin4");
        Press(IDOK);
        EXPECT_EQ(token.CountCalls("QZ_VerifyPinUpDatePinInfoFile"), 1);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ c.message }));
        ExpectRetryState();
        DestroyWindow(dialog);
        dialog = NULL;
    }
}

TEST_F(VerifyPinTest, ALockedKeyKeepsTheDialogOpen)
{
    PutKey(0, true);
    token.Slot(0).verifyResults = { -1, -1 };
    Open();
    Type(IDC_PIN_BOX, "1234");
    Press(IDOK);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ Locked }));
    ExpectRetryState();
}

TEST_F(VerifyPinTest, FailuresToReachTheKeyShowTheFailureMessage)
{
    struct Case { const char* what; std::function<void(fake::Token&)> arrange; };
    const Case cases[] = {
        { "open fails", [](fake::Token& t) { t.Slot(0).openResult = -5; } },
        { "no KeyCmd.dll", [](fake::Token& t) { t.missingLibraries.insert("KeyCmd.dll"); } },
        { "first application not listed", [](fake::Token& t) { t.PutFile(0, { 0xEF01 }, fake::DeviceInfoFile("key0", false, true)); } },
        { "first application cannot be selected", [](fake::Token& t) { t.Slot(0).directories.erase({ 0xAD01 }); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutKey(0, true);
        c.arrange(token);
        Open();
        boxes->boxes.clear();
        Type(IDC_PIN_BOX, "1234");
        Press(IDOK);
        EXPECT_EQ(token.CountCalls("QZ_VerifyPinUpDatePinInfoFile"), 0);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ Failure }));
        ExpectRetryState();
        DestroyWindow(dialog);
        dialog = NULL;
        token.missingLibraries.clear();
        token.Slot(0).openResult = 0;
        // A negative open leaves KeyCmd.dll bound for the next open; release it between cases.
        if (KeyCmdModule)
            CloseUsbKey(0);
    }
}

TEST_F(VerifyPinTest, AKeyGoneFromTheTableOrThePlaceholderFailsWithoutOpening)
{
    PutKey(0, true);
    Open();
    // The key was removed and the tree rebuilt while the dialog was open.
    token.Slot(0).present = false;
    RefreshDeviceTree(mainWindow);
    token.calls.clear();
    Type(IDC_PIN_BOX, "1234");
    Press(IDOK);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ Failure }));
    ExpectRetryState();

    // The placeholder selected as if it were a key.
    HWND tree = GetDlgItem(mainWindow, IDC_KEY_TREE);
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    ASSERT_TRUE(SelectedKeyItem);
    Type(IDC_PIN_BOX, "1234");
    Press(IDOK);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ Failure, Failure }));
}

TEST_F(VerifyPinTest, CharacterRulesAndTheLengthThatEnablesOk)
{
    PutKey(0, false);
    Open();
    Type(IDC_PIN_BOX, "abc");
    EXPECT_FALSE(Enabled(IDOK));
    Type(IDC_PIN_BOX, "abcd");
    EXPECT_TRUE(Enabled(IDOK));
    Type(IDC_PIN_BOX, "!~#&");
    EXPECT_TRUE(Enabled(IDOK)) << "printable symbols are allowed";
    EXPECT_TRUE(boxes->boxes.empty());

    // A blank or a GBK character: the message, the text stays, OK keeps its state.
    for (const char* bad : { "ab cd", "密码12" }) {
        SCOPED_TRACE(bad);
        boxes->boxes.clear();
        Type(IDC_PIN_BOX, bad);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ CharacterMessage }));
        EXPECT_EQ(Text(IDC_PIN_BOX), bad);
        EXPECT_TRUE(Enabled(IDOK));
        EXPECT_EQ(Focused(), IDC_PIN_BOX);
    }
    // OK with such a text is refused before the key is touched, and the text stays.
    boxes->boxes.clear();
    token.calls.clear();
    Press(IDOK);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ CharacterMessage }));
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
    EXPECT_EQ(Text(IDC_PIN_BOX), "密码12");
}

TEST_F(VerifyPinTest, TheOnScreenEnterVerifiesShortPinsAndRefusesAnEmptyBox)
{
    PutKey(0, false);
    Open();
    Press(KEY_ENTER);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ "对不起，您输入的密码长度不正确，请重新输入！" }));
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);

    for (const char* pin : { "1", "12", "123" }) {
        SCOPED_TRACE(pin);
        token.Slot(0).verifyResults = { 0 };
        EndedDialogs.clear();
        Type(IDC_PIN_BOX, pin);
        EXPECT_FALSE(Enabled(IDOK));
        Press(KEY_ENTER);
        std::vector<fake::Call> calls = token.CallsNamed("QZ_VerifyPinUpDatePinInfoFile");
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().args[0], (int)strlen(pin));
        ASSERT_EQ(EndedDialogs.size(), 1u);
        EXPECT_EQ(EndedDialogs[0].result, KEY_ENTER) << "the dialog ends with the Enter key's id";
    }
}

TEST_F(VerifyPinTest, CancelEndsTheDialogWithTwo)
{
    PutKey(0, false);
    Open();
    Press(IDCANCEL);
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].result, IDCANCEL);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
}

} // namespace
