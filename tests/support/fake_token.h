// A scriptable stand-in for the three token libraries, bound through the manager's loader seam.
// Keys live in memory as ISO 7816-4 file trees; every call is recorded for the tests to inspect.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

typedef std::vector<unsigned> FilePath; // file ids below the master file, e.g. {0xAD01, 0xEF01}

struct Call {
    std::string name;
    int handle = 0;
    std::vector<int> args;              // the integer arguments, in order
    std::vector<unsigned char> data;    // bytes passed in (file id, PIN, change data)
};

struct Key {
    bool present = false;
    int openResult = 0;                 // 0: slot + 1 when present
    unsigned char serial[4] = { 0x12, 0x34, 0xAB, 0xCD };
    std::set<FilePath> directories;
    std::map<FilePath, std::vector<unsigned char>> files; // raw bytes, length prefix included
    std::vector<int> verifyResults;     // answers of QZ_VerifyPinUpDatePinInfoFile, in call order
    std::vector<int> changeResults;     // answers of QZ_ChangePin, in call order
};

class Token {
public:
    // Resets every key and counter and routes the manager's library loader here.
    void Install();

    Key& Slot(int slot) { return keys[slot]; }
    // Puts a file with its 2-byte length prefix; creates the directories above it.
    void PutFile(int slot, const FilePath& path, const std::vector<unsigned char>& content);
    // Puts bytes exactly as given (a corrupt length prefix, a short file).
    void PutRawFile(int slot, const FilePath& path, const std::vector<unsigned char>& raw);
    void PutDirectory(int slot, const FilePath& path);

    std::vector<Call> calls;
    int CountCalls(const std::string& name) const;
    std::vector<Call> CallsNamed(const std::string& name) const;

    // Library loading as the manager sees it.
    std::set<std::string> missingLibraries;  // e.g. "KeyCmd.dll"
    std::set<std::string> missingNames;      // e.g. "QZ_ChangePin"
    std::map<std::string, int> loads;        // library name -> successful loads
    std::map<std::string, int> releases;     // library name -> releases
    int LoadedCount(const std::string& library) const;
    // Keys opened with a positive handle and not closed yet.
    int openKeys = 0;

    // Called before every token call is answered; return true and set result to force an answer
    // (a failure, a bad status through status if not null).
    std::function<bool(const Call& call, int* result, unsigned short* status)> intercept;

    // The device-notification state of KeyDev.dll.
    void* registeredWindow = nullptr;
    int registrations = 0;
    int unregistrations = 0;
    Key keys[4];
};

Token& Instance();

} // namespace fake
