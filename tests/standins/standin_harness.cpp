// Child processes and store folders for the stand-ins' end-to-end tests.
#include "standin_harness.h"

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

KeysimRun RunKeysim(const std::string& arguments)
{
    KeysimRun run;
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, NULL, TRUE };
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::string exe = StandinsFolder() + "\\keysim.exe";
    std::string commandLine = "\"" + exe + "\" " + arguments;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(exe.c_str(), line.data(), NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &startup,
                                  &process);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, NULL) && got > 0)
            run.output.append(buffer, got);
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return run;
}

std::vector<unsigned char> ReadFileBytes(const std::string& path)
{
    std::vector<unsigned char> bytes(65536);
    long n = ReadWholeFile(path.c_str(), bytes.data(), bytes.size());
    bytes.resize(n > 0 ? (size_t)n : 0);
    return bytes;
}
