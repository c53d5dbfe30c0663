// The on-screen keyboard's keys, their captions and characters, and the shuffle. Portable: no windows.h.
#pragma once

#include <stddef.h>

enum {
    KEY_SECOND_SET = 1000,   // a first-set key's twin in the second set
    KEY_GRAVE = 1040,        // punctuation keys 1040 to 1050
    KEY_PUNCTUATION_LAST = 1050,
    KEY_TAB = 1060,
    KEY_SHIFT_LEFT = 1061,
    KEY_DEL = 1062,
    KEY_CAPS = 1063,
    KEY_ENTER = 1064,
    KEY_SHIFT_RIGHT = 1065,
    KEY_DIGIT_FIRST = 1100,  // 1100 + i shows DigitOrder[i]
    KEY_LETTER_FIRST = 1201, // 1201 + j shows LetterOrder[j]
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
