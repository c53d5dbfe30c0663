// Helpers shared by the installer's tests: scratch folders, file bytes, the built installer's resources.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A fresh folder under the temporary directory, removed with its files when the object goes.
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
std::vector<unsigned char> ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// Names in folder that match the pattern (for example "*.OBK").
std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern);

struct RegistryValue {
    bool present = false;
    DWORD type = 0;
    std::vector<unsigned char> data;
};
// extraAccess picks a registry view (KEY_WOW64_32KEY, KEY_WOW64_64KEY) or 0 for the process's own.
RegistryValue ReadRegistryValue(HKEY root, const char* path, const char* name, REGSAM extraAccess = 0);
bool RegistryKeyExists(HKEY root, const char* path, REGSAM extraAccess = 0);
// The bytes a REG_SZ value of this text holds, terminating zero included.
std::vector<unsigned char> TextValueBytes(const std::string& text);

struct ShellLinkInfo {
    bool loaded = false;
    std::string target;
    std::string arguments;
};
ShellLinkInfo ReadShellLink(const std::string& path);
// The all-users Start-menu programs folder.
std::string CommonProgramsFolder();

// How many certificates equal to der a local machine system store holds.
int CountInMachineStore(const char* storeName, const std::vector<unsigned char>& der);

// The MB_ICON... style of the icon a message box of any process shows, told from the pixels on
// screen (icon handles differ between processes once a manifest asks for common controls 6).
UINT ShownMessageBoxIcon(HWND box);

// KeySetup.exe from the build, loaded for its resources only; NULL when it cannot be loaded.
HMODULE LoadSetupResources();
// A resource's bytes in language 2052; empty when there is no such resource.
std::vector<unsigned char> ResourceBytes(HMODULE module, const char* type, int id);
