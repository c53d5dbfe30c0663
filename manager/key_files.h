// The manager's reading of a key's files: their ids, and the offsets and sizes of what it reads in
// them. The walk selects and reads by these; the decoders in key_layout.cpp read at them. Portable.
#pragma once

#include <stddef.h>

enum {
    // The device information file, under the master file: the label, then one entry per application.
    DEVICE_INFO_FILE = 0xEF01,
    DEVICE_INFO_SIZE = 340,            // what the manager reads of it
    KEY_LABEL_FIELD = 64,              // at offset 0
    APPLICATION_ENTRY_FIRST = 68,      // an application's entry: listed when its first field is not 0
    APPLICATION_ENTRY_SIZE = 136,

    // The applications: directories under the master file.
    APPLICATION_FIRST = 0xAD01,
    APPLICATION_COUNT = 2,

    // The container directory file, under an application: one entry per container.
    CONTAINER_DIRECTORY_FILE = 0xEF01,
    CONTAINER_DIRECTORY_SIZE = 620,    // what the manager reads of it
    CONTAINERS_PER_APPLICATION = 2,
    CONTAINER_ENTRY_SIZE = 148,
    CONTAINER_ENCRYPTION_FIELD = 32,   // within an entry: not 0 when it holds that certificate
    CONTAINER_SIGNATURE_FIELD = 40,
    CONTAINER_IN_USE_BYTE = 48,

    // A container's directory, under its application, holds its two certificate files (DER).
    CONTAINER_FIRST = 0xDF11,
    CONTAINER_APPLICATION_STEP = 0x10,
    ENCRYPTION_CERT_FILE = 0xEF01,
    SIGNATURE_CERT_FILE = 0xEF02,
    CERTIFICATE_FILE_SIZE = 3000,      // what the manager reads of one

    // Every container of every application, numbered application by application.
    CONTAINER_ENTRY_COUNT = APPLICATION_COUNT * CONTAINERS_PER_APPLICATION
};

// The directory of application index i.
inline unsigned ApplicationId(int i) { return APPLICATION_FIRST + (unsigned)i; }
// The directory of container j of application index i.
inline unsigned ContainerDirectoryId(int i, int j)
{
    return CONTAINER_FIRST + CONTAINER_APPLICATION_STEP * (unsigned)i + (unsigned)j;
}
// Container j of application index i among all of a key's containers.
inline int ContainerEntryIndex(int i, int j) { return CONTAINERS_PER_APPLICATION * i + j; }
// Where application index i's entry starts in the device information file.
inline size_t ApplicationEntryOffset(int i) { return APPLICATION_ENTRY_FIRST + APPLICATION_ENTRY_SIZE * (size_t)i; }
// Where container j's entry starts in a container directory.
inline size_t ContainerEntryOffset(int j) { return CONTAINER_ENTRY_SIZE * (size_t)j; }
