// The on-screen keyboard: Shift and Caps, '&', Del, the stops at eight and sixteen characters, and the
// held-key bitmaps going with the dialog (captions and characters: the pin_input fuzz replay).
#include "pin_dialog_fixture.h"

namespace {

class KeyboardTest : public PinDialogTest {
protected:
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

TEST_F(KeyboardTest, KeysTypeIntoTheBoxUpToItsLimit)
{
    PutKey(0, false);
    OpenVerify();
    Click("Shift");
    EXPECT_FALSE(Visible(KEY_SHIFT_LEFT) || Visible(KEY_SHIFT_RIGHT));
    Click("Q");
    Click("&&");
    Click("Shift");
    Click("Caps");
    Click("A");
    Click("Shift");
    Click("a"); // both held: the first set
    EXPECT_EQ(Text(IDC_PIN_BOX), "Q&Aa") << "'&' is one character";
    EXPECT_EQ(Focused(), IDC_PIN_BOX);
    for (const char* expected : { "Q&A", "Q&", "Q", "", "" }) {
        Click("Del");
        EXPECT_EQ(Text(IDC_PIN_BOX), expected) << "Del on an empty box changes nothing";
    }
    // At exactly eight characters a key changes nothing; above (typed on the physical keyboard) keys
    // append again, never past the box's 16.
    Type(IDC_PIN_BOX, "abcdefgh");
    Click("x");
    EXPECT_EQ(Text(IDC_PIN_BOX), "abcdefgh");
    Type(IDC_PIN_BOX, "abcdefghijklmno");
    Click("x");
    Click("y");
    EXPECT_EQ(Text(IDC_PIN_BOX), "abcdefghijklmnox");

    // Each opening's three held-key bitmaps are deleted with its dialog.
    for (int opening = 0; opening < 3; ++opening) {
        OpenVerify();
        std::vector<HGDIOBJ> images;
        for (int id : { 2061, 2063, 2065 })
            images.push_back((HGDIOBJ)SendDlgItemMessageA(dialog, id, BM_GETIMAGE, IMAGE_BITMAP, 0));
        CloseDialog();
        for (HGDIOBJ image : images) {
            ASSERT_TRUE(image != NULL);
            EXPECT_EQ(GetObjectType(image), 0u) << "a held-key bitmap outlived its dialog";
        }
    }
}

} // namespace
