// A slot folder kept in memory, for tests of the key's logic without a disk; it can be told to fail.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "key_model.h"
#include "key_storage.h"

typedef std::vector<unsigned char> Bytes;

struct MemoryStorage {
    std::map<std::string, Bytes> files;
    bool failSaves = false;
    bool failLoads = false;
    KeyStorage storage;

    MemoryStorage();
    MemoryStorage(const MemoryStorage&) = delete;
    MemoryStorage& operator=(const MemoryStorage&) = delete;

    bool Has(const std::string& path) const { return files.count(path) != 0; }
    void PutText(const std::string& path, const std::string& text) { files[path] = Bytes(text.begin(), text.end()); }
};

// A key with both applications, PINs "1234" and "5678", 6 retries, serial 1A2B3C4D, label "测试Key".
KeyDescription SampleKey();

// A DER-shaped certificate of n (>= 132) bytes: a SEQUENCE with filler content, distinct per seed.
Bytes FakeCertificate(size_t n, unsigned char seed);
