// Files of the key store: whole-file reads, and writes that go to a temporary file first and then
// replace the old file in one step, so a reader never sees half a file.
#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "bounded_text.h"
#include "store_folder.h"

int GetKeyStoreFolder(char* folder, size_t size)
{
    if (size == 0)
        return -1;
    folder[0] = '\0';
    char value[STORE_PATH_MAX];
    DWORD n = GetEnvironmentVariableA(KEY_STORE_VARIABLE, value, sizeof value);
    if (n > 0 && n < sizeof value) {
        // A trailing separator would double up when slot folders are appended.
        while (n > 3 && (value[n - 1] == '\\' || value[n - 1] == '/'))
            value[--n] = '\0';
        return TextCopy(folder, size, value) ? 0 : -1;
    }
    if (n >= sizeof value)
        return -1;
    char common[MAX_PATH];
    if (SHGetFolderPathA(NULL, CSIDL_COMMON_APPDATA, NULL, SHGFP_TYPE_CURRENT, common) != S_OK)
        return -1;
    int fits = TextCopy(folder, size, common);
    fits &= TextAppend(folder, size, "\\" KEY_STORE_DEFAULT_NAME);
    return fits ? 0 : -1;
}

int GetSlotFolder(const char* store, int slot, char* folder, size_t size)
{
    if (slot < 0 || slot > 9 || size == 0)
        return -1;
    folder[0] = '\0';
    int fits = TextCopy(folder, size, store);
    fits &= TextAppendFormat(folder, size, "\\slot%d", slot);
    return fits ? 0 : -1;
}

long ReadWholeFile(const char* path, unsigned char* buffer, size_t size)
{
    // Sharing delete and write lets a writer replace the file while it is being read here.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? STORED_ABSENT : STORED_ERROR;
    }
    LARGE_INTEGER length;
    long result = STORED_ERROR;
    if (GetFileSizeEx(file, &length)) {
        if (length.QuadPart > (LONGLONG)size || length.QuadPart > 0x7FFFFFFF) {
            result = STORED_TOO_LARGE;
        } else {
            DWORD want = (DWORD)length.QuadPart;
            DWORD got = 0;
            if (want == 0 || (ReadFile(file, buffer, want, &got, NULL) && got == want))
                result = (long)want;
        }
    }
    CloseHandle(file);
    return result;
}

static int Join(const FolderStorage* folder, const char* relative, char* path, size_t size)
{
    // A storage without a folder would reach the root of the current drive.
    if (folder->folder[0] == '\0')
        return -1;
    int fits = TextCopy(path, size, folder->folder);
    fits &= TextAppend(path, size, "\\");
    fits &= TextAppend(path, size, relative);
    return fits ? 0 : -1;
}

static long LoadFromFolder(void* context, const char* relative, unsigned char* buffer, size_t size)
{
    char path[MAX_PATH];
    if (Join((const FolderStorage*)context, relative, path, sizeof path) != 0)
        return STORED_ERROR;
    return ReadWholeFile(path, buffer, size);
}

// Creates every folder above the file path.
static int CreateParentFolders(const char* path)
{
    char part[MAX_PATH];
    size_t length = strlen(path);
    if (length >= sizeof part)
        return -1;
    for (size_t i = 3; i < length; ++i) {
        if (path[i] != '\\')
            continue;
        memcpy(part, path, i);
        part[i] = '\0';
        if (!CreateDirectoryA(part, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
            return -1;
    }
    return 0;
}

static int SaveToFolder(void* context, const char* relative, const unsigned char* data, size_t size)
{
    char path[MAX_PATH];
    char temporary[MAX_PATH];
    if (Join((const FolderStorage*)context, relative, path, sizeof path) != 0 || size > 0x7FFFFFFF)
        return -1;
    if (CreateParentFolders(path) != 0)
        return -1;
    // Same folder as the target, so the replacement is a rename within one volume.
    temporary[0] = '\0';
    if (!TextAppendFormat(temporary, sizeof temporary, "%s.%lu-%lu.tmp", path, GetCurrentProcessId(),
                          GetCurrentThreadId()))
        return -1;
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD written = 0;
    BOOL ok = size == 0 || (WriteFile(file, data, (DWORD)size, &written, NULL) && written == size);
    ok = ok && FlushFileBuffers(file);
    CloseHandle(file);
    if (ok) {
        ok = FALSE;
        // A reader that opened the old file without FILE_SHARE_DELETE blocks the replacement briefly.
        for (int attempt = 0; attempt < 50 && !ok; ++attempt) {
            ok = MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            if (!ok)
                Sleep(10);
        }
    }
    if (!ok) {
        DeleteFileA(temporary);
        return -1;
    }
    return 0;
}

static int EraseFromFolder(void* context, const char* relative)
{
    char path[MAX_PATH];
    if (Join((const FolderStorage*)context, relative, path, sizeof path) != 0)
        return -1;
    if (DeleteFileA(path))
        return 0;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
}

void OpenFolderStorage(FolderStorage* folder, const char* path, KeyStorage* storage)
{
    // A cut path would name another folder: such a storage reaches no file at all.
    if (!TextCopy(folder->folder, sizeof folder->folder, path))
        folder->folder[0] = '\0';
    storage->context = folder;
    storage->load = LoadFromFolder;
    storage->save = SaveToFolder;
    storage->erase = EraseFromFolder;
}

int OpenSlotStorage(int slot, FolderStorage* folder, KeyStorage* storage)
{
    char store[STORE_PATH_MAX];
    char path[STORE_PATH_MAX];
    if (GetKeyStoreFolder(store, sizeof store) != 0 || GetSlotFolder(store, slot, path, sizeof path) != 0)
        return -1;
    OpenFolderStorage(folder, path, storage);
    return 0;
}

int DeleteFolderTree(const char* folder)
{
    char pattern[MAX_PATH];
    pattern[0] = '\0';
    if (!TextAppendFormat(pattern, sizeof pattern, "%s\\*", folder))
        return -1;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)
            return 0;
        return -1;
    }
    int result = 0;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        char child[MAX_PATH];
        child[0] = '\0';
        if (!TextAppendFormat(child, sizeof child, "%s\\%s", folder, found.cFileName)) {
            result = -1;
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (DeleteFolderTree(child) != 0)
                result = -1;
        } else {
            SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(child))
                result = -1;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    if (!RemoveDirectoryA(folder) && GetLastError() != ERROR_FILE_NOT_FOUND)
        result = -1;
    return result;
}
