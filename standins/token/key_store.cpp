// key.ini through a slot's storage: an unreadable file makes the key absent, never a half-read key.
#include "key_store.h"

#include "bounded_text.h"
#include "file_tree.h"
#include "key_ini.h"

int LoadKeyDescription(const KeyStorage* storage, KeyDescription* key, char* error, size_t errorSize)
{
    if (errorSize > 0)
        error[0] = '\0';
    char text[KEY_INI_MAX];
    long n = storage->load(storage->context, KEY_INI_PATH, (unsigned char*)text, sizeof text);
    if (n == STORED_ABSENT) {
        TextCopy(error, errorSize, "no key.ini: the slot is empty");
        return KEY_MISSING;
    }
    if (n == STORED_TOO_LARGE) {
        TextCopy(error, errorSize, "key.ini: longer than 8192 bytes");
        return KEY_INVALID;
    }
    if (n < 0) {
        TextCopy(error, errorSize, "key.ini: cannot be read");
        return KEY_INVALID;
    }
    char reason[160];
    if (ParseKeyIni(text, (size_t)n, key, reason, sizeof reason) != 0) {
        if (errorSize > 0) {
            TextCopy(error, errorSize, "key.ini: ");
            TextAppend(error, errorSize, reason);
        }
        return KEY_INVALID;
    }
    return KEY_LOADED;
}

int SaveKeyDescription(const KeyStorage* storage, const KeyDescription* key)
{
    char text[KEY_INI_MAX];
    int n = FormatKeyIni(key, text, sizeof text);
    if (n < 0)
        return -1;
    return storage->save(storage->context, KEY_INI_PATH, (const unsigned char*)text, (size_t)n);
}

int IsKeyInserted(const KeyStorage* storage, KeyDescription* key)
{
    char error[8];
    return LoadKeyDescription(storage, key, error, sizeof error) == KEY_LOADED && key->inserted;
}

int CountKeyCall(const KeyStorage* storage, KeyDescription* key, const char* call, int callsOnHandle)
{
    int outcome = CALL_ANSWERED;
    if (key->failAtCall > 0 && key->failAtCall == callsOnHandle) {
        outcome |= CALL_FAILS;
        key->failAtCall = 0;
        TextCopy(key->failedCall, sizeof key->failedCall, call);
        // A failed save lets the next handle fail the same way.
        SaveKeyDescription(storage, key);
    }
    if (key->vanishAfterCalls > 0 && key->vanishAfterCalls == callsOnHandle - 1)
        outcome |= CALL_VANISHES;
    return outcome;
}

int MarkKeyVanished(const KeyStorage* storage, uint32_t serial)
{
    KeyDescription key;
    char error[8];
    if (LoadKeyDescription(storage, &key, error, sizeof error) != KEY_LOADED || key.serial != serial)
        return 0;
    key.inserted = 0;
    key.vanishAfterCalls = 0;
    return SaveKeyDescription(storage, &key);
}
