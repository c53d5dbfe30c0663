// The virtual key for in-process tests: keys provisioned by keysim's own code in this process, the
// built token libraries bound through the manager's loader, and what the tests need to see of them.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "win_harness.h"

// What the loader hands the manager: the real libraries, with KeyCmd.dll's opens and closes counted,
// and libraries or names made to be missing.
struct TokenBinding {
    int openKeys = 0;                      // opened with a handle and not closed since
    std::set<std::string> missingLibraries; // e.g. "KeyDev.dll"
    std::set<std::string> missingNames;     // e.g. "QZ_ChangePin"
    // Where each PIN call's data lay and what it held then, to see afterwards that it was wiped.
    std::vector<std::pair<const unsigned char*, std::string>> pinData;
};
extern TokenBinding Binding;

// Resets Binding and routes the manager's loader to the built stand-in libraries.
void BindVirtualKey();
// Puts the manager's loader back and forgets the stand-ins' folder.
void UnbindVirtualKey();
// True while the library is mapped into this process.
bool IsLoaded(const char* library);

// A fresh key store, %KEYSIM_STORE% for this process and the programs it starts while it lives.
struct TempStore : ScratchFolder {
    TempStore();
    ~TempStore();
};

// Runs one keysim command line in this process against %KEYSIM_STORE% ("create 0 --pin 1234");
// double quotes group words. Returns keysim's exit status.
int KeysimHere(const std::string& line);
// As KeysimHere, expecting success.
void Provision(const std::string& line);

// What a key's key.ini holds now, as far as the tests look.
struct KeyState {
    bool inserted = false;
    int failAtCall = 0;            // 0 once the fault set with keysim fail has been answered
    std::string failedCall;        // the call that answered it
    std::string pin[2];
    int retriesLeft[2] = {};
};
// False when the slot holds no readable key.
bool ReadKey(int slot, KeyState* state);

// A certificate file of the source tree (tests/fixtures/certs/NAME.der) as keysim takes it.
std::string TestCertificatePath(const std::string& name);
