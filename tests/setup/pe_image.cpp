// Reading a PE image's import table and DLL characteristics, every offset checked.
#include "pe_image.h"

namespace {

bool Read16(const std::vector<unsigned char>& bytes, size_t at, uint32_t* value)
{
    if (at > bytes.size() || bytes.size() - at < 2)
        return false;
    *value = bytes[at] | (uint32_t)bytes[at + 1] << 8;
    return true;
}

bool Read32(const std::vector<unsigned char>& bytes, size_t at, uint32_t* value)
{
    uint32_t low = 0;
    uint32_t high = 0;
    if (!Read16(bytes, at, &low) || !Read16(bytes, at + 2, &high))
        return false;
    *value = low | high << 16;
    return true;
}

// The file offset of a relative virtual address, through the section table.
bool RvaToOffset(const std::vector<unsigned char>& bytes, size_t sections, uint32_t count, uint32_t rva, size_t* offset)
{
    for (uint32_t i = 0; i < count; ++i) {
        size_t section = sections + 40 * (size_t)i;
        uint32_t size = 0;
        uint32_t address = 0;
        uint32_t rawSize = 0;
        uint32_t rawOffset = 0;
        if (!Read32(bytes, section + 8, &size) || !Read32(bytes, section + 12, &address)
            || !Read32(bytes, section + 16, &rawSize) || !Read32(bytes, section + 20, &rawOffset))
            return false;
        if (rva >= address && rva - address < rawSize) {
            *offset = (size_t)rawOffset + (rva - address);
            return *offset < bytes.size();
        }
    }
    return false;
}

} // namespace

PeImage ReadPeImage(const std::vector<unsigned char>& bytes)
{
    PeImage image;
    uint32_t header = 0;
    uint32_t signature = 0;
    uint32_t sectionCount = 0;
    uint32_t optionalSize = 0;
    uint32_t magic = 0;
    uint32_t characteristics = 0;
    uint32_t directoryCount = 0;
    uint32_t importRva = 0;
    if (!Read32(bytes, 0x3C, &header) || !Read32(bytes, header, &signature) || signature != 0x4550
        || !Read16(bytes, (size_t)header + 6, &sectionCount) || !Read16(bytes, (size_t)header + 20, &optionalSize))
        return image;
    size_t optional = (size_t)header + 24;
    // PE32, or PE32+ for the x86-64 twin (its data directories lie 16 bytes further), with at least
    // the import directory (the second data directory).
    if (!Read16(bytes, optional, &magic) || (magic != 0x10B && magic != 0x20B))
        return image;
    size_t directories = optional + (magic == 0x20B ? 112 : 96);
    if (!Read16(bytes, optional + 70, &characteristics) || !Read32(bytes, directories - 4, &directoryCount)
        || directoryCount < 2 || !Read32(bytes, directories + 8, &importRva))
        return image;
    size_t sections = optional + optionalSize;
    size_t descriptor = 0;
    if (!RvaToOffset(bytes, sections, sectionCount, importRva, &descriptor))
        return image;
    // Descriptors of 20 bytes, the name's address at 12, up to one that is all zero.
    for (;; descriptor += 20) {
        uint32_t lookup = 0;
        uint32_t nameRva = 0;
        if (!Read32(bytes, descriptor, &lookup) || !Read32(bytes, descriptor + 12, &nameRva))
            return image;
        if (lookup == 0 && nameRva == 0)
            break;
        size_t name = 0;
        if (!RvaToOffset(bytes, sections, sectionCount, nameRva, &name))
            return image;
        std::string text;
        while (name < bytes.size() && bytes[name] != 0 && text.size() < 256)
            text += (char)bytes[name++];
        if (name >= bytes.size() || bytes[name] != 0)
            return image;
        image.imports.push_back(text);
    }
    image.dllCharacteristics = (uint16_t)characteristics;
    image.valid = true;
    return image;
}
