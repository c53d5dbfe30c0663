// Installer: the process-wide state and the functions that one file offers the others,
// grouped by the file that owns them.
#pragma once

#include <windows.h>

#include "install_paths.h"
#include "payload_rows.h"
#include "resource.h"
#include "texts.h"

#define INSTANCE_NAME       "DovaroClass_SKF"
#define DIALOG_CLASS        "#32770"

enum { CSP_SIGNATURE_SIZE = 136 };

// The working set of the install sequence; every path zero-filled before use.
struct InstallContext {
    char targetDir[INSTALL_PATH_SIZE];
    char workPath[INSTALL_PATH_SIZE];
    char driverInstallPath[INSTALL_PATH_SIZE];
    char rootCertPath[INSTALL_PATH_SIZE];
    char subCertPath[INSTALL_PATH_SIZE];
    char cspImagePath[INSTALL_PATH_SIZE];
    char trayPath[INSTALL_PATH_SIZE];
    char managerPath[INSTALL_PATH_SIZE];
    char uninstallerPath[INSTALL_PATH_SIZE];
    int wow64;
};

// install_sequence.cpp
// Fills the context from the kit directory (GetKitDirectory's). 1, or 0 with the context zeroed
// when a path would not fit.
int BuildInstallContext(InstallContext* context, const char* kitDir, int wow64);
int RunInstallSequence(HINSTANCE instance);
// Driver, certificates, tray client, shortcuts and registry, once the payload is written.
int FinishInstallSequence(const InstallContext* context);

// payload_table.cpp
enum PayloadCondition { PAYLOAD_ALWAYS, PAYLOAD_64BIT_ONLY, PAYLOAD_32BIT_ONLY };
enum ExistingFileHandling { EXISTING_DELETE, EXISTING_SET_ASIDE, EXISTING_STOP_THEN_SET_ASIDE, EXISTING_REREGISTER };
struct PayloadRow {
    int row;
    const char* type;
    int id;
    const char* name;
    PayloadCondition condition;
    ExistingFileHandling handling;
    const char* stopParameters;     // EXISTING_STOP_THEN_SET_ASIDE only
    DWORD pauses[3];                // in the order the handling makes them, 0 for none
};
extern const PayloadRow PayloadTable[PAYLOAD_ROW_COUNT];
int PayloadRowApplies(const PayloadRow* row, int wow64);

// payload_deploy.cpp
// The pauses, the clock and the bound on waiting for an old copy; tests put in their own.
struct DeployTiming {
    void(WINAPI* pause)(DWORD milliseconds);
    DWORD(WINAPI* tick)(void);
    DWORD stopWaitLimit;
};
extern DeployTiming DeployClock;
// 1 when the system protects the file (SfcIsFileProtected); tests put in their own answer.
extern int (*IsSystemProtectedFile)(const char* path);
// What became of one row: a file the system protects is left to it and is no failure.
enum DeployResult { DEPLOY_FAILED, DEPLOY_WRITTEN, DEPLOY_LEFT_TO_SYSTEM };
// Writes one row's file into the target directory, handling a file already there.
int DeployPayloadRow(HMODULE module, const PayloadRow* row, InstallContext* context);
// Every row that applies, in table order; the number of files that could not be written.
int DeployPayload(HMODULE module, InstallContext* context);
int ExtractResourceToFile(HMODULE module, int id, const char* type, const char* path);
// What the row's handling does with its file already at path, pauses included.
void HandleExistingFile(const PayloadRow* row, const char* path);
void SetFileAside(const char* path);

// shell_launch.cpp
// Starts a program with ShellExecuteExA; wait non-zero waits for it, at most DeployClock.stopWaitLimit.
void ShellLaunch(const char* path, const char* parameters, int wait);
void SelfRegisterLibrary(const char* path, int registerIt);

// tray_start.cpp
// Starts the tray client through the desktop shell, with the user's own rights; where no shell
// answers, not at all (never elevated).
void StartTrayClient(const InstallContext* context);

// driver_install.cpp
// The Plug and Play calls behind InstallTokenDriver; tests put in their own.
struct DriverApi {
    BOOL(WINAPI* updateDriver)(HWND owner, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot);
    BOOL(WINAPI* copyOemInf)(PCSTR source, PCSTR mediaLocation, DWORD mediaType, DWORD copyStyle,
                             PSTR destination, DWORD destinationSize, PDWORD requiredSize, PSTR* component);
};
extern DriverApi TokenDriverApi;
int InstallTokenDriver(const char* infPath);

// cert_import.cpp
int ImportCertificateFile(const char* path, const char* storeName);

// csp_registry.cpp
// The registry calls of the CSP and Run registration; tests put in their own to make one fail.
struct RegistryApi {
    LONG(WINAPI* createKey)(HKEY parent, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
    LONG(WINAPI* openKey)(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
    LONG(WINAPI* setValue)(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
    LONG(WINAPI* deleteKey)(HKEY key, LPCSTR subKey);
    LONG(WINAPI* closeKey)(HKEY key);
};
extern RegistryApi CspRegistry;
#define CSP_KEY         "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\Quvane SKF CSP For QZ Provider"
#define CSP_VENDOR_KEY  "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\Quvane"
#define RUN_KEY         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUN_VALUE       "KeyTray"
int RegisterCspForUser(const char* imagePath);
int RegisterCspForMachine(const char* imagePath, const char* trayPath);
int UnregisterCspForUser(void);
int UnregisterCspForMachine(void);

// shortcuts.cpp
void CreateStartMenuShortcuts(const char* managerPath, const char* uninstallerPath);
int CreateShellShortcut(const char* targetPath, const char* linkPath, const char* arguments);

// csp_signature.cpp (generated by the build from the authority's signature file or our stand-in)
extern const unsigned char CspSignature[CSP_SIGNATURE_SIZE];
