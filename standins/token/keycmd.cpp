// KeyCmd.dll: opening virtual keys, walking and reading their files, PINs and certificates.
#include <windows.h>

#include <string.h>

#include "file_system.h"
#include "file_tree.h"
#include "key_store.h"
#include "open_keys.h"
#include "pin_state.h"
#include "token_exports.h"

enum {
    RESULT_BAD_HANDLE = -1,
    RESULT_NO_APPLICATION = -2,
    RESULT_BAD_ARGUMENT = -3,
    RESULT_STORE_FAILED = -4,
    RESULT_NOT_VERIFIED = -5,
    RESULT_NOT_SUPPORTED = -6,
    ANSWER_SIZE = 80
};

// Answer-to-reset: T=1, historical bytes "VelmoraKey".
static const unsigned char AnswerToReset[] = { 0x3B, 0xDA, 0x18, 0xFF, 0x81, 0xB1, 0xFE, 0x75, 0x1F, 0x03,
                                               'V',  'e',  'l',  'm',  'o',  'r',  'a',  'K',  'e',  'y' };

static void SetStatus(unsigned short* status, unsigned short value)
{
    if (status)
        *status = value;
}

int KEYAPI QZ_Open(int slot)
{
    return OpenKeyHandle(slot);
}

int KEYAPI QZ_Close(int handle)
{
    return CloseKeyHandle(handle);
}

int KEYAPI QZ_IC_RESET(int handle, unsigned char* answer80)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_IC_RESET");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    ResetCursor(&open->cursor);
    memset(open->verified, 0, sizeof open->verified);
    EndKeyCall();
    if (answer80) {
        memset(answer80, 0, ANSWER_SIZE);
        memcpy(answer80, AnswerToReset, sizeof AnswerToReset);
    }
    return 0;
}

int KEYAPI QZ_GET_SN(int handle, char* serial)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_GET_SN");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    uint32_t value = open->key.serial;
    EndKeyCall();
    if (!serial)
        return RESULT_BAD_ARGUMENT;
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 8; ++i)
        serial[i] = digits[value >> (28 - 4 * i) & 0xF];
    serial[8] = '\0';
    return 0;
}

int KEYAPI QZ_GET_BCDSN(int handle, unsigned char* serial64)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_GET_BCDSN");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    uint32_t value = open->key.serial;
    EndKeyCall();
    if (!serial64)
        return RESULT_BAD_ARGUMENT;
    serial64[0] = (unsigned char)(value >> 24);
    serial64[1] = (unsigned char)(value >> 16);
    serial64[2] = (unsigned char)(value >> 8);
    serial64[3] = (unsigned char)value;
    return 0;
}

int KEYAPI Select_File(int handle, int p1, int p2, int dataLength, const unsigned char* data,
                       unsigned short* status)
{
    OpenKey* open = BeginKeyCall(handle, "Select_File");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, status);
    unsigned short sw = SelectFile(&open->storage, &open->key, &open->cursor, p1, p2, dataLength, data);
    EndKeyCall();
    SetStatus(status, sw);
    return 0;
}

int KEYAPI Read_Binary(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                       unsigned char* destination, unsigned short* status)
{
    OpenKey* open = BeginKeyCall(handle, "Read_Binary");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, status);
    int delivered = 0;
    unsigned short sw = ReadBinary(&open->storage, &open->key, &open->cursor, mode, offsetHigh, offset, reserved,
                                   count, destination, &delivered);
    EndKeyCall();
    SetStatus(status, sw);
    return delivered;
}

// The application whose PIN a write needs, or a negative result.
static int WritableApplication(const OpenKey* open)
{
    int app = CurrentApplication(open);
    if (app < 0 || !open->key.apps[app].present)
        return RESULT_NO_APPLICATION;
    if (!open->verified[app])
        return RESULT_NOT_VERIFIED;
    return app;
}

int KEYAPI Update_Binary(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                         const unsigned char* data, unsigned short* status)
{
    OpenKey* open = BeginKeyCall(handle, "Update_Binary");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, status);
    unsigned short sw;
    if (WritableApplication(open) < 0)
        sw = SW_SECURITY_NOT_SATISFIED;
    else if (mode != 0 || reserved != 0 || offset < 0 || offsetHigh != offset / 256)
        sw = SW_WRONG_P1P2;
    else
        sw = UpdateBinary(&open->storage, &open->key, &open->cursor, offset, count, data);
    EndKeyCall();
    SetStatus(status, sw);
    return sw == SW_OK ? count : 0;
}

static int ValidPlace(int container, int kind)
{
    return container >= 0 && container < KEY_CONTAINERS && (kind == 1 || kind == 2);
}

int KEYAPI QZ_StoreCert(int handle, int container, int kind, int length, const unsigned char* der)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_StoreCert");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    int result = WritableApplication(open);
    if (result >= 0) {
        int app = result;
        char derPath[64];
        char rawPath[64];
        if (!ValidPlace(container, kind) || !der || length < 1 || length > KEY_CERT_MAX) {
            result = RESULT_BAD_ARGUMENT;
        } else if (CertificatePath(app, container, (CertKind)(kind - 1), CERT_EXTENSION, derPath, sizeof derPath) != 0 ||
                   CertificatePath(app, container, (CertKind)(kind - 1), RAW_EXTENSION, rawPath, sizeof rawPath) != 0 ||
                   open->storage.save(open->storage.context, derPath, der, (size_t)length) != 0 ||
                   open->storage.erase(open->storage.context, rawPath) != 0) {
            result = RESULT_STORE_FAILED;
        } else {
            result = 0;
        }
    }
    EndKeyCall();
    return result;
}

static int EraseCertificate(const OpenKey* open, int app, int container, CertKind kind)
{
    char path[64];
    const char* const extensions[] = { CERT_EXTENSION, RAW_EXTENSION };
    for (const char* extension : extensions) {
        if (CertificatePath(app, container, kind, extension, path, sizeof path) != 0 ||
            open->storage.erase(open->storage.context, path) != 0)
            return RESULT_STORE_FAILED;
    }
    return 0;
}

int KEYAPI QZ_DeleteCert(int handle, int container, int kind)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_DeleteCert");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    int result = WritableApplication(open);
    if (result >= 0)
        result = ValidPlace(container, kind) ? EraseCertificate(open, result, container, (CertKind)(kind - 1))
                                             : RESULT_BAD_ARGUMENT;
    EndKeyCall();
    return result;
}

static int ClearApplication(const OpenKey* open, int app)
{
    for (int j = 0; j < KEY_CONTAINERS; ++j)
        for (int k = 0; k < KEY_CERT_KINDS; ++k)
            if (EraseCertificate(open, app, j, (CertKind)k) != 0)
                return RESULT_STORE_FAILED;
    char path[64];
    KeyLocation at = { { FID_APPLICATION_FIRST + (unsigned)app, 0 }, 1 };
    if (StoredFilePath(&at, FID_INFO, RAW_EXTENSION, path, sizeof path) != 0 ||
        open->storage.erase(open->storage.context, path) != 0)
        return RESULT_STORE_FAILED;
    return 0;
}

int KEYAPI QZ_ClearDir(int handle)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_ClearDir");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    int result = WritableApplication(open);
    if (result >= 0)
        result = ClearApplication(open, result);
    EndKeyCall();
    return result;
}

int KEYAPI QZ_VerifyPinUpDatePinInfoFile(int handle, const unsigned char* pin, int pinLength)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_VerifyPinUpDatePinInfoFile");
    if (!open)
        return RefusedCall(PIN_NO_APPLICATION, NULL);
    int app = CurrentApplication(open);
    int result = VerifyApplicationPin(&open->storage, &open->key, app, pin, pinLength);
    if (app >= 0)
        open->verified[app] = result == PIN_OK;
    EndKeyCall();
    return result;
}

int KEYAPI QZ_ChangePin(int handle, int dataLength, const unsigned char* changeData)
{
    PinChange change;
    if (ParsePinChange(changeData, dataLength, &change) != PIN_OK)
        return PIN_MALFORMED_CHANGE;
    OpenKey* open = BeginKeyCall(handle, "QZ_ChangePin");
    if (!open)
        return RefusedCall(PIN_NO_APPLICATION, NULL);
    int app = CurrentApplication(open);
    int result = ChangeApplicationPin(&open->storage, &open->key, app, changeData, dataLength);
    if (app >= 0)
        open->verified[app] = result == PIN_OK;
    EndKeyCall();
    return result;
}

int KEYAPI QZ_AddCertToIE(int handle)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_AddCertToIE");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    EndKeyCall();
    return RESULT_NOT_SUPPORTED;
}

int KEYAPI QZ_DelCertFrIE(int handle)
{
    return QZ_AddCertToIE(handle);
}

int KEYAPI QZ_ReloadUserPin(int handle, const unsigned char* newPin, int pinLength)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_ReloadUserPin");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    int app = CurrentApplication(open);
    int result = 0;
    if (app < 0 || !open->key.apps[app].present) {
        result = RESULT_NO_APPLICATION;
    } else if (!newPin || pinLength < KEY_PIN_MIN || pinLength > KEY_PIN_MAX) {
        result = RESULT_BAD_ARGUMENT;
    } else {
        KeyApplication* a = &open->key.apps[app];
        memset(a->pin, 0, sizeof a->pin);
        memcpy(a->pin, newPin, (size_t)pinLength);
        a->pinLength = pinLength;
        a->retriesLeft = a->maxRetries;
        a->locked = 0;
        if (SaveKeyDescription(&open->storage, &open->key) != 0)
            result = RESULT_STORE_FAILED;
    }
    EndKeyCall();
    return result;
}

int KEYAPI QZ_InitialCard(int handle)
{
    OpenKey* open = BeginKeyCall(handle, "QZ_InitialCard");
    if (!open)
        return RefusedCall(RESULT_BAD_HANDLE, NULL);
    int result = 0;
    for (int i = 0; i < KEY_APPLICATIONS && result == 0; ++i) {
        KeyApplication* a = &open->key.apps[i];
        a->retriesLeft = a->maxRetries;
        a->locked = 0;
        result = ClearApplication(open, i);
    }
    char path[64];
    KeyLocation master = MasterLocation();
    if (result == 0 && (StoredFilePath(&master, FID_INFO, RAW_EXTENSION, path, sizeof path) != 0 ||
                        open->storage.erase(open->storage.context, path) != 0))
        result = RESULT_STORE_FAILED;
    if (result == 0 && SaveKeyDescription(&open->storage, &open->key) != 0)
        result = RESULT_STORE_FAILED;
    ResetCursor(&open->cursor);
    memset(open->verified, 0, sizeof open->verified);
    EndKeyCall();
    return result;
}
