// Install: from the Yes of the confirmation until the result box, for KeySetup.exe or its floor, run
// once in the prefix it is given. For a reinstall it also prints the floor: the pauses the payload
// table mandates for the rows whose files are there, and the registration pause of every row that
// registers, summed from the installer's own table.
//   install_bench first|reinstall program|floor PROGRAM.exe [ARGUMENT]
#include "setup.h"

#include <string.h>

#include "bench_clock.h"
#include "bounded_text.h"
#include "system_dir.h"

enum { WAIT_LIMIT_MS = 180000 };

static HWND WaitForSetupBox(double limitMs)
{
    double started = NowMs();
    while (NowMs() - started < limitMs) {
        HWND box = FindWindowA("#32770", SETUP_CAPTION);
        if (box && IsWindowVisible(box))
            return box;
        Sleep(1);
    }
    return NULL;
}

// Presses a box's button as a click would, and waits until the box is gone.
static void Answer(HWND box, int button)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box, button));
    for (int i = 0; i < 5000 && IsWindow(box); ++i)
        Sleep(1);
}

// The mandated pauses of a reinstall over the files there now, in milliseconds.
static double MandatedPauses(void)
{
    char kitDir[INSTALL_PATH_SIZE], path[INSTALL_PATH_SIZE];
    if (!GetKitDirectory(kitDir, sizeof kitDir))
        return -1;
    int wow64 = IsRunningUnderWow64();
    double total = 0;
    for (const PayloadRow& row : PayloadTable) {
        if (!PayloadRowApplies(&row, wow64))
            continue;
        if (BuildWorkPath(path, sizeof path, kitDir, row.name) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            for (DWORD pause : row.pauses)
                total += pause;
        else if (row.handling == EXISTING_REREGISTER)
            total += row.pauses[2];
    }
    return total;
}

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5 || (strcmp(argv[1], "first") != 0 && strcmp(argv[1], "reinstall") != 0)
        || (strcmp(argv[2], "program") != 0 && strcmp(argv[2], "floor") != 0)) {
        printf("usage: install_bench first|reinstall program|floor PROGRAM.exe [ARGUMENT]\n");
        return 2;
    }
    const char* benchmark = strcmp(argv[1], "first") == 0 ? "install" : "reinstall";
    const char* side = argv[2];
    if (strcmp(benchmark, "reinstall") == 0)
        PrintSample(benchmark, "floor", MandatedPauses());

    char commandLine[2 * MAX_PATH + 8];
    commandLine[0] = '\0';
    if (!TextAppendFormat(commandLine, sizeof commandLine, "\"%s\"", argv[3])
        || (argc == 5 && !TextAppendFormat(commandLine, sizeof commandLine, " \"%s\"", argv[4])))
        return 2;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(argv[3], commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        PrintFailure(benchmark, side, "did not start");
        return 1;
    }
    HWND result = NULL;
    HWND confirmation = WaitForSetupBox(60000);
    if (confirmation) {
        double yes = NowMs();
        Answer(confirmation, IDYES);
        result = WaitForSetupBox(WAIT_LIMIT_MS);
        if (result) {
            PrintSample(benchmark, side, NowMs() - yes);
            Answer(result, IDOK);
        } else {
            PrintFailure(benchmark, side, "no result box");
        }
    } else {
        PrintFailure(benchmark, side, "no confirmation box");
    }
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result ? 0 : 1;
}
