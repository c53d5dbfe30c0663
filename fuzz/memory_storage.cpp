// The in-memory slot folder the virtual key's fuzz target runs the key on.
#include "memory_storage.h"

#include <string.h>

MemoryStorage::MemoryStorage()
{
    storage.context = this;
    storage.load = [](void* context, const char* path, unsigned char* buffer, size_t size) -> long {
        MemoryStorage* memory = (MemoryStorage*)context;
        auto found = memory->files.find(path);
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
