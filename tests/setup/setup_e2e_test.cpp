// KeySetup.exe run for real in a fresh prefix of its own, one step after the other: declined,
// a second installer, the first installation (started beside a planted library), a reinstallation
// over the running kit, a failed certificate import, the uninstaller's relocated copy, the
// uninstallation, and the uninstaller given a path. Also prints the benchmark figures.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdlib.h>
#include <string>
#include <vector>

#include "../../manager/texts.h"
#include "setup.h"
#include "setup_harness.h"
#include "system_dir.h"
#include "uninstall.h"
#include "win_harness.h"

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

std::string KitDir()
{
    char dir[MAX_PATH];
    return GetKitDirectory(dir, sizeof dir) ? dir : "";
}

std::string KitFile(const std::string& name)
{
    return KitDir() + "\\" + name;
}

std::string JournalPath()
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "velmora-standin-journal.txt";
}

std::string ReadJournal()
{
    std::vector<unsigned char> bytes = ReadBytes(JournalPath());
    return std::string(bytes.begin(), bytes.end());
}

std::string ClassServerKey(const char* classId)
{
    return std::string("SOFTWARE\\Classes\\CLSID\\") + classId + "\\InprocServer32";
}

void WaitForBoxGone(HWND box)
{
    for (int i = 0; i < 200 && IsWindow(box); ++i)
        Sleep(50);
}

struct ProgramRun {
    std::string boxProgram;     // the file of the process that showed the confirmation
    SeenMessageBox confirmation;
    SeenMessageBox result;
    bool resultShown = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD sequenceMs = 0;   // from the answer to the result box
    DWORD processId = 0;
};

// The parent of process id and the name of a running process, from a process snapshot.
struct ProcessFacts {
    DWORD parentId = 0;
    std::string name;
};
ProcessFacts FactsOf(DWORD processId)
{
    ProcessFacts facts;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == processId) {
            facts.parentId = entry.th32ParentProcessID;
            facts.name = entry.szExeFile;
        }
    CloseHandle(snapshot);
    return facts;
}

// Where the tray client was started from: "shell" when the desktop shell started it, "installer" when
// the installer did, else the parent's name. run_setup_e2e.sh keeps the installer from the shell in
// one prefix and says so in KIT_DESKTOP_SHELL.
std::string TrayStarter(HWND tray, DWORD installerId)
{
    DWORD trayId = 0;
    GetWindowThreadProcessId(tray, &trayId);
    DWORD parent = FactsOf(trayId).parentId;
    if (parent == installerId)
        return "installer";
    std::string name = FactsOf(parent).name;
    return lstrcmpiA(name.c_str(), "explorer.exe") == 0 ? "shell" : "parent " + name;
}

// Starts a program, answers its confirmation box (caption) and, after Yes, its result box.
// Waits for the process that showed the boxes too, when that is another one (a relocated copy).
ProgramRun RunConfirmed(const std::string& exe, const char* caption, int answer, DWORD resultTimeoutMs = 180000,
                        const std::string& arguments = "")
{
    ProgramRun run;
    Program program;
    if (!StartProgram(program, exe, arguments))
        return run;
    run.processId = program.info.dwProcessId;
    if (!WaitForMessageBox(caption, 30000, &run.confirmation))
        return run;
    DWORD boxProcessId = 0;
    GetWindowThreadProcessId(run.confirmation.box, &boxProcessId);
    HANDLE boxProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, boxProcessId);
    char image[MAX_PATH];
    DWORD imageSize = sizeof image;
    if (boxProcess && QueryFullProcessImageNameA(boxProcess, 0, image, &imageSize))
        run.boxProgram.assign(image, imageSize);
    run.confirmation.icon = ShownMessageBoxIcon(run.confirmation.box);
    DWORD answered = GetTickCount();
    PressButton(run.confirmation.box, answer);
    WaitForBoxGone(run.confirmation.box);
    if (answer == IDYES) {
        run.resultShown = WaitForMessageBox(caption, resultTimeoutMs, &run.result);
        run.sequenceMs = GetTickCount() - answered;
        if (run.resultShown) {
            run.result.icon = ShownMessageBoxIcon(run.result.box);
            PressButton(run.result.box, IDOK);
            WaitForBoxGone(run.result.box);
        }
    } else {
        run.resultShown = WaitForMessageBox(caption, 2000, &run.result);
    }
    run.exitCode = program.Wait(30000);
    if (boxProcess) {
        WaitForSingleObject(boxProcess, 30000);
        CloseHandle(boxProcess);
    }
    return run;
}

ProgramRun RunInstaller(int answer)
{
    return RunConfirmed(SetupProgramFile(), SETUP_CAPTION, answer);
}

void ExpectEveryPayloadFileWritten()
{
    HMODULE setup = LoadSetupResources();
    ASSERT_NE(setup, (HMODULE)NULL);
    int wow64 = IsRunningUnderWow64();
    for (const PayloadRow& row : PayloadTable) {
        if (!PayloadRowApplies(&row, wow64))
            continue;
        EXPECT_TRUE(ReadBytes(KitFile(row.name)) == ResourceBytes(setup, row.type, row.id))
            << "row " << row.row << " " << row.name;
    }
    if (!wow64) {
        EXPECT_FALSE(FileExists(KitFile("DrvSetup64.exe")));
    }
}

void ExpectRegistration()
{
    ExpectCspRegistration(HKEY_CURRENT_USER, KitFile("KeyCsp.dll"));
    ExpectCspRegistration(HKEY_LOCAL_MACHINE, KitFile("KeyCsp.dll"), KitFile("KeyTray.exe"));
    if (IsRunningUnderWow64()) {
        EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY, KEY_WOW64_32KEY));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY, KEY_WOW64_64KEY))
            << "the machine keys belong in the 32-bit view";
    }
}

// Paths that the system deletes at the next restart, from the pairs of names the restart handles
// (file, new name; an empty new name deletes), without the "\??\" of the kernel's names.
std::vector<std::string> PendingDeletions()
{
    RegistryValue pending = ReadRegistryValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                              "PendingFileRenameOperations");
    std::vector<std::string> names;
    std::string name;
    for (unsigned char c : pending.data) {
        if (c != 0) {
            name += (char)c;
            continue;
        }
        names.push_back(name.compare(0, 4, "\\??\\") == 0 ? name.substr(4) : name);
        name.clear();
    }
    std::vector<std::string> deleted;
    for (size_t i = 0; i + 1 < names.size(); i += 2)
        if (!names[i].empty() && names[i + 1].empty())
            deleted.push_back(names[i]);
    return deleted;
}

bool IsPendingDeletion(const std::vector<std::string>& pending, const std::string& path)
{
    for (const std::string& name : pending)
        if (lstrcmpiA(name.c_str(), path.c_str()) == 0)
            return true;
    return false;
}

// Every name in the temporary folder, folders included.
std::vector<std::string> TempEntries()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((TempFolder() + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// What is in the temporary folder now but was not before, and will not go at the next restart:
// a file not marked, or a folder not marked or with a file in it that is not.
std::vector<std::string> LeftInTemp(const std::vector<std::string>& before)
{
    std::vector<std::string> pending = PendingDeletions();
    std::vector<std::string> left;
    for (const std::string& name : TempEntries()) {
        if (std::find(before.begin(), before.end(), name) != before.end())
            continue;
        std::string path = TempFolder() + name;
        bool goes = IsPendingDeletion(pending, path);
        for (const std::string& file : FindFiles(path, "*"))
            goes = goes && IsPendingDeletion(pending, path + "\\" + file);
        if (!goes)
            left.push_back(name);
    }
    return left;
}

// No file of ours (but one the system owns under a payload name, and one that the system deletes
// at the next restart), nothing set aside, no link, CSP key, Run value or control registration.
void ExpectNothingOfTheKit(const char* systemOwned, const char* markedForRestart = NULL)
{
    std::vector<std::string> pending = PendingDeletions();
    for (const PayloadRow& row : PayloadTable) {
        if (markedForRestart && lstrcmpiA(row.name, markedForRestart) == 0) {
            EXPECT_TRUE(IsPendingDeletion(pending, KitFile(row.name))) << row.name << " goes at the restart";
        } else if (!systemOwned || lstrcmpiA(row.name, systemOwned) != 0) {
            EXPECT_FALSE(FileExists(KitFile(row.name))) << row.name;
        }
    }
    for (const std::string& name : FindFiles(KitDir(), "*.OBK")) {
        for (const PayloadRow& row : PayloadTable) {
            EXPECT_FALSE(IsAsideNameFor(name.c_str(), row.name)) << name;
        }
    }
    EXPECT_FALSE(FileExists(KitMenuFolder()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, CSP_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY));
    EXPECT_FALSE(ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE).present);
    for (const auto& control : Controls) {
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, ClassServerKey(control.classId).c_str())) << control.file;
    }
}

} // namespace

TEST(SetupProgram, Step1_DecliningChangesNothing)
{
    DeleteFileA(JournalPath().c_str());
    SetEnvironmentVariableA("VELMORA_STANDIN_JOURNAL", JournalPath().c_str());
    ProgramRun run = RunInstaller(IDNO);
    EXPECT_EQ(run.confirmation.text, TEXT_SETUP_CONFIRM);
    EXPECT_EQ(run.confirmation.icon, (UINT)MB_ICONINFORMATION);
    EXPECT_EQ(run.confirmation.buttons, std::vector<int>({ IDYES, IDNO }));
    EXPECT_EQ(run.confirmation.owner, (HWND)NULL);
    EXPECT_FALSE(run.resultShown) << "no further message";
    EXPECT_EQ(run.exitCode, 0u);

    // The system's own library bears row 33's name, and is there before any installation.
    ExpectNothingOfTheKit("DevEnum.dll");
    EXPECT_TRUE(ReadJournal().empty());
}

TEST(SetupProgram, Step2_ASecondInstallerDuringTheConfirmationEndsSilently)
{
    Program first;
    ASSERT_TRUE(StartProgram(first, SetupProgramFile(), ""));
    SeenMessageBox box;
    ASSERT_TRUE(WaitForMessageBox(SETUP_CAPTION, 30000, &box));

    Program second;
    ASSERT_TRUE(StartProgram(second, SetupProgramFile(), ""));
    EXPECT_EQ(second.Wait(20000), 0u);
    int boxes = 0;
    for (HWND w = FindWindowExA(NULL, NULL, "#32770", SETUP_CAPTION); w; w = FindWindowExA(NULL, w, "#32770", SETUP_CAPTION))
        ++boxes;
    EXPECT_EQ(boxes, 1);

    PressButton(box.box, IDNO);
    EXPECT_EQ(first.Wait(20000), 0u);
}

// A folder that other programs write into, as a browser's download folder: the installer beside a
// newdev.dll that notes who loaded it, with Wine told to look beside the program first, as Windows
// does for a library that is not one of its known ones. (Wine itself loads uxtheme and version
// before a program's entry point, so a plant of those cannot be defeated under Wine; not used here.)
struct PlantedDownloadFolder {
    ScratchFolder folder{ "download" };

    PlantedDownloadFolder()
    {
        // The installer under test (the signed release in one prefix), and the plant from the build.
        EXPECT_TRUE(CopyFileA(SetupProgramFile().c_str(), folder.File("KeySetup.exe").c_str(), FALSE));
        for (const char* file : { "tests/plant/newdev.dll", "tests/newdev_importer.exe" }) {
            std::string name = file;
            EXPECT_TRUE(CopyFileA(BuildFile(file).c_str(), folder.File(name.substr(name.rfind('/') + 1)).c_str(), FALSE))
                << file;
        }
        // Wine looks beside the program first for a library set to native, as Windows does. It takes
        // the setting from its registry at each process start (a WINEDLLOVERRIDES set here would not
        // reach the programs this test starts).
        HKEY key = NULL;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL)
            == ERROR_SUCCESS) {
            EXPECT_EQ(RegSetValueExA(key, "newdev", 0, REG_SZ, (const BYTE*)"native,builtin", 15), ERROR_SUCCESS);
            RegCloseKey(key);
        }
    }
    ~PlantedDownloadFolder() { RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "newdev"); }
    std::string Note() const { return folder.File("newdev-loaded.txt"); }
};

TEST(SetupProgram, Step3_TheFirstInstallation)
{
    // The variable that names the test copies' journal, set since step 1, names a file of someone
    // else's: the installer and the controls it carries leave it as it is.
    const std::string kept = "someone else's file\r\n";
    ASSERT_TRUE(WriteBytes(JournalPath(), std::vector<unsigned char>(kept.begin(), kept.end())));
    PlantedDownloadFolder download;
    ProgramRun run = RunConfirmed(download.folder.File("KeySetup.exe"), SETUP_CAPTION, IDYES);
    std::vector<unsigned char> note = ReadBytes(download.Note());
    EXPECT_TRUE(note.empty()) << "the planted library was loaded into " << std::string(note.begin(), note.end());
    // The same plant beside a program that imports newdev: it is loaded, so the check above can fail.
    Program importer;
    ASSERT_TRUE(StartProgram(importer, download.folder.File("newdev_importer.exe"), ""));
    EXPECT_EQ(importer.Wait(30000), 0u);
    EXPECT_TRUE(FileExists(download.Note())) << "the plant was not loaded even where it is imported";

    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.result.text, TEXT_SETUP_DONE);
    EXPECT_EQ(run.result.icon, (UINT)MB_ICONINFORMATION);
    EXPECT_EQ(run.result.buttons, std::vector<int>({ IDOK }));
    EXPECT_EQ(run.exitCode, 0u);

    // The uninstaller's check of a file under a system library's name answers for the kit's file,
    // also while the system's library of that name is loaded, which the loader may answer for.
    HMODULE systemDevEnum = LoadLibraryA("devenum.dll");
    EXPECT_TRUE(IsKitMadeFile(KitFile("DevEnum.dll").c_str()));
    EXPECT_FALSE(IsKitMadeFile(KitFile("kernel32.dll").c_str()));
    if (systemDevEnum)
        FreeLibrary(systemDevEnum);

    std::string dir = KitDir();
    bool wow64 = IsRunningUnderWow64() != 0;
    EXPECT_EQ(dir.substr(dir.size() - 8), wow64 ? "syswow64" : "system32");
    ExpectEveryPayloadFileWritten();
    EXPECT_TRUE(FindFiles(dir, "*.OBK").empty()) << "nothing was in use";

    EXPECT_EQ(CountInMachineStore("Root", ReadBytes(KitFile("rootca.cer"))), 1);
    EXPECT_EQ(CountInMachineStore("CA", ReadBytes(KitFile("subca.cer"))), 1);
    ExpectRegistration();

    ShellLinkInfo manager = ReadShellLink(KitMenuFolder() + MANAGER_LINK);
    ShellLinkInfo uninstaller = ReadShellLink(KitMenuFolder() + UNINSTALLER_LINK);
    EXPECT_EQ(manager.target, KitFile("KeyManager.exe"));
    EXPECT_EQ(uninstaller.target, KitFile("KeyUninstall.exe"));
    EXPECT_EQ(manager.arguments, "");

    HWND tray = WaitForWindow("#32770", "KeyTray", 15000);
    ASSERT_NE(tray, (HWND)NULL) << "the tray client runs";
    // Started by the desktop shell it runs with the user's rights, not the installer's elevated ones;
    // without a shell the installer starts it itself.
    const char* shell = getenv("KIT_DESKTOP_SHELL");
    EXPECT_EQ(TrayStarter(tray, run.processId), shell && *shell ? "shell" : "installer");
    for (const auto& control : Controls) {
        EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, ClassServerKey(control.classId).c_str(), NULL).data
                    == TextValueBytes(KitFile(control.file))) << control.file;
    }
    EXPECT_EQ(ReadJournal(), kept);

    // Benchmark: the same files copied plainly, for comparison with the sequence.
    ScratchFolder copies("plain-copy");
    DWORD start = GetTickCount();
    for (const PayloadRow& row : PayloadTable)
        if (PayloadRowApplies(&row, wow64))
            CopyFileA(BuildFile("setup/payload-resources/" + std::to_string(row.row) + "-" + row.name).c_str(),
                      copies.File(row.name).c_str(), FALSE);
    DWORD plainMs = GetTickCount() - start;
    printf("benchmark: first installation %lu ms from Yes to the result box; plain copy of the same files %lu ms\n",
           (unsigned long)run.sequenceMs, (unsigned long)plainMs);
}

TEST(SetupProgram, Step4_ReinstallingOverTheRunningKit)
{
    Program manager;
    ASSERT_TRUE(StartProgram(manager, KitFile("KeyManager.exe"), ""));
    ASSERT_NE(WaitForWindow("#32770", MAIN_WINDOW_TITLE, 20000), (HWND)NULL);
    HWND oldTray = WaitForWindow("#32770", "KeyTray", 15000);
    ASSERT_NE(oldTray, (HWND)NULL);
    // Held by this process, as a browser would hold a library of the kit.
    HMODULE held = LoadLibraryA(KitFile("KeyCsp.dll").c_str());
    ASSERT_NE(held, (HMODULE)NULL);
    // One control replaced by the test copy that notes its calls, to see the old copy unregister.
    const std::string control = KitFile("SealView.ocx");
    ASSERT_TRUE(CopyFileA(BuildFile("standins/payload/journal/SealView.ocx").c_str(), control.c_str(), FALSE));
    DeleteFileA(JournalPath().c_str());

    ProgramRun run = RunInstaller(IDYES);
    FreeLibrary(held);
    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.result.text, TEXT_SETUP_DONE);
    EXPECT_EQ(run.exitCode, 0u);
    printf("benchmark: reinstallation over the running kit %lu ms from Yes to the result box\n",
           (unsigned long)run.sequenceMs);

    EXPECT_NE(manager.Wait(5000), (DWORD)STILL_ACTIVE) << "the manager was closed through -u";
    EXPECT_EQ(FindWindowA("#32770", MAIN_WINDOW_TITLE), (HWND)NULL);
    EXPECT_FALSE(IsWindow(oldTray)) << "the old tray client was closed through -u";
    EXPECT_NE(WaitForWindow("#32770", "KeyTray", 15000), (HWND)NULL) << "and the new one started";

    std::vector<std::string> aside = FindFiles(KitDir(), "KeyCsp*.OBK");
    ASSERT_EQ(aside.size(), 1u) << "the held library is set aside";
    EXPECT_TRUE(IsAsideNameFor(aside[0].c_str(), "KeyCsp.dll")) << aside[0];
    ExpectEveryPayloadFileWritten();
    ExpectRegistration();

    EXPECT_EQ(ReadJournal(), "unregister " + control + "\r\n") << "the old copy unregistered itself";
    EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, ClassServerKey(Controls[1].classId).c_str(), NULL).data
                == TextValueBytes(control)) << "and the new one registered after it";
}

TEST(SetupProgram, Step5_AFailedCertificateImportIsReportedAfterEveryStep)
{
    // Held open with no sharing: the old file can be neither deleted, nor replaced, nor read.
    HANDLE root = CreateFileA(KitFile("rootca.cer").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(root, INVALID_HANDLE_VALUE);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_KEY);
    ProgramRun run = RunInstaller(IDYES);
    CloseHandle(root);
    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.result.text, TEXT_SETUP_FAILED);
    EXPECT_EQ(run.result.icon, (UINT)MB_ICONWARNING);
    EXPECT_EQ(run.exitCode, 0u);
    // The steps after the imports still ran.
    EXPECT_NE(WaitForWindow("#32770", "KeyTray", 15000), (HWND)NULL);
    EXPECT_TRUE(FileExists(KitMenuFolder() + MANAGER_LINK));
    ExpectRegistration();
}

TEST(SetupProgram, Step5b_AFileThatCannotBeWrittenIsReportedAfterEveryStep)
{
    // A payload file held open for reading by another program: it can be neither deleted, nor set
    // aside, nor written, while the certificates import as before.
    const std::string held = KitFile("DevIfd.dll");
    const std::vector<unsigned char> before = ReadBytes(held);
    HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_KEY);
    ProgramRun run = RunInstaller(IDYES);
    CloseHandle(file);
    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.result.text, TEXT_SETUP_FAILED);
    EXPECT_EQ(run.result.icon, (UINT)MB_ICONWARNING);
    EXPECT_TRUE(ReadBytes(held) == before);
    EXPECT_TRUE(FindFiles(KitDir(), "DevIfd*.OBK").empty());
    // The steps after the payload still ran.
    ExpectRegistration();
}

TEST(SetupProgram, Step6_TheUninstallersCopyRunsFromANewFolderOfItsOwn)
{
    // A file the user put at a name that the uninstaller once used stays as it was.
    std::string userFile = TempFolder() + "KeyUninstallProbe.tmp";
    const std::vector<unsigned char> userBytes = { 'm', 'i', 'n', 'e' };
    ASSERT_TRUE(WriteBytes(userFile, userBytes));
    std::vector<std::string> before = TempEntries();
    std::string folders[2];
    for (std::string& folder : folders) {
        ProgramRun run = RunConfirmed(KitFile("KeyUninstall.exe"), UNINSTALL_CAPTION, IDNO);
        EXPECT_FALSE(run.resultShown);
        const std::string& copy = run.boxProgram;
        std::string temp = TempFolder();
        ASSERT_GT(copy.size(), temp.size());
        ASSERT_EQ(lstrcmpiA(copy.substr(0, temp.size()).c_str(), temp.c_str()), 0) << copy;
        size_t slash = copy.find('\\', temp.size());
        ASSERT_NE(slash, std::string::npos) << copy << " lies in a folder of its own";
        folder = copy.substr(temp.size(), slash - temp.size());
        EXPECT_EQ(std::find(before.begin(), before.end(), folder), before.end()) << folder << " was there before";
    }
    EXPECT_NE(folders[0], folders[1]);
    EXPECT_EQ(LeftInTemp(before), std::vector<std::string>());
    EXPECT_TRUE(ReadBytes(userFile) == userBytes);
    DeleteFileA(userFile.c_str());
    EXPECT_TRUE(FileExists(KitFile("KeyUninstall.exe"))) << "declined, the uninstaller removes nothing";
}

TEST(SetupProgram, Step7_TheUninstallerLeavesNothingOfTheKit)
{
    // In the 64-bit prefix through the relocated copy, as the Start menu starts it; in the 32-bit
    // one with the switch that makes it run in place and wait, as a removal script would.
    bool waiting = !IsRunningUnderWow64();
    std::vector<std::string> before = TempEntries();
    ProgramRun run = RunConfirmed(KitFile("KeyUninstall.exe"), UNINSTALL_CAPTION, IDYES, 120000, waiting ? "-wait" : "");
    EXPECT_EQ(run.confirmation.text, TEXT_UNINSTALL_CONFIRM);
    ASSERT_TRUE(run.resultShown);
    EXPECT_EQ(run.exitCode, 0u);
    if (waiting) {
        EXPECT_EQ(run.result.text, TEXT_UNINSTALL_MARKED) << "its own file";
        ExpectNothingOfTheKit(NULL, "KeyUninstall.exe");
    } else {
        EXPECT_EQ(run.result.text, TEXT_UNINSTALL_DONE);
        ExpectNothingOfTheKit(NULL);
    }
    EXPECT_EQ(LeftInTemp(before), std::vector<std::string>());
    EXPECT_TRUE(WaitForWindowGone("#32770", "KeyTray", 10000));

    // The authority's certificates stay trusted.
    HMODULE setup = LoadSetupResources();
    EXPECT_EQ(CountInMachineStore("Root", ResourceBytes(setup, "DLL", 215)), 1);
    EXPECT_EQ(CountInMachineStore("CA", ResourceBytes(setup, "DLL", 216)), 1);
}

TEST(SetupProgram, Step8_APathOnTheUninstallersCommandLineIsNotDeleted)
{
    // Any program can start the genuine uninstaller so; the user sees only the usual boxes.
    std::string victim = KitFile("victim.dll");
    ASSERT_TRUE(WriteBytes(victim, { 'M', 'Z' }));
    ScratchFolder elsewhere("uninstaller-elsewhere");
    ASSERT_TRUE(CopyFileA(BuildFile("standins/payload/bin/KeyUninstall.exe").c_str(),
                          elsewhere.File("KeyUninstall.exe").c_str(), FALSE));
    ProgramRun run = RunConfirmed(elsewhere.File("KeyUninstall.exe"), UNINSTALL_CAPTION, IDYES, 120000,
                                  "-relocated 0 \"" + victim + "\"");
    ASSERT_TRUE(run.resultShown);
    EXPECT_TRUE(FileExists(victim));
    DeleteFileA(victim.c_str());
}
