// PIN character rules, the strength rating and the change data.
#include "pin_rules.h"

#include <string.h>

#include "bounded_text.h"

int IsVerifiablePin(const char* text)
{
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
        if (*p < 0x21 || *p > 0x7E)
            return 0;
    return 1;
}

static int IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
static int IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
static int IsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }

int IsAlphanumericPin(const char* text)
{
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
        if (!IsDigit(*p) && !IsUpper(*p) && !IsLower(*p))
            return 0;
    return 1;
}

static int RateCopy(const unsigned char* s, size_t length)
{
    if (length == 0)
        return 0;

    int allDigits = 1, allSame = 1, ascending = 1, allUpper = 1, allLower = 1;
    for (size_t i = 0; i < length; ++i) {
        allDigits &= IsDigit(s[i]);
        allSame &= s[i] == s[0];
        if (i > 0)
            ascending &= s[i] == s[i - 1] + 1;
        allUpper &= IsUpper(s[i]);
        allLower &= IsLower(s[i]);
    }
    if (allDigits || allSame || ascending)
        return 1;
    return allUpper || allLower ? 2 : 3;
}

int RatePinStrength(const char* text)
{
    char copy[PIN_READ_SIZE];
    TextCopy(copy, sizeof copy, text);
    int rating = RateCopy((const unsigned char*)copy, strlen(copy));
    WipeBytes(copy, sizeof copy);
    return rating;
}

MeterLevel MeterLevelFor(const char* newPin)
{
    if (strlen(newPin) < 8)
        return METER_LOW;
    switch (RatePinStrength(newPin)) {
    case 1: return METER_LOW;
    case 2: return METER_MEDIUM;
    case 3: return METER_HIGH;
    }
    return METER_NONE;
}

int BuildChangeData(const char* oldPin, const char* newPin, unsigned char* out, size_t size)
{
    size_t oldLength = strlen(oldPin);
    size_t newLength = strlen(newPin);
    if (oldLength + 1 + newLength > size)
        return -1;
    memcpy(out, oldPin, oldLength);
    out[oldLength] = 0xFF;
    memcpy(out + oldLength + 1, newPin, newLength);
    return (int)(oldLength + 1 + newLength);
}
