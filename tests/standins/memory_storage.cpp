// The in-memory slot folder the portable tests run the key on.
#include "memory_storage.h"

#include <string.h>

MemoryStorage::MemoryStorage()
{
    storage.context = this;
    storage.load = [](void* context, const char* path, unsigned char* buffer, size_t size) -> long {
        MemoryStorage* memory = (MemoryStorage*)context;
        auto found = memory->files.find(path);
        if (memory->failLoads)
            return STORED_ERROR;
        if (found == memory->files.end())
            return STORED_ABSENT;
        if (found->second.size() > size)
            return STORED_TOO_LARGE;
        if (!found->second.empty())
            memcpy(buffer, found->second.data(), found->second.size());
        return (long)found->second.size();
    };
    storage.save = [](void* context, const char* path, const unsigned char* data, size_t size) {
        MemoryStorage* memory = (MemoryStorage*)context;
        if (!memory->failSaves)
            memory->files[path] = Bytes(data, data + size);
        return memory->failSaves ? -1 : 0;
    };
    storage.erase = [](void* context, const char* path) {
        MemoryStorage* memory = (MemoryStorage*)context;
        if (!memory->failSaves)
            memory->files.erase(path);
        return memory->failSaves ? -1 : 0;
    };
}

KeyDescription SampleKey()
{
    KeyDescription key;
    memset(&key, 0, sizeof key);
    key.serial = 0x1A2B3C4D;
    strcpy(key.label, "测试Key");
    key.inserted = 1;
    const char* pins[KEY_APPLICATIONS] = { "1234", "5678" };
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        KeyApplication& app = key.apps[i];
        app.present = 1;
        app.pinLength = (int)strlen(pins[i]);
        memcpy(app.pin, pins[i], (size_t)app.pinLength);
        app.maxRetries = app.retriesLeft = KEY_DEFAULT_RETRIES;
        for (int j = 0; j < KEY_CONTAINERS; ++j)
            DefaultContainerName(key.serial, i, j, app.containerNames[j], sizeof app.containerNames[j]);
    }
    return key;
}

Bytes FakeCertificate(size_t n, unsigned char seed)
{
    Bytes der(n);
    for (size_t i = 0; i < n; ++i)
        der[i] = (unsigned char)(seed + i * 7);
    // SEQUENCE with a two-byte length: the shape keysim accepts as DER.
    der[0] = 0x30;
    der[1] = 0x82;
    der[2] = (unsigned char)((n - 4) >> 8);
    der[3] = (unsigned char)((n - 4) & 0xFF);
    return der;
}
