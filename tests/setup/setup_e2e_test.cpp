// KeySetup.exe and the uninstaller run for real in a fresh prefix of their own, one step after the other.
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "../../manager/texts.h"
#include "setup_harness.h"
#include "system_dir.h"
#include "uninstall.h"

namespace {

// The class ids our control stand-ins register (standins/payload/CMakeLists.txt).
const struct { const char* file; const char* classId; } Controls[] = {
    { "SignCtl.dll", "{CFAC763B-D389-4326-A432-D67B4E022CC2}" },
    { "SealView.ocx", "{4B1806F5-18F9-41D5-8628-1A3F26D620EF}" },
    { "SealMaker.ocx", "{DF3FEBA8-0D6A-4552-A433-75EA195FAA51}" },
    { "BrowserSign.dll", "{530D1849-7AD1-4CF6-A501-BFF48936435E}" },
    { "WebCrypt.dll", "{73C8BD5C-9C29-469E-BE0E-C32C13D38FF0}" },
    { "KeyApi.dll", "{CA9EB8FB-38A1-489B-974E-20033EE738F7}" },
};

std::string ClassServer(const char* classId)
{
    RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE,
                                            (std::string("SOFTWARE\\Classes\\CLSID\\") + classId + "\\InprocServer32").c_str(), NULL);
    return value.present ? std::string(value.data.begin(), value.data.end() - 1) : "";
}

const std::string Journal = TempFolder() + "velmora-standin-journal.txt";

std::string ReadText(const std::string& path)
{
    std::vector<unsigned char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string KitMenuLink(const char* link)
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return folder + std::string(SHORTCUT_FOLDER) + link;
}

// The program a Start-menu link starts.
std::string LinkTarget(const std::string& path)
{
    char target[MAX_PATH] = "";
    WCHAR wide[MAX_PATH];
    IShellLinkA* link = NULL;
    IPersistFile* file = NULL;
    CoInitialize(NULL);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link))
        && SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))
        && MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) && SUCCEEDED(file->Load(wide, STGM_READ)))
        link->GetPath(target, sizeof target, NULL, 0);
    if (file)
        file->Release();
    if (link)
        link->Release();
    CoUninitialize();
    return target;
}

struct ProgramRun {
    std::string boxProgram;     // the file of the process that showed the confirmation
    SeenMessageBox confirmation, result;
    bool resultShown = false;
    DWORD exitCode = STILL_ACTIVE;
};

void AnswerBox(HWND box, int button)
{
    PressButton(box, button);
    for (int i = 0; i < 200 && IsWindow(box); ++i)
        Sleep(50);
}

// Starts a program, answers its confirmation box and, after Yes, its result box; waits for the
// process that showed them too (a relocated copy).
ProgramRun RunConfirmed(const std::string& exe, const std::string& caption, int answer, const std::string& arguments = "")
{
    ProgramRun run;
    Program program;
    if (!StartProgram(program, exe, arguments) || !WaitForMessageBox(caption.c_str(), 30000, &run.confirmation))
        return run;
    DWORD boxProcessId = 0;
    GetWindowThreadProcessId(run.confirmation.box, &boxProcessId);
    HANDLE boxProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, boxProcessId);
    char image[MAX_PATH];
    DWORD imageSize = sizeof image;
    if (boxProcess && QueryFullProcessImageNameA(boxProcess, 0, image, &imageSize))
        run.boxProgram.assign(image, imageSize);
    AnswerBox(run.confirmation.box, answer);
    run.resultShown = WaitForMessageBox(caption.c_str(), answer == IDYES ? 180000 : 2000, &run.result);
    if (run.resultShown)
        AnswerBox(run.result.box, IDOK);
    run.exitCode = program.Wait(30000);
    if (boxProcess)
        WaitForSingleObject(boxProcess, 30000), CloseHandle(boxProcess);
    return run;
}

// A running process by its id, or (id 0) by its file name; th32ProcessID is 0 when there is none.
PROCESSENTRY32 FindProcess(DWORD processId, const char* name = "")
{
    PROCESSENTRY32 entry = {}, found = {};
    entry.dwSize = sizeof entry;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (processId ? entry.th32ProcessID == processId : lstrcmpiA(entry.szExeFile, name) == 0)
            found = entry;
    CloseHandle(snapshot);
    return found;
}

// The system's Windows folder, with its closing backslash.
std::string WindowsFolder()
{
    char windows[MAX_PATH] = "";
    UINT n = GetSystemWindowsDirectoryA(windows, sizeof windows);
    return n > 0 && n < sizeof windows ? windows + std::string("\\") : "";
}

// Whether this Windows is a 64-bit one, asked of the folder it keeps its 32-bit programs' files in
// rather than of the function the programs ask.
bool IsWindows64()
{
    DWORD attributes = GetFileAttributesA((WindowsFolder() + "SysWOW64").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Without these proxies Wine's installer cannot reach the desktop shell, as where none runs.
const char* const ShellBlock = "Software\\Wine\\AppDefaults\\KeySetup.exe\\DllOverrides";
const bool ShellAnswers = getenv("KIT_DESKTOP_SHELL") && *getenv("KIT_DESKTOP_SHELL"); // run_setup_e2e.sh

// Started by the desktop shell the tray client runs with the user's rights, not the installer's
// elevated ones; where no shell answers the installer starts none, the Run value does at sign-in.
void ExpectTrayStart(bool shellAnswered)
{
    if (!shellAnswered) {
        EXPECT_EQ(FindProcess(0, "KeyTray.exe").th32ProcessID, 0u) << "started without the desktop shell";
        return;
    }
    DWORD trayId = 0;
    GetWindowThreadProcessId(WaitForWindow("#32770", "KeyTray", 15000), &trayId);
    std::string starter = FindProcess(FindProcess(trayId).th32ParentProcessID).szExeFile;
    EXPECT_EQ(lstrcmpiA(starter.c_str(), "explorer.exe"), 0) << starter;
}

// Every payload file written, but the one held (NULL: none), and every later step done.
void ExpectInstalled(const char* held = NULL, bool shellAnswered = ShellAnswers)
{
    HMODULE setup = LoadSetupResources();
    int wow64 = IsRunningUnderWow64();
    for (const PayloadRow& row : PayloadTable) {
        bool whole = (held && lstrcmpiA(row.name, held) == 0) || !PayloadRowApplies(&row, wow64)
                     || ReadBytes(KitFile(row.name)) == ResourceBytes(setup, row.type, row.id);
        EXPECT_TRUE(whole) << row.name;
        // The 32-bit kit on 64-bit Windows: the 64-bit driver package, the DEV64 resources.
        if (IsWindows64() && strcmp(row.type, "DEV64") == 0) {
            EXPECT_TRUE(ReadBytes(KitFile(row.name)) == ResourceBytes(setup, row.type, row.id)) << row.name;
        }
    }
    ExpectCspRegistration(HKEY_CURRENT_USER, KitFile("KeyCsp.dll"));
    ExpectCspRegistration(HKEY_LOCAL_MACHINE, KitFile("KeyCsp.dll"), KitFile("KeyTray.exe"));
    EXPECT_FALSE(IsWindows64() && RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY, KEY_WOW64_64KEY))
        << "the 32-bit view only";
    EXPECT_EQ(LinkTarget(KitMenuLink(MANAGER_LINK)), KitFile("KeyManager.exe"));
    EXPECT_EQ(LinkTarget(KitMenuLink(UNINSTALLER_LINK)), KitFile("KeyUninstall.exe"));
    ExpectTrayStart(shellAnswered);
}

// Whether the system deletes path at the next restart (a pair of names: the file, an empty new name).
bool IsPendingDeletion(const std::string& path)
{
    RegistryValue pending = ReadRegistryValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                              "PendingFileRenameOperations");
    std::vector<std::string> names(1);
    for (unsigned char c : pending.data)
        c ? (void)(names.back() += (char)c) : names.push_back("");
    for (size_t i = 0; i + 1 < names.size(); i += 2)
        if (names[i + 1].empty() && lstrcmpiA(names[i].c_str() + (names[i].compare(0, 4, "\\??\\") ? 0 : 4), path.c_str()) == 0)
            return true;
    return false;
}

// Windows' own temporary folder, where the uninstaller makes the folders of its copies: no program
// of the user can move away what an administrator made there.
std::string WindowsTemp()
{
    return WindowsFolder() + "Temp\\";
}

std::vector<std::string> TempEntries()
{
    return FindFiles(WindowsTemp().substr(0, WindowsTemp().size() - 1), "*");
}

// What is in that folder now but was not before, and will not go at the next restart.
std::vector<std::string> LeftInTemp(const std::vector<std::string>& before)
{
    std::vector<std::string> left;
    for (const std::string& name : TempEntries()) {
        std::string path = WindowsTemp() + name;
        bool goes = IsPendingDeletion(path);
        for (const std::string& file : FindFiles(path, "*"))
            goes = goes && IsPendingDeletion(path + "\\" + file);
        if (std::find(before.begin(), before.end(), name) == before.end() && !goes)
            left.push_back(name);
    }
    return left;
}

// Nothing of the kit: but a system-owned file under a payload name and one marked for the restart.
void ExpectNothingOfTheKit(const char* systemOwned, const char* markedForRestart = NULL)
{
    for (const PayloadRow& row : PayloadTable) {
        if (markedForRestart && lstrcmpiA(row.name, markedForRestart) == 0) {
            EXPECT_TRUE(IsPendingDeletion(KitFile(row.name))) << row.name << " goes at the restart";
        } else if (!systemOwned || lstrcmpiA(row.name, systemOwned) != 0) {
            EXPECT_FALSE(FileExists(KitFile(row.name))) << row.name;
        }
        for (const std::string& name : FindFiles(KitFile(""), "*.OBK"))
            EXPECT_FALSE(IsAsideNameFor(name.c_str(), row.name)) << name;
    }
    EXPECT_FALSE(FileExists(KitMenuLink("")));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY, KitView));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY, KitView));
    EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE, KitView).present);
    for (const auto& control : Controls)
        EXPECT_EQ(ClassServer(control.classId), "") << control.file;
}

} // namespace

TEST(SetupProgram, Step1_ASecondInstallerEndsSilentlyAndDecliningChangesNothing)
{
    DeleteFileA(Journal.c_str());
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", Journal.c_str());
    Program first;
    ASSERT_TRUE(StartProgram(first, SetupProgramFile(), ""));
    SeenMessageBox box;
    ASSERT_TRUE(WaitForMessageBox(SetupText("caption").c_str(), 30000, &box));
    EXPECT_EQ(box.text, SetupText("confirm"));

    Program second;
    ASSERT_TRUE(StartProgram(second, SetupProgramFile(), ""));
    EXPECT_EQ(second.Wait(20000), 0u);
    EXPECT_EQ(FindWindowExA(NULL, box.box, "#32770", SetupText("caption").c_str()), (HWND)NULL) << "one box only";
    EXPECT_EQ(FindWindowExA(NULL, NULL, "#32770", SetupText("caption").c_str()), box.box);

    AnswerBox(box.box, IDNO);
    EXPECT_FALSE(WaitForMessageBox(SetupText("caption").c_str(), 2000, NULL)) << "no further message";
    EXPECT_EQ(first.Wait(20000), 0u);
    // The system's own library bears a payload name, and is there before any installation.
    ExpectNothingOfTheKit("DevEnum.dll");
    EXPECT_EQ(ReadText(Journal), "");
}

TEST(SetupProgram, Step2_TheFirstInstallationBesideAPlantedLibrary)
{
    // The journal variable, set since step 1, names someone else's file: nothing writes to it.
    const std::string kept = "someone else's file\r\n";
    ASSERT_TRUE(WriteBytes(Journal, std::vector<unsigned char>(kept.begin(), kept.end())));
    // A download folder: the installer beside a newdev.dll that notes being loaded, with Wine told to
    // look beside the program first, as Windows does for a library that is not one of its known ones.
    ScratchFolder download("download");
    ASSERT_TRUE(CopyFileA(SetupProgramFile().c_str(), download.File("KeySetup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuildFile("tests/plant/newdev.dll").c_str(), download.File("newdev.dll").c_str(), FALSE));
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "newdev", REG_SZ, "native,builtin", 15),
              ERROR_SUCCESS);
    // On 64-bit Windows the driver is DrvSetup64.exe's to install, and it loads newdev from the
    // system directory for that: the same noting copy there tells that the installer ran it.
    char systemDir[MAX_PATH] = "";
    GetSystemDirectoryA(systemDir, sizeof systemDir);
    const std::string systemNewdev = systemDir + std::string("\\newdev.dll");
    const std::vector<unsigned char> systemOwn = ReadBytes(systemNewdev);
    if (IsWindows64()) {
        ASSERT_TRUE(CopyFileA(BuildFile("tests/plant/newdev.dll").c_str(), systemNewdev.c_str(), FALSE));
    }
    ProgramRun run = RunConfirmed(download.File("KeySetup.exe"), SetupText("caption"), IDYES);
    EXPECT_EQ(ReadText(download.File("newdev-loaded.txt")), "") << "the planted library was loaded";
    if (IsWindows64()) {
        // Started, not waited for, by the installer.
        const std::string note = systemDir + std::string("\\newdev-loaded.txt");
        for (int i = 0; i < 100 && ReadText(note).empty(); ++i)
            Sleep(100);
        EXPECT_EQ(ReadText(note), "loaded\r\n") << "DrvSetup64.exe -install ran";
        DeleteFileA(note.c_str());
        EXPECT_TRUE(WriteBytes(systemNewdev, systemOwn));
    }
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "newdev");

    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.result.text, SetupText("done"));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(KitFile("").substr(KitFile("").size() - 9), IsWindows64() ? "syswow64\\" : "system32\\");
    ExpectInstalled();
    EXPECT_TRUE(FindFiles(KitFile(""), "*.OBK").empty()) << "nothing was in use";
    EXPECT_EQ(CountInMachineStore("Root", ReadBytes(KitFile("rootca.cer"))), 1);
    EXPECT_EQ(CountInMachineStore("CA", ReadBytes(KitFile("subca.cer"))), 1);
    for (const auto& control : Controls)
        EXPECT_EQ(ClassServer(control.classId), KitFile(control.file)) << control.file;
    EXPECT_EQ(ReadText(Journal), kept);

    // The uninstaller's check answers for the kit's file, also while the system's namesake is loaded.
    HMODULE systemDevEnum = LoadLibraryA("devenum.dll");
    EXPECT_TRUE(IsKitMadeFile(KitFile("DevEnum.dll").c_str()));
    EXPECT_FALSE(IsKitMadeFile(KitFile("kernel32.dll").c_str()));
    if (systemDevEnum)
        FreeLibrary(systemDevEnum);
}

TEST(SetupProgram, Step3_ReinstallingOverTheRunningKit)
{
    Program manager;
    ASSERT_TRUE(StartProgram(manager, KitFile("KeyManager.exe"), ""));
    ASSERT_NE(WaitForWindow("#32770", MAIN_WINDOW_TITLE, 20000), (HWND)NULL);
    HWND oldTray = WaitForWindow("#32770", "KeyTray", 15000);
    ASSERT_NE(oldTray, (HWND)NULL);
    // Held as a browser would hold a library of the kit.
    HMODULE held = LoadLibraryA(KitFile("KeyCsp.dll").c_str());
    ASSERT_NE(held, (HMODULE)NULL);
    // One control replaced by the test copy that notes its calls.
    const std::string control = KitFile("SealView.ocx");
    ASSERT_TRUE(CopyFileA(BuildFile("standins/payload/journal/SealView.ocx").c_str(), control.c_str(), FALSE));
    DeleteFileA(Journal.c_str());

    ProgramRun run = RunConfirmed(SetupProgramFile(), SetupText("caption"), IDYES);
    FreeLibrary(held);
    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.result.text, SetupText("done"));
    EXPECT_NE(manager.Wait(5000), (DWORD)STILL_ACTIVE) << "the manager was closed through -u";
    EXPECT_FALSE(IsWindow(oldTray)) << "the old tray client was closed through -u";
    std::vector<std::string> aside = FindFiles(KitFile(""), "KeyCsp*.OBK");
    ASSERT_EQ(aside.size(), 1u) << "the held library is set aside";
    EXPECT_TRUE(IsAsideNameFor(aside[0].c_str(), "KeyCsp.dll")) << aside[0];
    ExpectInstalled();
    EXPECT_EQ(ReadText(Journal), "unregister " + control + "\r\n") << "the old copy unregistered itself";
    EXPECT_EQ(ClassServer(Controls[1].classId), control) << "and the new one registered after it";
}

TEST(SetupProgram, Step4_AFileThatCannotBeWrittenOrReadIsReportedOnItsOwnAfterEveryStep)
{
    // 64-bit prefix (every machine has it): a library held for reading, sharing reading only, can be neither
    // written nor set aside; nothing else is held, so the error box is that write's. 32-bit prefix: a certificate
    // held with no sharing, not read for its import either, whose failure must not stop the later steps.
    const bool library = IsWindows64();
    const char* held = library ? "DevIfd.dll" : "rootca.cer";
    const std::vector<unsigned char> before = ReadBytes(KitFile(held));
    HANDLE file = CreateFileA(KitFile(held).c_str(), GENERIC_READ, library ? FILE_SHARE_READ : 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, CSP_KEY, KitView, 0);
    // Kept from the desktop shell as where none runs: the old tray client stops and none starts.
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, ShellBlock, "actxprxy", REG_SZ, "", 1), ERROR_SUCCESS);
    ProgramRun run = RunConfirmed(SetupProgramFile(), SetupText("caption"), IDYES);
    if (ShellAnswers)
        RegDeleteKeyValueA(HKEY_CURRENT_USER, ShellBlock, "actxprxy");
    CloseHandle(file);
    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.result.text, SetupText("failed"));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(ReadBytes(KitFile(held)) == before);
    EXPECT_TRUE(FindFiles(KitFile(""), std::string(held, 6) + "*.OBK").empty());
    ExpectInstalled(held, false);
}

TEST(SetupProgram, Step5_TheUninstallersCopyRunsFromANewFolderOfItsOwn)
{
    // A file the user put at a name that the uninstaller once used stays as it was.
    std::string userFile = TempFolder() + "KeyUninstallProbe.tmp";
    ASSERT_TRUE(WriteBytes(userFile, { 'm', 'i', 'n', 'e' }));
    std::vector<std::string> before = TempEntries();
    ProgramRun run = RunConfirmed(KitFile("KeyUninstall.exe"), UninstallText("caption"), IDNO);
    EXPECT_FALSE(run.resultShown);
    const std::string temp = WindowsTemp(), copy = run.boxProgram;
    ASSERT_EQ(lstrcmpiA(copy.substr(0, temp.size()).c_str(), temp.c_str()), 0) << copy;
    size_t slash = copy.find('\\', temp.size());
    ASSERT_NE(slash, std::string::npos) << copy << " lies in a folder of its own";
    EXPECT_EQ(std::find(before.begin(), before.end(), copy.substr(temp.size(), slash - temp.size())), before.end());
    EXPECT_EQ(LeftInTemp(before), std::vector<std::string>());
    EXPECT_EQ(ReadText(userFile), "mine");
    DeleteFileA(userFile.c_str());
    EXPECT_TRUE(FileExists(KitFile("KeyUninstall.exe"))) << "declined, the uninstaller removes nothing";
}

TEST(SetupProgram, Step6_TheUninstallerLeavesNothingOfTheKit)
{
    // 64-bit: through the relocated copy, as the Start menu starts it; 32-bit: in place with "-wait".
    bool waiting = !IsRunningUnderWow64();
    std::vector<std::string> before = TempEntries();
    ProgramRun run = RunConfirmed(KitFile("KeyUninstall.exe"), UninstallText("caption"), IDYES, waiting ? "-wait" : "");
    EXPECT_EQ(run.confirmation.text, UninstallText("confirm"));
    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.result.text, waiting ? UninstallText("marked") : UninstallText("done"));
    ExpectNothingOfTheKit(NULL, waiting ? "KeyUninstall.exe" : NULL);
    EXPECT_EQ(LeftInTemp(before), std::vector<std::string>());
    EXPECT_TRUE(WaitForWindowGone("#32770", "KeyTray", 10000));
    // The authority's certificates stay trusted.
    HMODULE setup = LoadSetupResources();
    EXPECT_EQ(CountInMachineStore("Root", ResourceBytes(setup, "DLL", 215)), 1);
    EXPECT_EQ(CountInMachineStore("CA", ResourceBytes(setup, "DLL", 216)), 1);
}

TEST(SetupProgram, Step7_APathOnTheUninstallersCommandLineIsNotDeleted)
{
    // Any program can start the genuine uninstaller so; the user sees only the usual boxes.
    std::string victim = KitFile("victim.dll");
    ASSERT_TRUE(WriteBytes(victim, { 'M', 'Z' }));
    ScratchFolder elsewhere("uninstaller-elsewhere");
    ASSERT_TRUE(CopyFileA(BuildFile("standins/payload/bin/KeyUninstall.exe").c_str(),
                          elsewhere.File("KeyUninstall.exe").c_str(), FALSE));
    ProgramRun run = RunConfirmed(elsewhere.File("KeyUninstall.exe"), UninstallText("caption"), IDYES,
                                  "-relocated 0 \"" + victim + "\"");
    ASSERT_TRUE(run.resultShown);
    EXPECT_TRUE(FileExists(victim));
    DeleteFileA(victim.c_str());
}
