// PIN verification: the box's rules, every answer of the key as the user is told it, and what is
// cleared, focused and wiped.
#include "pin_dialog_fixture.h"

#include <functional>

namespace {

typedef PinDialogTest VerifyPinTest;

TEST_F(VerifyPinTest, EveryAnswerAndEveryWayOfNotReachingTheKey)
{
    struct Case {
        const char* what;
        bool twoApplications;
        const char* typed;
        std::string message;
        std::function<void()> arrange; // run with the dialog open
    };
    const Case cases[] = {
        { "right PIN", true, "1234", ManagerText("verify-succeeded"), nullptr },
        { "wrong in both applications", true, "a1B2c3", RetryMessage(5), nullptr },
        { "wrong, one application", false, "a1B2c3", RetryMessage(5), nullptr },
        { "wrong with 3 tries left", true, "a1B2c3", RetryMessage(2), [] { Provision("set-retries 0 all 3"); } },
        { "locked", true, "1234", ManagerText("pin-locked"), [] { Provision("lock 0"); } },
        { "no KeyCmd.dll", true, "1234", ManagerText("verify-failed"), [] { Binding.missingLibraries = { "KeyCmd.dll" }; } },
        { "key removed and the tree rebuilt", true, "1234", ManagerText("verify-failed"), [this] { RemoveKey(0); } },
        { "the placeholder selected", true, "1234", ManagerText("verify-failed"), [this] {
              RemoveKey(0);
              Select(Root());
          } },
        // Empty slots have no item either: no selection must not match one of them.
        { "nothing selected", true, "1234", ManagerText("verify-failed"), [] { SelectedKeyItem = NULL; } },
        // A refresh under the dialog selects the first key: the PIN typed for key 1 goes to no key.
        { "another key selected by a refresh", false, "1234", ManagerText("verify-failed"), [this] {
              PutKey(1, false);
              Select(DeviceTable[1].keyItem);
              OpenVerify();
              RefreshDeviceTree(window);
          } },
        // Key B (another serial number and PIN) put in under key A's dialog; key A's serial (call 3) unreadable.
        { "another key in the slot", true, "1234", ManagerText("verify-failed"), [this] { PutKey(0, true, "9999"); } },
        { "the serial number unreadable", true, "1234", ManagerText("verify-failed"), [] { Provision("fail 0 3 -5"); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Binding.missingLibraries.clear();
        Binding.pinData.clear();
        KeysimHere("delete 1");
        PutKey(0, c.twoApplications);
        OpenVerify();
        if (c.arrange)
            c.arrange();
        Type(IDC_PIN_BOX, c.typed);
        ASSERT_TRUE(Enabled(IDOK));
        Press(IDOK);

        ExpectWiped({ c.typed });
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ c.message }));
        EXPECT_EQ(Binding.pinData.empty(), c.message == ManagerText("verify-failed")) << "a failure sends no PIN to any key";
        bool done = c.message == ManagerText("verify-succeeded");
        EXPECT_EQ(boxes.boxes.back().style, (UINT)(MB_OK | (done ? MB_ICONINFORMATION : MB_ICONWARNING)));
        if (done) {
            ASSERT_EQ(EndedDialogs.size(), 1u);
            EXPECT_EQ(EndedDialogs[0].result, IDOK);
        } else {
            // Refused: the box is emptied and focused for another try, and the dialog stays.
            EXPECT_EQ(Text(IDC_PIN_BOX), "");
            EXPECT_EQ(Focused(), IDC_PIN_BOX);
            EXPECT_FALSE(Enabled(IDOK));
            EXPECT_TRUE(EndedDialogs.empty());
        }
    }

    // OK needs four characters; a blank or a GBK character is refused when typed and on OK, and stays.
    PutKey(0, false);
    OpenVerify();
    Type(IDC_PIN_BOX, "!~#");
    EXPECT_FALSE(Enabled(IDOK));
    Type(IDC_PIN_BOX, "!~#&");
    EXPECT_TRUE(Enabled(IDOK)) << "printable symbols are allowed";
    for (const char* bad : { "ab cd", "密码12" }) {
        boxes.boxes.clear();
        Type(IDC_PIN_BOX, bad);
        Press(IDOK);
        ExpectWiped({ bad });
        EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, ManagerText("pin-characters-wrong"))) << bad;
        EXPECT_EQ(Text(IDC_PIN_BOX), bad);
        EXPECT_EQ(Focused(), IDC_PIN_BOX);
    }
    Press(IDCANCEL);
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].result, IDCANCEL);

    // The on-screen Enter verifies PINs shorter than four and refuses an empty box.
    OpenVerify();
    Press(KEY_ENTER);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ ManagerText("pin-length-wrong") }));
    Provision("set-pin 0 1 12");
    Type(IDC_PIN_BOX, "12");
    Press(KEY_ENTER);
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].result, KEY_ENTER) << "the dialog ends with the Enter key's id";
}

} // namespace
