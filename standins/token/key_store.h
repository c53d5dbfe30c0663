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
