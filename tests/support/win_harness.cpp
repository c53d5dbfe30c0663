// Scratch folders, file bytes and cross-process helpers for the tests under Wine.
#include "win_harness.h"

#include <commctrl.h>
#include <string.h>

std::string WindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string BuildFile(const std::string& relative)
{
    // Test programs live in <build>/tests; the build's root is one level up.
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, self, sizeof self);
    // A cut path would name files in the wrong folder; none at all makes the caller fail plainly.
    if (n == 0 || n >= sizeof self)
        return "";
    std::string dir(self, n);
    dir = dir.substr(0, dir.find_last_of('\\'));
    dir = dir.substr(0, dir.find_last_of('\\'));
    std::string rel = relative;
    for (char& c : rel)
        if (c == '/')
            c = '\\';
    return dir + "\\" + rel;
}

std::string TempFolder()
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    // Too long a path is not written at all: n is then the size it needs.
    if (n == 0 || n >= sizeof temp)
        return "";
    return std::string(temp, n);
}

Program::~Program()
{
    if (started) {
        Kill();
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
}

DWORD Program::Wait(DWORD timeoutMs)
{
    if (!started)
        return STILL_ACTIVE;
    WaitForSingleObject(info.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
}

void Program::Kill()
{
    if (started && Wait(0) == STILL_ACTIVE) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, 5000);
    }
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

ScratchFolder::ScratchFolder(const std::string& name)
{
    path = TempFolder() + "kit-test-" + name;
    // Left over from a run that was cut short.
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
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    DWORD size = GetFileSize(file, NULL);
    bytes.resize(size);
    DWORD read = 0;
    if (size && !ReadFile(file, bytes.data(), size, &read, NULL))
        read = 0;
    bytes.resize(read);
    CloseHandle(file);
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
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool StartProgram(Program& program, const std::string& exe, const std::string& arguments,
                  const std::string& directory)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::string dir = directory.empty() ? exe.substr(0, exe.find_last_of('\\')) : directory;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    program.started = CreateProcessA(exe.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL,
                                     dir.c_str(), &startup, &program.info) != FALSE;
    return program.started;
}

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowA(className, title);
        if (window)
            return window;
        if (GetTickCount() - start > timeoutMs)
            return NULL;
        Sleep(50);
    }
}

bool WaitForWindowGone(const char* className, const char* title, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (FindWindowA(className, title)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

void WaitIdle(const Program& program, DWORD timeoutMs)
{
    WaitForInputIdle(program.info.hProcess, timeoutMs);
}

bool IsControlEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool IsControlVisible(HWND dialog, int id)
{
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

// Sent rather than GetWindowTextA, which reads no control text of another process; sized by its
// length so that a long text is never cut.
static std::string SentText(HWND control)
{
    LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return "";
    // A Unicode control may count characters; each takes at most two bytes in the ANSI code page.
    std::vector<char> text(2 * (size_t)length + 1, '\0');
    LRESULT copied = SendMessageA(control, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)text.data());
    if (copied <= 0)
        return "";
    return std::string(text.data(), (size_t)copied < text.size() ? (size_t)copied : text.size() - 1);
}

std::string ControlText(HWND dialog, int id)
{
    return SentText(GetDlgItem(dialog, id));
}

// TVM_GETITEMA carries pointers, so the item record and its text buffer must live in the
// tree's own process.
std::vector<TreeItemInfo> ReadTree(HWND tree)
{
    std::vector<TreeItemInfo> items;
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return items;
    const SIZE_T textSize = 512;
    BYTE* remote = (BYTE*)VirtualAllocEx(process, NULL, sizeof(TVITEMA) + textSize, MEM_COMMIT, PAGE_READWRITE);
    // Without it the tree would be handed a null item record.
    if (!remote) {
        CloseHandle(process);
        return items;
    }
    HTREEITEM selected = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);

    struct Pending { HTREEITEM item; int depth; };
    std::vector<Pending> stack;
    HTREEITEM root = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    // Depth-first in display order: siblings pushed in reverse so the first is read first.
    std::vector<HTREEITEM> level;
    for (HTREEITEM i = root; i; i = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)i))
        level.push_back(i);
    for (auto it = level.rbegin(); it != level.rend(); ++it)
        stack.push_back({ *it, 0 });
    while (!stack.empty()) {
        Pending p = stack.back();
        stack.pop_back();
        TVITEMA item;
        ZeroMemory(&item, sizeof item);
        item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_STATE | TVIF_HANDLE;
        item.hItem = p.item;
        item.stateMask = TVIS_EXPANDED | TVIS_SELECTED;
        item.pszText = (LPSTR)(remote + sizeof(TVITEMA));
        item.cchTextMax = (int)textSize;
        WriteProcessMemory(process, remote, &item, sizeof item, NULL);
        WriteProcessMemory(process, remote + sizeof(TVITEMA), "", 1, NULL);
        SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)remote);
        char text[textSize] = "";
        ReadProcessMemory(process, remote, &item, sizeof item, NULL);
        ReadProcessMemory(process, remote + sizeof(TVITEMA), text, sizeof text - 1, NULL);
        text[sizeof text - 1] = '\0';
        items.push_back({ text, p.depth, item.iImage, p.item == selected, (item.state & TVIS_EXPANDED) != 0 });

        std::vector<HTREEITEM> children;
        for (HTREEITEM c = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)p.item); c;
             c = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)c))
            children.push_back(c);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back({ *it, p.depth + 1 });
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
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

// A size x size square of dc, row by row.
static std::vector<COLORREF> ReadPixels(HDC dc, int left, int top, int size)
{
    std::vector<COLORREF> pixels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            pixels.push_back(GetPixel(dc, left + x, top + y));
    return pixels;
}

UINT ShownMessageBoxIcon(HWND box)
{
    static const struct { LPCSTR id; UINT style; } icons[] = {
        { IDI_EXCLAMATION, MB_ICONWARNING }, { IDI_ASTERISK, MB_ICONINFORMATION },
        { IDI_HAND, MB_ICONERROR },          { IDI_QUESTION, MB_ICONQUESTION },
    };
    HWND shownIcon = GetWindow(box, GW_CHILD);
    while (shownIcon && (GetWindowLongA(shownIcon, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        shownIcon = GetWindow(shownIcon, GW_HWNDNEXT);
    if (!shownIcon)
        return 0;
    SetForegroundWindow(box);
    RedrawWindow(box, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);
    // Read from the screen: another process's window surface is not readable through its DC.
    const int size = GetSystemMetrics(SM_CXICON);
    RECT at;
    GetWindowRect(shownIcon, &at);
    HDC screen = GetDC(NULL);
    std::vector<COLORREF> shown = ReadPixels(screen, at.left, at.top, size);
    // Each system icon drawn here over the same background; the nearest in colour is the one shown.
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH background = CreateSolidBrush(shown[0]);
    RECT all = { 0, 0, size, size };
    UINT nearest = 0;
    long best = -1;
    for (const auto& icon : icons) {
        FillRect(dc, &all, background);
        DrawIconEx(dc, 0, 0, LoadIconA(NULL, icon.id), size, size, 0, NULL, DI_NORMAL);
        std::vector<COLORREF> drawn = ReadPixels(dc, 0, 0, size);
        long distance = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            distance += labs((long)GetRValue(shown[i]) - GetRValue(drawn[i]))
                        + labs((long)GetGValue(shown[i]) - GetGValue(drawn[i]))
                        + labs((long)GetBValue(shown[i]) - GetBValue(drawn[i]));
        if (best < 0 || distance < best) {
            best = distance;
            nearest = icon.style;
        }
    }
    SelectObject(dc, old);
    DeleteObject(background);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    return nearest;
}

bool WaitForMessageBox(const char* caption, DWORD timeoutMs, SeenMessageBox* seen)
{
    DWORD start = GetTickCount();
    BoxSearch search = { caption, NULL };
    for (;;) {
        EnumWindows(FindBox, (LPARAM)&search);
        if (search.found)
            break;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    if (seen) {
        HWND box = search.found;
        seen->box = box;
        seen->owner = GetWindow(box, GW_OWNER);
        seen->caption = caption;
        seen->text = ControlText(box, 0xFFFF);
        seen->buttons.clear();
        for (int id : { IDOK, IDCANCEL, IDYES, IDNO })
            if (GetDlgItem(box, id))
                seen->buttons.push_back(id);
    }
    return true;
}

void PressButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}
