// The PIN loops over a key's applications: verification and change, through the bound token library
// and the host's key opening.
#include "key_pin.h"

#include <string.h>

#include "pin_rules.h"
#include "token/token_api.h"

// Opens the key, resets it and makes sure it is the key the PIN was typed for; the handle, or 0 when
// no key was opened or it was closed again.
static int OpenForPin(const KeyWalkHost* host, int slot, const unsigned char* serial)
{
    int handle = host->openKey(host->context, slot);
    if (handle < 1)
        return 0;
    unsigned char answer[PIN_WORK_BUFFER];
    memset(answer, 0, sizeof answer);
    TokenLibrary.QZ_IC_RESET(handle, answer);
    // Read as the refresh reads it. A key that cannot say which one it is gets no PIN either.
    unsigned char now[SERIAL_READ_SIZE];
    memset(now, 0, sizeof now);
    if (TokenLibrary.QZ_GET_BCDSN(handle, now) < 0 || memcmp(now, serial, KEY_SERIAL_SIZE) != 0) {
        host->closeKey(host->context, handle);
        return 0;
    }
    return handle;
}

// The loop's own select of the master file, whose answer is not looked at.
static void ReturnToMasterFile(int handle)
{
    unsigned short status = 0;
    TokenLibrary.Select_File(handle, SELECT_MASTER_FILE, 0, 0, NULL, &status);
}

static int EnterApplication(int handle, unsigned id)
{
    ReturnToMasterFile(handle);
    return SelectDirectory(handle, id);
}

// 1 when the key lists the application and it could be selected: the loop's select of the master
// file, the check of the device information, the application's select.
static int ApplicationListedAndSelected(int handle, unsigned id)
{
    ReturnToMasterFile(handle);
    return CheckApplication(handle, id) == 0 && SelectDirectory(handle, id);
}

// How many applications a change goes to, settled before the first is sent, with the checks
// verification makes: the first the key does not list ends the list. -1 when a check could not be
// made, since the key may hold a PIN in an application the change would then pass by.
static int CountChangeApplications(int handle)
{
    int listed = 0;
    while (listed < APPLICATION_COUNT) {
        unsigned id = ApplicationId(listed);
        ReturnToMasterFile(handle);
        ApplicationListing listing = CheckApplicationListing(handle, id);
        if (listing == APPLICATION_NOT_LISTED)
            break;
        if (listing == APPLICATION_UNCHECKED || !SelectDirectory(handle, id))
            return -1;
        ++listed;
    }
    return listed;
}

int VerifyKeyPin(const KeyWalkHost* host, int slot, const unsigned char* serial, const unsigned char* pin,
                 int length)
{
    int handle = OpenForPin(host, slot, serial);
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

int ChangeKeyPin(const KeyWalkHost* host, int slot, const unsigned char* serial, const unsigned char* change,
                 int changeLength, const unsigned char* undo, int undoLength)
{
    int handle = OpenForPin(host, slot, serial);
    if (!handle)
        return PIN_NO_ANSWER;
    int listed = CountChangeApplications(handle);

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
        // Only an application that answered the undo with 0 holds the current PIN again.
        int undone = 0;
        for (int i = 0; i < listed; ++i)
            if (took[i] && EnterApplication(handle, ApplicationId(i)))
                undone += TokenLibrary.QZ_ChangePin(handle, undoLength, undo) == 0;
        result = undone == tookCount ? PIN_CHANGE_UNDONE : PIN_CHANGE_PARTIAL;
    }
    host->closeKey(host->context, handle);
    return result;
}
