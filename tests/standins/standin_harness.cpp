// Child processes and store folders for the stand-ins' end-to-end tests.
#include "standin_harness.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include "store_folder.h"
#include "win_harness.h"

TempStore::TempStore()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[64];
    snprintf(name, sizeof name, "keysim-test-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    folder = std::string(temp) + name;
    CreateDirectoryA(folder.c_str(), NULL);
    SetEnvironmentVariableA(KEY_STORE_VARIABLE, folder.c_str());
}

TempStore::~TempStore()
{
    SetEnvironmentVariableA(KEY_STORE_VARIABLE, NULL);
    DeleteFolderTree(folder.c_str());
}

std::string TempStore::SlotFile(int slot, const std::string& relative) const
{
    return folder + "\\slot" + std::to_string(slot) + "\\" + relative;
}

std::string StandinsFolder()
{
    return BuildFile("standins");
}

std::string DemoCertificate(const std::string& name)
{
    return WindowsPath(STANDINS_SOURCE_DIR "/certs/" + name);
}

KeysimRun RunKeysim(const std::string& arguments, bool pump)
{
    KeysimRun run;
    char temp[MAX_PATH];
    char file[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    GetTempFileNameA(temp, "ks", 0, file);
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, NULL, TRUE };
    HANDLE output = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0,
                                NULL);
    std::string exe = StandinsFolder() + "\\keysim.exe";
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process;
    if (CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &startup,
                       &process)) {
        const DWORD input = WAIT_OBJECT_0 + 1; // messages came before keysim ended
        while (pump && MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 30000, QS_ALLINPUT) == input) {
            MSG message;
            while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
        }
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(output);
    std::vector<unsigned char> bytes = ReadFileBytes(file);
    run.output.assign(bytes.begin(), bytes.end());
    DeleteFileA(file);
    return run;
}

void Keysim(const std::string& arguments, bool pump)
{
    KeysimRun run = RunKeysim(arguments, pump);
    EXPECT_EQ(run.exitCode, 0u) << "keysim " << arguments << "\n" << run.output;
}

std::vector<unsigned char> ReadFileBytes(const std::string& path)
{
    std::vector<unsigned char> bytes(65536);
    long n = ReadWholeFile(path.c_str(), bytes.data(), bytes.size());
    bytes.resize(n > 0 ? (size_t)n : 0);
    return bytes;
}
