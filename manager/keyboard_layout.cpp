// The shuffled on-screen keyboard: which character each key carries and what its caption says.
#include "keyboard_layout.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "bounded_text.h"

// Unshifted and shifted punctuation of a US keyboard, in the order of the ids IDC_KEY_GRAVE to IDC_KEY_SLASH.
static const char Punctuation[] = "`-=\\[];',./";
static const char ShiftedPunctuation[] = "~_+|{}:\"<>?";
// Shifted symbol of each digit 0 to 9.
static const char ShiftedDigits[] = ")!@#$%^&*(";

const int KeySetOrder[KEY_SET_SIZE] = {
    IDC_KEY_GRAVE, IDC_KEY_DIGIT_1, IDC_KEY_DIGIT_2, IDC_KEY_DIGIT_3, IDC_KEY_DIGIT_4, IDC_KEY_DIGIT_5,
    IDC_KEY_DIGIT_6, IDC_KEY_DIGIT_7, IDC_KEY_DIGIT_8, IDC_KEY_DIGIT_9, IDC_KEY_DIGIT_0, IDC_KEY_MINUS,
    IDC_KEY_EQUALS, IDC_KEY_BACKSLASH,
    IDC_KEY_TAB, IDC_KEY_LETTER_0, IDC_KEY_LETTER_1, IDC_KEY_LETTER_2, IDC_KEY_LETTER_3, IDC_KEY_LETTER_4,
    IDC_KEY_LETTER_5, IDC_KEY_LETTER_6, IDC_KEY_LETTER_7, IDC_KEY_LETTER_8, IDC_KEY_LETTER_9,
    IDC_KEY_LEFT_BRACKET, IDC_KEY_RIGHT_BRACKET, IDC_KEY_DEL,
    IDC_KEY_CAPS, IDC_KEY_LETTER_10, IDC_KEY_LETTER_11, IDC_KEY_LETTER_12, IDC_KEY_LETTER_13,
    IDC_KEY_LETTER_14, IDC_KEY_LETTER_15, IDC_KEY_LETTER_16, IDC_KEY_LETTER_17, IDC_KEY_LETTER_18,
    IDC_KEY_SEMICOLON, IDC_KEY_QUOTE, IDC_KEY_ENTER,
    IDC_KEY_SHIFT_LEFT, IDC_KEY_LETTER_19, IDC_KEY_LETTER_20, IDC_KEY_LETTER_21, IDC_KEY_LETTER_22,
    IDC_KEY_LETTER_23, IDC_KEY_LETTER_24, IDC_KEY_LETTER_25, IDC_KEY_COMMA, IDC_KEY_PERIOD, IDC_KEY_SLASH,
    IDC_KEY_SHIFT_RIGHT,
};

int MakeRandomPermutation(unsigned char* destination, int n)
{
    unsigned char accepted[128];
    memset(accepted, 0, sizeof accepted);
    if (n < 0 || n > 128)
        return 0;
    // Reseeded on every call: two calls in the same second draw the same sequence.
    srand((unsigned)time(NULL));
    int count = 0;
    while (count < n) {
        int v = rand() & 0xFF;
        if (v > n - 1)
            continue;
        int repeated = 0;
        for (int i = 0; i < count; ++i)
            repeated |= accepted[i] == v;
        if (repeated)
            continue;
        accepted[count++] = (unsigned char)v;
    }
    memcpy(destination, accepted, (size_t)n);
    return n;
}

int IsCharacterKey(int id)
{
    if (id >= KEY_SECOND_SET + 1000)
        id -= KEY_SECOND_SET;
    return (id >= KEY_GRAVE && id <= KEY_PUNCTUATION_LAST) ||
           (id >= KEY_DIGIT_FIRST && id < KEY_DIGIT_FIRST + DIGIT_KEY_COUNT) ||
           (id >= KEY_LETTER_FIRST && id < KEY_LETTER_FIRST + LETTER_KEY_COUNT);
}

char KeyCharacter(int id, const unsigned char* digitOrder, const unsigned char* letterOrder)
{
    if (!IsCharacterKey(id))
        return 0;
    int second = id >= KEY_SECOND_SET + 1000;
    if (second)
        id -= KEY_SECOND_SET;
    if (id >= KEY_GRAVE && id <= KEY_PUNCTUATION_LAST)
        return (second ? ShiftedPunctuation : Punctuation)[id - KEY_GRAVE];
    if (id >= KEY_DIGIT_FIRST && id < KEY_DIGIT_FIRST + DIGIT_KEY_COUNT) {
        int digit = digitOrder[id - KEY_DIGIT_FIRST] % 10;
        return second ? ShiftedDigits[digit] : (char)('0' + digit);
    }
    int letter = letterOrder[id - KEY_LETTER_FIRST] % 26;
    return (char)((second ? 'A' : 'a') + letter);
}

void KeyCaption(int id, const unsigned char* digitOrder, const unsigned char* letterOrder, char* caption,
                size_t size)
{
    if (size == 0)
        return;
    caption[0] = '\0';
    char c = KeyCharacter(id, digitOrder, letterOrder);
    if (c == '&') {
        TextCopy(caption, size, "&&");
        return;
    }
    if (c) {
        char text[2] = { c, '\0' };
        TextCopy(caption, size, text);
        return;
    }
    switch (id >= KEY_SECOND_SET + 1000 ? id - KEY_SECOND_SET : id) {
    case KEY_TAB: TextCopy(caption, size, "Tab"); break;
    case KEY_SHIFT_LEFT:
    case KEY_SHIFT_RIGHT: TextCopy(caption, size, "Shift"); break;
    case KEY_DEL: TextCopy(caption, size, "Del"); break;
    case KEY_CAPS: TextCopy(caption, size, "Caps"); break;
    case KEY_ENTER: TextCopy(caption, size, "Enter"); break;
    }
}
