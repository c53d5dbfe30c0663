// Fuzz target: the installer reading a certificate file for the import, from a file of fuzzed bytes,
// into its 2048-byte buffer.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "fuzz_check.h"
#include "install_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static char path[64];
    if (!path[0])
        snprintf(path, sizeof path, "/tmp/kit-cert-fuzz-%d.cer", (int)getpid());
    FILE* file = fopen(path, "wb");
    FUZZ_CHECK(file != NULL);
    FUZZ_CHECK(fwrite(data, 1, size, file) == size);
    fclose(file);

    // Exactly the installer's buffer, so a read past it is caught.
    unsigned char* buffer = (unsigned char*)malloc(CERTIFICATE_BUFFER_SIZE);
    memset(buffer, 0xEE, CERTIFICATE_BUFFER_SIZE);
    long length = ReadCertificateFile(path, buffer);
    if (size <= CERTIFICATE_BUFFER_SIZE) {
        FUZZ_CHECK(length == (long)size);
        FUZZ_CHECK(size == 0 || memcmp(buffer, data, size) == 0);
    } else {
        // Refused whole: nothing is read into the buffer for a file that does not fit.
        FUZZ_CHECK(length == -1);
        for (size_t i = 0; i < CERTIFICATE_BUFFER_SIZE; ++i)
            FUZZ_CHECK(buffer[i] == 0xEE);
    }
    free(buffer);
    unlink(path);
    return 0;
}
