// Verifying and changing a key's PIN over its applications. Portable: no windows.h; the key is opened
// and closed through the walk's host.
#pragma once

#include "key_walk.h"

enum { PIN_NO_ANSWER = -1000,   // no PIN call was made
       PIN_CHANGE_UNDONE = -1001 // some applications took a change, others did not: it was taken back
};

// Opens the key in slot and presents the PIN to application 0xAD01, then to 0xAD02 when the key lists
// it and the first did not accept; closes the key and returns the last answer, or PIN_NO_ANSWER when
// no application was asked.
int VerifyKeyPin(const KeyWalkHost* host, int slot, const unsigned char* pin, int length);

// Opens the key in slot, finds the applications it lists, then sends change ("current PIN, 0xFF, new
// PIN") to each. 0 when every one took it; the last answer (or PIN_NO_ANSWER) when none did. When only
// some did, undo ("new PIN, 0xFF, current PIN") goes to each that took it and PIN_CHANGE_UNDONE comes
// back, so a key never keeps two PINs that the user was told are one.
int ChangeKeyPin(const KeyWalkHost* host, int slot, const unsigned char* change, int changeLength,
                 const unsigned char* undo, int undoLength);
