// In-memory token libraries for unit tests: file trees, scripted PIN answers, a call log.
#include "fake_token.h"

#include <ctype.h>
#include <string.h>

#include "manager.h"

namespace fake {

static Token TheToken;

// Each open handle's current directory and file (empty: none).
struct Cursor {
    FilePath directory;
    FilePath file;
};
static std::map<int, Cursor> Cursors;

Token& Instance()
{
    return TheToken;
}

static Key* KeyOf(int handle)
{
    if (handle < 1 || handle > 4)
        return nullptr;
    Key& key = TheToken.keys[handle - 1];
    return key.present ? &key : nullptr;
}

// Records the call; true when the test's intercept answers it instead, in *result and *status.
static bool Answered(const char* name, int handle, std::vector<int> args, const void* data, int length,
                     int* result, unsigned short* status = nullptr)
{
    Call call;
    call.name = name;
    call.handle = handle;
    call.args = args;
    if (data && length > 0)
        call.data.assign((const unsigned char*)data, (const unsigned char*)data + length);
    TheToken.calls.push_back(call);
    *result = 0;
    return TheToken.intercept && TheToken.intercept(TheToken.calls.back(), result, status);
}

static int WINAPI FakeOpen(int slot)
{
    int result;
    if (Answered("QZ_Open", 0, { slot }, nullptr, 0, &result))
        return result;
    if (slot < 0 || slot > 3)
        return 0;
    Key& key = TheToken.keys[slot];
    if (key.openResult != 0 || !key.present)
        return key.openResult;
    Cursors[slot + 1] = Cursor();
    TheToken.openKeys++;
    return slot + 1;
}

static int WINAPI FakeClose(int handle)
{
    int result;
    if (Answered("QZ_Close", handle, {}, nullptr, 0, &result))
        return result;
    if (handle > 0)
        TheToken.openKeys--;
    return 0;
}

static int WINAPI FakeReset(int handle, unsigned char* answer)
{
    int result;
    if (Answered("QZ_IC_RESET", handle, {}, nullptr, 0, &result))
        return result;
    if (answer)
        memset(answer, 0x3B, 8);
    Cursors[handle] = Cursor();
    return KeyOf(handle) ? 0 : -1;
}

static int WINAPI FakeSelect(int handle, int p1, int p2, int length, const unsigned char* data,
                             unsigned short* status)
{
    int result;
    if (Answered("Select_File", handle, { p1, p2, length }, data, length, &result, status))
        return result;
    Key* key = KeyOf(handle);
    if (!key) {
        *status = 0x6A82;
        return -1;
    }
    Cursor& cursor = Cursors[handle];
    *status = 0x9000;
    if (p1 == 0) {
        cursor = Cursor();
        return 0;
    }
    if (length != 2 || !data) {
        *status = 0x6700; // wrong length
        return 0;
    }
    FilePath path = cursor.directory;
    path.push_back((unsigned)data[0] << 8 | data[1]);
    if (p1 == 1 && key->directories.count(path))
        cursor = { path, {} };
    else if (p1 == 2 && key->files.count(path))
        cursor.file = path;
    else
        *status = 0x6A82; // file not found
    return 0;
}

static int WINAPI FakeRead(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                           unsigned char* destination, unsigned short* status)
{
    int result;
    if (Answered("Read_Binary", handle, { mode, offsetHigh, offset, reserved, count }, nullptr, 0, &result, status))
        return result;
    Key* key = KeyOf(handle);
    Cursor& cursor = Cursors[handle];
    if (!key || cursor.file.empty()) {
        *status = 0x6986; // no current file
        return 0;
    }
    const std::vector<unsigned char>& raw = key->files[cursor.file];
    if (count < 0 || count > 128 || offset < 0) {
        *status = 0x6700;
        return 0;
    }
    if ((size_t)offset + (size_t)count > raw.size()) {
        *status = 0x6B00; // wrong offset
        return 0;
    }
    memcpy(destination, raw.data() + offset, (size_t)count);
    *status = 0x9000;
    return count;
}

static int WINAPI FakeSerial(int handle, unsigned char* serial)
{
    int result;
    if (Answered("QZ_GET_BCDSN", handle, {}, nullptr, 0, &result))
        return result;
    Key* key = KeyOf(handle);
    if (!key)
        return -1;
    memcpy(serial, key->serial, 4);
    return 0;
}

// The next scripted answer of a present key, or fallback.
static int NextAnswer(int handle, std::vector<int> Key::*answers, int fallback)
{
    Key* key = KeyOf(handle);
    if (!key || (key->*answers).empty())
        return fallback;
    int answer = (key->*answers).front();
    (key->*answers).erase((key->*answers).begin());
    return answer;
}

static int WINAPI FakeVerify(int handle, const unsigned char* pin, int length)
{
    int result;
    if (Answered("QZ_VerifyPinUpDatePinInfoFile", handle, { length }, pin, length, &result))
        return result;
    return NextAnswer(handle, &Key::verifyResults, -2);
}

static int WINAPI FakeChange(int handle, int length, const unsigned char* data)
{
    int result;
    if (Answered("QZ_ChangePin", handle, { length }, data, length, &result))
        return result;
    return NextAnswer(handle, &Key::changeResults, -1000);
}

static int WINAPI FakeRegister(void* window, int flags)
{
    int result;
    if (Answered("QZ_RegisterCardNotification", 0, { flags }, nullptr, 0, &result))
        return result;
    TheToken.registeredWindow = window;
    TheToken.registrations++;
    return 0;
}

static int WINAPI FakeUnregister(void)
{
    int result;
    if (Answered("QZ_UnregisterCardNotification", 0, {}, nullptr, 0, &result))
        return result;
    TheToken.registeredWindow = nullptr;
    TheToken.unregistrations++;
    return 0;
}

static int WINAPI FakeIsDevice(const char* path)
{
    int result;
    if (Answered("QZ_IsQZDevice", 0, {}, path, (int)strlen(path), &result))
        return result;
    std::string upper(path);
    for (char& ch : upper)
        ch = (char)toupper((unsigned char)ch);
    return upper.find("VID_5E2B&PID_0001") != std::string::npos;
}

static int WINAPI FakeHexToDec(const char* hex, char* decimal)
{
    int result;
    if (Answered("HexToDec", 0, {}, hex, (int)strlen(hex), &result))
        return result;
    std::string text = "0"; // most significant digit first
    for (; isxdigit((unsigned char)*hex); ++hex) {
        int carry = isdigit((unsigned char)*hex) ? *hex - '0' : tolower((unsigned char)*hex) - 'a' + 10;
        for (auto d = text.rbegin(); d != text.rend(); ++d) {
            int x = (*d - '0') * 16 + carry;
            *d = (char)('0' + x % 10);
            carry = x / 10;
        }
        for (; carry; carry /= 10)
            text.insert(text.begin(), (char)('0' + carry % 10));
    }
    if (text.size() >= 512)
        return -1;
    memcpy(decimal, text.c_str(), text.size() + 1);
    return 0;
}

static int WINAPI FakeUnused(void)
{
    return -1;
}

static const char* const Libraries[] = { "KeyCmd.dll", "KeyDev.dll", "KeyNum.dll" };

static const struct {
    int library; // index in Libraries
    const char* name;
    FARPROC address;
} Entries[] = {
    { 0, "QZ_Open", (FARPROC)(void*)FakeOpen },          { 0, "QZ_Close", (FARPROC)(void*)FakeClose },
    { 0, "QZ_IC_RESET", (FARPROC)(void*)FakeReset },     { 0, "QZ_GET_SN", (FARPROC)(void*)FakeUnused },
    { 0, "QZ_StoreCert", (FARPROC)(void*)FakeUnused },   { 0, "Read_Binary", (FARPROC)(void*)FakeRead },
    { 0, "Select_File", (FARPROC)(void*)FakeSelect },    { 0, "Update_Binary", (FARPROC)(void*)FakeUnused },
    { 0, "QZ_DeleteCert", (FARPROC)(void*)FakeUnused },  { 0, "QZ_GET_BCDSN", (FARPROC)(void*)FakeSerial },
    { 0, "QZ_ClearDir", (FARPROC)(void*)FakeUnused },    { 0, "QZ_ChangePin", (FARPROC)(void*)FakeChange },
    { 0, "QZ_VerifyPinUpDatePinInfoFile", (FARPROC)(void*)FakeVerify },
    { 0, "QZ_AddCertToIE", (FARPROC)(void*)FakeUnused }, { 0, "QZ_DelCertFrIE", (FARPROC)(void*)FakeUnused },
    { 0, "QZ_ReloadUserPin", (FARPROC)(void*)FakeUnused }, { 0, "QZ_InitialCard", (FARPROC)(void*)FakeUnused },
    { 1, "QZ_RegisterCardNotification", (FARPROC)(void*)FakeRegister },
    { 1, "QZ_UnregisterCardNotification", (FARPROC)(void*)FakeUnregister },
    { 1, "QZ_IsQZDevice", (FARPROC)(void*)FakeIsDevice },  { 1, "QZ_GetReaderList", (FARPROC)(void*)FakeUnused },
    { 1, "QZ_DestroyReaderList", (FARPROC)(void*)FakeUnused }, { 2, "HexToDec", (FARPROC)(void*)FakeHexToDec },
};

// Fake module handles: small odd numbers no real module has.
static HMODULE ModuleOf(int index)
{
    return (HMODULE)(uintptr_t)(0x10001 + 2 * index);
}

static int LibraryIndex(HMODULE module)
{
    for (int i = 0; i < 3; ++i)
        if (ModuleOf(i) == module)
            return i;
    return -1;
}

static HMODULE WINAPI FakeLoad(LPCSTR name)
{
    for (int i = 0; i < 3; ++i) {
        if (lstrcmpiA(name, Libraries[i]) == 0 && !TheToken.missingLibraries.count(Libraries[i])) {
            TheToken.loads[Libraries[i]]++;
            return ModuleOf(i);
        }
    }
    return NULL;
}

static FARPROC WINAPI FakeLookup(HMODULE module, LPCSTR name)
{
    int index = LibraryIndex(module);
    for (const auto& entry : Entries)
        if (entry.library == index && strcmp(entry.name, name) == 0 && !TheToken.missingNames.count(name))
            return entry.address;
    return NULL;
}

static BOOL WINAPI FakeRelease(HMODULE module)
{
    int index = LibraryIndex(module);
    if (index >= 0)
        TheToken.releases[Libraries[index]]++;
    return index >= 0;
}

void Token::Install()
{
    calls.clear();
    missingLibraries.clear();
    missingNames.clear();
    loads.clear();
    releases.clear();
    intercept = nullptr;
    registeredWindow = nullptr;
    registrations = unregistrations = openKeys = 0;
    Cursors.clear();
    for (Key& key : keys)
        key = Key();
    TokenLoader = { FakeLoad, FakeLookup, FakeRelease };
    KeyDevModule = KeyNumModule = KeyCmdModule = NULL;
    memset(&TokenLibrary, 0, sizeof TokenLibrary);
}

void Token::PutDirectory(int slot, const FilePath& path)
{
    for (size_t n = 1; n <= path.size(); ++n)
        keys[slot].directories.insert(FilePath(path.begin(), path.begin() + n));
}

void Token::PutRawFile(int slot, const FilePath& path, const std::vector<unsigned char>& raw)
{
    if (path.size() > 1)
        PutDirectory(slot, FilePath(path.begin(), path.end() - 1));
    keys[slot].files[path] = raw;
}

void Token::PutFile(int slot, const FilePath& path, const std::vector<unsigned char>& content)
{
    std::vector<unsigned char> raw = { (unsigned char)(content.size() >> 8), (unsigned char)content.size() };
    raw.insert(raw.end(), content.begin(), content.end());
    PutRawFile(slot, path, raw);
}

int Token::CountCalls(const std::string& name) const
{
    return (int)CallsNamed(name).size();
}

std::vector<Call> Token::CallsNamed(const std::string& name) const
{
    std::vector<Call> found;
    for (const Call& c : calls)
        if (c.name == name)
            found.push_back(c);
    return found;
}

int Token::LoadedCount(const std::string& library) const
{
    auto l = loads.find(library);
    auto r = releases.find(library);
    return (l == loads.end() ? 0 : l->second) - (r == releases.end() ? 0 : r->second);
}

} // namespace fake
