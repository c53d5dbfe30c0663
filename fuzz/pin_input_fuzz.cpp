// Fuzz target: what the PIN dialogs make of typed text and of the on-screen keyboard's shuffle: the
// strength rating and meter, the change data sent to the key, and each key's character and caption.
//
// Input: size byte for the change data buffer, then the old PIN and the new PIN separated by a NUL
// (each cut to what a PIN box gives), then the digit and letter orders, then a permutation length.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_check.h"
#include "keyboard_layout.h"
#include "pin_rules.h"

namespace {

// A PIN as ReadPinBox delivers it: at most PIN_READ_SIZE - 1 bytes and a NUL, in a buffer of its own.
char* TakePin(const uint8_t*& data, size_t& size)
{
    char* pin = (char*)calloc(1, PIN_READ_SIZE);
    size_t n = 0;
    while (n < size && data[n] != 0)
        ++n;
    memcpy(pin, data, n < PIN_READ_SIZE - 1 ? n : PIN_READ_SIZE - 1);
    size_t used = n < size ? n + 1 : n;
    data += used;
    size -= used;
    return pin;
}

void CheckRating(const char* pin)
{
    int rate = RatePinStrength(pin);
    FUZZ_CHECK(rate >= 0 && rate <= 3);
    FUZZ_CHECK((rate == 0) == (pin[0] == '\0'));
    // One character repeated is always the weakest, whatever it is.
    size_t same = 0;
    while (pin[same] && pin[same] == pin[0])
        ++same;
    if (pin[0] && pin[same] == '\0')
        FUZZ_CHECK(rate == 1);
    // A PIN with a GBK byte is never sent; letters and digits always are.
    bool gbk = false;
    for (const char* p = pin; *p; ++p)
        gbk |= (unsigned char)*p >= 0x80;
    if (gbk)
        FUZZ_CHECK(!IsVerifiablePin(pin) && !IsAlphanumericPin(pin));
    FUZZ_CHECK(!IsAlphanumericPin(pin) || IsVerifiablePin(pin));
    MeterLevel level = MeterLevelFor(pin);
    if (strlen(pin) < 8)
        FUZZ_CHECK(level == METER_LOW);
    else
        FUZZ_CHECK(level == (rate == 1 ? METER_LOW : rate == 2 ? METER_MEDIUM : METER_HIGH));
}

// The change data fits the buffer it was given or is refused whole; what was written reads back.
void CheckChangeData(const char* oldPin, const char* newPin, size_t size)
{
    unsigned char* out = (unsigned char*)malloc(size ? size : 1);
    int length = BuildChangeData(oldPin, newPin, out, size);
    size_t oldLength = strlen(oldPin), newLength = strlen(newPin);
    if (oldLength + 1 + newLength > size) {
        FUZZ_CHECK(length == -1);
    } else {
        FUZZ_CHECK(length == (int)(oldLength + 1 + newLength));
        FUZZ_CHECK(memcmp(out, oldPin, oldLength) == 0);
        FUZZ_CHECK(out[oldLength] == 0xFF);
        FUZZ_CHECK(memcmp(out + oldLength + 1, newPin, newLength) == 0);
    }
    free(out);
}

// Every id a WM_COMMAND can carry near the keys: a character key enters one printable character and
// shows it as its caption; no other id enters anything. The orders may hold any byte.
void CheckKeyboard(const unsigned char* digits, const unsigned char* letters, size_t captionSize)
{
    char* caption = (char*)malloc(captionSize ? captionSize : 1);
    char typed[PIN_READ_SIZE] = "";
    size_t typedLength = 0;
    for (int id = KEY_GRAVE - 50; id <= KEY_LETTER_FIRST + KEY_SECOND_SET + LETTER_KEY_COUNT + 50; ++id) {
        char c = KeyCharacter(id, digits, letters);
        FUZZ_CHECK((c != 0) == (IsCharacterKey(id) != 0));
        if (c)
            FUZZ_CHECK(c >= 0x21 && c <= 0x7E);
        if (c && typedLength < 16)
            typed[typedLength++] = c;
        memset(caption, 0x5A, captionSize ? captionSize : 1);
        KeyCaption(id, digits, letters, caption, captionSize);
        if (captionSize == 0)
            continue;
        FUZZ_CHECK(memchr(caption, 0, captionSize) != NULL);
        if (c && captionSize >= 3)
            FUZZ_CHECK(c == '&' ? strcmp(caption, "&&") == 0 : caption[0] == c && caption[1] == 0);
    }
    // Whatever the keyboard types may be sent as a PIN.
    FUZZ_CHECK(IsVerifiablePin(typed));
    free(caption);
}

// The keyboard's shuffle: n distinct values below n, or nothing written for a length it cannot make.
void CheckPermutation(int n)
{
    unsigned char order[256];
    memset(order, 0xEE, sizeof order);
    int made = MakeRandomPermutation(order, n);
    bool seen[256] = {};
    if (n < 0 || n > 128) {
        FUZZ_CHECK(made == 0 && order[0] == 0xEE);
        return;
    }
    FUZZ_CHECK(made == n);
    for (int i = 0; i < n; ++i) {
        FUZZ_CHECK(order[i] < n && !seen[order[i]]);
        seen[order[i]] = true;
    }
    FUZZ_CHECK(order[n] == 0xEE);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t changeSize = data[0] % (PIN_WORK_BUFFER + 1);
    size_t captionSize = data[1] % 8;
    data += 2;
    size -= 2;
    char* oldPin = TakePin(data, size);
    char* newPin = TakePin(data, size);
    CheckRating(oldPin);
    CheckRating(newPin);
    CheckChangeData(oldPin, newPin, changeSize);
    CheckChangeData(oldPin, newPin, PIN_WORK_BUFFER);

    unsigned char* digits = (unsigned char*)calloc(1, KEY_ORDER_BUFFER);
    unsigned char* letters = (unsigned char*)calloc(1, KEY_ORDER_BUFFER);
    size_t take = size < DIGIT_KEY_COUNT ? size : DIGIT_KEY_COUNT;
    memcpy(digits, data, take);
    memcpy(letters, data + take, size - take < LETTER_KEY_COUNT ? size - take : LETTER_KEY_COUNT);
    CheckKeyboard(digits, letters, captionSize);
    if (size > DIGIT_KEY_COUNT + LETTER_KEY_COUNT)
        CheckPermutation((int)data[DIGIT_KEY_COUNT + LETTER_KEY_COUNT] - 4);
    free(digits);
    free(letters);
    free(oldPin);
    free(newPin);
    return 0;
}
