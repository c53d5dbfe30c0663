// keysim run in this process, and the keys' state read back: the store side of the virtual key, kept
// apart from the manager's headers, whose key file names the key's own model also uses.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "key_store.h"
#include "keysim_host.h"
#include "store_folder.h"
#include "virtual_key.h"
#include "win_harness.h"

TempStore::TempStore() : ScratchFolder("keys")
{
    SetEnvironmentVariableA(KEY_STORE_VARIABLE, Path().c_str());
}

TempStore::~TempStore()
{
    SetEnvironmentVariableA(KEY_STORE_VARIABLE, NULL);
}

int KeysimHere(const std::string& line)
{
    std::vector<std::string> words(1, "keysim");
    bool quoted = false, between = true;
    for (char c : line) {
        if (c == ' ' && !quoted) {
            between = true;
            continue;
        }
        if (between)
            words.push_back("");
        between = false;
        if (c == '"')
            quoted = !quoted;
        else
            words.back() += c;
    }
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(NULL);
    return KeysimMain((int)words.size(), argv.data());
}

void Provision(const std::string& line)
{
    EXPECT_EQ(KeysimHere(line), 0) << "keysim " << line;
}

bool ReadKey(int slot, KeyState* state)
{
    FolderStorage folder;
    KeyStorage storage;
    KeyDescription key;
    char error[200];
    if (OpenSlotStorage(slot, &folder, &storage) != 0 ||
        LoadKeyDescription(&storage, &key, error, sizeof error) != KEY_LOADED)
        return false;
    state->inserted = key.inserted != 0;
    state->failAtCall = key.failAtCall;
    state->failedCall = key.failedCall;
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        state->pin[i].assign((const char*)key.apps[i].pin, (size_t)key.apps[i].pinLength);
        state->retriesLeft[i] = key.apps[i].retriesLeft;
    }
    return true;
}

std::string TestCertificatePath(const std::string& name)
{
    return WindowsPath(KIT_SOURCE_DIR "/tests/fixtures/certs/" + name + ".der");
}
