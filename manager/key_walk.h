// Reading the inserted keys: the walk over each key's device information, container directories and
// certificate files that fills DeviceTable and the report text. Portable: no windows.h. Opening a key,
// decoding a certificate and showing items in the tree are the host's, reached through KeyWalkHost,
// so the walk also runs natively under a fuzzer.
#pragma once

#include <stddef.h>

#include "key_layout.h"

// A tree item, as commctrl.h declares it; the walk only stores and hands back these handles.
struct _TREEITEM;
typedef struct _TREEITEM* HTREEITEM;

enum { KEY_SLOT_COUNT = 4, CERT_BUFFER_SIZE = CERTIFICATE_FILE_SIZE,
       LABEL_SIZE = KEY_LABEL_FIELD,
       SERIAL_READ_SIZE = 64,  // what QZ_GET_BCDSN writes
       KEY_SERIAL_SIZE = 4 };  // its first bytes: the key's serial number

struct ContainerEntry {
    HTREEITEM encryptionItem;
    HTREEITEM signatureItem;
    int encryptionLength;
    int signatureLength;
    unsigned char encryptionCert[CERT_BUFFER_SIZE];
    unsigned char signatureCert[CERT_BUFFER_SIZE];
};

struct DeviceRecord {
    int slot;
    HTREEITEM keyItem;
    // As the refresh showed it (the previous key's when this one did not answer): what a PIN dialog is for.
    unsigned char serial[KEY_SERIAL_SIZE];
    ContainerEntry containers[CONTAINER_ENTRY_COUNT];
    char label[LABEL_SIZE];
};

// What the host's decoder reads out of a certificate. The names are NUL-terminated within their
// buffers; serial points into the decoded certificate and stays valid until it is released.
struct CertificateFacts {
    int hasSubject;
    int hasIssuer;
    char subject[CERT_NAME_SIZE];
    char issuer[CERT_NAME_SIZE];
    const unsigned char* serial; // least significant byte first
    size_t serialLength;
    ReportDate notBefore;        // local time
    ReportDate notAfter;
};

struct KeyWalkHost {
    void* context;
    // A handle above 0 is an open key; the walk closes every handle it was given one for.
    int (*openKey)(void* context, int slot);
    void (*closeKey)(void* context, int handle);
    // 0 when the bytes are no certificate; otherwise *decoded is released with releaseCertificate.
    int (*decodeCertificate)(void* context, const unsigned char* der, int length, CertificateFacts* facts,
                             void** decoded);
    void (*releaseCertificate)(void* context, void* decoded);
    // Show a key (its label) and a certificate of it (its subject); each returns the new item.
    HTREEITEM (*addKey)(void* context, int slot, const char* label);
    HTREEITEM (*addCertificate)(void* context, HTREEITEM keyItem, const char* subject);
};

// Selecting on an open key, shared with the PIN loops: 1 when the key answered that it was selected.
int SelectMasterFile(int handle);
int SelectDirectory(int handle, unsigned id);
// 0 when the key's device information file lists the application, else -1.
int CheckApplication(int handle, unsigned applicationId);
// The same, telling a key that does not list the application from one that could not be asked.
enum ApplicationListing { APPLICATION_LISTED, APPLICATION_NOT_LISTED, APPLICATION_UNCHECKED };
ApplicationListing CheckApplicationListing(int handle, unsigned applicationId);

// Reads every slot into table (zeroed first) and appends its lines to report (emptied first).
// Returns the first listed key's item, or NULL when no key was listed.
HTREEITEM WalkKeys(const KeyWalkHost* host, DeviceRecord* table, char* report, size_t reportSize);
