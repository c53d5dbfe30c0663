// keysim's command line: what each subcommand takes, checked before anything is touched.
// Portable: no windows.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "file_tree.h"
#include "key_model.h"

enum KeysimAction {
    ACTION_HELP,
    ACTION_CREATE,
    ACTION_DELETE,
    ACTION_INSERT,
    ACTION_REMOVE,
    ACTION_LIST,
    ACTION_SHOW,
    ACTION_PUT_CERT,
    ACTION_REMOVE_CERT,
    ACTION_SET_RETRIES,
    ACTION_RESET_RETRIES,
    ACTION_LOCK,
    ACTION_SET_PIN,
    ACTION_CORRUPT_LENGTH,
    ACTION_CORRUPT_GARBAGE,
    ACTION_CORRUPT_LABEL,
    ACTION_RESTORE,
    ACTION_VANISH,
    ACTION_FAIL
};

enum { ALL_APPLICATIONS = -1, GARBAGE_DEFAULT_BYTES = 64 };

struct KeysimCommand {
    KeysimAction action;
    const char* store;             // --store, or null
    int slot;
    int application;               // 0, 1, or ALL_APPLICATIONS
    int container;
    CertKind kind;
    const char* path;              // put-cert: the certificate file
    int number;                    // set-retries: retries left; corrupt length: declared length; garbage: bytes;
                                   // vanish: calls still answered; fail: the call that fails
    int failResult;                // fail: what that call answers
    unsigned failStatus;           // fail: its status word
    int hasFile;                   // corrupt length, restore: a tree position was given
    KeyLocation location;
    unsigned fileId;
    // create
    const char* label;
    const char* pin;
    const char* secondPin;
    int hasSerial;
    uint32_t serial;
    int applications;
    int retries;
    int removed;
};

enum { ARGS_OK = 0, ARGS_USAGE_ERROR = 1 };

// argv[0] is the program. ARGS_OK with the command filled in, or ARGS_USAGE_ERROR with a one-line
// reason in error. The strings of the command point into argv.
int ParseKeysimArguments(int argc, char** argv, KeysimCommand* command, char* error, size_t errorSize);

// A tree position as keysim names it: "EF01" or "MF/EF01", "AD01/EF01", "AD01/DF11/EF02" ('/' or '\').
// 0 when it names an elementary file that a key can have, -1 otherwise.
int ParseFilePosition(const char* text, KeyLocation* location, unsigned* fileId);

extern const char KeysimUsage[];
