// The key's file tree: which directories and files exist, where each is stored in the slot folder,
// and the bytes of every elementary file. Portable: no windows.h.
#pragma once

#include <stddef.h>

#include "key_model.h"
#include "key_storage.h"

// A directory of the tree: depth 0 is the master file, 1 an application (ids[0] = 0xAD0x), 2 a
// container (ids[1] = 0xDFxy).
struct KeyLocation {
    unsigned ids[2];
    int depth;
};

enum FileKind { FILE_NONE, FILE_DEVICE_INFO, FILE_CONTAINER_DIRECTORY, FILE_CERTIFICATE };

// Results of LoadElementaryFile besides a length.
enum { FILE_ABSENT = -1, FILE_UNREADABLE = -2 };

// Stored files, relative to the slot folder.
#define KEY_INI_PATH "key.ini"
#define STORED_FILES_FOLDER "files"
// A ".raw" file beside a tree position holds the elementary file's exact bytes, length prefix included;
// it replaces what would be generated or read from a ".der" file there. keysim writes corrupt files so.
#define RAW_EXTENSION ".raw"
#define CERT_EXTENSION ".der"

KeyLocation MasterLocation(void);

// Application index (0, 1) of a location below an application, -1 for the master file.
int ApplicationOf(const KeyLocation* at);

// 1 when directory id exists as a child of at on this key.
int ChildDirectoryExists(const KeyDescription* key, const KeyLocation* at, unsigned id);

// What the file id of directory at would be, whether it exists or not.
FileKind KindOfFile(const KeyLocation* at, unsigned id);

// "files\AD01\DF11\EF01" + extension; 0 on success, -1 when it does not fit.
int StoredFilePath(const KeyLocation* at, unsigned id, const char* extension, char* path, size_t size);
int CertificatePath(int application, int container, CertKind kind, const char* extension, char* path, size_t size);
KeyLocation ContainerLocation(int application, int container);
unsigned CertificateFileId(CertKind kind);

// 1 when the elementary file id of directory at exists on this key.
int ElementaryFileExists(const KeyStorage* storage, const KeyDescription* key, const KeyLocation* at, unsigned id);

// Content length a stored certificate announces (a raw image: what its prefix declares); -1 when the
// container holds no such certificate.
long CertificateLength(const KeyStorage* storage, int application, int container, CertKind kind);

// Content (without prefix) of the generated files.
void BuildDeviceInfo(const KeyDescription* key, unsigned char content[KEY_DEVICE_INFO_SIZE]);
void BuildContainerDirectory(const KeyStorage* storage, const KeyDescription* key, int application,
                             unsigned char content[KEY_CONTAINER_DIRECTORY_SIZE]);

// The elementary file as the key serves it: 2-byte big-endian length, then the content. Returns the
// number of bytes written to image, FILE_ABSENT, or FILE_UNREADABLE (a stored file that cannot be
// read or is larger than size).
long LoadElementaryFile(const KeyStorage* storage, const KeyDescription* key, const KeyLocation* at, unsigned id,
                        unsigned char* image, size_t size);
