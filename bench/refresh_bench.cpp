// Refresh: one refresh of the main window's tree over the inserted keys, against a loop that makes the
// same token calls and reads and keeps nothing. The floor's calls are the refresh's own, recorded once
// through the loader before the rounds, so the two cannot drift apart.
//   refresh_bench ROUNDS CERTIFICATES   (four full keys go into KEYSIM_STORE first)
#include "../manager/manager.h"

#include <string.h>

#include "../common/bounded_text.h"
#include "bench_clock.h"
#include "bench_keys.h"

namespace {

enum CallKind { CALL_BIND, CALL_RELEASE, CALL_OPEN, CALL_CLOSE, CALL_RESET, CALL_SERIAL, CALL_SELECT, CALL_READ,
                CALL_HEX_TO_DEC };

struct TokenCall {
    CallKind kind;
    int handle;           // the handle the recorded refresh used; the replay maps it to its own
    int arguments[5];
    unsigned char data[2];
    char hex[SERIAL_HEX_SIZE];
};

enum { TRACE_LIMIT = 8192, SETTLE_MS = 20 };
TokenCall Trace[TRACE_LIMIT];
int TraceLength;
bool TraceOverflowed;

TokenEntryPoints Real;
HMODULE(WINAPI* RealLoad)(LPCSTR name);
BOOL(WINAPI* RealRelease)(HMODULE module);

TokenCall* Record(CallKind kind, int handle)
{
    static TokenCall spare;
    if (TraceLength == TRACE_LIMIT) {
        TraceOverflowed = true;
        return &spare;
    }
    TokenCall* call = &Trace[TraceLength++];
    ZeroMemory(call, sizeof *call);
    call->kind = kind;
    call->handle = handle;
    return call;
}

int TOKENAPI RecordOpen(int slot)
{
    int handle = Real.QZ_Open(slot);
    Record(CALL_OPEN, handle)->arguments[0] = slot;
    return handle;
}

int TOKENAPI RecordClose(int handle)
{
    Record(CALL_CLOSE, handle);
    return Real.QZ_Close(handle);
}

int TOKENAPI RecordReset(int handle, unsigned char* answer)
{
    Record(CALL_RESET, handle);
    return Real.QZ_IC_RESET(handle, answer);
}

int TOKENAPI RecordSerial(int handle, unsigned char* serial)
{
    Record(CALL_SERIAL, handle);
    return Real.QZ_GET_BCDSN(handle, serial);
}

int TOKENAPI RecordSelect(int handle, int p1, int p2, int length, const unsigned char* data, unsigned short* status)
{
    TokenCall* call = Record(CALL_SELECT, handle);
    call->arguments[0] = p1;
    call->arguments[1] = p2;
    call->arguments[2] = length;
    if (length > 0 && length <= (int)sizeof call->data)
        memcpy(call->data, data, (size_t)length);
    return Real.Select_File(handle, p1, p2, length, data, status);
}

int TOKENAPI RecordRead(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                        unsigned char* destination, unsigned short* status)
{
    TokenCall* call = Record(CALL_READ, handle);
    int arguments[5] = { mode, offsetHigh, offset, reserved, count };
    memcpy(call->arguments, arguments, sizeof arguments);
    return Real.Read_Binary(handle, mode, offsetHigh, offset, reserved, count, destination, status);
}

int TOKENAPI RecordHexToDec(const char* hex, char* decimal)
{
    TokenCall* call = Record(CALL_HEX_TO_DEC, 0);
    // A longer text is recorded cut; the call itself gets it whole.
    TextCopy(call->hex, sizeof call->hex, hex);
    return Real.HexToDec(hex, decimal);
}

HMODULE WINAPI RecordLoad(LPCSTR name)
{
    if (lstrcmpiA(name, "KeyCmd.dll") == 0)
        Record(CALL_BIND, 0);
    return RealLoad(name);
}

BOOL WINAPI RecordRelease(HMODULE module)
{
    if (module == KeyCmdModule)
        Record(CALL_RELEASE, 0);
    return RealRelease(module);
}

// Hands the refresh a recording stand-in for each entry it calls; the real one is kept in Real.
FARPROC WINAPI RecordingLookup(HMODULE module, LPCSTR name)
{
    FARPROC address = GetProcAddress(module, name);
    const struct { const char* name; void** real; void* recorder; } entries[] = {
        { "QZ_Open", (void**)&Real.QZ_Open, (void*)RecordOpen },
        { "QZ_Close", (void**)&Real.QZ_Close, (void*)RecordClose },
        { "QZ_IC_RESET", (void**)&Real.QZ_IC_RESET, (void*)RecordReset },
        { "QZ_GET_BCDSN", (void**)&Real.QZ_GET_BCDSN, (void*)RecordSerial },
        { "Select_File", (void**)&Real.Select_File, (void*)RecordSelect },
        { "Read_Binary", (void**)&Real.Read_Binary, (void*)RecordRead },
        { "HexToDec", (void**)&Real.HexToDec, (void*)RecordHexToDec },
    };
    for (const auto& entry : entries)
        if (address && strcmp(name, entry.name) == 0) {
            *entry.real = (void*)address;
            return (FARPROC)entry.recorder;
        }
    return address;
}

// Binds the libraries through the recording loader, records one refresh and binds them again plainly.
bool RecordRefresh(HWND window)
{
    LibraryLoader plain = TokenLoader;
    RealLoad = plain.load;
    RealRelease = plain.release;
    TokenLoader.load = RecordLoad;
    TokenLoader.lookup = RecordingLookup;
    TokenLoader.release = RecordRelease;
    bool bound = BindDeviceLibraries() != 0;
    if (bound)
        RefreshDeviceTree(window);
    ReleaseDeviceLibrary();
    TokenLoader = plain;
    // KeyNum.dll stays loaded once bound: its entry is put back to the real one by hand.
    TokenLibrary.HexToDec = Real.HexToDec;
    return bound && BindDeviceLibraries() && !TraceOverflowed && TraceLength > 0;
}

// The floor: the recorded calls made again in order, every answer read into one scratch buffer.
void ReplayTokenCalls(void)
{
    static unsigned char scratch[4096];
    static char decimal[512];
    int recorded[KEY_SLOT_COUNT * 2] = {}, live[KEY_SLOT_COUNT * 2] = {};
    int handles = 0;
    unsigned short status = 0;
    for (int i = 0; i < TraceLength; ++i) {
        const TokenCall& call = Trace[i];
        int handle = call.handle;
        for (int h = 0; h < handles; ++h)
            if (recorded[h] == call.handle)
                handle = live[h];
        switch (call.kind) {
        case CALL_BIND:
            BindCommandLibrary();
            break;
        case CALL_RELEASE:
            ReleaseCommandLibrary();
            break;
        case CALL_OPEN:
            handle = TokenLibrary.QZ_Open(call.arguments[0]);
            if (handles < KEY_SLOT_COUNT * 2) {
                recorded[handles] = call.handle;
                live[handles++] = handle;
            }
            break;
        case CALL_CLOSE:
            TokenLibrary.QZ_Close(handle);
            break;
        case CALL_RESET:
            TokenLibrary.QZ_IC_RESET(handle, scratch);
            break;
        case CALL_SERIAL:
            TokenLibrary.QZ_GET_BCDSN(handle, scratch);
            break;
        case CALL_SELECT:
            TokenLibrary.Select_File(handle, call.arguments[0], call.arguments[1], call.arguments[2], call.data, &status);
            break;
        case CALL_READ:
            TokenLibrary.Read_Binary(handle, call.arguments[0], call.arguments[1], call.arguments[2], call.arguments[3],
                                     call.arguments[4], scratch, &status);
            break;
        case CALL_HEX_TO_DEC:
            TokenLibrary.HexToDec(call.hex, decimal);
            break;
        }
    }
}

INT_PTR CALLBACK QuietDlgProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// Paints what the last refresh left to paint, then gives the X server time to draw it: its drawing
// runs beside this process and would otherwise fall into the next sample, whichever side that is.
void Settle(void)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(SETTLE_MS);
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = RoundsAsked(argc, argv);
    if (argc != 3 || !PutFullKeys(argv[2])) {
        PrintFailure("refresh", "program", "usage: refresh_bench ROUNDS CERTIFICATES, or the keys did not go in");
        return 1;
    }
    AppInstance = GetModuleHandleA(NULL);
    InitCommonControls();
    // The main window's own template; its procedure stays out, so only the refreshes below read the keys.
    HWND window = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, QuietDlgProc, 0);
    if (!window || !RecordRefresh(window)) {
        PrintFailure("refresh", "program", "no window, no token libraries or no calls recorded");
        return 1;
    }
    HWND tree = GetDlgItem(window, IDC_KEY_TREE);
    int items = (int)SendMessageA(tree, TVM_GETCOUNT, 0, 0);
    printf("refresh: %d token calls per refresh, %d tree items\n", TraceLength, items);
    for (int round = 0; round < rounds; ++round) {
        // The order turns every round, so neither side always runs on the heels of the other.
        for (int turn = 0; turn < 2; ++turn) {
            Settle();
            double started = NowMs();
            if ((round + turn) % 2 == 0) {
                RefreshDeviceTree(window);
                PrintSample("refresh", "program", NowMs() - started);
            } else {
                ReplayTokenCalls();
                PrintSample("refresh", "floor", NowMs() - started);
            }
        }
    }
    Settle();
    ReleaseDeviceLibrary();
    DestroyWindow(window);
    return 0;
}
