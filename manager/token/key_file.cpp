// Reads a length-prefixed file from an open key through the bound Select_File and Read_Binary.
#include "key_file.h"

#include "token_api.h"

static int StatusOk(int result, unsigned short status)
{
    return result >= 0 && status == KEY_STATUS_OK;
}

int ReadUsbKeyFile(int handle, unsigned fileId, unsigned char* destination, size_t destinationSize,
                   int* outLength)
{
    unsigned char id[2] = { (unsigned char)((fileId >> 8) & 0xFF), (unsigned char)(fileId & 0xFF) };
    unsigned short status = 0;
    int result = TokenLibrary.Select_File(handle, SELECT_ELEMENTARY_FILE, 0, 2, id, &status);
    if (!StatusOk(result, status))
        return -1;

    unsigned char header[2] = { 0, 0 };
    status = 0;
    result = TokenLibrary.Read_Binary(handle, 0, 0, 0, 0, 2, header, &status);
    if (!StatusOk(result, status))
        return -1;

    int remaining = header[0] * 256 + header[1];
    *outLength = remaining;
    // The length comes from the key: never let it carry the read past the caller's buffer.
    if ((size_t)remaining > destinationSize)
        return -1;

    int offset = 2;
    while (remaining > 0) {
        int piece = remaining > KEY_READ_PIECE ? KEY_READ_PIECE : remaining;
        status = 0;
        result = TokenLibrary.Read_Binary(handle, 0, offset / 256, offset, 0, piece,
                                          destination + offset - 2, &status);
        if (!StatusOk(result, status))
            return -1;
        remaining -= piece;
        offset += piece;
    }
    return 0;
}
