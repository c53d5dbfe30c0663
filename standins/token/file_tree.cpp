// The shape of the key's file tree and the bytes of its files, generated from key.ini or stored.
#include "file_tree.h"

#include <string.h>

#include "bounded_text.h"

KeyLocation MasterLocation(void)
{
    KeyLocation at = { { 0, 0 }, 0 };
    return at;
}

int ApplicationOf(const KeyLocation* at)
{
    if (at->depth < 1)
        return -1;
    return (int)(at->ids[0] - FID_APPLICATION_FIRST);
}

KeyLocation ContainerLocation(int application, int container)
{
    KeyLocation at = { { FID_APPLICATION_FIRST + (unsigned)application, ContainerDirectoryId(application, container) }, 2 };
    return at;
}

unsigned CertificateFileId(CertKind kind)
{
    return kind == CERT_ENCRYPTION ? FID_ENCRYPTION_CERT : FID_SIGNATURE_CERT;
}

int ChildDirectoryExists(const KeyDescription* key, const KeyLocation* at, unsigned id)
{
    if (at->depth == 0) {
        for (int i = 0; i < KEY_APPLICATIONS; ++i)
            if (id == FID_APPLICATION_FIRST + (unsigned)i)
                return key->apps[i].present;
        return 0;
    }
    if (at->depth == 1) {
        int i = ApplicationOf(at);
        for (int j = 0; j < KEY_CONTAINERS; ++j)
            if (id == ContainerDirectoryId(i, j))
                return 1;
    }
    return 0;
}

FileKind KindOfFile(const KeyLocation* at, unsigned id)
{
    if (at->depth == 0)
        return id == FID_INFO ? FILE_DEVICE_INFO : FILE_NONE;
    if (at->depth == 1)
        return id == FID_INFO ? FILE_CONTAINER_DIRECTORY : FILE_NONE;
    return id == FID_ENCRYPTION_CERT || id == FID_SIGNATURE_CERT ? FILE_CERTIFICATE : FILE_NONE;
}

int StoredFilePath(const KeyLocation* at, unsigned id, const char* extension, char* path, size_t size)
{
    if (size == 0)
        return -1;
    path[0] = '\0';
    int fits = TextAppend(path, size, STORED_FILES_FOLDER);
    for (int d = 0; d < at->depth && d < 2; ++d)
        fits &= TextAppendFormat(path, size, "\\%04X", at->ids[d] & 0xFFFF);
    fits &= TextAppendFormat(path, size, "\\%04X%s", id & 0xFFFF, extension);
    return fits ? 0 : -1;
}

int CertificatePath(int application, int container, CertKind kind, const char* extension, char* path, size_t size)
{
    KeyLocation at = ContainerLocation(application, container);
    return StoredFilePath(&at, CertificateFileId(kind), extension, path, size);
}

static int RawFileExists(const KeyStorage* storage, const KeyLocation* at, unsigned id)
{
    char path[64];
    return StoredFilePath(at, id, RAW_EXTENSION, path, sizeof path) == 0 && StoredFileExists(storage, path);
}

int ElementaryFileExists(const KeyStorage* storage, const KeyDescription* key, const KeyLocation* at, unsigned id)
{
    (void)key;
    FileKind kind = KindOfFile(at, id);
    if (kind == FILE_NONE)
        return 0;
    if (kind != FILE_CERTIFICATE)
        return 1;
    char path[64];
    if (StoredFilePath(at, id, CERT_EXTENSION, path, sizeof path) == 0 && StoredFileExists(storage, path))
        return 1;
    return RawFileExists(storage, at, id);
}

long CertificateLength(const KeyStorage* storage, int application, int container, CertKind kind)
{
    KeyLocation at = ContainerLocation(application, container);
    unsigned id = CertificateFileId(kind);
    unsigned char image[KEY_FILE_MAX];
    char path[64];
    if (StoredFilePath(&at, id, RAW_EXTENSION, path, sizeof path) != 0)
        return -1;
    long n = storage->load(storage->context, path, image, sizeof image);
    if (n != STORED_ABSENT) {
        // A raw image announces what its prefix declares, right or wrong: that is what a key would say.
        return n >= 2 ? (long)(image[0] << 8 | image[1]) : 0;
    }
    if (CertificatePath(application, container, kind, CERT_EXTENSION, path, sizeof path) != 0)
        return -1;
    n = storage->load(storage->context, path, image, sizeof image);
    if (n == STORED_ABSENT)
        return -1;
    return n >= 0 ? n : 0;
}

static void PutLe32(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)(v & 0xFF);
    p[1] = (unsigned char)(v >> 8 & 0xFF);
    p[2] = (unsigned char)(v >> 16 & 0xFF);
    p[3] = (unsigned char)(v >> 24 & 0xFF);
}

void BuildDeviceInfo(const KeyDescription* key, unsigned char content[KEY_DEVICE_INFO_SIZE])
{
    memset(content, 0, KEY_DEVICE_INFO_SIZE);
    size_t n = strnlen(key->label, KEY_LABEL_MAX);
    memcpy(content, key->label, n);
    // Bytes 64..67: the serial, big-endian as QZ_GET_BCDSN gives it.
    content[64] = (unsigned char)(key->serial >> 24);
    content[65] = (unsigned char)(key->serial >> 16);
    content[66] = (unsigned char)(key->serial >> 8);
    content[67] = (unsigned char)key->serial;
    for (int i = 0; i < KEY_APPLICATIONS; ++i)
        PutLe32(content + INFO_APPLICATION_FLAG + INFO_APPLICATION_STRIDE * i, key->apps[i].present ? 1u : 0u);
}

void BuildContainerDirectory(const KeyStorage* storage, const KeyDescription* key, int application,
                             unsigned char content[KEY_CONTAINER_DIRECTORY_SIZE])
{
    memset(content, 0, KEY_CONTAINER_DIRECTORY_SIZE);
    const KeyApplication* app = &key->apps[application];
    for (int j = 0; j < KEY_CONTAINERS; ++j) {
        unsigned char* record = content + DIRECTORY_STRIDE * j;
        memcpy(record + DIRECTORY_NAME, app->containerNames[j], strnlen(app->containerNames[j], KEY_CONTAINER_NAME_MAX));
        long encryption = CertificateLength(storage, application, j, CERT_ENCRYPTION);
        long signature = CertificateLength(storage, application, j, CERT_SIGNATURE);
        PutLe32(record + DIRECTORY_ENCRYPTION_FLAG, encryption >= 0 ? 1u : 0u);
        PutLe32(record + DIRECTORY_ENCRYPTION_LENGTH, encryption >= 0 ? (uint32_t)encryption : 0u);
        PutLe32(record + DIRECTORY_SIGNATURE_FLAG, signature >= 0 ? 1u : 0u);
        PutLe32(record + DIRECTORY_SIGNATURE_LENGTH, signature >= 0 ? (uint32_t)signature : 0u);
        record[DIRECTORY_IN_USE] = encryption >= 0 || signature >= 0 ? 1 : 0;
    }
}

static long WithPrefix(const unsigned char* content, size_t length, unsigned char* image, size_t size)
{
    if (length > 0xFFFF || length + 2 > size)
        return FILE_UNREADABLE;
    image[0] = (unsigned char)(length >> 8);
    image[1] = (unsigned char)(length & 0xFF);
    memmove(image + 2, content, length);
    return (long)length + 2;
}

long LoadElementaryFile(const KeyStorage* storage, const KeyDescription* key, const KeyLocation* at, unsigned id,
                        unsigned char* image, size_t size)
{
    FileKind kind = KindOfFile(at, id);
    if (kind == FILE_NONE)
        return FILE_ABSENT;
    char path[64];
    if (StoredFilePath(at, id, RAW_EXTENSION, path, sizeof path) != 0)
        return FILE_UNREADABLE;
    long n = storage->load(storage->context, path, image, size);
    if (n >= 0)
        return n;
    if (n != STORED_ABSENT)
        return FILE_UNREADABLE;

    if (kind == FILE_DEVICE_INFO) {
        unsigned char content[KEY_DEVICE_INFO_SIZE];
        BuildDeviceInfo(key, content);
        return WithPrefix(content, sizeof content, image, size);
    }
    if (kind == FILE_CONTAINER_DIRECTORY) {
        unsigned char content[KEY_CONTAINER_DIRECTORY_SIZE];
        BuildContainerDirectory(storage, key, ApplicationOf(at), content);
        return WithPrefix(content, sizeof content, image, size);
    }
    if (StoredFilePath(at, id, CERT_EXTENSION, path, sizeof path) != 0 || size < 2)
        return FILE_UNREADABLE;
    n = storage->load(storage->context, path, image + 2, size - 2);
    if (n == STORED_ABSENT)
        return FILE_ABSENT;
    if (n < 0)
        return FILE_UNREADABLE;
    return WithPrefix(image + 2, (size_t)n, image, size);
}
