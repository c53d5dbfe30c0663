// Window up: from starting KeyManager.exe until its dialog is visible with both demo keys in the tree,
// against the empty dialog program started the same way, in alternating rounds.
//   window_up_bench ROUNDS MANAGER.exe EMPTY.exe CERTIFICATES   (the demo keys go into KEYSIM_STORE first)
#include <windows.h>
#include <commctrl.h>

#include "../manager/manager.h"
#include "../manager/resource.h"
#include "../manager/texts.h"
#include "bench_clock.h"
#include "bounded_text.h"
#include "bench_keys.h"
#include "empty_dialog.h"

enum { DEMO_KEY_COUNT = 2, WAIT_LIMIT_MS = 60000 };

// Top-level items of a tree in another process: item handles only, no buffers to cross over.
static int CountKeys(HWND tree)
{
    int count = 0;
    HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    while (item) {
        ++count;
        item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item);
    }
    return count;
}

// The window once it is visible (and, for the manager, its tree holds both keys); NULL after the limit.
static HWND WaitUntilUp(const char* title, int treeId, double started)
{
    while (NowMs() - started < WAIT_LIMIT_MS) {
        HWND window = FindWindowA("#32770", title);
        if (window && IsWindowVisible(window)
            && (treeId == 0 || CountKeys(GetDlgItem(window, treeId)) == DEMO_KEY_COUNT))
            return window;
        Sleep(1);
    }
    return NULL;
}

// One start of a program; prints how long until its window was up (side NULL: not printed), then ends
// it. Ended rather than closed: without a window manager (Xvfb) Wine would wait 2 s for each closed
// window to be withdrawn, which the rounds need not spend.
static void MeasureStart(const char* side, const char* path, const char* title, int treeId)
{
    char commandLine[MAX_PATH + 2];
    commandLine[0] = '\0';
    if (!TextAppendFormat(commandLine, sizeof commandLine, "\"%s\"", path)) {
        PrintFailure("window", side ? side : "warm-up", "path too long");
        return;
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    double started = NowMs();
    if (!CreateProcessA(path, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        PrintFailure("window", side ? side : "warm-up", "did not start");
        return;
    }
    HWND window = WaitUntilUp(title, treeId, started);
    double up = NowMs();
    if (window) {
        if (side)
            PrintSample("window", side, up - started);
    } else {
        PrintFailure("window", side ? side : "warm-up", "no window with both keys");
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        printf("usage: window_up_bench ROUNDS MANAGER.exe EMPTY.exe CERTIFICATES\n");
        return 2;
    }
    if (!PutDemoKeys(argv[4])) {
        PrintFailure("window", "program", "the demo keys did not go in");
        return 1;
    }
    int rounds = RoundsAsked(argc, argv);
    // On an installed machine the tray client runs from sign-in, so the manager finds its window and
    // starts nothing; a hidden window of the same class and title stands for it, for both sides.
    HWND tray = CreateWindowExA(0, "#32770", TRAY_WINDOW_TITLE, WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    // Not measured: the first start of each also reads its files from disk into the cache.
    MeasureStart(NULL, argv[2], MAIN_WINDOW_TITLE, IDC_KEY_TREE);
    MeasureStart(NULL, argv[3], EMPTY_TITLE, 0);
    for (int round = 0; round < rounds; ++round) {
        MeasureStart("program", argv[2], MAIN_WINDOW_TITLE, IDC_KEY_TREE);
        MeasureStart("floor", argv[3], EMPTY_TITLE, 0);
    }
    if (tray)
        DestroyWindow(tray);
    return 0;
}
