// Reading and writing a slot's key.ini through its storage. Portable: no windows.h.
#pragma once

#include <stddef.h>

#include "key_model.h"
#include "key_storage.h"

enum { KEY_LOADED = 0, KEY_MISSING = -1, KEY_INVALID = -2 };

// KEY_LOADED, KEY_MISSING (no key.ini: an empty slot), or KEY_INVALID with the reason in error.
int LoadKeyDescription(const KeyStorage* storage, KeyDescription* key, char* error, size_t errorSize);

// Writes key.ini atomically; 0 on success.
int SaveKeyDescription(const KeyStorage* storage, const KeyDescription* key);

// 1 when the slot holds a readable key that is not marked removed.
int IsKeyInserted(const KeyStorage* storage, KeyDescription* key);

enum { CALL_ANSWERED = 0, CALL_VANISHES = 1, CALL_FAILS = 2 };

// Looks at call number callsOnHandle of an open handle (1: the open itself) on a key told to vanish or
// to fail (key as just loaded from storage). Counting by handle keeps it in memory: key.ini is written
// only when the fault is answered. CALL_VANISHES when this call is the last one answered (the caller
// answers it and calls MarkKeyVanished), CALL_FAILS when it is to answer the key's fault instead; the
// fault is then taken back and the call's name kept as the one that failed.
int CountKeyCall(const KeyStorage* storage, KeyDescription* key, const char* call, int callsOnHandle);

// Saves the key with serial as pulled out, its counter cleared, keeping whatever the last call wrote.
// Another key, or none, in the slot is left alone. 0 on success.
int MarkKeyVanished(const KeyStorage* storage, uint32_t serial);
