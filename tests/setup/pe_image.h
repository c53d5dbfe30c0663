// What the loader reads first in a program file: the libraries its import table names and its
// DLL characteristics. Portable (no windows.h): it reads bytes of a file.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct PeImage {
    bool valid = false;
    uint16_t dllCharacteristics = 0;
    std::vector<std::string> imports;   // as the import table names them
};

// Reads a PE32 or PE32+ image; valid stays false when anything lies outside the bytes.
PeImage ReadPeImage(const std::vector<unsigned char>& bytes);
