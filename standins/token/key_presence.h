// Which slots hold an inserted key, and the arrivals and removals between two looks at the store.
// Portable: no windows.h.
#pragma once

#include <stdint.h>

#include "key_model.h"
#include "key_storage.h"

struct KeyPresence {
    int inserted;
    uint32_t serial;
};

enum PresenceChange { KEY_ARRIVED = 1, KEY_REMOVED = 2 };

struct PresenceEvent {
    int slot;
    PresenceChange change;
    uint32_t serial;               // of the key that arrived or was removed
};

enum { PRESENCE_EVENTS_MAX = 2 * KEY_SLOTS };

// What the slot's storage shows now: an inserted, readable key, or nothing.
KeyPresence ReadKeyPresence(const KeyStorage* storage);

// Events that lead from before to after, slot by slot, a removal before the arrival in the same slot
// (a key replaced between two looks). Returns their number; an unchanged store gives none.
int PresenceChanges(const KeyPresence before[KEY_SLOTS], const KeyPresence after[KEY_SLOTS],
                    PresenceEvent events[PRESENCE_EVENTS_MAX]);
