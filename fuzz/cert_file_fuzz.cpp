// Fuzz target: the installer reading a certificate file for the import, from a file of fuzzed bytes,
// into its 2048-byte buffer.
#include <unistd.h>

#include "fuzz_check.h"
#include "install_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static char path[64];
    if (!path[0])
        snprintf(path, sizeof path, "/tmp/kit-cert-fuzz-%d.cer", (int)getpid());
    FILE* file = fopen(path, "wb");
    FUZZ_CHECK(file != NULL && fwrite(data, 1, size, file) == size);
    fclose(file);

    // Exactly the installer's buffer, so a read past it is caught. A file that does not fit is
    // refused whole, with nothing read into the buffer.
    unsigned char* buffer = (unsigned char*)malloc(CERTIFICATE_BUFFER_SIZE);
    memset(buffer, 0xEE, CERTIFICATE_BUFFER_SIZE);
    long length = ReadCertificateFile(path, buffer);
    if (size <= CERTIFICATE_BUFFER_SIZE)
        FUZZ_CHECK(length == (long)size && (size == 0 || memcmp(buffer, data, size) == 0));
    else
        FUZZ_CHECK(length == -1 && AllBytes(buffer, CERTIFICATE_BUFFER_SIZE, 0xEE));
    free(buffer);
    unlink(path);
    return 0;
}
