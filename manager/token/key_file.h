// Reading one length-prefixed elementary file from an open key.
#pragma once

#include <stddef.h>

// Selects the elementary file fileId below the current directory and reads its content (without the
// two length bytes) into destination, in pieces of at most 128 bytes. outLength receives the declared
// content length as soon as it is known. Returns 0 on success, -1 on any failure, including a declared
// length larger than destinationSize, in which case nothing is written to destination.
int ReadUsbKeyFile(int handle, unsigned fileId, unsigned char* destination, size_t destinationSize,
                   int* outLength);
