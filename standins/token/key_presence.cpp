// Comparing two looks at the store, so each insertion is announced once however many file events
// the write caused.
#include "key_presence.h"

#include "key_store.h"

KeyPresence ReadKeyPresence(const KeyStorage* storage)
{
    KeyPresence presence = { 0, 0 };
    KeyDescription key;
    if (IsKeyInserted(storage, &key)) {
        presence.inserted = 1;
        presence.serial = key.serial;
    }
    return presence;
}

int PresenceChanges(const KeyPresence before[KEY_SLOTS], const KeyPresence after[KEY_SLOTS],
                    PresenceEvent events[PRESENCE_EVENTS_MAX])
{
    int count = 0;
    for (int slot = 0; slot < KEY_SLOTS; ++slot) {
        const KeyPresence& b = before[slot];
        const KeyPresence& a = after[slot];
        int replaced = b.inserted && a.inserted && b.serial != a.serial;
        if (b.inserted && (!a.inserted || replaced))
            events[count++] = { slot, KEY_REMOVED, b.serial };
        if (a.inserted && (!b.inserted || replaced))
            events[count++] = { slot, KEY_ARRIVED, a.serial };
    }
    return count;
}
