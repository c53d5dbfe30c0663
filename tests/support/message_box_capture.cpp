// Swaps MessageBoxA in this executable's import table for a recorder while a capture is alive.
#include "message_box_capture.h"

#include <string.h>

static MessageBoxCapture* ActiveCapture;
static void* RealMessageBoxA;

void* PatchImport(const char* dll, const char* function, void* replacement)
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_DOS_HEADER* dos = (IMAGE_DOS_HEADER*)base;
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return NULL;
    for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA((const char*)(base + d->Name), dll) != 0)
            continue;
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        IMAGE_THUNK_DATA* addresses = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME* byName = (IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            if (strcmp((const char*)byName->Name, function) != 0)
                continue;
            DWORD old;
            VirtualProtect(&addresses->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* previous = (void*)addresses->u1.Function;
            addresses->u1.Function = (DWORD_PTR)replacement;
            VirtualProtect(&addresses->u1.Function, sizeof(void*), old, &old);
            return previous;
        }
    }
    return NULL;
}

static int WINAPI RecordingMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    MessageBoxCapture* capture = ActiveCapture;
    CapturedBox box = { owner, text ? text : "", caption ? caption : "", style };
    capture->boxes.push_back(box);
    if (capture->whileShown)
        capture->whileShown(box);
    return IDOK;
}

MessageBoxCapture::MessageBoxCapture()
{
    ActiveCapture = this;
    void* previous = PatchImport("user32.dll", "MessageBoxA", (void*)RecordingMessageBoxA);
    if (!RealMessageBoxA)
        RealMessageBoxA = previous;
}

MessageBoxCapture::~MessageBoxCapture()
{
    if (RealMessageBoxA)
        PatchImport("user32.dll", "MessageBoxA", RealMessageBoxA);
    ActiveCapture = NULL;
}
