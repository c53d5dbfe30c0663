// What a PIN may hold, how strong it is, and the change data sent to the key. Portable: no windows.h.
#pragma once

#include <stddef.h>

enum {
    PIN_BOX_LIMIT = 16,        // characters a PIN box takes
    PIN_READ_SIZE = 32,        // bytes read from a PIN box (at most 31 characters)
    PIN_VERIFY_BUFFER = 64,
    PIN_MIN_TO_VERIFY = 4,     // OK is enabled from this length on
    PIN_WORK_BUFFER = 180
};

// Every character printable ASCII other than space (0x21 to 0x7E).
int IsVerifiablePin(const char* text);
// Every character a digit or an ASCII letter.
int IsAlphanumericPin(const char* text);

// 0 for an empty text; 1 all digits, one repeated character or an ascending run; 2 letters of one
// case; 3 otherwise.
int RatePinStrength(const char* text);

enum MeterLevel { METER_NONE, METER_LOW, METER_MEDIUM, METER_HIGH };
// The meter for a new PIN: low below 8 characters, else by its strength.
MeterLevel MeterLevelFor(const char* newPin);

// "old PIN, 0xFF, new PIN" without terminator into out; returns its length, or -1 when it would
// not fit size (nothing is written then).
int BuildChangeData(const char* oldPin, const char* newPin, unsigned char* out, size_t size);
