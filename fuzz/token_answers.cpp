// The answering token's entry points: each call consumes one answer of the fuzz input.
#include "token_answers.h"

#include <string.h>

#include "fuzz_check.h"

static AnsweringToken* Current;

TokenAnswer NextAnswer(AnsweringToken* token)
{
    token->calls++;
    TokenAnswer answer = { -1, 0x6F00, NULL, 0 };
    const uint8_t* in = token->input;
    size_t left = token->size - token->position;
    if (left < 4) {
        token->position = token->size;
        return answer;
    }
    size_t at = token->position;
    uint8_t kind = in[at];
    int magnitude = kind >> 2;
    answer.result = (kind & 3) == 0 ? 0 : (kind & 3) == 1 ? -1 - magnitude : 1 + magnitude;
    answer.status = (unsigned short)(in[at + 1] << 8 | in[at + 2]);
    at += 3;
    size_t length = in[at++];
    if (length & 0x80) {
        length = (length & 0x7F) << 8;
        if (at < token->size)
            length |= in[at++];
    }
    size_t available = token->size - at;
    if (length > available)
        length = available;
    answer.data = in + at;
    answer.length = length;
    token->position = at + length;
    return answer;
}

int IsHandleOpen(const AnsweringToken* token, int handle)
{
    for (int i = 0; i < token->openCount; ++i)
        if (token->openHandles[i] == handle)
            return 1;
    return 0;
}

// A call with a handle the token never gave out, or gave out and took back, touches the wrong key.
static void NoteHandleUse(int handle)
{
    if (!IsHandleOpen(Current, handle))
        Current->callsOnClosedHandles++;
}

static void Deliver(const TokenAnswer& answer, unsigned char* destination, size_t room)
{
    if (!destination)
        return;
    size_t n = answer.length < room ? answer.length : room;
    if (n > 0)
        memcpy(destination, answer.data, n);
}

static int TOKENAPI AnswerOpen(int slot)
{
    FUZZ_CHECK(slot >= 0 && slot < 4);
    TokenAnswer answer = NextAnswer(Current);
    int handle = answer.result;
    // The same handle twice would make two keys indistinguishable; a real token never does that.
    if (handle > 0 && IsHandleOpen(Current, handle))
        return 0;
    if (handle > 0) {
        // Four slots never need more: a full table is handles the walk never closed.
        FUZZ_CHECK(Current->openCount < (int)(sizeof Current->openHandles / sizeof Current->openHandles[0]));
        Current->openHandles[Current->openCount++] = handle;
    }
    return handle;
}

static int TOKENAPI AnswerClose(int handle)
{
    TokenAnswer answer = NextAnswer(Current);
    for (int i = 0; i < Current->openCount; ++i) {
        if (Current->openHandles[i] == handle) {
            Current->openHandles[i] = Current->openHandles[--Current->openCount];
            return answer.result;
        }
    }
    Current->closesOfUnknownHandles++;
    return answer.result;
}

// A call on an open key whose answer is data for a buffer of room bytes.
static int AnswerInto(int handle, unsigned char* destination, size_t room)
{
    NoteHandleUse(handle);
    TokenAnswer answer = NextAnswer(Current);
    Deliver(answer, destination, room);
    return answer.result;
}

static int TOKENAPI AnswerReset(int handle, unsigned char* answer80)
{
    return AnswerInto(handle, answer80, 80);
}

static int TOKENAPI AnswerSelect(int handle, int p1, int p2, int dataLength, const unsigned char* data,
                                 unsigned short* status)
{
    NoteHandleUse(handle);
    FUZZ_CHECK(p1 >= SELECT_MASTER_FILE && p1 <= SELECT_ELEMENTARY_FILE && p2 == 0);
    FUZZ_CHECK(dataLength == (p1 == SELECT_MASTER_FILE ? 0 : 2));
    // The identifier must be readable for the length the caller claims.
    volatile unsigned char sink = 0;
    for (int i = 0; i < dataLength; ++i)
        sink = sink ^ data[i];
    (void)sink;
    TokenAnswer answer = NextAnswer(Current);
    *status = answer.status;
    bool selected = p1 == SELECT_ELEMENTARY_FILE && answer.result >= 0 && answer.status == KEY_STATUS_OK;
    Current->readFrom = selected ? 0 : -1;
    return answer.result;
}

// A file is read from its start, piece after piece, and not at all past a failed select or read.
static int TOKENAPI AnswerRead(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                               unsigned char* destination, unsigned short* status)
{
    NoteHandleUse(handle);
    FUZZ_CHECK(mode == 0 && reserved == 0);
    FUZZ_CHECK(count >= 1 && count <= KEY_READ_PIECE);
    FUZZ_CHECK(offset == Current->readFrom && offsetHigh == offset / 256);
    TokenAnswer answer = NextAnswer(Current);
    Deliver(answer, destination, (size_t)count);
    *status = answer.status;
    Current->readFrom = answer.result >= 0 && answer.status == KEY_STATUS_OK ? offset + count : -1;
    return answer.result;
}

static int TOKENAPI AnswerSerial(int handle, unsigned char* serial64)
{
    return AnswerInto(handle, serial64, 64);
}

static int TOKENAPI AnswerVerify(int handle, const unsigned char* pin, int pinLength)
{
    NoteHandleUse(handle);
    FUZZ_CHECK(pinLength >= 0 && (pinLength == 0 || pin));
    return NextAnswer(Current).result;
}

static int TOKENAPI AnswerChange(int handle, int dataLength, const unsigned char* changeData)
{
    NoteHandleUse(handle);
    FUZZ_CHECK(dataLength >= 0 && (dataLength == 0 || changeData));
    return NextAnswer(Current).result;
}

static int TOKENAPI AnswerHexToDec(const char* hexDigits, char* decimal512)
{
    FUZZ_CHECK(strlen(hexDigits) < 512);
    TokenAnswer answer = NextAnswer(Current);
    Deliver(answer, (unsigned char*)decimal512, 512);
    return answer.result;
}

void StartAnsweringToken(AnsweringToken* token, const uint8_t* input, size_t size)
{
    memset(token, 0, sizeof *token);
    token->readFrom = -1;
    token->input = input;
    token->size = size;
    Current = token;
    memset(&TokenLibrary, 0, sizeof TokenLibrary);
    TokenLibrary.QZ_Open = AnswerOpen;
    TokenLibrary.QZ_Close = AnswerClose;
    TokenLibrary.QZ_IC_RESET = AnswerReset;
    TokenLibrary.Select_File = AnswerSelect;
    TokenLibrary.Read_Binary = AnswerRead;
    TokenLibrary.QZ_GET_BCDSN = AnswerSerial;
    TokenLibrary.QZ_VerifyPinUpDatePinInfoFile = AnswerVerify;
    TokenLibrary.QZ_ChangePin = AnswerChange;
    TokenLibrary.HexToDec = AnswerHexToDec;
}
