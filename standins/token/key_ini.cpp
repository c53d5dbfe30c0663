// Reads and writes key.ini; every line is checked, since a person may have edited the file.
#include "key_ini.h"

#include <ctype.h>
#include <string.h>

#include "bounded_text.h"
#include "hex_to_dec.h"

enum { LINE_MAX_BYTES = 512 };

enum Section { SECTION_NONE, SECTION_KEY, SECTION_APP1, SECTION_APP2 };

// Names seen so far, so a name given twice or one missing is reported.
enum {
    SEEN_SERIAL = 1 << 0, SEEN_LABEL = 1 << 1, SEEN_INSERTED = 1 << 2, SEEN_VANISH = 1 << 3, SEEN_FAIL = 1 << 4, SEEN_FAILED = 1 << 5,
    SEEN_PRESENT = 1 << 0, SEEN_PIN = 1 << 1, SEEN_MAX = 1 << 2, SEEN_LEFT = 1 << 3,
    SEEN_LOCKED = 1 << 4, SEEN_NAME0 = 1 << 5, SEEN_NAME1 = 1 << 6, SEEN_SECTION = 1 << 7
};

struct Cursor {
    const char* text;
    size_t length;
    size_t position;
    int lineNumber;
};

struct Field {
    const char* name;
    size_t nameLength;
    const char* value;
    size_t valueLength;
};

static int Fail(char* error, size_t size, int line, const char* reason, const char* detail, size_t detailLength)
{
    if (size == 0)
        return -1;
    error[0] = '\0';
    if (line > 0)
        TextAppendFormat(error, size, "line %d: ", line);
    TextAppend(error, size, reason);
    if (detail) {
        TextAppend(error, size, " '");
        // Quoted up to 40 bytes, never ending in half a character.
        TextAppendBytes(error, size, detail, GbkPrefixLength(detail, detailLength > 40 ? 40 : detailLength));
        TextAppend(error, size, "'");
    }
    return -1;
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

static void Trim(const char** start, size_t* length)
{
    while (*length > 0 && IsBlank(**start)) {
        ++*start;
        --*length;
    }
    while (*length > 0 && IsBlank((*start)[*length - 1]))
        --*length;
}

// Next line without its end; 0 at the end of the text.
static int NextLine(Cursor* cursor, const char** line, size_t* lineLength)
{
    if (cursor->position >= cursor->length)
        return 0;
    const char* start = cursor->text + cursor->position;
    size_t rest = cursor->length - cursor->position;
    const char* end = (const char*)memchr(start, '\n', rest);
    size_t n = end ? (size_t)(end - start) : rest;
    cursor->position += end ? n + 1 : n;
    cursor->lineNumber++;
    *line = start;
    *lineLength = n;
    return 1;
}

static int Is(const Field* f, const char* name)
{
    return f->nameLength == strlen(name) && memcmp(f->name, name, f->nameLength) == 0;
}

static int ValueIs(const Field* f, const char* word)
{
    return f->valueLength == strlen(word) && memcmp(f->value, word, f->valueLength) == 0;
}

// yes/no; -1 for anything else.
static int ParseYesNo(const Field* f)
{
    if (ValueIs(f, "yes"))
        return 1;
    if (ValueIs(f, "no"))
        return 0;
    return -1;
}

// A decimal number of 1..maxDigits digits (at most seven); -1 for anything else.
static long ParseDecimal(const Field* f, size_t maxDigits)
{
    if (f->valueLength < 1 || f->valueLength > maxDigits)
        return -1;
    long n = 0;
    for (size_t i = 0; i < f->valueLength; ++i) {
        if (f->value[i] < '0' || f->value[i] > '9')
            return -1;
        n = n * 10 + (f->value[i] - '0');
    }
    return n;
}

// 1..KEY_VANISH_CALLS_MAX; -1 for anything else.
static long ParseCallCount(const Field* f)
{
    long n = ParseDecimal(f, 7);
    return n >= 1 && n <= KEY_VANISH_CALLS_MAX ? n : -1;
}

// "CALL RESULT STATUS", one space apart: CALL as vanish_after_calls, RESULT a decimal of the same
// size with an optional '-', STATUS four hexadecimal digits.
static int ParseFault(const Field* f, KeyDescription* key)
{
    Field parts[3];
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (at > f->valueLength)
            return -1;
        const char* space = (const char*)memchr(f->value + at, ' ', f->valueLength - at);
        size_t end = space ? (size_t)(space - f->value) : f->valueLength;
        parts[i] = *f;
        parts[i].value = f->value + at;
        parts[i].valueLength = end - at;
        at = end + 1;
    }
    if (at <= f->valueLength) // a fourth part
        return -1;
    int negative = parts[1].valueLength > 0 && parts[1].value[0] == '-';
    parts[1].value += negative;
    parts[1].valueLength -= negative;
    long call = ParseCallCount(&parts[0]);
    long result = ParseDecimal(&parts[1], 7);
    uint32_t status = 0;
    if (call < 0 || result < 0 || result > KEY_VANISH_CALLS_MAX ||
        ParseHexDigits(parts[2].value, parts[2].valueLength, 4, &status) != 0)
        return -1;
    key->failAtCall = (int)call;
    key->failResult = negative ? (int)-result : (int)result;
    key->failStatus = status;
    return 0;
}

static int ParseSerial(const Field* f, uint32_t* serial)
{
    return ParseSerialHex(f->value, f->valueLength, serial);
}

static int IsPrintablePin(const unsigned char* pin, int length)
{
    for (int i = 0; i < length; ++i)
        if (pin[i] < 0x21 || pin[i] > 0x7E)
            return 0;
    return 1;
}

static int ParsePin(const Field* f, int hex, KeyApplication* app)
{
    if (!hex) {
        if (f->valueLength < KEY_PIN_MIN || f->valueLength > KEY_PIN_MAX)
            return -1;
        if (!IsPrintablePin((const unsigned char*)f->value, (int)f->valueLength))
            return -1;
        memcpy(app->pin, f->value, f->valueLength);
        app->pinLength = (int)f->valueLength;
        return 0;
    }
    if (f->valueLength % 2 != 0 || f->valueLength < 2 * KEY_PIN_MIN || f->valueLength > 2 * KEY_PIN_MAX)
        return -1;
    for (size_t i = 0; i < f->valueLength; i += 2) {
        int high = HexDigitValue(f->value[i]);
        int low = HexDigitValue(f->value[i + 1]);
        if (high < 0 || low < 0)
            return -1;
        app->pin[i / 2] = (unsigned char)(high << 4 | low);
    }
    app->pinLength = (int)(f->valueLength / 2);
    return 0;
}

static int MarkSeen(int* seen, int flag)
{
    if (*seen & flag)
        return -1;
    *seen |= flag;
    return 0;
}

static int KeyField(const Field* f, KeyDescription* key, int* seen, int line, char* error, size_t errorSize)
{
    int flag;
    if (Is(f, "serial")) {
        flag = SEEN_SERIAL;
        if (ParseSerial(f, &key->serial) != 0)
            return Fail(error, errorSize, line, "serial is not 8 hexadecimal digits:", f->value, f->valueLength);
    } else if (Is(f, "label")) {
        flag = SEEN_LABEL;
        if (!IsValidLabel(f->value, f->valueLength))
            return Fail(error, errorSize, line, "label is longer than 63 bytes or not GBK text", NULL, 0);
        memcpy(key->label, f->value, f->valueLength);
        key->label[f->valueLength] = '\0';
    } else if (Is(f, "inserted")) {
        flag = SEEN_INSERTED;
        int v = ParseYesNo(f);
        if (v < 0)
            return Fail(error, errorSize, line, "inserted must be yes or no, not", f->value, f->valueLength);
        key->inserted = v;
    } else if (Is(f, "vanish_after_calls")) {
        flag = SEEN_VANISH;
        long n = ParseCallCount(f);
        if (n < 0)
            return Fail(error, errorSize, line, "vanish_after_calls must be 1 to 1000000, not", f->value,
                        f->valueLength);
        key->vanishAfterCalls = (int)n;
    } else if (Is(f, "failed_call")) {
        flag = SEEN_FAILED;
        int valid = f->valueLength >= 1 && f->valueLength <= KEY_CALL_NAME_MAX;
        for (size_t i = 0; valid && i < f->valueLength; ++i)
            valid = isalnum((unsigned char)f->value[i]) || f->value[i] == '_';
        if (!valid)
            return Fail(error, errorSize, line, "failed_call must be a call's name, not", f->value, f->valueLength);
        memcpy(key->failedCall, f->value, f->valueLength);
        key->failedCall[f->valueLength] = '\0';
    } else if (Is(f, "fail")) {
        flag = SEEN_FAIL;
        if (ParseFault(f, key) != 0)
            return Fail(error, errorSize, line, "fail must be CALL RESULT STATUS (e.g. 3 -5 9000), not", f->value,
                        f->valueLength);
    } else {
        return Fail(error, errorSize, line, "unknown name", f->name, f->nameLength);
    }
    if (MarkSeen(seen, flag) != 0)
        return Fail(error, errorSize, line, "given twice:", f->name, f->nameLength);
    return 0;
}

static int AppField(const Field* f, KeyApplication* app, int* seen, int line, char* error, size_t errorSize)
{
    int flag;
    if (Is(f, "present")) {
        flag = SEEN_PRESENT;
        app->present = ParseYesNo(f);
        if (app->present < 0)
            return Fail(error, errorSize, line, "present must be yes or no, not", f->value, f->valueLength);
    } else if (Is(f, "pin") || Is(f, "pin_hex")) {
        flag = SEEN_PIN;
        if (ParsePin(f, Is(f, "pin_hex"), app) != 0)
            return Fail(error, errorSize, line, "PIN must be 1 to 31 bytes (printable, or pin_hex)", NULL, 0);
    } else if (Is(f, "max_retries")) {
        flag = SEEN_MAX;
        app->maxRetries = (int)ParseDecimal(f, 3);
        if (app->maxRetries < 1 || app->maxRetries > KEY_RETRIES_MAX)
            return Fail(error, errorSize, line, "max_retries must be 1 to 15, not", f->value, f->valueLength);
    } else if (Is(f, "retries_left")) {
        flag = SEEN_LEFT;
        app->retriesLeft = (int)ParseDecimal(f, 3);
        if (app->retriesLeft < 0 || app->retriesLeft > KEY_RETRIES_MAX)
            return Fail(error, errorSize, line, "retries_left must be 0 to 15, not", f->value, f->valueLength);
    } else if (Is(f, "locked")) {
        flag = SEEN_LOCKED;
        app->locked = ParseYesNo(f);
        if (app->locked < 0)
            return Fail(error, errorSize, line, "locked must be yes or no, not", f->value, f->valueLength);
    } else if (Is(f, "container0") || Is(f, "container1")) {
        int j = f->name[9] - '0';
        flag = j == 0 ? SEEN_NAME0 : SEEN_NAME1;
        if (!IsValidContainerName(f->value, f->valueLength))
            return Fail(error, errorSize, line, "container name must be 1 to 31 printable ASCII characters", NULL, 0);
        memcpy(app->containerNames[j], f->value, f->valueLength);
        app->containerNames[j][f->valueLength] = '\0';
    } else {
        return Fail(error, errorSize, line, "unknown name", f->name, f->nameLength);
    }
    if (MarkSeen(seen, flag) != 0)
        return Fail(error, errorSize, line, "given twice:", f->name, f->nameLength);
    return 0;
}

static int SectionOf(const char* name, size_t length)
{
    if (length == 3 && memcmp(name, "key", 3) == 0)
        return SECTION_KEY;
    if (length == 12 && memcmp(name, "application1", 12) == 0)
        return SECTION_APP1;
    if (length == 12 && memcmp(name, "application2", 12) == 0)
        return SECTION_APP2;
    return SECTION_NONE;
}

// Checks what the lines could not: required names and values that depend on each other.
static int CheckComplete(KeyDescription* key, int keySeen, const int appSeen[KEY_APPLICATIONS], char* error,
                         size_t errorSize)
{
    if (!(keySeen & SEEN_SECTION))
        return Fail(error, errorSize, 0, "no [key] section", NULL, 0);
    if (!(keySeen & SEEN_SERIAL))
        return Fail(error, errorSize, 0, "[key] has no serial", NULL, 0);
    if (!(keySeen & SEEN_INSERTED))
        key->inserted = 1;
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        KeyApplication* app = &key->apps[i];
        int seen = appSeen[i];
        if (!(seen & SEEN_SECTION) || !app->present) {
            memset(app, 0, sizeof *app);
            continue;
        }
        if ((seen & (SEEN_PIN | SEEN_MAX | SEEN_LEFT)) != (SEEN_PIN | SEEN_MAX | SEEN_LEFT)) {
            char reason[80] = "";
            TextAppendFormat(reason, sizeof reason, "[application%d] needs pin, max_retries and retries_left", i + 1);
            return Fail(error, errorSize, 0, reason, NULL, 0);
        }
        if (app->retriesLeft > app->maxRetries) {
            char reason[80] = "";
            TextAppendFormat(reason, sizeof reason, "[application%d] has more retries left than max_retries", i + 1);
            return Fail(error, errorSize, 0, reason, NULL, 0);
        }
        for (int j = 0; j < KEY_CONTAINERS; ++j)
            if (app->containerNames[j][0] == '\0')
                DefaultContainerName(key->serial, i, j, app->containerNames[j], sizeof app->containerNames[j]);
    }
    return 0;
}

int ParseKeyIni(const char* text, size_t length, KeyDescription* key, char* error, size_t errorSize)
{
    memset(key, 0, sizeof *key);
    if (errorSize > 0)
        error[0] = '\0';
    if (!text)
        return Fail(error, errorSize, 0, "no text", NULL, 0);
    if (length > KEY_INI_MAX)
        return Fail(error, errorSize, 0, "longer than 8192 bytes", NULL, 0);
    if (memchr(text, '\0', length))
        return Fail(error, errorSize, 0, "contains a NUL byte", NULL, 0);

    Cursor cursor = { text, length, 0, 0 };
    int section = SECTION_NONE;
    int keySeen = 0;
    int appSeen[KEY_APPLICATIONS] = { 0, 0 };
    const char* line;
    size_t lineLength;
    while (NextLine(&cursor, &line, &lineLength)) {
        int n = cursor.lineNumber;
        if (lineLength > LINE_MAX_BYTES)
            return Fail(error, errorSize, n, "line longer than 512 bytes", NULL, 0);
        Trim(&line, &lineLength);
        if (lineLength == 0 || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line[lineLength - 1] != ']')
                return Fail(error, errorSize, n, "section without ']':", line, lineLength);
            section = SectionOf(line + 1, lineLength - 2);
            if (section == SECTION_NONE)
                return Fail(error, errorSize, n, "unknown section", line, lineLength);
            int* seen = section == SECTION_KEY ? &keySeen : &appSeen[section - SECTION_APP1];
            if (MarkSeen(seen, SEEN_SECTION) != 0)
                return Fail(error, errorSize, n, "section given twice:", line, lineLength);
            continue;
        }
        const char* equals = (const char*)memchr(line, '=', lineLength);
        if (!equals)
            return Fail(error, errorSize, n, "expected name=value, not", line, lineLength);
        Field f;
        f.name = line;
        f.nameLength = (size_t)(equals - line);
        f.value = equals + 1;
        f.valueLength = lineLength - f.nameLength - 1;
        Trim(&f.name, &f.nameLength);
        Trim(&f.value, &f.valueLength);
        int result;
        if (section == SECTION_NONE)
            return Fail(error, errorSize, n, "name outside a section:", f.name, f.nameLength);
        else if (section == SECTION_KEY)
            result = KeyField(&f, key, &keySeen, n, error, errorSize);
        else
            result = AppField(&f, &key->apps[section - SECTION_APP1], &appSeen[section - SECTION_APP1], n,
                              error, errorSize);
        if (result != 0)
            return -1;
    }
    if (CheckComplete(key, keySeen, appSeen, error, errorSize) != 0)
        return -1;
    return 0;
}

static int AppendYesNo(char* text, size_t size, const char* name, int value)
{
    return TextAppendFormat(text, size, "%s=%s\n", name, value ? "yes" : "no");
}

int FormatKeyIni(const KeyDescription* key, char* text, size_t size)
{
    if (size == 0)
        return -1;
    text[0] = '\0';
    int fits = TextAppend(text, size,
                          "; Velmora virtual key, kept by keysim. A test token: its PINs are stored here in clear\n"
                          "; on purpose. retries_left=0 or locked=yes locks an application; inserted=no is a\n"
                          "; key pulled out of its slot. The label is GBK text.\n"
                          "[key]\n");
    fits &= TextAppendFormat(text, size, "serial=%08X\n", (unsigned)key->serial);
    fits &= TextAppend(text, size, "label=");
    fits &= TextAppend(text, size, key->label);
    fits &= TextAppend(text, size, "\n");
    fits &= AppendYesNo(text, size, "inserted", key->inserted);
    // Only a key told to vanish has the line, so every other key.ini reads as it always did.
    if (key->vanishAfterCalls > 0)
        fits &= TextAppendFormat(text, size, "vanish_after_calls=%d\n", key->vanishAfterCalls);
    if (key->failAtCall > 0)
        fits &= TextAppendFormat(text, size, "fail=%d %d %04X\n", key->failAtCall, key->failResult,
                                 key->failStatus & 0xFFFF);
    if (key->failedCall[0])
        fits &= TextAppendFormat(text, size, "failed_call=%s\n", key->failedCall);
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        const KeyApplication* app = &key->apps[i];
        fits &= TextAppendFormat(text, size, "\n[application%d]\n", i + 1);
        fits &= AppendYesNo(text, size, "present", app->present);
        if (!app->present)
            continue;
        if (IsPrintablePin(app->pin, app->pinLength)) {
            fits &= TextAppend(text, size, "pin=");
            fits &= TextAppendBytes(text, size, (const char*)app->pin, (size_t)app->pinLength);
            fits &= TextAppend(text, size, "\n");
        } else {
            fits &= TextAppend(text, size, "pin_hex=");
            for (int b = 0; b < app->pinLength; ++b)
                fits &= TextAppendFormat(text, size, "%02X", app->pin[b]);
            fits &= TextAppend(text, size, "\n");
        }
        fits &= TextAppendFormat(text, size, "max_retries=%d\nretries_left=%d\n", app->maxRetries, app->retriesLeft);
        fits &= AppendYesNo(text, size, "locked", IsApplicationLocked(app));
        for (int j = 0; j < KEY_CONTAINERS; ++j)
            fits &= TextAppendFormat(text, size, "container%d=%s\n", j, app->containerNames[j]);
    }
    size_t used = strlen(text);
    if (!fits)
        return -1;
    return (int)used;
}
