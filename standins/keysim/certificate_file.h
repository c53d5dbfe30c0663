// Certificate files as keysim takes them: DER as it is, PEM decoded to DER. Portable: no windows.h.
#pragma once

#include <stddef.h>

enum { CERT_FILE_OK = 0, CERT_FILE_NOT_DER = -1, CERT_FILE_BAD_PEM = -2, CERT_FILE_TOO_LARGE = -3 };

// Turns the bytes of a certificate file into the DER certificate (in place: der may be bytes).
// *derLength gets its length. The DER must be one complete SEQUENCE with nothing after it.
int CertificateFromFile(const unsigned char* bytes, size_t length, unsigned char* der, size_t derSize,
                        size_t* derLength);

// Length of the DER element at the start of bytes (header included), 0 when it is incomplete or its
// length field is malformed.
size_t DerElementLength(const unsigned char* bytes, size_t length);
