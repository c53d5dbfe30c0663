// Fuzz target: the virtual key's own parsers (standins/token): key.ini as any program may leave it, and
// Select_File / Read_Binary over a slot folder holding fuzzed stored files.
//
// Input: 2-byte length (little-endian) and that much key.ini text; then stored files, each a path
// byte (picks one of the tree's file names, .raw or .der), a 2-byte length and the bytes, until a
// path byte of 0xFF; then commands of 7 bytes each: kind (select / read / update), P1, two id bytes,
// 2-byte offset, count; an update takes its count bytes of data after the command.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "file_system.h"
#include "file_tree.h"
#include "fuzz_check.h"
#include "key_ini.h"
#include "key_store.h"
#include "memory_storage.h"

namespace {

const char* const StoredPaths[] = {
    "files\\EF01.raw",           "files\\AD01\\EF01.raw",     "files\\AD02\\EF01.raw",
    "files\\AD01\\DF11\\EF01.der", "files\\AD01\\DF11\\EF02.der", "files\\AD01\\DF12\\EF01.der",
    "files\\AD02\\DF21\\EF02.der", "files\\AD01\\DF11\\EF01.raw", "files\\AD02\\DF22\\EF02.raw",
    "files\\AD01\\DF11\\EF02.raw",
};

struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    size_t Left() const { return (size_t)(end - at); }
    uint8_t Byte() { return at < end ? *at++ : 0; }
    unsigned Word() { return Byte() | (unsigned)Byte() << 8; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    size_t textLength = in.Word();
    if (textLength > in.Left())
        textLength = in.Left();
    // Exactly the text's bytes, without a terminator: the parser is told the length.
    char* text = (char*)malloc(textLength ? textLength : 1);
    memcpy(text, in.at, textLength);
    in.at += textLength;

    KeyDescription key;
    memset(&key, 0, sizeof key);
    char error[96];
    int parsed = ParseKeyIni(text, textLength, &key, error, sizeof error);
    FUZZ_CHECK(strnlen(error, sizeof error) < sizeof error);
    if (parsed == 0) {
        // What was accepted is written back and read again unchanged.
        FUZZ_CHECK(IsValidLabel(key.label, strlen(key.label)));
        char* written = (char*)malloc(KEY_INI_MAX);
        int n = FormatKeyIni(&key, written, KEY_INI_MAX);
        FUZZ_CHECK(n > 0 && n < KEY_INI_MAX);
        KeyDescription back;
        memset(&back, 0, sizeof back);
        int again = ParseKeyIni(written, (size_t)n, &back, error, sizeof error);
        if (again != 0)
            fprintf(stderr, "written back and refused: %s\n", error);
        FUZZ_CHECK(again == 0);
        // An application with no retries left is locked whatever its locked line said; the text
        // written back says so outright.
        KeyDescription meant = key;
        for (int i = 0; i < KEY_APPLICATIONS; ++i) {
            meant.apps[i].locked = IsApplicationLocked(&meant.apps[i]);
            back.apps[i].locked = IsApplicationLocked(&back.apps[i]);
        }
        FUZZ_CHECK(memcmp(&back, &meant, sizeof meant) == 0);
        free(written);
    }
    free(text);
    if (parsed != 0)
        return 0;

    MemoryStorage memory;
    while (in.Left() > 0) {
        uint8_t which = in.Byte();
        if (which == 0xFF)
            break;
        size_t length = in.Word();
        if (length > in.Left())
            length = in.Left();
        memory.files[StoredPaths[which % (sizeof StoredPaths / sizeof *StoredPaths)]] = Bytes(in.at, in.at + length);
        in.at += length;
    }

    KeyCursor cursor;
    ResetCursor(&cursor);
    for (int command = 0; command < 64 && in.Left() >= 7; ++command) {
        uint8_t kind = in.Byte();
        int p1 = in.Byte() % 4;
        unsigned char id[2] = { in.Byte(), in.Byte() };
        int offset = (int)in.Word() & 0x7FFF;
        int count = in.Byte();
        if (kind & 0x80) {
            // Update_Binary: written whole and read back as written, or refused with every stored file
            // unchanged (0x40: the slot folder refuses writes).
            Bytes bytes(in.at, in.at + (count < (int)in.Left() ? count : (int)in.Left()));
            in.at += bytes.size();
            std::map<std::string, Bytes> before = memory.files;
            Bytes image(KEY_FILE_MAX);
            long size = cursor.fileSelected ? LoadElementaryFile(&memory.storage, &key, &cursor.directory, cursor.fileId,
                                                                 image.data(), image.size()) : -1;
            memory.failSaves = (kind & 0x40) != 0;
            unsigned short status = UpdateBinary(&memory.storage, &key, &cursor, offset, (int)bytes.size(), bytes.data());
            memory.failSaves = false;
            if (status != SW_OK) {
                FUZZ_CHECK(memory.files == before);
                continue;
            }
            FUZZ_CHECK(!(kind & 0x40) && !bytes.empty() && size >= offset + (long)bytes.size());
            // The whole file reads back as it was with the written bytes in place.
            std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
            Bytes after(KEY_FILE_MAX);
            FUZZ_CHECK(LoadElementaryFile(&memory.storage, &key, &cursor.directory, cursor.fileId, after.data(),
                                          after.size()) == size);
            FUZZ_CHECK(std::equal(image.begin(), image.begin() + size, after.begin()));
        } else if (kind & 1) {
            // Exactly count bytes of room: the key never writes more than it was asked for.
            unsigned char* destination = (unsigned char*)malloc(count ? (size_t)count : 1);
            int delivered = -1;
            unsigned short status = ReadBinary(&memory.storage, &key, &cursor, 0, offset / 256, offset, 0, count,
                                               destination, &delivered);
            if (status == SW_OK)
                FUZZ_CHECK(delivered == count);
            else if (status == SW_END_OF_FILE)
                FUZZ_CHECK(delivered >= 0 && delivered < count);
            free(destination);
        } else {
            unsigned short status = SelectFile(&memory.storage, &key, &cursor, p1, 0, (kind & 2) ? 0 : 2, id);
            FUZZ_CHECK(status == SW_OK || cursor.directory.depth <= 2);
            FUZZ_CHECK(cursor.directory.depth >= 0 && cursor.directory.depth <= 2);
        }
    }
    return 0;
}
