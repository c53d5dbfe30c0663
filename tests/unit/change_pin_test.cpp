// PIN change: the strength rating and meter, the boxes' rules, the change data and every answer.
#include "pin_dialog_fixture.h"
#include "pin_rules.h"

namespace {

const char NewCharacterMessage[] = "只能使用4～8位的数字、字母或其组合作为USBKey密码，请重新输入。";
const char Mismatch[] = "对不起，您两次输入的新密码不一致，请重新输入！";
const char Failure[] = "修改USBKey密码失败！";

TEST(PinStrength, RatingAndMeterFollowTheRules)
{
    struct Case { const char* pin; int rating; MeterLevel meter; };
    const Case cases[] = {
        { "", 0, METER_LOW },           { "1234567", 1, METER_LOW },     { "12345678", 1, METER_LOW },
        { "abcdefgh", 1, METER_LOW },   { "aaaaaaaa", 1, METER_LOW },    { "hgfedcba", 2, METER_MEDIUM },
        { "ABCDEFGZ", 2, METER_MEDIUM }, { "Abcdefgz", 3, METER_HIGH },  { "abcdefg1", 3, METER_HIGH },
        { "a", 1, METER_LOW },          { "Ab", 3, METER_LOW },          { "zzzzzzzzzzzzzzzz", 1, METER_LOW },
        { "01234567", 1, METER_LOW },   { "ABCDEFGH", 1, METER_LOW },    { "a#b", 3, METER_LOW },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RatePinStrength(c.pin), c.rating) << c.pin;
        EXPECT_EQ(MeterLevelFor(c.pin), c.meter) << c.pin;
    }
}

TEST(ChangeData, OldPinFFNewPinWithoutTerminator)
{
    unsigned char out[180];
    memset(out, 0xEE, sizeof out);
    int n = BuildChangeData("1234", "abcdefgh", out, sizeof out);
    ASSERT_EQ(n, 13);
    EXPECT_EQ(std::string((char*)out, 13), std::string("1234\xFF" "abcdefgh", 13));
    EXPECT_EQ(out[13], 0xEE);
    EXPECT_EQ(BuildChangeData("1234", "5678", out, 8), -1) << "does not fit";
    EXPECT_EQ(BuildChangeData("1", "", out, sizeof out), 2);
}

class ChangePinTest : public PinDialogTest {
protected:
    void Open() { OpenDialog(IDD_CHANGE_PIN, ChangePinDlgProc); }
    // The meter's visible parts, in the order bar low, medium, high, text low, medium, high.
    std::vector<bool> Meter()
    {
        std::vector<bool> v;
        for (int id : { IDC_METER_LOW_BAR, IDC_METER_MEDIUM_BAR, IDC_METER_HIGH_BAR, IDC_METER_LOW_TEXT,
                        IDC_METER_MEDIUM_TEXT, IDC_METER_HIGH_TEXT })
            v.push_back(Visible(id));
        return v;
    }
    void Fill(const char* current, const char* fresh, const char* confirmation)
    {
        Type(IDC_CURRENT_PIN, current);
        Type(IDC_NEW_PIN, fresh);
        Type(IDC_CONFIRM_PIN, confirmation);
    }
    const std::vector<bool> none = { false, false, false, false, false, false };
    const std::vector<bool> low = { true, false, false, true, false, false };
    const std::vector<bool> medium = { false, true, false, false, true, false };
    const std::vector<bool> high = { false, false, true, false, false, true };
};

TEST_F(ChangePinTest, OpensWithTheMeterHiddenAndOkDisabled)
{
    PutKey(0, true);
    Open();
    EXPECT_EQ(Meter(), none);
    EXPECT_FALSE(Enabled(IDOK));
    EXPECT_EQ(Focused(), IDC_CURRENT_PIN);
    for (int id : { IDC_CURRENT_PIN, IDC_NEW_PIN, IDC_CONFIRM_PIN })
        EXPECT_EQ(SendDlgItemMessageA(dialog, id, EM_GETLIMITTEXT, 0, 0), 16);
}

TEST_F(ChangePinTest, TheMeterFollowsTheNewPin)
{
    PutKey(0, true);
    Open();
    Type(IDC_NEW_PIN, "1234567");
    EXPECT_EQ(Meter(), low);
    Type(IDC_NEW_PIN, "hgfedcba");
    EXPECT_EQ(Meter(), medium);
    Type(IDC_NEW_PIN, "abcdefg1");
    EXPECT_EQ(Meter(), high);
    Type(IDC_NEW_PIN, "");
    EXPECT_EQ(Meter(), low) << "an emptied box shows the low bar";

    // A symbol: the message, the box emptied, and the emptied box then shows the low bar.
    std::vector<bool> meterWhileShown;
    boxes->whileShown = [&](const CapturedBox&) { meterWhileShown = Meter(); };
    Type(IDC_NEW_PIN, "abc#");
    EXPECT_EQ(meterWhileShown, none) << "the meter vanishes before the message";
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ NewCharacterMessage }));
    EXPECT_EQ(Text(IDC_NEW_PIN), "");
    EXPECT_EQ(Focused(), IDC_NEW_PIN);
    EXPECT_EQ(Meter(), low);
}

TEST_F(ChangePinTest, EachBoxRefusesCharactersOtherThanDigitsAndLetters)
{
    PutKey(0, true);
    Open();
    Type(IDC_NEW_PIN, "abcdefg1");
    struct Case { int id; const char* message; };
    const Case cases[] = {
        { IDC_CURRENT_PIN, "只能使用16位内的数字、字母或其组合作为USBKey密码，请重新输入。" },
        { IDC_CONFIRM_PIN, NewCharacterMessage },
    };
    for (const Case& c : cases) {
        boxes->boxes.clear();
        Type(c.id, "ab-c");
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ c.message }));
        EXPECT_EQ(Text(c.id), "");
        EXPECT_EQ(Focused(), c.id);
        EXPECT_EQ(Meter(), high) << "only the new PIN's box touches the meter";
    }
}

TEST_F(ChangePinTest, OkNeedsAllThreeBoxesAndSendsEvenAOneCharacterPin)
{
    PutKey(0, false);
    token.Slot(0).changeResults = { 0 };
    Open();
    Type(IDC_CURRENT_PIN, "1234");
    EXPECT_FALSE(Enabled(IDOK));
    Type(IDC_NEW_PIN, "x");
    EXPECT_FALSE(Enabled(IDOK));
    Type(IDC_CONFIRM_PIN, "x");
    EXPECT_TRUE(Enabled(IDOK));
    Press(IDOK);
    std::vector<fake::Call> calls = token.CallsNamed("QZ_ChangePin");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], 6);
    EXPECT_EQ(calls[0].data, (std::vector<unsigned char>{ '1', '2', '3', '4', 0xFF, 'x' }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ "修改USBKey密码成功！" }));
    EXPECT_EQ(boxes->boxes[0].style, (UINT)(MB_OK | MB_ICONINFORMATION));
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].result, IDOK);
}

TEST_F(ChangePinTest, BothApplicationsGetTheChangeAndTheSecondAnswers)
{
    PutKey(0, true);
    token.Slot(0).changeResults = { 3, 0 };
    Open();
    Fill("0000", "Abcdefg1", "Abcdefg1");
    Press(IDOK);
    std::vector<fake::Call> calls = token.CallsNamed("QZ_ChangePin");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].data, calls[1].data);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ "修改USBKey密码成功！" }));
}

TEST_F(ChangePinTest, AMismatchClearsOnlyTheConfirmation)
{
    PutKey(0, true);
    Open();
    Fill("1234", "abc", "abd");
    Press(IDOK);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ Mismatch }));
    EXPECT_EQ(Text(IDC_CURRENT_PIN), "1234");
    EXPECT_EQ(Text(IDC_NEW_PIN), "abc");
    EXPECT_EQ(Text(IDC_CONFIRM_PIN), "");
    EXPECT_EQ(Focused(), IDC_CONFIRM_PIN);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
}

TEST_F(ChangePinTest, RetriesHideTheMeterAndClearTheCurrentPin)
{
    struct Case { int answer; std::string message; };
    const Case cases[] = {
        { 2, "对不起，您输入的USBKey密码不正确，还有 2 次重试机会，请重新输入！" },
        { 1, "对不起，您输入的USBKey密码不正确，还有最后一次重试机会，请重新输入！" },
        { -1000, Failure },
        { -3, Failure },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        PutKey(0, true);
        token.Slot(0).changeResults = { 4, c.answer };
        Open();
        boxes->boxes.clear();
        Fill("1111", "Abcdefg1", "Abcdefg1");
        ASSERT_EQ(Meter(), high);
        Press(IDOK);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ c.message }));
        EXPECT_EQ(Meter(), none);
        EXPECT_EQ(Text(IDC_CURRENT_PIN), "");
        EXPECT_EQ(Text(IDC_NEW_PIN), "Abcdefg1");
        EXPECT_EQ(Focused(), IDC_CURRENT_PIN);
        EXPECT_FALSE(Enabled(IDOK));
        EXPECT_TRUE(EndedDialogs.empty());
        DestroyWindow(dialog);
        dialog = NULL;
    }
}

TEST_F(ChangePinTest, ALockedKeyEndsTheDialog)
{
    PutKey(0, false);
    token.Slot(0).changeResults = { -1 };
    Open();
    Fill("1111", "2222", "2222");
    Press(IDOK);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ "对不起，您的USBKey已被锁！" }));
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].result, IDOK);
}

TEST_F(ChangePinTest, AKeyNoLongerListedFailsAndAsksForTheCurrentPinAgain)
{
    PutKey(0, true);
    Open();
    token.Slot(0).present = false;
    RefreshDeviceTree(mainWindow);
    token.calls.clear();
    Fill("1111", "2222", "2222");
    Press(IDOK);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ Failure }));
    EXPECT_EQ(Text(IDC_CURRENT_PIN), "");
    EXPECT_EQ(Focused(), IDC_CURRENT_PIN);
}

TEST_F(ChangePinTest, AFirstApplicationThatCannotBeSelectedMakesNoCall)
{
    PutKey(0, true);
    token.Slot(0).directories.erase({ 0xAD01 });
    Open();
    Fill("1111", "2222", "2222");
    Press(IDOK);
    EXPECT_EQ(token.CountCalls("QZ_ChangePin"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ Failure }));
}

} // namespace
