// Benchmark (not a test): a refresh of four virtual keys with four full containers of ~3000-byte
// certificates, against the same token calls replayed on their own in the same run.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "manager.h"
#include "win_harness.h"

namespace {

// The real entry points, and every call the refresh makes, for the replay.
QZ_Open_Fn RealOpen;
QZ_Close_Fn RealClose;
QZ_IC_RESET_Fn RealReset;
Select_File_Fn RealSelect;
Read_Binary_Fn RealRead;
QZ_GET_BCDSN_Fn RealSerial;
HexToDec_Fn RealHexToDec;

struct TokenCall {
    int kind; // 0 open, 1 close, 2 reset, 3 select, 4 read, 5 serial, 6 hex
    int a[6];
    std::vector<unsigned char> data;
};
std::vector<TokenCall> Calls;
bool Recording;

void Note(int kind, std::initializer_list<int> args, const unsigned char* data = nullptr, size_t size = 0)
{
    if (!Recording)
        return;
    TokenCall call = { kind, {}, {} };
    size_t i = 0;
    for (int v : args)
        if (i < sizeof call.a / sizeof call.a[0])
            call.a[i++] = v;
    if (data)
        call.data.assign(data, data + size);
    Calls.push_back(call);
}

int WINAPI CountOpen(int slot) { int h = RealOpen(slot); Note(0, { slot, h }); return h; }
int WINAPI CountClose(int h) { Note(1, { h }); return RealClose(h); }
int WINAPI CountReset(int h, unsigned char* b) { Note(2, { h }); return RealReset(h, b); }
int WINAPI CountSelect(int h, int p1, int p2, int n, const unsigned char* d, unsigned short* s)
{
    Note(3, { h, p1, p2, n }, d, d ? (size_t)n : 0);
    return RealSelect(h, p1, p2, n, d, s);
}
int WINAPI CountRead(int h, int m, int hi, int off, int r, int n, unsigned char* d, unsigned short* s)
{
    Note(4, { h, m, hi, off, r, n });
    return RealRead(h, m, hi, off, r, n, d, s);
}
int WINAPI CountSerial(int h, unsigned char* b) { Note(5, { h }); return RealSerial(h, b); }
int WINAPI CountHexToDec(const char* hex, char* out)
{
    Note(6, {}, (const unsigned char*)hex, strlen(hex) + 1);
    return RealHexToDec(hex, out);
}

FARPROC WINAPI CountingLookup(HMODULE module, LPCSTR name)
{
    FARPROC real = GetProcAddress(module, name);
    if (!real)
        return NULL;
    struct { const char* name; void** real; FARPROC counting; } wrapped[] = {
        { "QZ_Open", (void**)&RealOpen, (FARPROC)(void*)CountOpen },
        { "QZ_Close", (void**)&RealClose, (FARPROC)(void*)CountClose },
        { "QZ_IC_RESET", (void**)&RealReset, (FARPROC)(void*)CountReset },
        { "Select_File", (void**)&RealSelect, (FARPROC)(void*)CountSelect },
        { "Read_Binary", (void**)&RealRead, (FARPROC)(void*)CountRead },
        { "QZ_GET_BCDSN", (void**)&RealSerial, (FARPROC)(void*)CountSerial },
        { "HexToDec", (void**)&RealHexToDec, (FARPROC)(void*)CountHexToDec },
    };
    for (auto& w : wrapped) {
        if (strcmp(name, w.name) == 0) {
            *w.real = (void*)real;
            return w.counting;
        }
    }
    return real;
}

// Replays the recorded calls straight into the libraries: the token's share of a refresh.
void Replay()
{
    unsigned char buffer[4096];
    unsigned short status;
    char decimal[512];
    bool bound = false;
    for (const TokenCall& c : Calls) {
        // The manager loads KeyCmd.dll for every key it opens; do the same.
        switch (c.kind) {
        case 0:
            if (!bound)
                bound = BindCommandLibrary();
            RealOpen(c.a[0]);
            if (c.a[1] == 0) {
                ReleaseCommandLibrary();
                bound = false;
            }
            break;
        case 1: RealClose(c.a[0]); ReleaseCommandLibrary(); bound = false; break;
        case 2: RealReset(c.a[0], buffer); break;
        case 3: RealSelect(c.a[0], c.a[1], c.a[2], c.a[3], c.data.empty() ? NULL : c.data.data(), &status); break;
        case 4: RealRead(c.a[0], c.a[1], c.a[2], c.a[3], c.a[4], c.a[5], buffer, &status); break;
        case 5: RealSerial(c.a[0], buffer); break;
        case 6: RealHexToDec((const char*)c.data.data(), decimal); break;
        }
    }
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

int Keysim(const std::string& folder, const std::string& arguments)
{
    Program keysim;
    if (!StartProgram(keysim, BuildFile("standins/keysim.exe"), arguments, folder))
        return -1;
    return (int)keysim.Wait(60000);
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 10;
    std::string temp = TempFolder();
    if (temp.empty()) {
        printf("no temp folder\n");
        return 1;
    }
    std::string folder = temp + "kit-refresh-bench";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), NULL);
    std::string store = folder + "\\store";
    CreateDirectoryA(store.c_str(), NULL);
    SetEnvironmentVariableA("KEYSIM_STORE", store.c_str());

    std::string cert = "\"" + WindowsPath(KIT_SOURCE_DIR "/tests/fixtures/certs/big_cert.der") + "\"";
    printf("provisioning four keys with four full containers each...\n");
    for (int slot = 0; slot < 4; ++slot) {
        if (Keysim(folder, "create " + std::to_string(slot) + " --label bench" + std::to_string(slot) +
                               " --pin 1234 --apps 2 --removed") != 0)
            return 1;
        for (int app = 1; app <= 2; ++app)
            for (int container = 0; container < 2; ++container)
                for (const char* kind : { "enc", "sig" })
                    if (Keysim(folder, "put-cert " + std::to_string(slot) + " " + std::to_string(app) + " " +
                                           std::to_string(container) + " " + kind + " " + cert) != 0)
                        return 1;
        Keysim(folder, "insert " + std::to_string(slot));
    }

    SetDllDirectoryA(BuildFile("standins").c_str());
    TokenLoader.lookup = CountingLookup;
    AppInstance = GetModuleHandleA(NULL);
    InitCommonControls();
    HWND window = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDlgProc, 0);
    if (!window || !KeyDevModule) {
        printf("the token libraries did not bind\n");
        return 1;
    }
    HWND tree = GetDlgItem(window, IDC_KEY_TREE);
    int items = (int)SendMessageA(tree, TVM_GETCOUNT, 0, 0);

    Recording = true;
    RefreshDeviceTree(window);
    Recording = false;
    size_t callsPerRefresh = Calls.size();
    size_t bytesRead = 0;
    for (const TokenCall& c : Calls)
        if (c.kind == 4)
            bytesRead += (size_t)c.a[5];

    // Interleaved, so that a machine busy with something else slows both alike.
    double refresh = 0, tokens = 0;
    for (int i = 0; i < rounds; ++i) {
        LARGE_INTEGER a, b, c;
        QueryPerformanceCounter(&a);
        RefreshDeviceTree(window);
        QueryPerformanceCounter(&b);
        Replay();
        QueryPerformanceCounter(&c);
        refresh += Seconds(a, b) / rounds;
        tokens += Seconds(b, c) / rounds;
    }
    printf("tree items: %d (4 keys, %d certificates)\n", items, items - 4);
    printf("token calls per refresh: %u, certificate and directory bytes read: %u\n", (unsigned)callsPerRefresh,
           (unsigned)bytesRead);
    printf("refresh: %.1f ms per refresh (mean of %d)\n", refresh * 1000, rounds);
    printf("token calls alone, replayed: %.1f ms per refresh (mean of %d)\n", tokens * 1000, rounds);
    printf("the manager's own share: %.1f ms (%.0f%%)\n", (refresh - tokens) * 1000, 100 * (refresh - tokens) / refresh);
    DestroyWindow(window);
    RemoveTree(folder);
    return 0;
}
