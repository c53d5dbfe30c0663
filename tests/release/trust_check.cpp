// Asks Windows' own Authenticode check about files: trust_check FILE EXPECTED_HEX [FILE EXPECTED_HEX]...
// Prints what WinVerifyTrust returned for each file and fails when any result is not the expected one.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <cstdlib>

namespace {

LONG VerifyFile(const char* path)
{
    wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH))
        return (LONG)GetLastError();
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = wide;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc % 2 != 1) {
        fprintf(stderr, "usage: trust_check FILE EXPECTED_HEX [FILE EXPECTED_HEX]...\n");
        return 2;
    }
    int failures = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        unsigned long expected = strtoul(argv[i + 1], NULL, 16);
        unsigned long result = (unsigned long)VerifyFile(argv[i]);
        printf("%s: %08lX (expected %08lX)\n", argv[i], result, expected);
        if (result != expected)
            ++failures;
    }
    return failures ? 1 : 0;
}
