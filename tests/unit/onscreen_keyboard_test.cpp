// The on-screen keyboard: the shuffle, captions of twins, Shift and Caps, Del, the stops, '&'.
#include "pin_dialog_fixture.h"

#include <set>

#include "keyboard_layout.h"

namespace {

TEST(Shuffle, IsAPermutationAndRepeatsWithinOneSecond)
{
    for (int n : { 1, 10, 26, 128 }) {
        unsigned char order[128];
        ASSERT_EQ(MakeRandomPermutation(order, n), n);
        std::set<int> seen(order, order + n);
        EXPECT_EQ((int)seen.size(), n);
        EXPECT_EQ(*seen.rbegin(), n - 1);
    }
    // Seeded by the time in seconds: two openings in the same second show the same layout.
    for (int attempt = 0; attempt < 5; ++attempt) {
        time_t before = time(NULL);
        unsigned char a[26], b[26];
        MakeRandomPermutation(a, 26);
        MakeRandomPermutation(b, 26);
        if (time(NULL) != before)
            continue;
        EXPECT_EQ(memcmp(a, b, 26), 0);
        return;
    }
    FAIL() << "never two calls within one second";
}

TEST(KeyCharacters, PunctuationIsFixedAndOtherKeysEnterNothing)
{
    unsigned char digits[64] = { 7, 0, 1, 2, 3, 4, 5, 6, 8, 9 };
    unsigned char letters[64] = { 25, 24, 23 };
    const char plain[] = "`-=\\[];',./";
    const char upper[] = "~_+|{}:\"<>?";
    for (int k = 0; k < 11; ++k) {
        EXPECT_EQ(KeyCharacter(1040 + k, digits, letters), plain[k]);
        EXPECT_EQ(KeyCharacter(2040 + k, digits, letters), upper[k]);
    }
    for (int id : { 1060, 1061, 1062, 1063, 1064, 1065, 1099, 1227, 1051 })
        EXPECT_EQ(KeyCharacter(id, digits, letters), 0) << id;
}

// The held-key bitmaps go with the dialog: each opening's three are deleted when it is destroyed, and the
// process's GDI count (where the system keeps one) is back where it was after many openings.
TEST(HeldKeyBitmaps, AreFreedWithTheDialog)
{
    AppInstance = GetModuleHandleA(NULL);
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int opening = 0; opening < 50; ++opening) {
        HWND dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_VERIFY_PIN), NULL, VerifyPinDlgProc, 0);
        ASSERT_TRUE(dialog);
        std::vector<HGDIOBJ> images;
        for (int id : { 2061, 2063, 2065 })
            images.push_back((HGDIOBJ)SendDlgItemMessageA(dialog, id, BM_GETIMAGE, IMAGE_BITMAP, 0));
        DestroyWindow(dialog);
        for (HGDIOBJ image : images) {
            ASSERT_TRUE(image != NULL) << opening;
            EXPECT_EQ(GetObjectType(image), 0u) << "opening " << opening << ": a held-key bitmap outlived its dialog";
        }
    }
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before);
}

class KeyboardTest : public PinDialogTest {
protected:
    void SetUp() override
    {
        PinDialogTest::SetUp();
        PutKey(0, false);
        OpenVerify();
    }
    // Clicks the visible key showing this caption.
    void Click(const char* caption)
    {
        for (int set : { 0, 1000 })
            for (int id : KeySetOrder)
                if (Visible(id + set) && Text(id + set) == caption)
                    return Press(id + set);
        ADD_FAILURE() << "no key shows " << caption;
    }
};

TEST_F(KeyboardTest, OpensWithEveryKeyOnceAndTwinsThatBelongTogether)
{
    std::multiset<std::string> firstSet;
    for (int id : KeySetOrder) {
        EXPECT_TRUE(Visible(id)) << id;
        EXPECT_FALSE(Visible(id + 1000)) << id + 1000;
        firstSet.insert(Text(id));
    }
    for (char c : std::string("0123456789abcdefghijklmnopqrstuvwxyz`-=\\[];',./"))
        EXPECT_EQ(firstSet.count(std::string(1, c)), 1u) << c;
    for (const char* c : { "Tab", "Del", "Caps", "Enter" })
        EXPECT_EQ(firstSet.count(c), 1u) << c;
    EXPECT_EQ(firstSet.count("Shift"), 2u);
    // Each digit key's twin shows that digit's symbol ('&' doubled); each letter's twin its capital.
    const char shifted[] = ")!@#$%^&*(";
    for (int i = 0; i < 10; ++i) {
        char symbol = shifted[Text(1100 + i)[0] - '0'];
        EXPECT_EQ(Text(2100 + i), symbol == '&' ? "&&" : std::string(1, symbol));
    }
    for (int j = 0; j < 26; ++j)
        EXPECT_EQ(Text(2201 + j)[0], Text(1201 + j)[0] - 'a' + 'A');
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
}

TEST_F(KeyboardTest, ShiftCapsAndBoth)
{
    Click("Shift");
    EXPECT_EQ(ShiftOn, 1);
    EXPECT_FALSE(Visible(KEY_SHIFT_LEFT) || Visible(KEY_SHIFT_RIGHT));
    EXPECT_TRUE(Visible(2061) && Visible(2065));
    EXPECT_FALSE(Visible(2060) || Visible(2062) || Visible(2064)) << "Tab, Del, Enter stay in the first set";
    EXPECT_TRUE(Visible(1060) && Visible(1062) && Visible(1064));
    Click("Q");
    Click("?");
    Click("&&");
    EXPECT_EQ(Text(IDC_PIN_BOX), "Q?&") << "all from the second set; '&' is one character";
    Press(2061);
    EXPECT_EQ(ShiftOn, 0);
    EXPECT_TRUE(Visible(1061) && Visible(1065) && Visible(1201));
    EXPECT_FALSE(Visible(2201));

    Click("Caps");
    EXPECT_TRUE(Visible(2063));
    EXPECT_FALSE(Visible(1063));
    EXPECT_TRUE(Visible(2201) && Visible(2100) && Visible(2040)) << "Caps switches digits and punctuation too";
    Click("Shift");
    EXPECT_TRUE(Visible(1201) && Visible(1100) && Visible(1040)) << "both held: the first set";
    EXPECT_FALSE(Visible(2201));
    EXPECT_TRUE(Visible(2061) && Visible(2063));
    for (int id : { 2061, 2063, 2065 })
        EXPECT_TRUE(SendDlgItemMessageA(dialog, id, BM_GETIMAGE, IMAGE_BITMAP, 0)) << "held key " << id << " shows its bitmap";
    Press(2063); // Caps off, Shift still on
    EXPECT_TRUE(Visible(2201));
    EXPECT_TRUE(Visible(1063));
}

TEST_F(KeyboardTest, CharacterKeysAppendDelRemovesAndTheStops)
{
    Click("a");
    Click("1");
    Click("/");
    EXPECT_EQ(Text(IDC_PIN_BOX), "a1/");
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
    for (const char* expected : { "a1", "a", "", "" }) {
        Click("Del");
        EXPECT_EQ(Text(IDC_PIN_BOX), expected) << "Del on an empty box changes nothing";
    }
    Click("Tab");
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
    EXPECT_EQ(Text(IDC_PIN_BOX), "");

    // At exactly eight characters a key changes nothing.
    Type(IDC_PIN_BOX, "abcdefgh");
    Click("x");
    EXPECT_EQ(Text(IDC_PIN_BOX), "abcdefgh");
    Click("Del");
    Click("x");
    EXPECT_EQ(Text(IDC_PIN_BOX), "abcdefgx");
    // Above eight (typed on the physical keyboard) keys append again, up to the box's 16.
    Type(IDC_PIN_BOX, "abcdefghijklmno");
    Click("x");
    EXPECT_EQ(Text(IDC_PIN_BOX), "abcdefghijklmnox");
    Click("y");
    EXPECT_EQ(Text(IDC_PIN_BOX), "abcdefghijklmnox");
}

} // namespace
