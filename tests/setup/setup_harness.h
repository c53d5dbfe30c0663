// The installer's tests beside the common harness (win_harness.h): the built installer's resources,
// the registry and the CSP registration, and the fixture of the payload-writing tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "setup.h"
#include "win_harness.h"

struct RegistryValue {
    bool present = false;
    DWORD type = 0;
    std::vector<unsigned char> data;
};
RegistryValue ReadRegistryValue(HKEY root, const char* path, const char* name);
// extraAccess picks a registry view (KEY_WOW64_64KEY) or 0 for the process's own.
bool RegistryKeyExists(HKEY root, const char* path, REGSAM extraAccess = 0);

// A whole registration under root: the user key's five values, or the machine key's three and the
// Run value naming the tray client.
void ExpectCspRegistration(HKEY root, const std::string& imagePath, const std::string& trayPath = "");
void RemoveCspRegistration();

// How many certificates equal to der a local machine system store holds.
int CountInMachineStore(const char* storeName, const std::vector<unsigned char>& der);

// The installer under test: KIT_SETUP_EXE when set (a release's), else KeySetup.exe from the build;
// loaded for its resources only (NULL when it cannot be), and a resource's bytes in language 2052.
std::string SetupProgramFile();
HMODULE LoadSetupResources();
std::vector<unsigned char> ResourceBytes(HMODULE module, const char* type, int id);

// The tick DeployFixture's tests run at, which names what they set aside; their pauses are not slept.
const DWORD DeployTick = 123456789;
// The paths DeployFixture's tests have the system protect.
extern std::vector<std::string> ProtectedPaths;

// Payload rows written into a scratch folder of the test's own.
class DeployFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::vector<unsigned char> Carried(const PayloadRow& row) const { return ResourceBytes(setup, row.type, row.id); }

    DeployTiming savedClock;
    int (*savedProtection)(const char* path) = NULL;
    std::unique_ptr<ScratchFolder> folder;
    InstallContext context;
    HMODULE setup = NULL;
};
