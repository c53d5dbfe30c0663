// The shuffled on-screen keyboard: which character each key carries and what its caption says.
#include "keyboard_layout.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "bounded_text.h"

// Unshifted and shifted punctuation of a US keyboard, in the order of the ids 1040 to 1050.
static const char Punctuation[] = "`-=\\[];',./";
static const char ShiftedPunctuation[] = "~_+|{}:\"<>?";
// Shifted symbol of each digit 0 to 9.
static const char ShiftedDigits[] = ")!@#$%^&*(";

const int KeySetOrder[KEY_SET_SIZE] = {
    1040, 1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 1100, 1041, 1042, 1043,
    1060, 1201, 1202, 1203, 1204, 1205, 1206, 1207, 1208, 1209, 1210, 1044, 1045, 1062,
    1063, 1211, 1212, 1213, 1214, 1215, 1216, 1217, 1218, 1219, 1046, 1047, 1064,
    1061, 1220, 1221, 1222, 1223, 1224, 1225, 1226, 1048, 1049, 1050, 1065,
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
