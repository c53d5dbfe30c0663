// Select_File and Read_Binary over the file tree; each call reads the stored files afresh, so a change
// keysim makes shows on the next command, as on a key that another program writes.
#include "file_system.h"

#include <string.h>

enum { READ_PIECE_MAX = 128, OFFSET_MAX = 0x7FFF };

void ResetCursor(KeyCursor* cursor)
{
    cursor->directory = MasterLocation();
    cursor->fileSelected = 0;
    cursor->fileId = 0;
}

static unsigned FileIdOf(const unsigned char* data)
{
    return (unsigned)data[0] << 8 | data[1];
}

unsigned short SelectFile(const KeyStorage* storage, const KeyDescription* key, KeyCursor* cursor, int p1, int p2,
                          int dataLength, const unsigned char* data)
{
    if (p2 != 0)
        return SW_WRONG_P1P2;
    if (p1 == SELECT_MASTER) {
        if (dataLength == 2 && data) {
            if (FileIdOf(data) != FID_MASTER)
                return SW_FILE_NOT_FOUND;
        } else if (dataLength != 0) {
            return SW_WRONG_LENGTH;
        }
        ResetCursor(cursor);
        return SW_OK;
    }
    if (p1 != SELECT_CHILD_DIRECTORY && p1 != SELECT_ELEMENTARY)
        return SW_WRONG_P1P2;
    if (dataLength != 2 || !data)
        return SW_WRONG_LENGTH;
    unsigned id = FileIdOf(data);
    if (p1 == SELECT_CHILD_DIRECTORY) {
        if (cursor->directory.depth >= 2 || !ChildDirectoryExists(key, &cursor->directory, id))
            return SW_FILE_NOT_FOUND;
        cursor->directory.ids[cursor->directory.depth] = id;
        cursor->directory.depth++;
        cursor->fileSelected = 0;
        cursor->fileId = 0;
        return SW_OK;
    }
    if (!ElementaryFileExists(storage, key, &cursor->directory, id))
        return SW_FILE_NOT_FOUND;
    cursor->fileSelected = 1;
    cursor->fileId = id;
    return SW_OK;
}

unsigned short ReadBinary(const KeyStorage* storage, const KeyDescription* key, const KeyCursor* cursor, int mode,
                          int offsetHigh, int offset, int reserved, int count, unsigned char* destination,
                          int* delivered)
{
    *delivered = 0;
    if (!cursor->fileSelected)
        return SW_NO_CURRENT_FILE;
    if (mode != 0 || reserved != 0 || offset < 0 || offset > OFFSET_MAX || offsetHigh != offset / 256)
        return SW_WRONG_P1P2;
    if (count < 1 || count > READ_PIECE_MAX || !destination)
        return SW_WRONG_LENGTH;
    unsigned char image[KEY_FILE_MAX];
    long size = LoadElementaryFile(storage, key, &cursor->directory, cursor->fileId, image, sizeof image);
    if (size == FILE_ABSENT)
        return SW_FILE_NOT_FOUND; // deleted since it was selected
    if (size < 0)
        return SW_UNKNOWN;
    if (offset >= size)
        return SW_WRONG_OFFSET;
    long left = size - offset;
    int n = left < count ? (int)left : count;
    memcpy(destination, image + offset, (size_t)n);
    *delivered = n;
    return n == count ? SW_OK : SW_END_OF_FILE;
}

unsigned short UpdateBinary(const KeyStorage* storage, const KeyDescription* key, const KeyCursor* cursor,
                            int offset, int count, const unsigned char* data)
{
    if (!cursor->fileSelected)
        return SW_NO_CURRENT_FILE;
    if (KindOfFile(&cursor->directory, cursor->fileId) != FILE_CERTIFICATE)
        return SW_SECURITY_NOT_SATISFIED;
    if (offset < 0 || offset > OFFSET_MAX)
        return SW_WRONG_P1P2;
    if (count < 1 || count > READ_PIECE_MAX || !data)
        return SW_WRONG_LENGTH;
    unsigned char image[KEY_FILE_MAX];
    long size = LoadElementaryFile(storage, key, &cursor->directory, cursor->fileId, image, sizeof image);
    if (size == FILE_ABSENT)
        return SW_FILE_NOT_FOUND;
    if (size < 0)
        return SW_UNKNOWN;
    if ((long)offset + count > size)
        return SW_WRONG_OFFSET;
    memcpy(image + offset, data, (size_t)count);
    char raw[64];
    char der[64];
    if (StoredFilePath(&cursor->directory, cursor->fileId, RAW_EXTENSION, raw, sizeof raw) != 0 ||
        StoredFilePath(&cursor->directory, cursor->fileId, CERT_EXTENSION, der, sizeof der) != 0)
        return SW_UNKNOWN;
    int consistent = size >= 2 && (image[0] << 8 | image[1]) == size - 2;
    if (consistent) {
        if (storage->save(storage->context, der, image + 2, (size_t)size - 2) != 0 ||
            storage->erase(storage->context, raw) != 0)
            return SW_UNKNOWN;
    } else if (storage->save(storage->context, raw, image, (size_t)size) != 0) {
        return SW_UNKNOWN;
    }
    return SW_OK;
}
