// Fuzz target: what the PIN dialogs make of typed text and of the on-screen keyboard's shuffle: the
// strength rating and meter, the change data sent to the key, and each key's character and caption.
//
// Input: size byte for the change data buffer, caption size byte, then the old PIN and the new PIN
// each ended by a NUL (cut to what a PIN box gives), the digit and letter orders, a shuffle length.
#include "fuzz_check.h"
#include "keyboard_layout.h"
#include "pin_rules.h"

namespace {

void CheckRating(const char* pin)
{
    int rate = RatePinStrength(pin);
    FUZZ_CHECK(rate >= 0 && rate <= 3 && (rate == 0) == (pin[0] == '\0'));
    // One character repeated is always the weakest, whatever it is.
    if (pin[0] && strspn(pin, std::string(1, pin[0]).c_str()) == strlen(pin))
        FUZZ_CHECK(rate == 1);
    // A PIN with a GBK byte is never sent; letters and digits always are.
    bool gbk = false;
    for (const char* p = pin; *p; ++p)
        gbk |= (unsigned char)*p >= 0x80;
    FUZZ_CHECK(!gbk || (!IsVerifiablePin(pin) && !IsAlphanumericPin(pin)));
    FUZZ_CHECK(!IsAlphanumericPin(pin) || IsVerifiablePin(pin));
    MeterLevel level = MeterLevelFor(pin);
    FUZZ_CHECK(level == (strlen(pin) < 8 || rate == 1 ? METER_LOW : rate == 2 ? METER_MEDIUM : METER_HIGH));
}

// The change data fits the buffer it was given or is refused whole; what was written reads back.
void CheckChangeData(const char* oldPin, const char* newPin, size_t size)
{
    unsigned char* out = (unsigned char*)malloc(size ? size : 1);
    int length = BuildChangeData(oldPin, newPin, out, size);
    std::string expected = std::string(oldPin) + '\xFF' + newPin;
    FUZZ_CHECK(expected.size() > size ? length == -1
                                      : length == (int)expected.size() && memcmp(out, expected.data(), length) == 0);
    free(out);
}

// Every id a WM_COMMAND can carry near the keys: a character key enters one printable character and
// shows it as its caption; no other id enters anything. The orders may hold any byte.
void CheckKeyboard(const unsigned char* digits, const unsigned char* letters, size_t captionSize)
{
    char* caption = (char*)malloc(captionSize ? captionSize : 1);
    std::string typed;
    for (int id = KEY_GRAVE - 50; id <= KEY_LETTER_FIRST + KEY_SECOND_SET + LETTER_KEY_COUNT + 50; ++id) {
        char c = KeyCharacter(id, digits, letters);
        FUZZ_CHECK((c != 0) == (IsCharacterKey(id) != 0) && (!c || (c >= 0x21 && c <= 0x7E)));
        if (c && typed.size() < PIN_BOX_LIMIT)
            typed += c;
        memset(caption, 0x5A, captionSize ? captionSize : 1);
        KeyCaption(id, digits, letters, caption, captionSize);
        FUZZ_CHECK(captionSize == 0 || memchr(caption, 0, captionSize) != NULL);
        if (c && captionSize >= 3)
            FUZZ_CHECK(caption == (c == '&' ? std::string("&&") : std::string(1, c)));
    }
    // Whatever the keyboard types may be sent as a PIN.
    FUZZ_CHECK(IsVerifiablePin(typed.c_str()));
    free(caption);
}

// The keyboard's shuffle: n distinct values below n, or nothing written for a length it cannot make.
void CheckPermutation(int n)
{
    unsigned char order[256];
    memset(order, 0xEE, sizeof order);
    int made = MakeRandomPermutation(order, n);
    bool valid = n >= 0 && n <= 128;
    FUZZ_CHECK(made == (valid ? n : 0) && order[valid ? n : 0] == 0xEE);
    bool seen[256] = {};
    for (int i = 0; i < made; ++i) {
        FUZZ_CHECK(order[i] < n && !seen[order[i]]);
        seen[order[i]] = true;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    size_t changeSize = in.Byte() % (PIN_WORK_BUFFER + 1);
    size_t captionSize = in.Byte() % 8;
    // A PIN as ReadPinBox delivers it: at most PIN_READ_SIZE - 1 bytes and a NUL, in a buffer of its own.
    char* pins[2];
    for (char*& pin : pins) {
        std::string typed = in.Part().substr(0, PIN_READ_SIZE - 1);
        pin = (char*)calloc(1, PIN_READ_SIZE);
        memcpy(pin, typed.data(), typed.size());
        CheckRating(pin);
    }
    CheckChangeData(pins[0], pins[1], changeSize);
    CheckChangeData(pins[0], pins[1], PIN_WORK_BUFFER);

    unsigned char* digits = (unsigned char*)calloc(1, KEY_ORDER_BUFFER);
    unsigned char* letters = (unsigned char*)calloc(1, KEY_ORDER_BUFFER);
    for (int i = 0; i < DIGIT_KEY_COUNT + LETTER_KEY_COUNT; ++i)
        (i < DIGIT_KEY_COUNT ? digits[i] : letters[i - DIGIT_KEY_COUNT]) = in.Byte();
    CheckKeyboard(digits, letters, captionSize);
    if (in.Left() > 0)
        CheckPermutation(in.Byte() - 4);
    free(digits);
    free(letters);
    free(pins[0]);
    free(pins[1]);
    return 0;
}
