// Files of the key store: whole-file reads, and writes that go to a temporary file first and then
// replace the old file in one step, so a reader never sees half a file.
#include <windows.h>
#include <shellapi.h>
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

// Creates every folder above the file path (the shell wants the path full).
static int CreateParentFolders(const char* path)
{
    char parent[MAX_PATH];
    char* name = NULL;
    DWORD n = GetFullPathNameA(path, sizeof parent, parent, &name);
    if (n == 0 || n >= sizeof parent || !name || name == parent)
        return -1;
    name[-1] = '\0'; // the separator before the file's name
    int made = SHCreateDirectoryExA(NULL, parent, NULL);
    return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS ? 0 : -1;
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
    // The shell takes a list of names that ends in two NULs.
    char names[MAX_PATH + 1];
    memset(names, 0, sizeof names);
    if (!TextCopy(names, MAX_PATH, folder))
        return -1;
    SHFILEOPSTRUCTA operation;
    ZeroMemory(&operation, sizeof operation);
    operation.wFunc = FO_DELETE;
    operation.pFrom = names;
    operation.fFlags = FOF_NO_UI;
    SHFileOperationA(&operation);
    // Its answer does not tell "never there" from a failure; what is left does.
    if (GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES)
        return -1;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
}
