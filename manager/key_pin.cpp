// The PIN loops over a key's applications: verification and change, through the bound token library
// and the host's key opening.
#include "key_pin.h"

#include <string.h>

#include "pin_rules.h"
#include "token/token_api.h"

// Opens the key and resets it; the handle, or 0 when no key was opened.
static int OpenForPin(const KeyWalkHost* host, int slot)
{
    int handle = host->openKey(host->context, slot);
    if (handle < 1)
        return 0;
    unsigned char answer[PIN_WORK_BUFFER];
    memset(answer, 0, sizeof answer);
    TokenLibrary.QZ_IC_RESET(handle, answer);
    return handle;
}

// The loop's own select of the master file, whose answer is not looked at, then the application's.
static int EnterApplication(int handle, unsigned id)
{
    unsigned short status = 0;
    TokenLibrary.Select_File(handle, SELECT_MASTER_FILE, 0, 0, NULL, &status);
    return SelectDirectory(handle, id);
}

// 1 when the key lists the application and it could be selected: the loop's select of the master
// file (its answer not looked at), the check of the device information, the application's select.
static int ApplicationListedAndSelected(int handle, unsigned id)
{
    unsigned short status = 0;
    TokenLibrary.Select_File(handle, SELECT_MASTER_FILE, 0, 0, NULL, &status);
    return CheckApplication(handle, id) == 0 && SelectDirectory(handle, id);
}

int VerifyKeyPin(const KeyWalkHost* host, int slot, const unsigned char* pin, int length)
{
    int handle = OpenForPin(host, slot);
    if (!handle)
        return PIN_NO_ANSWER;
    int result = PIN_NO_ANSWER;
    for (unsigned id = APPLICATION_FIRST; id < APPLICATION_FIRST + APPLICATION_COUNT; ++id) {
        // An application the key does not list, or cannot select, ends the loop with the answer so far.
        if (!ApplicationListedAndSelected(handle, id))
            break;
        result = TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, pin, length);
        if (result == 0)
            break;
    }
    host->closeKey(host->context, handle);
    return result;
}

int ChangeKeyPin(const KeyWalkHost* host, int slot, const unsigned char* change, int changeLength,
                 const unsigned char* undo, int undoLength)
{
    int handle = OpenForPin(host, slot);
    if (!handle)
        return PIN_NO_ANSWER;
    // Which applications take part is settled before the first change is sent, with the checks
    // verification makes; the first that fails them ends the list.
    int listed = 0;
    while (listed < APPLICATION_COUNT && ApplicationListedAndSelected(handle, ApplicationId(listed)))
        ++listed;

    int result = PIN_NO_ANSWER;
    int took[APPLICATION_COUNT] = { 0 };
    int tookCount = 0;
    for (int i = 0; i < listed; ++i) {
        // One that cannot be reached now (a key pulled out part-way) has not taken the change.
        if (!EnterApplication(handle, ApplicationId(i)))
            continue;
        result = TokenLibrary.QZ_ChangePin(handle, changeLength, change);
        took[i] = result == 0;
        tookCount += took[i];
    }
    if (tookCount > 0 && tookCount < listed) {
        for (int i = 0; i < listed; ++i)
            if (took[i] && EnterApplication(handle, ApplicationId(i)))
                TokenLibrary.QZ_ChangePin(handle, undoLength, undo);
        result = PIN_CHANGE_UNDONE;
    }
    host->closeKey(host->context, handle);
    return result;
}
