// Helpers shared by the installer's tests: scratch folders, file bytes, the built installer's
// resources, the CSP registration and the fixtures of the registry and payload-writing tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "setup.h"

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

// A whole registration under root: the user key's five values, or the machine key's three and the
// Run value naming the tray client.
void ExpectCspRegistration(HKEY root, const std::string& imagePath, const std::string& trayPath = "");
// Removes every key and value the registration writes.
void RemoveCspRegistration();

// The real registry, cleared of our registration before and after each test; CspRegistry restored.
class CspRegistryFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    RegistryApi saved;
};

struct ShellLinkInfo {
    bool loaded = false;
    std::string target;
    std::string arguments;
};
ShellLinkInfo ReadShellLink(const std::string& path);
// The kit's folder in the all-users Start-menu programs folder.
std::string KitMenuFolder();

// How many certificates equal to der a local machine system store holds.
int CountInMachineStore(const char* storeName, const std::vector<unsigned char>& der);

// The MB_ICON... style of the icon a message box of any process shows, told from the pixels on
// screen (icon handles differ between processes once a manifest asks for common controls 6).
UINT ShownMessageBoxIcon(HWND box);

// The installer under test: KIT_SETUP_EXE when set (a release's), else KeySetup.exe from the build.
std::string SetupProgramFile();
// That installer, loaded for its resources only; NULL when it cannot be loaded.
HMODULE LoadSetupResources();
// A resource's bytes in language 2052; empty when there is no such resource.
std::vector<unsigned char> ResourceBytes(HMODULE module, const char* type, int id);

// Pauses DeployFixture's tests made, in order (they are recorded, not slept), and their fixed tick.
extern std::vector<DWORD> RecordedPauses;
const DWORD DeployTick = 123456789;
// The paths DeployFixture's tests have the system protect; none unless a test adds them.
extern std::vector<std::string> ProtectedPaths;

// Payload rows written into a scratch folder of the test's own.
class DeployFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static const PayloadRow& Row(int number) { return PayloadTable[number - 1]; }
    std::string Target(int number) const { return folder->File(Row(number).name); }
    std::vector<unsigned char> Carried(const PayloadRow& row) const { return ResourceBytes(setup, row.type, row.id); }

    DeployTiming savedClock;
    int (*savedProtection)(const char* path) = NULL;
    std::unique_ptr<ScratchFolder> folder;
    InstallContext context;
    HMODULE setup = NULL;
};
