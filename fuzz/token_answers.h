// A token whose every answer comes from the fuzz input, the way a card transport delivers them.
//
// The input is a sequence of answers, one per token call, in call order:
//   byte  result: low 2 bits pick the kind (0: 0, 1: negative, 2 and 3: positive), the rest its size
//   2     status word, high byte first (0x90 0x00 is success)
//   1..2  data length: one byte below 0x80, else 15 bits in two bytes
//   n     data, cut to what is left of the input
// Data goes to the caller cut to the count it asked for (Read_Binary) or its documented buffer
// (80 bytes of QZ_IC_RESET, 64 of QZ_GET_BCDSN, 512 of HexToDec). Once the input is used up every
// call fails (-1, status 0x6F00, no data).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "token_api.h"

struct TokenAnswer {
    int result;
    unsigned short status;
    const uint8_t* data;
    size_t length;
};

struct AnsweringToken {
    const uint8_t* input;
    size_t size;
    size_t position;
    int calls;
    int openHandles[16]; // handles handed out and not closed yet
    int openCount;
    int closesOfUnknownHandles;
    int callsOnClosedHandles;
    int readFrom; // where the next Read_Binary must start: 0 after a file is selected, -1 after a failure
};

// Binds the answering entry points into TokenLibrary and starts reading answers from input.
void StartAnsweringToken(AnsweringToken* token, const uint8_t* input, size_t size);
// Takes the next answer (the ending failure once the input is used up).
TokenAnswer NextAnswer(AnsweringToken* token);
// Whether the handle was handed out by QZ_Open and is not closed.
int IsHandleOpen(const AnsweringToken* token, int handle);
