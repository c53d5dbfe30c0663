// Verifying and changing a key's PIN over its applications. Portable: no windows.h; the key is opened
// and closed through the walk's host.
#pragma once

#include "key_walk.h"

enum { PIN_NO_ANSWER = -1000,    // no PIN call was made
       PIN_CHANGE_UNDONE = -1001, // some applications took a change, others did not: it was taken back
       PIN_CHANGE_PARTIAL = -1002 // ... and not every one took the taking back: the key holds two PINs
};

// Both open the key in slot and send no PIN unless it answers with serial (KEY_SERIAL_SIZE bytes, as
// the refresh read it): a PIN is typed for one key, not for whatever key sits in its slot now.

// Presents the PIN to application 0xAD01, then to 0xAD02 when the key lists it and the first did not
// accept; closes the key and returns the last answer, or PIN_NO_ANSWER when no application was asked.
int VerifyKeyPin(const KeyWalkHost* host, int slot, const unsigned char* serial, const unsigned char* pin,
                 int length);

// Finds the applications the key lists, then sends change ("current PIN, 0xFF, new PIN") to each. 0
// when every one took it; the last answer (or PIN_NO_ANSWER) when none did, or when the key could not
// tell whether it lists one. When only some took it, undo ("new PIN, 0xFF, current PIN") goes to each
// that did: PIN_CHANGE_UNDONE when all took that back, else PIN_CHANGE_PARTIAL, so a key never keeps two
// PINs that the user was told are one.
int ChangeKeyPin(const KeyWalkHost* host, int slot, const unsigned char* serial, const unsigned char* change,
                 int changeLength, const unsigned char* undo, int undoLength);
