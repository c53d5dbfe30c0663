// Folders of the uninstaller's own in the user's temporary folder. Any program of the user may
// write there, so a name it could guess or a folder it could write into would let it plant a file
// that the elevated uninstaller then runs, overwrites or deletes.
#include "uninstall.h"

#include <ntsecapi.h>
#include <sddl.h>
#include <string.h>

#include "bounded_text.h"

#define PRIVATE_PREFIX "KeyUninstall-"

// System and administrators only, nothing inherited from the user's temporary folder.
#define PRIVATE_FOLDER_ACCESS "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

int CreatePrivateFolder(char* path, size_t size)
{
    char temp[MAX_PATH];
    DWORD tempLength = GetTempPathA(sizeof temp, temp);
    if (tempLength == 0 || tempLength >= sizeof temp)
        return 0;
    SECURITY_ATTRIBUTES security;
    ZeroMemory(&security, sizeof security);
    security.nLength = sizeof security;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(PRIVATE_FOLDER_ACCESS, SDDL_REVISION_1,
                                                              &security.lpSecurityDescriptor, NULL))
        return 0;
    int created = 0;
    // A name taken already (by chance or by design) is never used: another random one is tried.
    for (int attempt = 0; attempt < 4 && !created; ++attempt) {
        unsigned char random[8];
        if (!RtlGenRandom(random, sizeof random))
            break;
        path[0] = '\0';
        if (!TextCopy(path, size, temp) || !TextAppend(path, size, PRIVATE_PREFIX))
            break;
        int fits = 1;
        for (size_t i = 0; i < sizeof random && fits; ++i)
            fits = TextAppendFormat(path, size, "%02x", random[i]);
        if (!fits)
            break;
        created = CreateDirectoryA(path, &security) && TextAppend(path, size, "\\");
    }
    LocalFree(security.lpSecurityDescriptor);
    if (!created)
        path[0] = '\0';
    return created;
}

int IsPrivateFolder(const char* folder)
{
    char temp[MAX_PATH];
    DWORD tempLength = GetTempPathA(sizeof temp, temp);
    if (tempLength == 0 || tempLength >= sizeof temp || !TextAppend(temp, sizeof temp, PRIVATE_PREFIX))
        return 0;
    size_t prefixLength = strlen(temp);
    if (strlen(folder) < prefixLength
        || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, folder, (int)prefixLength, temp, (int)prefixLength)
        != CSTR_EQUAL)
        return 0;
    // Only our own hexadecimal name follows, then the closing backslash.
    const char* name = folder + prefixLength;
    size_t length = strlen(name);
    if (length != 17 || name[16] != '\\')
        return 0;
    for (size_t i = 0; i < 16; ++i)
        if (!strchr("0123456789abcdef", name[i]))
            return 0;
    return 1;
}

void RemoveFolderWithFile(const char* folder, const char* file)
{
    if (!DeleteFileA(file) && GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES)
        MoveFileExA(file, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    // The folder's name without its closing backslash.
    char path[MAX_PATH];
    path[0] = '\0';
    size_t length = strlen(folder);
    if (length < 2 || !TextAppendBytes(path, sizeof path, folder, length - 1))
        return;
    // Marked after the file: the restart handles the marks in order, and the folder must be empty.
    if (!RemoveDirectoryA(path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}
