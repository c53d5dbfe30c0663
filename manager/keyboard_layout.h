// The on-screen keyboard's keys, their captions and characters, and the shuffle. Portable: no windows.h.
#pragma once

#include <stddef.h>

#include "resource.h"

enum {
    KEY_SECOND_SET = IDC_SHIFTED_KEY_GRAVE - IDC_KEY_GRAVE, // a first-set key's twin in the second set
    KEY_GRAVE = IDC_KEY_GRAVE,                // punctuation keys, in the order of a US keyboard
    KEY_PUNCTUATION_LAST = IDC_KEY_SLASH,
    KEY_TAB = IDC_KEY_TAB,
    KEY_SHIFT_LEFT = IDC_KEY_SHIFT_LEFT,
    KEY_DEL = IDC_KEY_DEL,
    KEY_CAPS = IDC_KEY_CAPS,
    KEY_ENTER = IDC_KEY_ENTER,
    KEY_SHIFT_RIGHT = IDC_KEY_SHIFT_RIGHT,
    KEY_DIGIT_FIRST = IDC_KEY_DIGIT_0,        // KEY_DIGIT_FIRST + i shows DigitOrder[i]
    KEY_LETTER_FIRST = IDC_KEY_LETTER_0,      // KEY_LETTER_FIRST + j shows LetterOrder[j]
    DIGIT_KEY_COUNT = 10,
    LETTER_KEY_COUNT = 26,
    PUNCTUATION_KEY_COUNT = 11,
    KEY_ORDER_BUFFER = 64,
    KEY_SET_SIZE = 53,       // keys of one set
    ONSCREEN_PIN_STOP = 8    // a character key changes nothing at exactly this many characters
};

// Writes a random permutation of 0 .. n-1 as n bytes (n at most 128), seeded by the time in seconds.
int MakeRandomPermutation(unsigned char* destination, int n);

// Whether an id (either set) is one of the 47 character keys.
int IsCharacterKey(int id);

// The character a character key enters, given the shuffles; 0 for any other id.
char KeyCharacter(int id, const unsigned char* digitOrder, const unsigned char* letterOrder);

// The caption of a key: its character ("&&" for '&', which buttons take as a mnemonic prefix), or the
// name of a special key. Empty for an unknown id.
void KeyCaption(int id, const unsigned char* digitOrder, const unsigned char* letterOrder, char* caption,
                size_t size);

// The first set's ids in dialog template order.
extern const int KeySetOrder[KEY_SET_SIZE];
