// PIN verification and change per application, with retry counters that persist before the answer
// is given. Portable: no windows.h.
#pragma once

#include "key_model.h"
#include "key_storage.h"

// Answers of QZ_VerifyPinUpDatePinInfoFile and QZ_ChangePin; n > 0 is "wrong PIN, n retries left".
enum {
    PIN_OK = 0,
    PIN_LOCKED = -1,               // also the answer to the wrong PIN that used the last retry
    PIN_NO_APPLICATION = -2,       // no application selected, bad handle, key gone
    PIN_BAD_ARGUMENT = -3,         // verify: no PIN, or its length outside 1..31
    PIN_STORE_FAILED = -4,         // the counter could not be written: nothing was decided
    PIN_MALFORMED_CHANGE = -1000
};

enum { PIN_SEPARATOR = 0xFF, PIN_CHANGE_MAX = 2 * KEY_PIN_MAX + 1 };

struct PinChange {
    const unsigned char* oldPin;
    int oldLength;
    const unsigned char* newPin;
    int newLength;
};

// Splits change data "old PIN, 0xFF, new PIN" (length bytes, no terminator). PIN_OK, or
// PIN_MALFORMED_CHANGE when the data is null, the length is outside 3..63, there is not exactly one
// 0xFF, or either PIN is empty or longer than 31 bytes.
int ParsePinChange(const unsigned char* data, int length, PinChange* change);

// Verifies pin against application app of key and writes the new counter to storage before answering:
// PIN_OK (counter back to the maximum), n > 0 retries left, PIN_LOCKED, or another PIN_ value.
int VerifyApplicationPin(const KeyStorage* storage, KeyDescription* key, int app, const unsigned char* pin,
                         int length);

// Verifies the old PIN as above and on success stores the new one with a full counter.
int ChangeApplicationPin(const KeyStorage* storage, KeyDescription* key, int app, const unsigned char* data,
                         int length);
