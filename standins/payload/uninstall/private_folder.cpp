// Folders of the uninstaller's own, for the copies it runs or reads back elevated: a folder another
// program could write into, or a name it could guess, would let it plant a file that the elevated
// uninstaller then runs, reads, overwrites or deletes.
//
// They lie in Windows' own temporary folder, not in the user's. The user's temporary folder lets
// its owner delete and rename any child whatever the child's own access list says, so a program of
// the user could move our new folder away between the copy and its start and put its own in its
// place. Holding the folder open against that would leave a gap between creating and opening it,
// and would end with the handle, while the copy's own removal, at the next restart at the latest,
// goes by name. In Windows' temporary folder users may create but not delete or rename what an
// administrator made, so the folder and its files stay ours from creation until they are removed.
#include "uninstall.h"

#include <ntsecapi.h>
#include <sddl.h>
#include <string.h>

#include "bounded_text.h"

#define PRIVATE_PREFIX "KeyUninstall-"

// System and administrators only, nothing inherited from the temporary folder.
#define PRIVATE_FOLDER_ACCESS "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

// Windows' temporary folder and our prefix. The system's Windows folder: on a terminal server
// GetWindowsDirectory answers with a folder of the user's own.
static int PrivatePrefix(char* path, size_t size)
{
    char windows[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryA(windows, sizeof windows);
    path[0] = '\0';
    return length > 0 && length < sizeof windows && TextCopy(path, size, windows)
           && TextAppend(path, size, "\\Temp\\" PRIVATE_PREFIX);
}

int CreatePrivateFolder(char* path, size_t size)
{
    char prefix[MAX_PATH];
    if (!PrivatePrefix(prefix, sizeof prefix))
        return 0;
    SECURITY_ATTRIBUTES security;
    ZeroMemory(&security, sizeof security);
    security.nLength = sizeof security;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(PRIVATE_FOLDER_ACCESS, SDDL_REVISION_1,
                                                              &security.lpSecurityDescriptor, NULL))
        return 0;
    int created = 0;
    // A name taken already (users may create names there first) is never used: another random
    // one is tried.
    for (int attempt = 0; attempt < 4 && !created; ++attempt) {
        unsigned char random[8];
        if (!RtlGenRandom(random, sizeof random))
            break;
        path[0] = '\0';
        if (!TextCopy(path, size, prefix))
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
    char prefix[MAX_PATH];
    if (!PrivatePrefix(prefix, sizeof prefix))
        return 0;
    size_t prefixLength = strlen(prefix);
    if (strlen(folder) < prefixLength
        || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, folder, (int)prefixLength, prefix, (int)prefixLength)
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
