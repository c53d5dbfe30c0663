// Selecting and reading the key's files as the card would answer Select_File and Read_Binary, with
// ISO 7816-4 status words. Portable: no windows.h.
#pragma once

#include <stddef.h>

#include "file_tree.h"

enum {
    SW_OK = 0x9000,
    SW_END_OF_FILE = 0x6282,       // fewer bytes than asked were left; those were delivered
    SW_WRONG_LENGTH = 0x6700,
    SW_NO_CURRENT_FILE = 0x6986,
    SW_SECURITY_NOT_SATISFIED = 0x6982,
    SW_FILE_NOT_FOUND = 0x6A82,
    SW_WRONG_P1P2 = 0x6A86,
    SW_WRONG_OFFSET = 0x6B00,      // the offset lies at or past the end of the file
    SW_UNKNOWN = 0x6F00            // the stored file could not be read
};

// P1 of Select_File.
enum { SELECT_MASTER = 0, SELECT_CHILD_DIRECTORY = 1, SELECT_ELEMENTARY = 2 };

// Where one open handle stands in the tree.
struct KeyCursor {
    KeyLocation directory;
    int fileSelected;
    unsigned fileId;
};

void ResetCursor(KeyCursor* cursor);

// P1 0: the master file (no data, or the id 0x3F00); P1 1: a child directory; P1 2: an elementary
// file of the current directory. P2 must be 0. The cursor moves only on SW_OK.
unsigned short SelectFile(const KeyStorage* storage, const KeyDescription* key, KeyCursor* cursor, int p1, int p2,
                          int dataLength, const unsigned char* data);

// Reads count (1..128) bytes at offset (0..32767, offsetHigh == offset / 256) of the current file
// into destination; mode and reserved must be 0. *delivered gets the bytes written, never more than
// count. Past the end: SW_WRONG_OFFSET when nothing is left at offset, SW_END_OF_FILE with the bytes
// that are left when the file ends inside the range.
unsigned short ReadBinary(const KeyStorage* storage, const KeyDescription* key, const KeyCursor* cursor, int mode,
                          int offsetHigh, int offset, int reserved, int count, unsigned char* destination,
                          int* delivered);

// Writes count (1..128) bytes of data into the current certificate file at offset, inside its present
// length (prefix included). A result whose prefix still matches its length is kept as the .der file,
// anything else as the file's raw image. The generated files are read-only (SW_SECURITY_NOT_SATISFIED).
unsigned short UpdateBinary(const KeyStorage* storage, const KeyDescription* key, const KeyCursor* cursor,
                            int offset, int count, const unsigned char* data);
