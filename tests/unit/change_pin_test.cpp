// PIN change: the boxes' rules and the meter, every answer of the key, what the key keeps, and what
// is cleared, focused and wiped.
#include "pin_dialog_fixture.h"

#include <functional>

namespace {

class ChangePinTest : public PinDialogTest {
protected:
    // Which of the meter's parts show: bars low, medium, high, then texts low, medium, high.
    std::vector<bool> Meter()
    {
        std::vector<bool> v;
        for (int id : { IDC_METER_LOW_BAR, IDC_METER_MEDIUM_BAR, IDC_METER_HIGH_BAR, IDC_METER_LOW_TEXT,
                        IDC_METER_MEDIUM_TEXT, IDC_METER_HIGH_TEXT })
            v.push_back(Visible(id));
        return v;
    }
    const std::vector<bool> none = std::vector<bool>(6, false);
    const std::vector<bool> low = { true, false, false, true, false, false };
    const std::vector<bool> high = { false, false, true, false, false, true };
};

TEST_F(ChangePinTest, EveryAnswerAndEveryWayOfNotReachingTheKeyAndTheBoxesRules)
{
    struct Case {
        const char* what;
        bool twoApplications;
        const char* current;
        const char* confirmation; // the new PIN is always Abcdefg1
        std::string message;
        int asksAgain;            // the box emptied and focused, or 0 when the dialog ends
        std::vector<std::string> pins; // what the key's applications hold afterwards
        std::function<void()> arrange;
    };
    const char* fresh = "Abcdefg1";
    const Case cases[] = {
        { "one application takes it", false, "1234", fresh, ManagerText("change-succeeded"), 0, { fresh, "" }, nullptr },
        { "both applications take it", true, "1234", fresh, ManagerText("change-succeeded"), 0, { fresh, fresh }, nullptr },
        { "a wrong current PIN", true, "4321", fresh, RetryMessage(5), IDC_CURRENT_PIN, { "1234", "1234" }, nullptr },
        { "a wrong one with 2 tries left", true, "4321", fresh, RetryMessage(1), IDC_CURRENT_PIN, { "1234", "1234" },
          [] { Provision("set-retries 0 all 2"); } },
        { "locked", false, "1234", fresh, ManagerText("pin-locked"), 0, { "1234", "" }, [] { Provision("lock 0"); } },
        { "the confirmation differs", true, "1234", "Abcdefg2", ManagerText("new-pins-differ"), IDC_CONFIRM_PIN, { "1234", "1234" }, nullptr },
        // Only the first application takes it: taken back, so the key never keeps two PINs.
        { "the applications' PINs differ", true, "1234", fresh, ManagerText("change-failed"), IDC_CURRENT_PIN, { "1234", "2222" },
          [] { Provision("set-pin 0 2 2222"); } },
        { "the key removed and the tree rebuilt", true, "1234", fresh, ManagerText("change-failed"), IDC_CURRENT_PIN,
          { "1234", "1234" }, [this] { RemoveKey(0); } },
        // A refresh under the dialog selects the first key: the change meant for key 1 goes to no key.
        { "another key selected by a refresh", false, "1234", fresh, ManagerText("change-failed"), IDC_CURRENT_PIN, { "1234", "" },
          [this] {
              PutKey(1, false);
              Select(DeviceTable[1].keyItem);
              OpenChange();
              RefreshDeviceTree(window);
          } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeysimHere("delete 1");
        PutKey(0, c.twoApplications);
        OpenChange();
        if (c.arrange)
            c.arrange();
        Type(IDC_CURRENT_PIN, c.current);
        Type(IDC_NEW_PIN, fresh);
        Type(IDC_CONFIRM_PIN, c.confirmation);
        std::vector<bool> meter = Meter();
        Press(IDOK);

        ExpectWiped({ std::string(c.current) + "\xFF" + fresh, fresh + std::string("\xFF") + c.current });
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ c.message }));
        EXPECT_EQ(boxes.boxes[0].style, (UINT)(MB_OK | (c.message == ManagerText("change-succeeded") ? MB_ICONINFORMATION : MB_ICONWARNING)));
        KeyState key;
        ASSERT_TRUE(ReadKey(0, &key));
        EXPECT_EQ(std::vector<std::string>({ key.pin[0], key.pin[1] }), c.pins);
        if (!c.asksAgain) {
            ASSERT_EQ(EndedDialogs.size(), 1u);
            EXPECT_EQ(EndedDialogs[0].result, IDOK);
            continue;
        }
        EXPECT_TRUE(EndedDialogs.empty());
        EXPECT_EQ(Focused(), c.asksAgain);
        EXPECT_FALSE(Enabled(IDOK));
        const std::pair<int, std::string> typed[] = { { IDC_CURRENT_PIN, c.current }, { IDC_NEW_PIN, fresh },
                                                      { IDC_CONFIRM_PIN, c.confirmation } };
        for (const auto& box : typed)
            EXPECT_EQ(Text(box.first), box.first == c.asksAgain ? "" : box.second) << "box " << box.first;
        EXPECT_EQ(Meter(), c.asksAgain == IDC_CURRENT_PIN ? none : meter)
            << "the meter goes with the current PIN when the key refused or was not reached";
    }

    // The boxes' rules and the meter.
    PutKey(0, true);
    OpenChange();
    EXPECT_EQ(Meter(), none);
    EXPECT_EQ(Focused(), IDC_CURRENT_PIN);
    Type(IDC_CURRENT_PIN, "1234");
    Type(IDC_NEW_PIN, "1234567");
    EXPECT_EQ(Meter(), low);
    EXPECT_FALSE(Enabled(IDOK)) << "OK needs all three boxes";
    Type(IDC_CONFIRM_PIN, "x");
    EXPECT_TRUE(Enabled(IDOK));
    Type(IDC_NEW_PIN, "hgfedcba");
    EXPECT_EQ(Meter(), std::vector<bool>({ false, true, false, false, true, false }));
    Type(IDC_NEW_PIN, "");
    EXPECT_EQ(Meter(), low) << "an emptied box shows the low bar";
    EXPECT_FALSE(Enabled(IDOK));

    // A symbol in the new PIN: the meter vanishes before the message, the box is emptied and focused.
    std::vector<bool> meterWhileShown;
    boxes.whileShown = [&](const CapturedBox&) { meterWhileShown = Meter(); };
    Type(IDC_NEW_PIN, "abc#");
    EXPECT_EQ(meterWhileShown, none);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ ManagerText("new-pin-characters-wrong") }));
    EXPECT_EQ(Text(IDC_NEW_PIN), "");
    EXPECT_EQ(Focused(), IDC_NEW_PIN);
    // The other boxes refuse it too, each with its own message, and leave the meter alone.
    Type(IDC_NEW_PIN, "abcdefg1");
    for (const auto& box : { std::make_pair(IDC_CURRENT_PIN, ManagerText("pin-characters-wrong")),
                             std::make_pair(IDC_CONFIRM_PIN, ManagerText("new-pin-characters-wrong")) }) {
        boxes.boxes.clear();
        Type(box.first, "ab-c");
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ box.second }));
        EXPECT_EQ(Text(box.first), "");
        EXPECT_EQ(Focused(), box.first);
        EXPECT_EQ(Meter(), high);
    }
}

} // namespace
