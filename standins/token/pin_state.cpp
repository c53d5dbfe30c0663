// Retry counters of the key's applications: every decision is written to key.ini before it is answered,
// so a process that dies between two attempts cannot win back a retry.
#include "pin_state.h"

#include <string.h>

#include "key_store.h"

int ParsePinChange(const unsigned char* data, int length, PinChange* change)
{
    memset(change, 0, sizeof *change);
    if (!data || length < 3 || length > PIN_CHANGE_MAX)
        return PIN_MALFORMED_CHANGE;
    int separator = -1;
    for (int i = 0; i < length; ++i) {
        if (data[i] != PIN_SEPARATOR)
            continue;
        if (separator >= 0)
            return PIN_MALFORMED_CHANGE;
        separator = i;
    }
    int oldLength = separator;
    int newLength = length - separator - 1;
    if (separator < 0 || oldLength < KEY_PIN_MIN || oldLength > KEY_PIN_MAX || newLength < KEY_PIN_MIN ||
        newLength > KEY_PIN_MAX)
        return PIN_MALFORMED_CHANGE;
    change->oldPin = data;
    change->oldLength = oldLength;
    change->newPin = data + separator + 1;
    change->newLength = newLength;
    return PIN_OK;
}

// Compares every byte whatever the first difference, so timing tells nothing about the PIN.
static int SamePin(const KeyApplication* app, const unsigned char* pin, int length)
{
    unsigned difference = (unsigned)(app->pinLength ^ length);
    for (int i = 0; i < KEY_PIN_MAX; ++i) {
        unsigned char stored = i < app->pinLength ? app->pin[i] : 0;
        unsigned char given = i < length ? pin[i] : 0;
        difference |= (unsigned)(stored ^ given);
    }
    return difference == 0;
}

// Writes the application's new state; on failure the description is put back as it was.
static int Commit(const KeyStorage* storage, KeyDescription* key, int app, const KeyApplication* before)
{
    if (SaveKeyDescription(storage, key) == 0)
        return 0;
    key->apps[app] = *before;
    return -1;
}

static int CheckPin(const KeyStorage* storage, KeyDescription* key, int app, const unsigned char* pin, int length)
{
    KeyApplication* a = &key->apps[app];
    if (IsApplicationLocked(a))
        return PIN_LOCKED;
    KeyApplication before = *a;
    if (SamePin(a, pin, length)) {
        if (a->retriesLeft == a->maxRetries)
            return PIN_OK;
        a->retriesLeft = a->maxRetries;
        return Commit(storage, key, app, &before) == 0 ? PIN_OK : PIN_STORE_FAILED;
    }
    a->retriesLeft--;
    if (a->retriesLeft <= 0) {
        a->retriesLeft = 0;
        a->locked = 1;
    }
    if (Commit(storage, key, app, &before) != 0)
        return PIN_STORE_FAILED;
    return a->retriesLeft > 0 ? a->retriesLeft : PIN_LOCKED;
}

static int HasApplication(const KeyDescription* key, int app)
{
    return key && app >= 0 && app < KEY_APPLICATIONS && key->apps[app].present;
}

int VerifyApplicationPin(const KeyStorage* storage, KeyDescription* key, int app, const unsigned char* pin,
                         int length)
{
    if (!HasApplication(key, app))
        return PIN_NO_APPLICATION;
    if (!pin || length < KEY_PIN_MIN || length > KEY_PIN_MAX)
        return PIN_BAD_ARGUMENT;
    return CheckPin(storage, key, app, pin, length);
}

int ChangeApplicationPin(const KeyStorage* storage, KeyDescription* key, int app, const unsigned char* data,
                         int length)
{
    PinChange change;
    if (ParsePinChange(data, length, &change) != PIN_OK)
        return PIN_MALFORMED_CHANGE;
    if (!HasApplication(key, app))
        return PIN_NO_APPLICATION;
    int result = CheckPin(storage, key, app, change.oldPin, change.oldLength);
    if (result != PIN_OK)
        return result;
    KeyApplication* a = &key->apps[app];
    KeyApplication before = *a;
    memset(a->pin, 0, sizeof a->pin);
    memcpy(a->pin, change.newPin, (size_t)change.newLength);
    a->pinLength = change.newLength;
    a->retriesLeft = a->maxRetries;
    a->locked = 0;
    return Commit(storage, key, app, &before) == 0 ? PIN_OK : PIN_STORE_FAILED;
}
