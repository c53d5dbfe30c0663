// A slot folder kept in memory, for the virtual key's fuzz target and keysim's transcript test; it can
// be told to refuse writes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "key_storage.h"

typedef std::vector<unsigned char> Bytes;

struct MemoryStorage {
    std::map<std::string, Bytes> files;
    bool failSaves = false;
    KeyStorage storage;

    bool Has(const std::string& path) const { return files.count(path) != 0; }

    MemoryStorage();
    MemoryStorage(const MemoryStorage&) = delete;
    MemoryStorage& operator=(const MemoryStorage&) = delete;
};
