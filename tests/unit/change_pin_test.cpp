// PIN change: the strength rating and meter, the boxes' rules, the change data and every answer.
#include "pin_dialog_fixture.h"
#include "pin_rules.h"

#include <functional>

namespace {


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

// Below the caller's frame: where the frames of the functions it called were.
__attribute__((noinline)) bool StackBelowHolds(const char* text)
{
    volatile char here = 0;
    uintptr_t top = (uintptr_t)&here;
    uintptr_t bottom = top - 4096;
    // Only pages the stack has committed: touching its guard page would move it.
    for (uintptr_t page = top & ~(uintptr_t)4095; page > bottom; page -= 4096) {
        MEMORY_BASIC_INFORMATION below;
        if (!VirtualQuery((const void*)(page - 1), &below, sizeof below) || below.State != MEM_COMMIT ||
            (below.Protect & PAGE_GUARD)) {
            bottom = page;
            break;
        }
    }
    size_t length = strlen(text);
    for (uintptr_t at = bottom; at + length <= top; ++at) {
        const volatile char* p = (const volatile char*)at;
        size_t i = 0;
        while (i < length && p[i] == text[i])
            ++i;
        if (i == length)
            return true;
    }
    return false;
}

// Deeper than StackBelowHolds' own frame, so the rating's frame lies in the part it scans.
__attribute__((noinline)) int RateDeep(const char* pin)
{
    volatile char room[1024];
    room[0] = 0;
    return RatePinStrength(pin) + room[0];
}

TEST(PinStrength, LeavesNoCopyOfThePinBehind)
{
    // Kept off the stack, and made at run time so no other copy of it exists there.
    static char pin[32];
    for (int i = 0; i < 12; ++i)
        pin[i] = "Zq7Xw3Vp9Km2"[11 - i];
    ASSERT_EQ(RateDeep(pin), 3);
    EXPECT_FALSE(StackBelowHolds(pin));
}

TEST(ChangeData, OldPinFFNewPinWithoutTerminator)
{
    unsigned char out[180];
    memset(out, 0xEE, sizeof out);
    ASSERT_EQ(BuildChangeData("1234", "abcdefgh", out, sizeof out), 13);
    EXPECT_EQ(std::string((char*)out, 14), std::string("1234\xFF" "abcdefgh\xEE", 14)) << "nothing after the new PIN";
    EXPECT_EQ(BuildChangeData("1234", "5678", out, 8), -1) << "does not fit";
    EXPECT_EQ(BuildChangeData("1", "", out, sizeof out), 2);
}

class ChangePinTest : public PinDialogTest {
protected:
    // The meter's visible parts, in the order bar low, medium, high, text low, medium, high.
    std::vector<bool> Meter()
    {
        std::vector<bool> v;
        for (int id : { IDC_METER_LOW_BAR, IDC_METER_MEDIUM_BAR, IDC_METER_HIGH_BAR, IDC_METER_LOW_TEXT,
                        IDC_METER_MEDIUM_TEXT, IDC_METER_HIGH_TEXT })
            v.push_back(Visible(id));
        return v;
    }
    const std::vector<bool> none = { false, false, false, false, false, false };
    const std::vector<bool> low = { true, false, false, true, false, false };
    const std::vector<bool> medium = { false, true, false, false, true, false };
    const std::vector<bool> high = { false, false, true, false, false, true };
};

TEST_F(ChangePinTest, TheBoxesRulesAndTheMeter)
{
    PutKey(0, true);
    OpenChange();
    EXPECT_EQ(Meter(), none);
    EXPECT_FALSE(Enabled(IDOK));
    EXPECT_EQ(Focused(), IDC_CURRENT_PIN);
    for (int id : { IDC_CURRENT_PIN, IDC_NEW_PIN, IDC_CONFIRM_PIN }) {
        EXPECT_EQ(SendDlgItemMessageA(dialog, id, EM_GETLIMITTEXT, 0, 0), 16) << id;
        EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & ES_PASSWORD) << id;
    }
    // OK needs all three boxes, whatever their lengths.
    Type(IDC_CURRENT_PIN, "1234");
    Type(IDC_NEW_PIN, "1234567");
    EXPECT_EQ(Meter(), low);
    EXPECT_FALSE(Enabled(IDOK));
    Type(IDC_CONFIRM_PIN, "x");
    EXPECT_TRUE(Enabled(IDOK));
    Type(IDC_NEW_PIN, "hgfedcba");
    EXPECT_EQ(Meter(), medium);
    Type(IDC_NEW_PIN, "abcdefg1");
    EXPECT_EQ(Meter(), high);
    Type(IDC_NEW_PIN, "");
    EXPECT_EQ(Meter(), low) << "an emptied box shows the low bar";
    EXPECT_FALSE(Enabled(IDOK));

    // A symbol in the new PIN: the meter vanishes before the message, the box is emptied and focused.
    std::vector<bool> meterWhileShown;
    boxes.whileShown = [&](const CapturedBox&) { meterWhileShown = Meter(); };
    Type(IDC_NEW_PIN, "abc#");
    EXPECT_EQ(meterWhileShown, none);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>({ TEXT_NEW_PIN_CHARACTERS_WRONG }));
    EXPECT_EQ(Text(IDC_NEW_PIN), "");
    EXPECT_EQ(Focused(), IDC_NEW_PIN);
    EXPECT_EQ(Meter(), low);

    // The other boxes refuse it too, each with its own message, and leave the meter alone.
    Type(IDC_NEW_PIN, "abcdefg1");
    const std::pair<int, const char*> others[] = {
        { IDC_CURRENT_PIN, TEXT_PIN_CHARACTERS_WRONG },
        { IDC_CONFIRM_PIN, TEXT_NEW_PIN_CHARACTERS_WRONG },
    };
    for (const auto& box : others) {
        boxes.boxes.clear();
        Type(box.first, "ab-c");
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ box.second }));
        EXPECT_EQ(Text(box.first), "");
        EXPECT_EQ(Focused(), box.first);
        EXPECT_EQ(Meter(), high);
    }
}

TEST_F(ChangePinTest, EveryAnswerAndEveryWayOfNotReachingTheKey)
{
    struct Case {
        const char* what;
        bool twoApplications;
        std::vector<int> answers;
        const char* fresh;
        const char* confirmation;
        int changes;              // QZ_ChangePin calls
        std::string message;
        int asksAgain;            // the box emptied and focused, or 0 when the dialog ends
        std::function<void()> arrange;
    };
    const Case cases[] = {
        { "a one-character PIN on one application", false, { 0 }, "x", "x", 1, TEXT_CHANGE_SUCCEEDED, 0, nullptr },
        { "both applications take it", true, { 0, 0 }, "Abcdefg1", "Abcdefg1", 2, TEXT_CHANGE_SUCCEEDED, 0, nullptr },
        { "2 retries", true, { 4, 2 }, "Abcdefg1", "Abcdefg1", 2, RetryMessage(2), IDC_CURRENT_PIN, nullptr },
        { "1 retry", true, { 4, 1 }, "Abcdefg1", "Abcdefg1", 2, RetryMessage(1), IDC_CURRENT_PIN, nullptr },
        { "no answer from the second", true, { 4, -1000 }, "Abcdefg1", "Abcdefg1", 2, TEXT_CHANGE_FAILED, IDC_CURRENT_PIN, nullptr },
        { "another failure", true, { 4, -3 }, "Abcdefg1", "Abcdefg1", 2, TEXT_CHANGE_FAILED, IDC_CURRENT_PIN, nullptr },
        { "locked", false, { -1 }, "Abcdefg1", "Abcdefg1", 1, TEXT_PIN_LOCKED, 0, nullptr },
        { "the confirmation differs", true, {}, "abc", "abd", 0, TEXT_NEW_PINS_DIFFER,
          IDC_CONFIRM_PIN, nullptr },
        { "the key removed and the tree rebuilt", true, {}, "Abcdefg1", "Abcdefg1", 0, TEXT_CHANGE_FAILED, IDC_CURRENT_PIN,
          [this] { RemoveKey(0); } },
        { "first application cannot be selected", true, {}, "Abcdefg1", "Abcdefg1", 0, TEXT_CHANGE_FAILED, IDC_CURRENT_PIN,
          [this] { token.Slot(0).directories.erase({ 0xAD01 }); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutKey(0, c.twoApplications);
        token.Slot(0).changeResults = c.answers;
        OpenChange();
        if (c.arrange)
            c.arrange();
        token.calls.clear();
        Type(IDC_CURRENT_PIN, "1234");
        Type(IDC_NEW_PIN, c.fresh);
        Type(IDC_CONFIRM_PIN, c.confirmation);
        std::vector<bool> meter = Meter();
        Press(IDOK);

        std::vector<fake::Call> calls = token.CallsNamed("QZ_ChangePin");
        ASSERT_EQ((int)calls.size(), c.changes);
        std::vector<unsigned char> data = { '1', '2', '3', '4', 0xFF };
        data.insert(data.end(), c.fresh, c.fresh + strlen(c.fresh));
        for (const fake::Call& call : calls) {
            EXPECT_EQ(call.data, data);
            EXPECT_EQ(call.args[0], (int)data.size());
        }
        EXPECT_EQ(BoxTexts(), std::vector<std::string>({ c.message }));
        EXPECT_EQ(boxes.boxes[0].style, (UINT)(MB_OK | (c.message == TEXT_CHANGE_SUCCEEDED ? MB_ICONINFORMATION : MB_ICONWARNING)));
        if (!token.Slot(0).present || c.asksAgain == IDC_CONFIRM_PIN) {
            EXPECT_EQ(token.CountCalls("QZ_Open"), 0) << "nothing to open";
        }
        if (!c.asksAgain) {
            ASSERT_EQ(EndedDialogs.size(), 1u);
            EXPECT_EQ(EndedDialogs[0].result, IDOK);
            continue;
        }
        EXPECT_TRUE(EndedDialogs.empty());
        EXPECT_EQ(Focused(), c.asksAgain);
        EXPECT_FALSE(Enabled(IDOK));
        const std::pair<int, std::string> typed[] = { { IDC_CURRENT_PIN, "1234" }, { IDC_NEW_PIN, c.fresh },
                                                      { IDC_CONFIRM_PIN, c.confirmation } };
        for (const auto& box : typed)
            EXPECT_EQ(Text(box.first), box.first == c.asksAgain ? "" : box.second) << "box " << box.first;
        EXPECT_EQ(Meter(), c.asksAgain == IDC_CURRENT_PIN ? none : meter)
            << "the meter goes with the current PIN when the key refused or was not reached";
    }
}

} // namespace
