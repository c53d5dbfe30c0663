// Names the installer builds from paths, and the certificate file read with its size check; no windows.h, builds natively too.
#pragma once

#include <stddef.h>

enum { INSTALL_PATH_SIZE = 260, CERTIFICATE_BUFFER_SIZE = 2048 };

// out = dir + "\" + name; 1, or 0 (out emptied) when that passes size bytes.
int BuildWorkPath(char* out, size_t size, const char* dir, const char* name);

// The name a file in use is moved to: the tick digits written over the last four characters of
// path, extended past its end where the digits are longer, then ".OBK"; a double-byte character
// the digits end inside goes whole. 1, or 0 (out emptied) when the result would pass size bytes.
int BuildAsideName(char* out, size_t size, const char* path, unsigned long tick);

// 1 when a certificate file of this many bytes fits the import buffer whole.
int CertificateLengthFits(long length);

// Reads the whole file into buffer (CERTIFICATE_BUFFER_SIZE bytes); the length, or -1 when it cannot
// be read or does not fit.
long ReadCertificateFile(const char* path, unsigned char* buffer);

// 1 when fileName (a bare name) is what BuildAsideName makes of payloadName with some tick count:
// the payload name less its last four characters, a digit, anything, ".OBK" (case ignored).
int IsAsideNameFor(const char* fileName, const char* payloadName);
