// What keysim.exe does with its arguments: the store on disk, the console, and one command run.
#define _CRT_RAND_S // rand_s, the system's random numbers
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bounded_text.h"
#include "keysim_args.h"
#include "keysim_commands.h"
#include "keysim_host.h"
#include "store_folder.h"

struct Store {
    char folder[STORE_PATH_MAX];
    FolderStorage slots[KEY_SLOTS];
};

static void SlotStorage(void* context, int slot, KeyStorage* storage)
{
    Store* store = (Store*)context;
    char folder[STORE_PATH_MAX];
    if (GetSlotFolder(store->folder, slot, folder, sizeof folder) != 0)
        folder[0] = '\0';
    OpenFolderStorage(&store->slots[slot], folder, storage);
}

static int DeleteSlot(void* context, int slot)
{
    Store* store = (Store*)context;
    char folder[STORE_PATH_MAX];
    if (GetSlotFolder(store->folder, slot, folder, sizeof folder) != 0)
        return -1;
    return DeleteFolderTree(folder);
}

static long ReadUserFile(void*, const char* path, unsigned char* buffer, size_t size)
{
    return ReadWholeFile(path, buffer, size);
}

// Different on every run and never 0.
static uint32_t RandomSerial(void*)
{
    unsigned int x = 0;
    return rand_s(&x) == 0 && x != 0 ? x : 0x5E2B0001u;
}

static void Print(void*, const char* text)
{
    fputs(text, stdout);
    fflush(stdout);
}

static void PrintError(void*, const char* text)
{
    fputs(text, stderr);
    fflush(stderr);
}

int KeysimMain(int argc, char** argv)
{
    KeysimCommand command;
    char error[200];
    if (ParseKeysimArguments(argc, argv, &command, error, sizeof error) != ARGS_OK) {
        fprintf(stderr, "keysim: %s\n\n%s", error, KeysimUsage);
        return KEYSIM_USAGE;
    }
    static Store store;
    memset(&store, 0, sizeof store);
    // The slot folders must fit too, or no command could reach the key it names.
    char slotFolder[STORE_PATH_MAX];
    if (command.store) {
        if (!TextCopy(store.folder, sizeof store.folder, command.store) ||
            GetSlotFolder(store.folder, 0, slotFolder, sizeof slotFolder) != 0) {
            fprintf(stderr, "keysim: the store folder's name is too long\n");
            return KEYSIM_USAGE;
        }
    } else if (GetKeyStoreFolder(store.folder, sizeof store.folder) != 0 ||
               GetSlotFolder(store.folder, 0, slotFolder, sizeof slotFolder) != 0) {
        fprintf(stderr, "keysim: cannot find the key store folder\n");
        return KEYSIM_FAILED;
    }
    KeysimHost host = { &store, SlotStorage, DeleteSlot, ReadUserFile, RandomSerial, Print, PrintError };
    return RunKeysimCommand(&command, &host);
}
