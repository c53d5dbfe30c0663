// Scratch folders, file bytes, registry and resources for the installer's tests, and their fixtures.
#include "setup_harness.h"

#include <shlobj.h>
#include <wincrypt.h>

#include "win_harness.h"

ScratchFolder::ScratchFolder(const std::string& name)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    path = std::string(temp) + "kit-setup-" + name;
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

std::string SetupProgramFile()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KIT_SETUP_EXE", path, sizeof path);
    return n > 0 && n < sizeof path ? std::string(path, n) : BuildFile("setup/KeySetup.exe");
}

HMODULE LoadSetupResources()
{
    static HMODULE module = LoadLibraryExA(SetupProgramFile().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
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

void ExpectCspRegistration(HKEY root, const std::string& imagePath, const std::string& trayPath)
{
    const std::vector<unsigned char> zero = { 0, 0, 0, 0 }, one = { 1, 0, 0, 0 };
    const bool user = root == HKEY_CURRENT_USER;
    const struct { const char* name; DWORD type; std::vector<unsigned char> data; bool userOnly; } values[] = {
        { "Image Path", REG_SZ, TextValueBytes(imagePath), false },
        { "Type", REG_DWORD, one, false },
        { "KeyEvent", REG_DWORD, zero, true },
        { "PinTimeout", REG_DWORD, zero, true },
        { "Signature", REG_BINARY, std::vector<unsigned char>(CspSignature, CspSignature + CSP_SIGNATURE_SIZE), false },
    };
    const char* where = user ? "user key: " : "machine key: ";
    for (const auto& want : values) {
        RegistryValue got = ReadRegistryValue(root, CSP_KEY, want.name);
        if (want.userOnly && !user) {
            EXPECT_FALSE(got.present) << where << want.name << " belongs to the user key only";
            continue;
        }
        ASSERT_TRUE(got.present) << where << want.name;
        EXPECT_EQ(got.type, want.type) << where << want.name;
        EXPECT_TRUE(got.data == want.data) << where << want.name;
    }
    if (!user) {
        RegistryValue run = ReadRegistryValue(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE);
        EXPECT_EQ(run.type, (DWORD)REG_SZ) << "Run value";
        EXPECT_TRUE(run.data == TextValueBytes(trayPath)) << "Run value";
    }
}

void RemoveCspRegistration()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, CSP_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY);
    HKEY run = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, RUN_VALUE);
        RegCloseKey(run);
    }
}

void CspRegistryFixture::SetUp()
{
    saved = CspRegistry;
    RemoveCspRegistration();
}

void CspRegistryFixture::TearDown()
{
    CspRegistry = saved;
    RemoveCspRegistration();
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
        // A path that does not fit is left unterminated by the conversion: no link read then.
        if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) != 0
            && SUCCEEDED(file->Load(wide, STGM_READ))) {
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

std::string KitMenuFolder()
{
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return folder + std::string(SHORTCUT_FOLDER);
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

std::vector<DWORD> RecordedPauses;

static void WINAPI RecordPause(DWORD milliseconds)
{
    RecordedPauses.push_back(milliseconds);
}

static DWORD WINAPI FixedTick(void)
{
    return DeployTick;
}

std::vector<std::string> ProtectedPaths;

static int IsInProtectedPaths(const char* path)
{
    for (const std::string& protectedPath : ProtectedPaths)
        if (lstrcmpiA(protectedPath.c_str(), path) == 0)
            return 1;
    return 0;
}

void DeployFixture::SetUp()
{
    savedClock = DeployClock;
    DeployClock.pause = RecordPause;
    DeployClock.tick = FixedTick;
    RecordedPauses.clear();
    savedProtection = IsSystemProtectedFile;
    IsSystemProtectedFile = IsInProtectedPaths;
    ProtectedPaths.clear();
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder.reset(new ScratchFolder(std::string(test->test_suite_name()) + "-" + test->name()));
    ZeroMemory(&context, sizeof context);
    lstrcpynA(context.targetDir, folder->Path().c_str(), sizeof context.targetDir);
    setup = LoadSetupResources();
    ASSERT_NE(setup, (HMODULE)NULL) << "build setup/KeySetup.exe first";
}

void DeployFixture::TearDown()
{
    DeployClock = savedClock;
    IsSystemProtectedFile = savedProtection;
    folder.reset();
}
