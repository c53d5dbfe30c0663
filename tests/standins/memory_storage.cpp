// The in-memory slot folder the portable tests run the key on.
#include "memory_storage.h"

#include <string.h>

#include "key_store.h"

static long Load(void* context, const char* path, unsigned char* buffer, size_t size)
{
    MemoryStorage* memory = (MemoryStorage*)context;
    if (memory->failLoads)
        return STORED_ERROR;
    auto found = memory->files.find(path);
    if (found == memory->files.end())
        return STORED_ABSENT;
    if (found->second.size() > size)
        return STORED_TOO_LARGE;
    if (!found->second.empty())
        memcpy(buffer, found->second.data(), found->second.size());
    return (long)found->second.size();
}

static int Save(void* context, const char* path, const unsigned char* data, size_t size)
{
    MemoryStorage* memory = (MemoryStorage*)context;
    if (memory->failSaves)
        return -1;
    memory->saves++;
    memory->files[path] = Bytes(data, data + size);
    return 0;
}

static int Erase(void* context, const char* path)
{
    MemoryStorage* memory = (MemoryStorage*)context;
    if (memory->failSaves)
        return -1;
    memory->files.erase(path);
    return 0;
}

MemoryStorage::MemoryStorage()
{
    storage.context = this;
    storage.load = Load;
    storage.save = Save;
    storage.erase = Erase;
}

std::string MemoryStorage::Text(const std::string& path) const
{
    auto found = files.find(path);
    return found == files.end() ? std::string() : std::string(found->second.begin(), found->second.end());
}

void MemoryStorage::PutText(const std::string& path, const std::string& text)
{
    files[path] = Bytes(text.begin(), text.end());
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
        app.maxRetries = 6;
        app.retriesLeft = 6;
        for (int j = 0; j < KEY_CONTAINERS; ++j)
            DefaultContainerName(key.serial, i, j, app.containerNames[j], sizeof app.containerNames[j]);
    }
    return key;
}

void StoreKey(MemoryStorage& memory, const KeyDescription& key)
{
    SaveKeyDescription(&memory.storage, &key);
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
