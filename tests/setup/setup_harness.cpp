// Scratch folders, file bytes and the built installer's resources for the installer's tests.
#include "setup_harness.h"

#include <shlobj.h>
#include <wincrypt.h>

#include "win_harness.h"

static void RemoveFolder(const std::string& path)
{
    for (const std::string& name : FindFiles(path, "*")) {
        std::string file = path + "\\" + name;
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
    RemoveDirectoryA(path.c_str());
}

ScratchFolder::ScratchFolder(const std::string& name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    path = std::string(temp) + "kit-setup-" + name;
    // Left over from a run that was cut short.
    RemoveFolder(path);
    CreateDirectoryA(path.c_str(), NULL);
}

ScratchFolder::~ScratchFolder()
{
    RemoveFolder(path);
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

HMODULE LoadSetupResources()
{
    static HMODULE module = LoadLibraryExA(BuildFile("setup/KeySetup.exe").c_str(), NULL,
                                           LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::vector<unsigned char> ResourceBytes(HMODULE module, const char* type, int id)
{
    std::vector<unsigned char> bytes;
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (!found)
        return bytes;
    HGLOBAL loaded = LoadResource(module, found);
    const unsigned char* data = (const unsigned char*)LockResource(loaded);
    if (data)
        bytes.assign(data, data + SizeofResource(module, found));
    return bytes;
}

RegistryValue ReadRegistryValue(HKEY root, const char* path, const char* name, REGSAM extraAccess)
{
    RegistryValue value;
    HKEY key = NULL;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | extraAccess, &key) != ERROR_SUCCESS)
        return value;
    unsigned char buffer[4096];
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key, name, NULL, &value.type, buffer, &size) == ERROR_SUCCESS) {
        value.present = true;
        value.data.assign(buffer, buffer + size);
    }
    RegCloseKey(key);
    return value;
}

bool RegistryKeyExists(HKEY root, const char* path, REGSAM extraAccess)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | extraAccess, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<unsigned char> TextValueBytes(const std::string& text)
{
    return std::vector<unsigned char>(text.c_str(), text.c_str() + text.size() + 1);
}

ShellLinkInfo ReadShellLink(const std::string& path)
{
    ShellLinkInfo link;
    CoInitialize(NULL);
    IShellLinkA* shellLink = NULL;
    IPersistFile* file = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&shellLink))
        && SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, (void**)&file))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            char text[MAX_PATH] = "";
            link.loaded = true;
            shellLink->GetPath(text, sizeof text, NULL, 0);
            link.target = text;
            text[0] = '\0';
            shellLink->GetArguments(text, sizeof text);
            link.arguments = text;
        }
    }
    if (file)
        file->Release();
    if (shellLink)
        shellLink->Release();
    CoUninitialize();
    return link;
}

std::string CommonProgramsFolder()
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return folder;
}

int CountInMachineStore(const char* storeName, const std::vector<unsigned char>& der)
{
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, storeName);
    if (!store)
        return 0;
    int count = 0;
    for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store, NULL); c; c = CertEnumCertificatesInStore(store, c))
        if (c->cbCertEncoded == der.size() && memcmp(c->pbCertEncoded, der.data(), der.size()) == 0)
            ++count;
    CertCloseStore(store, 0);
    return count;
}

// Pixels of a square area, row by row.
static std::vector<COLORREF> ReadPixels(HDC dc, int left, int top, int size)
{
    std::vector<COLORREF> pixels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            pixels.push_back(GetPixel(dc, left + x, top + y));
    return pixels;
}

static std::vector<COLORREF> RenderIcon(HICON icon, COLORREF background, int size)
{
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = { 0, 0, size, size };
    FillRect(dc, &all, brush);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, NULL, DI_NORMAL);
    std::vector<COLORREF> pixels = ReadPixels(dc, 0, 0, size);
    SelectObject(dc, old);
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    return pixels;
}

static long Distance(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b)
{
    long sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        sum += labs((long)GetRValue(a[i]) - GetRValue(b[i])) + labs((long)GetGValue(a[i]) - GetGValue(b[i]))
               + labs((long)GetBValue(a[i]) - GetBValue(b[i]));
    return sum;
}

UINT ShownMessageBoxIcon(HWND box)
{
    static const struct { LPCSTR id; UINT style; } icons[] = {
        { IDI_EXCLAMATION, MB_ICONWARNING }, { IDI_ASTERISK, MB_ICONINFORMATION },
        { IDI_HAND, MB_ICONERROR },          { IDI_QUESTION, MB_ICONQUESTION },
    };
    const int size = GetSystemMetrics(SM_CXICON);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        SetForegroundWindow(box);
        RedrawWindow(box, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(200);
        // Read from the screen: another process's window surface is not readable through its DC.
        RECT at;
        GetWindowRect(child, &at);
        HDC screen = GetDC(NULL);
        std::vector<COLORREF> shown = ReadPixels(screen, at.left, at.top, size);
        ReleaseDC(NULL, screen);
        UINT nearest = 0;
        long best = -1;
        for (const auto& icon : icons) {
            long distance = Distance(shown, RenderIcon(LoadIconA(NULL, icon.id), shown[0], size));
            if (best < 0 || distance < best) {
                best = distance;
                nearest = icon.style;
            }
        }
        return nearest;
    }
    return 0;
}
