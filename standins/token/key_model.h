// The virtual key as key.ini describes it, and the fixed shape of its file tree.
// Portable: no windows.h, so everything that parses stored data also builds natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
    KEY_SLOTS = 4,
    KEY_APPLICATIONS = 2,          // DF 0xAD01 and DF 0xAD02
    KEY_CONTAINERS = 2,            // per application
    KEY_CERT_KINDS = 2,            // encryption (EF 0xEF01), signature (EF 0xEF02)
    KEY_LABEL_FIELD = 64,          // label field of the device information file, NUL included
    KEY_LABEL_MAX = KEY_LABEL_FIELD - 1,
    // The key takes any PIN that fits the manager's wire format; how strong a PIN must be is the
    // manager's policy, not the token's.
    KEY_PIN_MIN = 1,
    KEY_PIN_MAX = 31,
    KEY_RETRIES_MAX = 15,          // a retry counter is 4 bits on the real keys
    KEY_DEFAULT_RETRIES = 6,
    KEY_CONTAINER_NAME_MAX = 31,
    KEY_DEVICE_INFO_SIZE = 340,
    KEY_CONTAINER_DIRECTORY_SIZE = 300,
    KEY_CERT_MAX = 3000,           // content bytes of one certificate file
    KEY_VANISH_CALLS_MAX = 1000000,
    KEY_CALL_NAME_MAX = 31,
    KEY_FILE_MAX = 8192,           // largest stored image of an elementary file served, prefix included
    KEY_INI_MAX = 8192
};

// File identifiers.
enum {
    FID_MASTER = 0x3F00,
    FID_INFO = 0xEF01,             // device information (MF), container directory (application)
    FID_APPLICATION_FIRST = 0xAD01,
    FID_ENCRYPTION_CERT = 0xEF01,
    FID_SIGNATURE_CERT = 0xEF02
};

// Offsets inside the device information and container directory files.
enum {
    INFO_APPLICATION_FLAG = 68,    // + 136 * application: 32-bit little-endian, non-zero when present
    INFO_APPLICATION_STRIDE = 136,
    DIRECTORY_STRIDE = 148,        // one record per container
    DIRECTORY_NAME = 0,            // container name, NUL-terminated, 32 bytes
    DIRECTORY_ENCRYPTION_FLAG = 32,
    DIRECTORY_ENCRYPTION_LENGTH = 36,
    DIRECTORY_SIGNATURE_FLAG = 40,
    DIRECTORY_SIGNATURE_LENGTH = 44,
    DIRECTORY_IN_USE = 48
};

enum CertKind { CERT_ENCRYPTION = 0, CERT_SIGNATURE = 1 };

struct KeyApplication {
    int present;
    unsigned char pin[KEY_PIN_MAX];
    int pinLength;
    int maxRetries;
    int retriesLeft;
    int locked;                    // also locked whenever retriesLeft is 0
    char containerNames[KEY_CONTAINERS][KEY_CONTAINER_NAME_MAX + 1];
};

struct KeyDescription {
    uint32_t serial;
    char label[KEY_LABEL_MAX + 1]; // GBK text
    int inserted;                  // 0: the slot is marked removed
    int vanishAfterCalls;          // calls a handle gets answered after its open before the key pulls itself out; 0: never
    // A fault for tests: call failAtCall of a handle (1: the open itself) answers failResult and, where
    // the call has one, the status word failStatus, instead of doing its work; then it is taken back. 0: none.
    int failAtCall;
    int failResult;
    unsigned failStatus;
    char failedCall[KEY_CALL_NAME_MAX + 1]; // the call that answered the fault, once it has
    KeyApplication apps[KEY_APPLICATIONS];
};

int IsApplicationLocked(const KeyApplication* app);

// Directory id of container j of application i: 0xDF11, 0xDF12, 0xDF21, 0xDF22.
unsigned ContainerDirectoryId(int application, int container);

// Default name of container j of application i, as keysim writes it into key.ini.
void DefaultContainerName(uint32_t serial, int application, int container, char* name, size_t size);

// 1 when text is a label the device information file can hold: at most KEY_LABEL_MAX bytes of GBK
// text without control characters, no lead byte without its trail byte.
int IsValidLabel(const char* text, size_t length);

// 1 when text is a container name: 1..KEY_CONTAINER_NAME_MAX printable ASCII characters.
int IsValidContainerName(const char* text, size_t length);
