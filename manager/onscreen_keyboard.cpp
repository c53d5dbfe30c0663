// The on-screen keyboard of the verification dialog: shuffled keys, Shift and Caps, Del, Tab.
#include "manager.h"

#include "../common/bounded_text.h"
#include "pin_rules.h"

unsigned char DigitOrder[KEY_ORDER_BUFFER];
unsigned char LetterOrder[KEY_ORDER_BUFFER];
int ShiftOn;
int CapsOn;

static void Show(HWND dialog, int id, int visible)
{
    ShowWindow(GetDlgItem(dialog, id), visible ? SW_SHOWNORMAL : SW_HIDE);
}

static void SetCaption(HWND dialog, int id)
{
    char caption[8];
    KeyCaption(id, DigitOrder, LetterOrder, caption, sizeof caption);
    SetDlgItemTextA(dialog, id, caption);
}

static void SetHeldBitmap(HWND dialog, int id, int bitmap)
{
    HANDLE image = LoadImageA(AppInstance, MAKEINTRESOURCEA(bitmap), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    SendDlgItemMessageA(dialog, id, BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)image);
}

void InitOnScreenKeyboard(HWND dialog)
{
    ZeroMemory(DigitOrder, sizeof DigitOrder);
    MakeRandomPermutation(DigitOrder, DIGIT_KEY_COUNT);
    ZeroMemory(LetterOrder, sizeof LetterOrder);
    MakeRandomPermutation(LetterOrder, LETTER_KEY_COUNT);

    for (int i = 0; i < DIGIT_KEY_COUNT; ++i)
        SetCaption(dialog, KEY_DIGIT_FIRST + i);
    for (int j = 0; j < LETTER_KEY_COUNT; ++j)
        SetCaption(dialog, KEY_LETTER_FIRST + j);
    for (int id = KEY_PUNCTUATION_LAST; id >= KEY_GRAVE; --id)
        SetCaption(dialog, id);
    for (int i = 0; i < DIGIT_KEY_COUNT; ++i) {
        SetCaption(dialog, KEY_SECOND_SET + KEY_DIGIT_FIRST + i);
        Show(dialog, KEY_SECOND_SET + KEY_DIGIT_FIRST + i, 0);
    }
    for (int j = 0; j < LETTER_KEY_COUNT; ++j) {
        SetCaption(dialog, KEY_SECOND_SET + KEY_LETTER_FIRST + j);
        Show(dialog, KEY_SECOND_SET + KEY_LETTER_FIRST + j, 0);
    }
    for (int id = KEY_PUNCTUATION_LAST; id >= KEY_GRAVE; --id) {
        SetCaption(dialog, KEY_SECOND_SET + id);
        Show(dialog, KEY_SECOND_SET + id, 0);
    }

    static const struct { int id; int bitmap; } specials[] = {
        { KEY_TAB, 0 }, { KEY_DEL, 0 }, { KEY_CAPS, IDB_CAPS_HELD }, { KEY_SHIFT_LEFT, IDB_SHIFT_LEFT_HELD },
        { KEY_SHIFT_RIGHT, IDB_SHIFT_RIGHT_HELD }, { KEY_ENTER, 0 },
    };
    for (const auto& key : specials) {
        SetCaption(dialog, key.id);
        SetCaption(dialog, KEY_SECOND_SET + key.id);
        if (key.bitmap)
            SetHeldBitmap(dialog, KEY_SECOND_SET + key.id, key.bitmap);
        Show(dialog, KEY_SECOND_SET + key.id, 0);
    }
    ShiftOn = 0;
    CapsOn = 0;
}

void FreeOnScreenKeyboard(HWND dialog)
{
    // A button does not own the image it shows; the three held-key bitmaps go with the dialog.
    static const int held[] = { KEY_CAPS, KEY_SHIFT_LEFT, KEY_SHIFT_RIGHT };
    for (int id : held) {
        HGDIOBJ image = (HGDIOBJ)SendDlgItemMessageA(dialog, KEY_SECOND_SET + id, BM_SETIMAGE, IMAGE_BITMAP, 0);
        if (image)
            DeleteObject(image);
    }
}

// Shows the second set's character keys exactly when one of Shift and Caps is on.
static void UpdateCharacterKeys(HWND dialog)
{
    int second = ShiftOn ^ CapsOn;
    for (int i = 0; i < DIGIT_KEY_COUNT + LETTER_KEY_COUNT + PUNCTUATION_KEY_COUNT; ++i) {
        int id = i < DIGIT_KEY_COUNT ? KEY_DIGIT_FIRST + i
               : i < DIGIT_KEY_COUNT + LETTER_KEY_COUNT ? KEY_LETTER_FIRST + i - DIGIT_KEY_COUNT
               : KEY_GRAVE + i - DIGIT_KEY_COUNT - LETTER_KEY_COUNT;
        Show(dialog, id, !second);
        Show(dialog, KEY_SECOND_SET + id, second);
    }
}

static void PressCharacterKey(HWND dialog, int id)
{
    char pin[PIN_READ_SIZE];
    int length = ReadPinBox(dialog, IDC_PIN_BOX, pin, sizeof pin);
    // Nothing at exactly eight characters; and never more than the box's own limit.
    if (length != ONSCREEN_PIN_STOP && length < PIN_BOX_LIMIT) {
        char c[2] = { KeyCharacter(id, DigitOrder, LetterOrder), '\0' };
        TextAppend(pin, sizeof pin, c);
        SetDlgItemTextA(dialog, IDC_PIN_BOX, pin);
    }
    WipeBytes(pin, sizeof pin);
}

static void PressDel(HWND dialog)
{
    char pin[PIN_READ_SIZE];
    int length = ReadPinBox(dialog, IDC_PIN_BOX, pin, sizeof pin);
    if (length > 0) {
        pin[length - 1] = '\0';
        SetDlgItemTextA(dialog, IDC_PIN_BOX, pin);
    }
    WipeBytes(pin, sizeof pin);
}

static void ToggleShift(HWND dialog)
{
    ShiftOn = 1 - ShiftOn;
    UpdateCharacterKeys(dialog);
    Show(dialog, KEY_SHIFT_LEFT, !ShiftOn);
    Show(dialog, KEY_SECOND_SET + KEY_SHIFT_LEFT, ShiftOn);
    Show(dialog, KEY_SHIFT_RIGHT, !ShiftOn);
    Show(dialog, KEY_SECOND_SET + KEY_SHIFT_RIGHT, ShiftOn);
}

static void ToggleCaps(HWND dialog)
{
    CapsOn = 1 - CapsOn;
    UpdateCharacterKeys(dialog);
    Show(dialog, KEY_CAPS, !CapsOn);
    Show(dialog, KEY_SECOND_SET + KEY_CAPS, CapsOn);
}

int OnScreenKeyPressed(HWND dialog, int id)
{
    int key = id >= KEY_SECOND_SET + 1000 ? id - KEY_SECOND_SET : id;
    if (IsCharacterKey(id))
        PressCharacterKey(dialog, id);
    else if (key == KEY_DEL)
        PressDel(dialog);
    else if (key == KEY_SHIFT_LEFT || key == KEY_SHIFT_RIGHT)
        ToggleShift(dialog);
    else if (key == KEY_CAPS)
        ToggleCaps(dialog);
    else if (key != KEY_TAB && id != KEY_SECOND_SET + KEY_ENTER)
        return 0;
    SetFocus(GetDlgItem(dialog, IDC_PIN_BOX));
    return 1;
}
