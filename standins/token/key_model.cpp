// Rules of the key model that the parser, the file tree and keysim share.
#include "key_model.h"



#include "bounded_text.h"
#include "key_storage.h"

int IsApplicationLocked(const KeyApplication* app)
{
    return app->locked || app->retriesLeft <= 0;
}

unsigned ContainerDirectoryId(int application, int container)
{
    return 0xDF00u + 0x10u * (unsigned)(application + 1) + (unsigned)(container + 1);
}

void DefaultContainerName(uint32_t serial, int application, int container, char* name, size_t size)
{
    if (size == 0)
        return;
    name[0] = '\0';
    TextAppendFormat(name, size, "VLM-%08X-%X", (unsigned)serial, ContainerDirectoryId(application, container));
}

int IsValidLabel(const char* text, size_t length)
{
    if (length > KEY_LABEL_MAX)
        return 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)text[i];
        if (IsGbkLeadByte(c)) {
            // GBK trail bytes are 0x40..0xFE without 0x7F.
            if (i + 1 >= length)
                return 0;
            unsigned char t = (unsigned char)text[i + 1];
            if (t < 0x40 || t == 0x7F || t == 0xFF)
                return 0;
            ++i;
        } else if (c < 0x20 || c == 0x7F || c == 0x80 || c == 0xFF) {
            return 0;
        }
    }
    return 1;
}

int IsValidContainerName(const char* text, size_t length)
{
    if (length < 1 || length > KEY_CONTAINER_NAME_MAX)
        return 0;
    for (size_t i = 0; i < length; ++i)
        if (text[i] < 0x21 || text[i] > 0x7E)
            return 0;
    return 1;
}

int StoredFileExists(const KeyStorage* storage, const char* path)
{
    long n = storage->load(storage->context, path, NULL, 0);
    return n != STORED_ABSENT;
}
