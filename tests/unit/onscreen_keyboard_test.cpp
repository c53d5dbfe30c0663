// The on-screen keyboard: the shuffle, captions of twins, Shift and Caps, Del, the stops, '&'.
#include "pin_dialog_fixture.h"

#include <set>

#include "dialog_template.h"
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
    // Seeded by the time in seconds: two calls in the same second give the same order.
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

TEST(KeyCaptions, TwinsShowTheSameDigitOrLetterAndAmpersandIsDoubled)
{
    unsigned char digits[64] = { 7, 0, 1, 2, 3, 4, 5, 6, 8, 9 };
    unsigned char letters[64];
    for (int j = 0; j < 26; ++j)
        letters[j] = (unsigned char)(25 - j);
    const char shifted[] = ")!@#$%^&*(";
    char caption[8];
    for (int i = 0; i < 10; ++i) {
        KeyCaption(1100 + i, digits, letters, caption, sizeof caption);
        EXPECT_EQ(caption[0], '0' + digits[i]);
        char c = KeyCharacter(2100 + i, digits, letters);
        EXPECT_EQ(c, shifted[digits[i]]);
    }
    KeyCaption(2100, digits, letters, caption, sizeof caption);
    EXPECT_STREQ(caption, "&&") << "digit 7's symbol on key 2100";
    EXPECT_EQ(KeyCharacter(2100, digits, letters), '&');
    for (int j = 0; j < 26; ++j) {
        EXPECT_EQ(KeyCharacter(1201 + j, digits, letters), 'z' - j);
        EXPECT_EQ(KeyCharacter(2201 + j, digits, letters), 'Z' - j);
    }
    const char plain[] = "`-=\\[];',./";
    const char upper[] = "~_+|{}:\"<>?";
    for (int k = 0; k < 11; ++k) {
        EXPECT_EQ(KeyCharacter(1040 + k, digits, letters), plain[k]);
        EXPECT_EQ(KeyCharacter(2040 + k, digits, letters), upper[k]);
    }
    for (int id : { 1060, 1061, 1062, 1063, 1064, 1065, 1099, 1227, 1051 })
        EXPECT_EQ(KeyCharacter(id, digits, letters), 0) << id;
}

class KeyboardTest : public PinDialogTest {
protected:
    void SetUp() override
    {
        PinDialogTest::SetUp();
        PutKey(0, false);
        OpenDialog(IDD_VERIFY_PIN, VerifyPinDlgProc);
    }
    // The id of the visible key whose caption is text.
    int KeyShowing(const char* text)
    {
        for (int set : { 0, 1000 })
            for (int id : KeySetOrder)
                if (Visible(id + set) && Text(id + set) == text)
                    return id + set;
        return 0;
    }
    void Click(const char* caption)
    {
        int id = KeyShowing(caption);
        ASSERT_NE(id, 0) << caption;
        Press(id);
    }
};

TEST_F(KeyboardTest, OpensWithEveryDigitAndLetterOnceAndTheSecondSetHidden)
{
    std::multiset<std::string> firstSet;
    for (int id : KeySetOrder) {
        EXPECT_TRUE(Visible(id)) << id;
        EXPECT_FALSE(Visible(id + 1000)) << id + 1000;
        firstSet.insert(Text(id));
    }
    for (const char* c : { "0", "5", "9", "a", "m", "z", "`", "/", "Tab", "Del", "Caps", "Enter" })
        EXPECT_EQ(firstSet.count(c), 1u) << c;
    EXPECT_EQ(firstSet.count("Shift"), 2u);
    // Each digit key's twin shows that digit's symbol; each letter's twin the same letter upper case.
    const char shifted[] = ")!@#$%^&*(";
    for (int i = 0; i < 10; ++i) {
        int digit = Text(1100 + i)[0] - '0';
        std::string expected = shifted[digit] == '&' ? "&&" : std::string(1, shifted[digit]);
        EXPECT_EQ(Text(2100 + i), expected);
    }
    for (int j = 0; j < 26; ++j)
        EXPECT_EQ(Text(2201 + j)[0], Text(1201 + j)[0] - 'a' + 'A');
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
}

TEST_F(KeyboardTest, CharacterKeysAppendAndReturnTheFocusToTheBox)
{
    Click("a");
    Click("1");
    Click("/");
    EXPECT_EQ(Text(IDC_PIN_BOX), "a1/");
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
    Click("Del");
    EXPECT_EQ(Text(IDC_PIN_BOX), "a1");
    Click("Del");
    Click("Del");
    Click("Del");
    EXPECT_EQ(Text(IDC_PIN_BOX), "") << "Del on an empty box changes nothing";
    Click("Tab");
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
    EXPECT_EQ(Text(IDC_PIN_BOX), "");
}

TEST_F(KeyboardTest, ShiftStaysOnAndShowsTheSecondSet)
{
    Click("Shift");
    EXPECT_EQ(ShiftOn, 1);
    EXPECT_FALSE(Visible(KEY_SHIFT_LEFT) || Visible(KEY_SHIFT_RIGHT));
    EXPECT_TRUE(Visible(2061) && Visible(2065));
    EXPECT_FALSE(Visible(2060) || Visible(2062) || Visible(2064)) << "Tab, Del, Enter stay in the first set";
    EXPECT_TRUE(Visible(1060) && Visible(1062) && Visible(1064));
    Click("Q");
    Click("?");
    EXPECT_EQ(Text(IDC_PIN_BOX), "Q?") << "both characters from the second set";
    Press(2061);
    EXPECT_EQ(ShiftOn, 0);
    EXPECT_TRUE(Visible(1061) && Visible(1065) && Visible(1201));
    EXPECT_FALSE(Visible(2201));
}

TEST_F(KeyboardTest, CapsAndShiftTogetherShowTheFirstSetWithBothHeld)
{
    Click("Caps");
    EXPECT_TRUE(Visible(2063));
    EXPECT_FALSE(Visible(1063));
    EXPECT_TRUE(Visible(2201) && Visible(2100) && Visible(2040)) << "Caps switches digits and punctuation too";
    Click("Shift");
    EXPECT_TRUE(Visible(1201) && Visible(1100) && Visible(1040));
    EXPECT_FALSE(Visible(2201));
    EXPECT_TRUE(Visible(2061) && Visible(2063));
    Press(2063); // Caps off, Shift still on
    EXPECT_TRUE(Visible(2201));
    EXPECT_TRUE(Visible(1063));
    // The held keys show their bitmaps.
    for (int id : { 2061, 2063, 2065 })
        EXPECT_TRUE(SendDlgItemMessageA(dialog, id, BM_GETIMAGE, IMAGE_BITMAP, 0)) << id;
}

TEST_F(KeyboardTest, StopsAtExactlyEightAndNeverPassesTheBoxLimit)
{
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

TEST_F(KeyboardTest, TheAmpersandKeyAddsOneCharacter)
{
    Click("Shift");
    Click("&&");
    EXPECT_EQ(Text(IDC_PIN_BOX), "&");
}

TEST_F(KeyboardTest, EnterVerifiesWhatTheKeysEntered)
{
    token.Slot(0).verifyResults = { 0 };
    Click("7");
    Click("Enter");
    std::vector<fake::Call> calls = token.CallsNamed("QZ_VerifyPinUpDatePinInfoFile");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].data, (std::vector<unsigned char>{ '7' }));
    ASSERT_EQ(EndedDialogs.size(), 1u);
    EXPECT_EQ(EndedDialogs[0].result, KEY_ENTER);
}

TEST(PinDialogTemplates, KeysStandAtTheirPlacesInTemplateOrder)
{
    DialogTemplate d = LoadDialogTemplate(GetModuleHandleA(NULL), IDD_VERIFY_PIN);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.title, "验证USBKey密码");
    EXPECT_EQ(d.style, (DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER));
    EXPECT_EQ(std::vector<int>({ d.cx, d.cy }), std::vector<int>({ 292, 195 }));
    ASSERT_EQ(d.controls.size(), 5u + 2 * KEY_SET_SIZE + 1);
    EXPECT_EQ(d.controls[0].id, IDOK);
    EXPECT_EQ(d.controls[1].id, IDCANCEL);
    EXPECT_EQ(d.controls[2].text, "#102");
    EXPECT_EQ(d.controls[3].text, "请输入USBKey密码（16位内数字、字母或其组合）：");
    EXPECT_EQ(d.controls[4].id, IDC_PIN_BOX);
    EXPECT_EQ(d.controls[4].style, (DWORD)(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL));
    EXPECT_EQ(d.controls.back().text, "密码软键盘");
    EXPECT_EQ(std::vector<int>({ d.controls.back().x, d.controls.back().y, d.controls.back().cx, d.controls.back().cy }),
              std::vector<int>({ 14, 87, 265, 77 }));

    // A few places from each row, checked against the keyboard's table.
    struct Place { int id, x, y, cx; };
    const Place places[] = {
        { 1040, 25, 101, 15 }, { 1101, 41, 101, 15 }, { 1109, 169, 101, 15 }, { 1100, 185, 101, 15 },
        { 1062, 233, 101, 32 }, { 1060, 25, 117, 20 }, { 1201, 47, 117, 15 }, { 1210, 191, 117, 15 },
        { 1043, 239, 117, 27 }, { 1063, 25, 129, 25 }, { 1211, 53, 129, 15 }, { 1219, 181, 129, 15 },
        { 1064, 229, 129, 38 }, { 1061, 25, 145, 36 }, { 1220, 63, 145, 15 }, { 1226, 159, 145, 15 },
        { 1050, 207, 145, 15 }, { 1065, 223, 145, 44 },
    };
    for (int set = 0; set < 2; ++set) {
        for (int k = 0; k < KEY_SET_SIZE; ++k) {
            const TemplateControl& c = d.controls[5 + set * KEY_SET_SIZE + k];
            int id = KeySetOrder[k] + 1000 * set;
            EXPECT_EQ(c.id, id);
            DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
            if (id == 2061 || id == 2063 || id == 2065)
                style |= BS_BITMAP;
            EXPECT_EQ(c.style, style) << id;
            EXPECT_EQ(c.cy, 11);
            for (const Place& p : places) {
                if (p.id + 1000 * set == id) {
                    EXPECT_EQ(std::vector<int>({ c.x, c.y, c.cx }), std::vector<int>({ p.x, p.y, p.cx })) << id;
                }
            }
        }
    }
}

TEST(PinDialogTemplates, TheChangeDialogMatchesItsTable)
{
    DialogTemplate d = LoadDialogTemplate(GetModuleHandleA(NULL), IDD_CHANGE_PIN);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.title, "修改USBKey密码");
    struct Row { int id; const char* cls; int x, y, cx, cy; const char* text; };
    const Row rows[] = {
        { -1, "Static", 0, 0, 292, 43, "#102" },
        { -1, "Static", 14, 57, 97, 8, "请输入当前的USBKey密码：" },
        { 1007, "Edit", 14, 67, 265, 14, "" },
        { -1, "Static", 14, 90, 209, 8, "请输入您要使用的新密码（16位内数字、字母或其组合）：" },
        { 1008, "Edit", 14, 100, 265, 14, "" },
        { -1, "Static", 14, 123, 106, 8, "请再次输入新密码以便确认：" },
        { 1009, "Edit", 14, 134, 265, 14, "" },
        { -1, "Static", 14, 165, 41, 8, "密码强度：" },
        { 1012, "Static", 57, 162, 100, 13, "#109" }, { 1013, "Static", 167, 165, 9, 8, "低" },
        { 1014, "Static", 57, 162, 100, 13, "#110" }, { 1015, "Static", 167, 165, 9, 8, "中" },
        { 1016, "Static", 57, 162, 100, 13, "#111" }, { 1017, "Static", 167, 165, 9, 8, "高" },
        { 1, "Button", 217, 155, 50, 14, "确定" },     { 2, "Button", 217, 173, 50, 14, "取消" },
    };
    ASSERT_EQ(d.controls.size(), sizeof rows / sizeof rows[0]);
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const TemplateControl& c = d.controls[i];
        const Row& r = rows[i];
        EXPECT_EQ(c.id, r.id);
        EXPECT_EQ(lstrcmpiA(c.className.c_str(), r.cls), 0) << c.className;
        EXPECT_EQ(std::vector<int>({ c.x, c.y, c.cx, c.cy }), std::vector<int>({ r.x, r.y, r.cx, r.cy })) << r.text;
        EXPECT_EQ(c.text, r.text);
    }
}

} // namespace
