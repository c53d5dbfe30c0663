// Running the built stand-ins from tests: a private key store, keysim.exe as a child process, and the
// folder the token libraries are loaded from.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A fresh store folder under the temp folder, set as %KEYSIM_STORE% for this process and its children;
// deleted with everything in it at the end.
class TempStore {
public:
    TempStore();
    ~TempStore();
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;
    const std::string& Folder() const { return folder; }
    std::string SlotFile(int slot, const std::string& relative) const;

private:
    std::string folder;
};

struct KeysimRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // standard output and standard error, in the order written
};

// Runs the built keysim.exe with the argument text and waits for it (at most 30 s). With pump, this
// thread's messages are delivered meanwhile, so a watcher sending to one of its windows gets through.
KeysimRun RunKeysim(const std::string& arguments, bool pump = false);

// Runs keysim.exe as RunKeysim does and expects it to succeed.
void Keysim(const std::string& arguments, bool pump = false);

// <build>\standins, where the libraries and keysim.exe are.
std::string StandinsFolder();

// A file of standins/certs in the source tree, as a Windows path.
std::string DemoCertificate(const std::string& name);

std::vector<unsigned char> ReadFileBytes(const std::string& path);
