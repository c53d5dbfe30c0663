// Fuzz target: the virtual key's own parsers (standins/token) and the manager reading what it serves:
// key.ini as any program may leave it, then Select_File / Read_Binary / Update_Binary over a slot
// folder of fuzzed stored files, and the manager's ReadUsbKeyFile and decoders over the same files.
//
// Input: 2-byte length (little-endian) and that much key.ini text; then stored files, each a path
// byte (one of the tree's file names, .raw or .der), a 2-byte length and the bytes, until a path byte
// of 0xFF; then commands of 7 bytes each: kind, P1, two id bytes, 2-byte offset, count. Kind 0x80 is
// Update_Binary (count data bytes follow; 0x40: the folder refuses writes), 0x20 the manager reading
// the file id into a buffer of offset bytes, else bit 0 Read_Binary, else Select_File (bit 1: no id).
#include <algorithm>

#include "file_system.h"
#include "fuzz_check.h"
#include "key_file.h"
#include "key_ini.h"
#include "memory_storage.h"
#include "token_api.h"

unsigned ManagerFlags(const unsigned char* file, size_t size); // manager_reading.cpp

namespace {

const char* const StoredPaths[] = {
    "files\\EF01.raw",           "files\\AD01\\EF01.raw",     "files\\AD02\\EF01.raw",
    "files\\AD01\\DF11\\EF01.der", "files\\AD01\\DF11\\EF02.der", "files\\AD01\\DF12\\EF01.der",
    "files\\AD02\\DF21\\EF02.der", "files\\AD01\\DF11\\EF01.raw", "files\\AD02\\DF22\\EF02.raw",
    "files\\AD01\\DF11\\EF02.raw",
};

// The open key the bound Select_File and Read_Binary answer for, as KeyCmd.dll's do.
MemoryStorage* memory;
KeyDescription key;
KeyCursor cursor;

int ServeSelect(int, int p1, int p2, int length, const unsigned char* data, unsigned short* status)
{
    *status = SelectFile(&memory->storage, &key, &cursor, p1, p2, length, data);
    return 0;
}

int ServeRead(int, int mode, int high, int offset, int reserved, int count, unsigned char* to, unsigned short* status)
{
    int delivered = 0;
    *status = ReadBinary(&memory->storage, &key, &cursor, mode, high, offset, reserved, count, to, &delivered);
    return delivered;
}

// The manager reads file id into a buffer of size bytes: the content whole, or -1 with nothing
// written when it is larger than the buffer; what it decodes agrees with what the key generated.
void CheckManagerRead(unsigned id, size_t size)
{
    Bytes image(KEY_FILE_MAX);
    long imageSize = LoadElementaryFile(&memory->storage, &key, &cursor.directory, id, image.data(), image.size());
    long declared = imageSize >= 2 ? image[0] << 8 | image[1] : -1;
    unsigned char* content = (unsigned char*)malloc(size ? size : 1);
    memset(content, 0xEE, size ? size : 1);
    int length = -1;
    int read = ReadUsbKeyFile(1, id, content, size, &length);
    FUZZ_CHECK(read == (declared >= 0 && declared <= (long)size && declared + 2 <= imageSize ? 0 : -1));
    if (declared > (long)size)
        FUZZ_CHECK(length == declared && AllBytes(content, size, 0xEE));
    if (read == 0)
        FUZZ_CHECK(length == declared && std::equal(content, content + length, image.begin() + 2));
    // The decoders read any file within its bytes (a copy of exactly its size, so a read past it
    // shows); on the files the key generates they agree with what it was made of.
    char raw[64];
    if (read == 0 && StoredFilePath(&cursor.directory, id, RAW_EXTENSION, raw, sizeof raw) == 0) {
        unsigned char* file = (unsigned char*)malloc(length ? (size_t)length : 1);
        memcpy(file, content, (size_t)length);
        unsigned flags = ManagerFlags(file, (size_t)length), expected = 0;
        int application = ApplicationOf(&cursor.directory);
        FileKind kind = memory->Has(raw) ? FILE_NONE : KindOfFile(&cursor.directory, id);
        if (kind == FILE_DEVICE_INFO)
            FUZZ_CHECK((flags & 3) == ((key.apps[0].present ? 1u : 0u) | (key.apps[1].present ? 2u : 0u)));
        if (kind == FILE_CONTAINER_DIRECTORY) {
            for (int j = 0; j < KEY_CONTAINERS; ++j) {
                bool encryption = CertificateLength(&memory->storage, application, j, CERT_ENCRYPTION) >= 0;
                bool signature = CertificateLength(&memory->storage, application, j, CERT_SIGNATURE) >= 0;
                expected |= (unsigned)((encryption || signature) | encryption << 1 | signature << 2) << 3 * j;
            }
            FUZZ_CHECK(flags >> 2 == expected);
        }
        free(file);
    }
    free(content);
}

void CheckUpdate(int kind, int offset, const Bytes& bytes)
{
    // Written whole and read back as written, or refused with every stored file unchanged.
    std::map<std::string, Bytes> before = memory->files;
    Bytes image(KEY_FILE_MAX), after(KEY_FILE_MAX);
    long size = cursor.fileSelected ? LoadElementaryFile(&memory->storage, &key, &cursor.directory, cursor.fileId,
                                                         image.data(), image.size()) : -1;
    memory->failSaves = (kind & 0x40) != 0;
    unsigned short status = UpdateBinary(&memory->storage, &key, &cursor, offset, (int)bytes.size(), bytes.data());
    memory->failSaves = false;
    if (status != SW_OK) {
        FUZZ_CHECK(memory->files == before);
        return;
    }
    FUZZ_CHECK(!(kind & 0x40) && !bytes.empty() && size >= offset + (long)bytes.size());
    std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
    long sizeAfter = LoadElementaryFile(&memory->storage, &key, &cursor.directory, cursor.fileId, after.data(),
                                        after.size());
    FUZZ_CHECK(sizeAfter == size);
    FUZZ_CHECK(std::equal(image.begin(), image.begin() + size, after.begin()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    size_t textLength = std::min((size_t)in.Word(), in.Left());
    // Exactly the text's bytes, without a terminator: the parser is told the length.
    char* text = (char*)malloc(textLength ? textLength : 1);
    memcpy(text, in.at, textLength);
    in.at += textLength;
    memset(&key, 0, sizeof key);
    char error[96];
    int parsed = ParseKeyIni(text, textLength, &key, error, sizeof error);
    free(text);
    FUZZ_CHECK(strnlen(error, sizeof error) < sizeof error);
    if (parsed != 0)
        return 0;
    // What was accepted is written back and read again unchanged; an application with no retries
    // left is locked whatever its locked line said.
    FUZZ_CHECK(IsValidLabel(key.label, strlen(key.label)));
    char written[KEY_INI_MAX];
    int n = FormatKeyIni(&key, written, KEY_INI_MAX);
    FUZZ_CHECK(n > 0 && n < KEY_INI_MAX);
    KeyDescription back, meant = key;
    memset(&back, 0, sizeof back);
    FUZZ_CHECK(ParseKeyIni(written, (size_t)n, &back, error, sizeof error) == 0);
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        meant.apps[i].locked = IsApplicationLocked(&meant.apps[i]);
        back.apps[i].locked = IsApplicationLocked(&back.apps[i]);
    }
    FUZZ_CHECK(memcmp(&back, &meant, sizeof meant) == 0);

    MemoryStorage storage;
    memory = &storage;
    for (uint8_t which; in.Left() > 0 && (which = in.Byte()) != 0xFF;) {
        size_t length = std::min((size_t)in.Word(), in.Left());
        storage.files[StoredPaths[which % (sizeof StoredPaths / sizeof *StoredPaths)]] = Bytes(in.at, in.at + length);
        in.at += length;
    }
    // Every entry point has its exported name: clearing the three tables clears all of TokenLibrary.
    memset(&TokenLibrary, 0xFF, sizeof TokenLibrary);
    ClearTokenEntries(KeyCmdEntries, KEYCMD_ENTRY_COUNT);
    ClearTokenEntries(KeyDevEntries, KEYDEV_ENTRY_COUNT);
    ClearTokenEntries(KeyNumEntries, KEYNUM_ENTRY_COUNT);
    FUZZ_CHECK(AllBytes(&TokenLibrary, sizeof TokenLibrary, 0));
    TokenLibrary.Select_File = ServeSelect;
    TokenLibrary.Read_Binary = ServeRead;

    ResetCursor(&cursor);
    for (int command = 0; command < 64 && in.Left() >= 7; ++command) {
        uint8_t kind = in.Byte();
        int p1 = in.Byte() % 4;
        unsigned char id[2] = { in.Byte(), in.Byte() };
        int offset = (int)in.Word() & 0x7FFF;
        int count = in.Byte();
        if (kind & 0x80) {
            Bytes bytes(in.at, in.at + std::min((size_t)count, in.Left()));
            in.at += bytes.size();
            CheckUpdate(kind, offset, bytes);
        } else if (kind & 0x20) {
            CheckManagerRead((unsigned)id[0] << 8 | id[1], (size_t)offset);
        } else if (kind & 1) {
            // Exactly count bytes of room: the key never writes more than it was asked for.
            unsigned char* destination = (unsigned char*)malloc(count ? (size_t)count : 1);
            int delivered = -1;
            unsigned short status = ReadBinary(&storage.storage, &key, &cursor, 0, offset / 256, offset, 0, count,
                                               destination, &delivered);
            FUZZ_CHECK(status == SW_OK ? delivered == count
                                       : status != SW_END_OF_FILE || (delivered >= 0 && delivered < count));
            free(destination);
        } else {
            // The cursor moves only when the file is selected.
            KeyCursor before = cursor;
            if (SelectFile(&storage.storage, &key, &cursor, p1, 0, (kind & 2) ? 0 : 2, id) != SW_OK)
                FUZZ_CHECK(memcmp(&before, &cursor, sizeof cursor) == 0);
            FUZZ_CHECK(cursor.directory.depth >= 0 && cursor.directory.depth <= 2);
        }
    }
    return 0;
}
