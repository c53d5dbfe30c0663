// PIN verification: the box's rules, every answer of the key, and what is cleared and focused.
#include "pin_dialog_fixture.h"

#include <functional>

namespace {


typedef PinDialogTest VerifyPinTest;

TEST_F(VerifyPinTest, EveryAnswerAndEveryWayOfNotReachingTheKey)
{
    typedef std::function<void()> Arrange;
    struct Case {
        const char* what;
        bool twoApplications;
        std::vector<int> answers; // the key's answers, application by application
        int verifications;        // calls the key receives
        std::string message;
        int opens;                // QZ_Open calls, or -1 when it does not matter
        Arrange arrange;          // run with the dialog open
    };
    auto removed = [this] { RemoveKey(0); };
    const Case cases[] = {
        { "right PIN in the first application", true, { 0 }, 1, TEXT_VERIFY_SUCCEEDED, 1, nullptr },
        { "wrong, second application: 1 retry", true, { 5, 1 }, 2, RetryMessage(1), 1, nullptr },
        { "wrong, second application: 2 retries", true, { 5, 2 }, 2, RetryMessage(2), 1, nullptr },
        { "wrong, second application: 3 retries", true, { 5, 3 }, 2, RetryMessage(3), 1, nullptr },
        { "locked, two applications", true, { -1, -1 }, 2, TEXT_PIN_LOCKED, 1, nullptr },
        { "one application: 1 retry", false, { 1 }, 1, RetryMessage(1), 1, nullptr },
        { "one application: 2 retries", false, { 2 }, 1, RetryMessage(2), 1, nullptr },
        { "one application: 3 retries", false, { 3 }, 1, RetryMessage(3), 1, nullptr },
        { "one application: locked", false, { -1 }, 1, TEXT_PIN_LOCKED, 1, nullptr },
        { "one application: another failure", false, { -7 }, 1, TEXT_VERIFY_FAILED, 1, nullptr },
        { "open fails", true, {}, 0, TEXT_VERIFY_FAILED, 1, [this] { token.Slot(0).openResult = -5; } },
        { "no KeyCmd.dll", true, {}, 0, TEXT_VERIFY_FAILED, 0,
          [this] { token.missingLibraries.insert("KeyCmd.dll"); } },
        { "first application not listed", true, {}, 0, TEXT_VERIFY_FAILED, 1,
          [this] { token.PutFile(0, { 0xEF01 }, fake::DeviceInfoFile("key0", false, true)); } },
        { "first application cannot be selected", true, {}, 0, TEXT_VERIFY_FAILED, 1,
          [this] { token.Slot(0).directories.erase({ 0xAD01 }); } },
        { "key removed and the tree rebuilt", true, {}, 0, TEXT_VERIFY_FAILED, 0, removed },
        { "the placeholder selected", true, {}, 0, TEXT_VERIFY_FAILED, 0, [this, removed] {
              removed();
              Select(Root());
              ASSERT_EQ(SelectedKeyItem, Root());
          } },
        // Empty slots have no item either: no selection must not match one of them.
        { "nothing selected", true, {}, 0, TEXT_VERIFY_FAILED, 0, [] { SelectedKeyItem = NULL; } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        token.missingLibraries.clear();
        token.Slot(0).openResult = 0;
        PutKey(0, c.twoApplications);
        token.Slot(0).verifyResults = c.answers;
        OpenVerify();
        if (c.arrange)
            c.arrange();
        token.calls.clear();
        Type(IDC_PIN_BOX, "a1B2c3");
        ASSERT_TRUE(Enabled(IDOK));
        Press(IDOK);

        if (c.opens >= 0) {
            EXPECT_EQ(token.CountCalls("QZ_Open"), c.opens);
        }
        std::vector<fake::Call> calls = token.CallsNamed("QZ_VerifyPinUpDatePinInfoFile");
        ASSERT_EQ((int)calls.size(), c.verifications);
        for (size_t i = 1; i < token.calls.size() && !calls.empty(); ++i) {
            if (token.calls[i].name == calls[0].name) {
                // The first application is selected just before its call.
                EXPECT_EQ(token.calls[i - 1].data, (std::vector<unsigned char>{ 0xAD, 0x01 }));
                EXPECT_EQ(std::string(calls[0].data.begin(), calls[0].data.end()), "a1B2c3");
                EXPECT_EQ(calls[0].args[0], 6);
                break;
            }
        }
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ c.message }));
        bool done = c.message == TEXT_VERIFY_SUCCEEDED;
        EXPECT_EQ(boxes.boxes.back().style, (UINT)(MB_OK | (done ? MB_ICONINFORMATION : MB_ICONWARNING)));
        if (done) {
            ASSERT_EQ(EndedDialogs.size(), 1u);
            EXPECT_EQ(EndedDialogs[0].dialog, dialog);
            EXPECT_EQ(EndedDialogs[0].result, IDOK);
        } else {
            // Refused: the box is emptied and focused for another try, and the dialog stays.
            EXPECT_EQ(Text(IDC_PIN_BOX), "");
            EXPECT_EQ(Focused(), IDC_PIN_BOX);
            EXPECT_FALSE(Enabled(IDOK));
            EXPECT_TRUE(EndedDialogs.empty());
        }
        // A negative open keeps KeyCmd.dll bound for the next one; release it between cases.
        if (KeyCmdModule)
            CloseUsbKey(0);
    }
}

TEST_F(VerifyPinTest, TheBoxTakesPrintableCharactersAndOkNeedsFour)
{
    PutKey(0, false);
    OpenVerify();
    EXPECT_FALSE(Enabled(IDOK));
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PIN_BOX, EM_GETLIMITTEXT, 0, 0), 16);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, IDC_PIN_BOX), GWL_STYLE) & ES_PASSWORD);
    Type(IDC_PIN_BOX, "abc");
    EXPECT_FALSE(Enabled(IDOK));
    Type(IDC_PIN_BOX, "abcd");
    EXPECT_TRUE(Enabled(IDOK));
    Type(IDC_PIN_BOX, "!~#&");
    EXPECT_TRUE(Enabled(IDOK)) << "printable symbols are allowed";
    EXPECT_TRUE(boxes.boxes.empty());

    // A blank or a GBK character: the message, the text stays, OK keeps its state.
    for (const char* bad : { "ab cd", "密码12" }) {
        SCOPED_TRACE(bad);
        boxes.boxes.clear();
        Type(IDC_PIN_BOX, bad);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ TEXT_PIN_CHARACTERS_WRONG }));
        EXPECT_EQ(Text(IDC_PIN_BOX), bad);
        EXPECT_TRUE(Enabled(IDOK));
        EXPECT_EQ(Focused(), IDC_PIN_BOX);
    }
    // OK with such a text is refused before the key is touched, and the text stays.
    boxes.boxes.clear();
    Press(IDOK);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ TEXT_PIN_CHARACTERS_WRONG }));
    EXPECT_EQ(Text(IDC_PIN_BOX), "密码12");
    Press(IDCANCEL);
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].result, IDCANCEL);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 0);
}

TEST_F(VerifyPinTest, TheOnScreenEnterVerifiesShortPinsAndRefusesAnEmptyBox)
{
    PutKey(0, false);
    OpenVerify();
    Press(KEY_ENTER);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ TEXT_PIN_LENGTH_WRONG }));
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
        EXPECT_EQ(calls.back().data, std::vector<unsigned char>(pin, pin + strlen(pin)));
        ASSERT_EQ(EndedDialogs.size(), 1u);
        EXPECT_EQ(EndedDialogs[0].result, KEY_ENTER) << "the dialog ends with the Enter key's id";
    }
}

} // namespace
