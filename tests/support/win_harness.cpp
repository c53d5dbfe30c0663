// Scratch folders, file bytes and cross-process helpers for the tests under Wine.
#include "win_harness.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "system_dir.h"

static std::string Backslashed(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string WindowsPath(const std::string& unixPath)
{
    return Backslashed("Z:" + unixPath);
}

// Test programs live in <build>/tests; a cut path names no file at all, so the caller fails plainly.
std::string BuildFile(const std::string& relative)
{
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, self, sizeof self);
    if (n == 0 || n >= sizeof self)
        return "";
    std::string dir(self, n);
    dir = dir.substr(0, dir.find_last_of('\\'));
    return dir.substr(0, dir.find_last_of('\\')) + "\\" + Backslashed(relative);
}

std::string KitFile(const std::string& name)
{
    char dir[MAX_PATH];
    return GetKitDirectory(dir, sizeof dir) ? std::string(dir) + "\\" + name : "";
}

std::string TempFolder()
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    return n == 0 || n >= sizeof temp ? "" : std::string(temp, n);
}

Program::~Program()
{
    if (!started)
        return;
    if (Wait(0) == STILL_ACTIVE) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

DWORD Program::Wait(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (started && WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_FAILED)
        GetExitCodeProcess(info.hProcess, &code);
    return code;
}

void RemoveTree(const std::string& path)
{
    std::string from = path + '\0';   // the list ends with two zeros
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationA(&operation);
}

// Left over from a run that was cut short, if there.
ScratchFolder::ScratchFolder(const std::string& name) : path(TempFolder() + "kit-test-" + name)
{
    RemoveTree(path);
    CreateDirectoryA(path.c_str(), NULL);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE) {
        bytes.resize(GetFileSize(file, NULL));
        if (bytes.empty() || !ReadFile(file, bytes.data(), (DWORD)bytes.size(), &read, NULL))
            read = 0;
        CloseHandle(file);
    }
    bytes.resize(read);
    return bytes;
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    FindClose(search);
    return names;
}

bool StartProgram(Program& program, const std::string& exe, const std::string& arguments,
                  const std::string& directory)
{
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::string dir = directory.empty() ? exe.substr(0, exe.find_last_of('\\')) : directory;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    program.started = CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, dir.c_str(),
                                     &startup, &program.info) != FALSE;
    return program.started;
}

// Checks done every 50 ms until it holds or the time is up.
template <class Check> static bool PollUntil(DWORD timeoutMs, Check done)
{
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
}

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs)
{
    HWND window = NULL;
    PollUntil(timeoutMs, [&] { return (window = FindWindowA(className, title)) != NULL; });
    return window;
}

bool WaitForWindowGone(const char* className, const char* title, DWORD timeoutMs)
{
    return PollUntil(timeoutMs, [&] { return !FindWindowA(className, title); });
}

void WaitIdle(const Program& program, DWORD timeoutMs)
{
    WaitForInputIdle(program.info.hProcess, timeoutMs);
}

bool IsControlEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// Sent: GetWindowTextA reads no control text of another process. A Unicode control may count
// characters; each takes at most two bytes in the ANSI code page.
std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text(2 * (size_t)(length > 0 ? length : 0) + 1, '\0');
    LRESULT copied = length > 0 ? SendMessageA(control, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)text.data()) : 0;
    return std::string(text.data(), copied <= 0 ? 0 : (size_t)copied < text.size() ? (size_t)copied : text.size() - 1);
}

// TVM_GETITEMA carries pointers, so the item record and its text buffer must live in the
// tree's own process.
static void ReadItems(HWND tree, HANDLE process, BYTE* remote, HTREEITEM first, int depth,
                      std::vector<TreeItemInfo>& items)
{
    const int textSize = 512;
    for (HTREEITEM i = first; i; i = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)i)) {
        TVITEMA item = {};
        item.mask = TVIF_TEXT | TVIF_HANDLE;
        item.hItem = i;
        item.pszText = (LPSTR)(remote + sizeof(TVITEMA));
        item.cchTextMax = textSize;
        WriteProcessMemory(process, remote, &item, sizeof item, NULL);
        WriteProcessMemory(process, remote + sizeof(TVITEMA), "", 1, NULL);
        SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)remote);
        char text[textSize] = "";
        ReadProcessMemory(process, remote + sizeof(TVITEMA), text, sizeof text - 1, NULL);
        items.push_back({ text, depth });
        ReadItems(tree, process, remote, (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)i),
                  depth + 1, items);
    }
}

std::vector<TreeItemInfo> ReadTree(HWND tree)
{
    std::vector<TreeItemInfo> items;
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    BYTE* remote = process ? (BYTE*)VirtualAllocEx(process, NULL, sizeof(TVITEMA) + 512, MEM_COMMIT, PAGE_READWRITE)
                           : NULL;
    if (remote) {
        ReadItems(tree, process, remote, (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0), 0, items);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    if (process)
        CloseHandle(process);
    return items;
}

struct BoxSearch {
    const char* caption;
    HWND found;
};

static BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    BoxSearch* search = (BoxSearch*)param;
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    char caption[256] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (strcmp(caption, search->caption) != 0 || !GetDlgItem(window, 0xFFFF))
        return TRUE;
    search->found = window;
    return FALSE;
}

bool WaitForMessageBox(const char* caption, DWORD timeoutMs, SeenMessageBox* seen)
{
    BoxSearch search = { caption, NULL };
    if (!PollUntil(timeoutMs, [&] { return EnumWindows(FindBox, (LPARAM)&search), search.found != NULL; }))
        return false;
    if (seen) {
        HWND box = search.found;
        seen->box = box;
        seen->caption = caption;
        seen->text = ControlText(box, 0xFFFF);
    }
    return true;
}

void PressButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}
