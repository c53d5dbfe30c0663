// In-memory token libraries for unit tests: file trees, scripted PIN answers, a call log.
#include "fake_token.h"

#include <string.h>

#include "manager.h"

namespace fake {

static Token TheToken;

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

// Records the call and lets the test's intercept answer it instead.
static bool Record(Call call, int* result, unsigned short* status)
{
    TheToken.calls.push_back(call);
    if (TheToken.intercept)
        return TheToken.intercept(TheToken.calls.back(), result, status);
    return false;
}

static int WINAPI FakeOpen(int slot)
{
    Call c;
    c.name = "QZ_Open";
    c.args = { slot };
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    if (slot < 0 || slot > 3)
        return 0;
    Key& key = TheToken.keys[slot];
    if (key.openResult != 0)
        return key.openResult;
    if (!key.present)
        return 0;
    TheToken.cursors[slot + 1] = Token::Cursor();
    TheToken.openKeys++;
    return slot + 1;
}

static int WINAPI FakeClose(int handle)
{
    Call c;
    c.name = "QZ_Close";
    c.handle = handle;
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    if (handle > 0)
        TheToken.openKeys--;
    return result;
}

static int WINAPI FakeReset(int handle, unsigned char* answer)
{
    Call c;
    c.name = "QZ_IC_RESET";
    c.handle = handle;
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    if (answer)
        memset(answer, 0x3B, 8);
    TheToken.cursors[handle] = Token::Cursor();
    return KeyOf(handle) ? 0 : -1;
}

static int WINAPI FakeSelect(int handle, int p1, int p2, int length, const unsigned char* data,
                             unsigned short* status)
{
    Call c;
    c.name = "Select_File";
    c.handle = handle;
    c.args = { p1, p2, length };
    if (data && length > 0)
        c.data.assign(data, data + length);
    int result = 0;
    if (Record(c, &result, status))
        return result;
    Key* key = KeyOf(handle);
    if (!key) {
        *status = 0x6A82;
        return -1;
    }
    Token::Cursor& cursor = TheToken.cursors[handle];
    if (p1 == 0) {
        cursor.directory.clear();
        cursor.fileSelected = false;
        *status = 0x9000;
        return 0;
    }
    if (length != 2 || !data) {
        *status = 0x6700; // wrong length
        return 0;
    }
    FilePath path = cursor.directory;
    path.push_back((unsigned)data[0] << 8 | data[1]);
    if (p1 == 1 && key->directories.count(path)) {
        cursor.directory = path;
        cursor.fileSelected = false;
        *status = 0x9000;
    } else if (p1 == 2 && key->files.count(path)) {
        cursor.file = path;
        cursor.fileSelected = true;
        *status = 0x9000;
    } else {
        *status = 0x6A82; // file not found
    }
    return 0;
}

static int WINAPI FakeRead(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                           unsigned char* destination, unsigned short* status)
{
    Call c;
    c.name = "Read_Binary";
    c.handle = handle;
    c.args = { mode, offsetHigh, offset, reserved, count };
    int result = 0;
    if (Record(c, &result, status))
        return result;
    Key* key = KeyOf(handle);
    Token::Cursor& cursor = TheToken.cursors[handle];
    if (!key || !cursor.fileSelected) {
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
    Call c;
    c.name = "QZ_GET_BCDSN";
    c.handle = handle;
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    Key* key = KeyOf(handle);
    if (!key)
        return -1;
    memcpy(serial, key->serial, 4);
    return 0;
}

static int NextAnswer(std::vector<int>& answers, int fallback)
{
    if (answers.empty())
        return fallback;
    int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

static int WINAPI FakeVerify(int handle, const unsigned char* pin, int length)
{
    Call c;
    c.name = "QZ_VerifyPinUpDatePinInfoFile";
    c.handle = handle;
    c.args = { length };
    if (pin && length > 0)
        c.data.assign(pin, pin + length);
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    Key* key = KeyOf(handle);
    return key ? NextAnswer(key->verifyResults, -2) : -2;
}

static int WINAPI FakeChange(int handle, int length, const unsigned char* data)
{
    Call c;
    c.name = "QZ_ChangePin";
    c.handle = handle;
    c.args = { length };
    if (data && length > 0)
        c.data.assign(data, data + length);
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    Key* key = KeyOf(handle);
    return key ? NextAnswer(key->changeResults, -1000) : -1000;
}

static int WINAPI FakeRegister(void* window, int flags)
{
    Call c;
    c.name = "QZ_RegisterCardNotification";
    c.args = { flags };
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    TheToken.registeredWindow = window;
    TheToken.registrations++;
    return 0;
}

static int WINAPI FakeUnregister(void)
{
    Call c;
    c.name = "QZ_UnregisterCardNotification";
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    TheToken.registeredWindow = nullptr;
    TheToken.unregistrations++;
    return 0;
}

static int WINAPI FakeIsDevice(const char* path)
{
    Call c;
    c.name = "QZ_IsQZDevice";
    c.data.assign(path, path + strlen(path));
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    std::string upper(path);
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z')
            ch = (char)(ch - 'a' + 'A');
    return upper.find("VID_5E2B&PID_0001") != std::string::npos;
}

std::string HexToDecimal(const std::string& hex)
{
    std::vector<int> digits; // decimal, least significant first
    for (char ch : hex) {
        int v;
        if (ch >= '0' && ch <= '9') v = ch - '0';
        else if (ch >= 'a' && ch <= 'f') v = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F') v = ch - 'A' + 10;
        else break;
        int carry = v;
        for (int& d : digits) {
            int x = d * 16 + carry;
            d = x % 10;
            carry = x / 10;
        }
        while (carry) {
            digits.push_back(carry % 10);
            carry /= 10;
        }
    }
    if (digits.empty())
        return "0";
    std::string text;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it)
        text += (char)('0' + *it);
    return text;
}

static int WINAPI FakeHexToDec(const char* hex, char* decimal)
{
    Call c;
    c.name = "HexToDec";
    c.data.assign(hex, hex + strlen(hex));
    int result = 0;
    if (Record(c, &result, nullptr))
        return result;
    std::string text = HexToDecimal(hex);
    if (text.size() >= 512)
        return -1;
    memcpy(decimal, text.c_str(), text.size() + 1);
    return 0;
}

static int WINAPI FakeUnused(void)
{
    return -1;
}

struct FakeEntry {
    const char* library;
    const char* name;
    FARPROC address;
};

static const FakeEntry Entries[] = {
    { "KeyCmd.dll", "QZ_Open", (FARPROC)(void*)FakeOpen },
    { "KeyCmd.dll", "QZ_Close", (FARPROC)(void*)FakeClose },
    { "KeyCmd.dll", "QZ_IC_RESET", (FARPROC)(void*)FakeReset },
    { "KeyCmd.dll", "QZ_GET_SN", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "QZ_StoreCert", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "Read_Binary", (FARPROC)(void*)FakeRead },
    { "KeyCmd.dll", "Select_File", (FARPROC)(void*)FakeSelect },
    { "KeyCmd.dll", "Update_Binary", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "QZ_DeleteCert", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "QZ_GET_BCDSN", (FARPROC)(void*)FakeSerial },
    { "KeyCmd.dll", "QZ_ClearDir", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "QZ_VerifyPinUpDatePinInfoFile", (FARPROC)(void*)FakeVerify },
    { "KeyCmd.dll", "QZ_ChangePin", (FARPROC)(void*)FakeChange },
    { "KeyCmd.dll", "QZ_AddCertToIE", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "QZ_DelCertFrIE", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "QZ_ReloadUserPin", (FARPROC)(void*)FakeUnused },
    { "KeyCmd.dll", "QZ_InitialCard", (FARPROC)(void*)FakeUnused },
    { "KeyDev.dll", "QZ_RegisterCardNotification", (FARPROC)(void*)FakeRegister },
    { "KeyDev.dll", "QZ_UnregisterCardNotification", (FARPROC)(void*)FakeUnregister },
    { "KeyDev.dll", "QZ_IsQZDevice", (FARPROC)(void*)FakeIsDevice },
    { "KeyDev.dll", "QZ_GetReaderList", (FARPROC)(void*)FakeUnused },
    { "KeyDev.dll", "QZ_DestroyReaderList", (FARPROC)(void*)FakeUnused },
    { "KeyNum.dll", "HexToDec", (FARPROC)(void*)FakeHexToDec },
};

static const char* const Libraries[] = { "KeyCmd.dll", "KeyDev.dll", "KeyNum.dll" };

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
        if (lstrcmpiA(name, Libraries[i]) == 0) {
            if (TheToken.missingLibraries.count(Libraries[i]))
                return NULL;
            TheToken.loads[Libraries[i]]++;
            return ModuleOf(i);
        }
    }
    return NULL;
}

static FARPROC WINAPI FakeLookup(HMODULE module, LPCSTR name)
{
    int index = LibraryIndex(module);
    if (index < 0 || TheToken.missingNames.count(name))
        return NULL;
    for (const FakeEntry& entry : Entries)
        if (strcmp(entry.library, Libraries[index]) == 0 && strcmp(entry.name, name) == 0)
            return entry.address;
    return NULL;
}

static BOOL WINAPI FakeRelease(HMODULE module)
{
    int index = LibraryIndex(module);
    if (index < 0)
        return FALSE;
    TheToken.releases[Libraries[index]]++;
    return TRUE;
}

void Token::Reset()
{
    calls.clear();
    missingLibraries.clear();
    missingNames.clear();
    loads.clear();
    releases.clear();
    intercept = nullptr;
    registeredWindow = nullptr;
    registrations = 0;
    unregistrations = 0;
    openKeys = 0;
    cursors.clear();
    for (Key& key : keys)
        key = Key();
}

void Token::Install()
{
    Reset();
    TokenLoader.load = FakeLoad;
    TokenLoader.lookup = FakeLookup;
    TokenLoader.release = FakeRelease;
    KeyDevModule = NULL;
    KeyNumModule = NULL;
    KeyCmdModule = NULL;
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
    std::vector<unsigned char> raw;
    raw.push_back((unsigned char)(content.size() >> 8));
    raw.push_back((unsigned char)(content.size() & 0xFF));
    raw.insert(raw.end(), content.begin(), content.end());
    PutRawFile(slot, path, raw);
}

int Token::CountCalls(const std::string& name) const
{
    int n = 0;
    for (const Call& c : calls)
        n += c.name == name;
    return n;
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
