// The one harness of the Wine tests: scratch folders and file bytes, and driving the kit's real
// programs from another process (start them, find their windows, read their controls and tree,
// answer their message boxes).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// "Z:\..." path of a Linux path, as Wine maps the root file system.
std::string WindowsPath(const std::string& unixPath);

// The temp folder with its trailing backslash, or "" when it cannot be had whole.
std::string TempFolder();

// The build's own files (programs, fixtures), located from this test program.
std::string BuildFile(const std::string& relative);

// A file in the kit's directory, where the installer puts the kit: SysWOW64 for the 32-bit kit on
// 64-bit Windows (and for the x86-64 twin, which takes that path); "" when it cannot be had.
std::string KitFile(const std::string& name);

struct Program {
    PROCESS_INFORMATION info = {};
    bool started = false;
    ~Program();                    // ends the program if it still runs
    DWORD Wait(DWORD timeoutMs);   // exit code, or STILL_ACTIVE after the timeout
};

// Deletes a folder and everything in it.
void RemoveTree(const std::string& path);

// A fresh folder under the temporary folder, removed with its files when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "\\" + name; }

private:
    std::string path;
};

bool FileExists(const std::string& path);
// The whole file, also while another program holds it open with sharing; empty when unreadable.
std::vector<unsigned char> ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// Names of the files and folders in folder that match the pattern (for example "*.OBK").
std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern);

// Starts exe with the given argument text in directory (empty: exe's directory).
bool StartProgram(Program& program, const std::string& exe, const std::string& arguments,
                  const std::string& directory = "");

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs);
bool WaitForWindowGone(const char* className, const char* title, DWORD timeoutMs);
// Waits until every window of the given process is idle (its message loop waits for input).
void WaitIdle(const Program& program, DWORD timeoutMs = 5000);

bool IsControlEnabled(HWND dialog, int id);
std::string ControlText(HWND dialog, int id);

struct TreeItemInfo {
    std::string text;
    int depth;     // 0 for top-level items
};
// Reads every item of a tree view in display order, also from another process.
std::vector<TreeItemInfo> ReadTree(HWND tree);

struct SeenMessageBox {
    HWND box = NULL;
    std::string caption;
    std::string text;
};
// Waits for a message box with this caption from any process (a "#32770" window with text 0xFFFF).
bool WaitForMessageBox(const char* caption, DWORD timeoutMs, SeenMessageBox* seen);
// Presses a button of a message box or dialog the way a click would.
void PressButton(HWND dialog, int id);

// What the key holder reads as tests/golden/ holds it, apart from the programs' own texts (golden.cpp):
// a file, a role's text in a list of "role<TAB>text" lines, and the text with its placeholders filled in.
std::string GoldenFile(const std::string& name);
std::string GoldenText(const std::string& list, const std::string& role);
inline std::string ManagerText(const std::string& role) { return GoldenText("manager-boxes.txt", role); }
inline std::string SetupText(const std::string& role) { return GoldenText("setup-boxes.txt", role); }
inline std::string UninstallText(const std::string& role) { return GoldenText("uninstall-boxes.txt", role); }
std::string FillIn(std::string text, const std::string& name, const std::string& value); // every "{name}"
// Every "{n}" (a number that changes from run to run, as the time of a save) as actual has it there.
std::string FillInNumbers(std::string golden, const std::string& actual);
