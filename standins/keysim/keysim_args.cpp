// Parses keysim's subcommands; nothing is read or written here, so a bad line changes nothing.
#include "keysim_args.h"

#include <string.h>

#include "bounded_text.h"
#include "hex_to_dec.h"

const char KeysimUsage[] =
    "usage: keysim [--store FOLDER] COMMAND [ARGUMENTS]\n"
    "\n"
    "Provisions the virtual keys that KeyCmd.dll, KeyDev.dll and KeyNum.dll serve. The store is FOLDER,\n"
    "else %KEYSIM_STORE%, else the all-users application data folder + \\VelmoraKeySim.\n"
    "SLOT is 0..3, APP is 1 or 2, CONTAINER is 0 or 1, KIND is enc or sig.\n"
    "\n"
    "keys\n"
    "  create SLOT [--label TEXT] --pin PIN [--pin2 PIN] [--serial HEX8] [--apps 1|2]\n"
    "         [--retries N] [--removed]     a new key (label GBK, at most 63 bytes; PIN 1..31\n"
    "                                       characters; serial random; 2 applications; 6 retries)\n"
    "  delete SLOT                          the key and all its files\n"
    "  insert SLOT | remove SLOT            plug the key in or pull it out (it keeps its files)\n"
    "  list                                 every slot in one line each\n"
    "  show SLOT                            everything about one key\n"
    "  vanish SLOT CALLS                    the inserted key answers CALLS calls on a handle after\n"
    "                                       its open (1..1000000), then pulls itself out\n"
    "  fail SLOT CALL RESULT [STATUS]       call CALL on a handle (1: its open) answers RESULT\n"
    "                                       (-1000000..1000000) and status word STATUS (9000), once;\n"
    "                                       CALL 0 takes the fault back\n"
    "certificates\n"
    "  put-cert SLOT APP CONTAINER KIND FILE   a DER or PEM certificate (at most 3000 bytes)\n"
    "  remove-cert SLOT APP CONTAINER KIND\n"
    "PINs (APP may also be all)\n"
    "  set-retries SLOT APP N               N retries left, 0 locks\n"
    "  reset-retries SLOT APP               a full counter, unlocked\n"
    "  lock SLOT [APP]                      lock (all applications when APP is left out)\n"
    "  set-pin SLOT APP PIN                 a new PIN with a full counter\n"
    "corrupt content for tests (FILE: EF01, AD01/EF01, AD02/DF21/EF02 ...)\n"
    "  corrupt SLOT length FILE N           the file's length prefix declares N bytes (0..65535)\n"
    "  corrupt SLOT garbage APP CONTAINER KIND [N]   a certificate of N undecodable bytes (64)\n"
    "  corrupt SLOT unterminated-label      a label field without NUL in its 64 bytes\n"
    "  restore SLOT [FILE]                  drop the corrupt image of FILE (of every file)\n"
    "\n"
    "exit status: 0 done, 1 usage error (nothing changed), 2 failure\n";

struct Words {
    int count;
    char** items;
    int next;
};

static int Fail(char* error, size_t size, const char* reason, const char* word)
{
    if (size > 0) {
        error[0] = '\0';
        TextAppend(error, size, reason);
        if (word) {
            TextAppend(error, size, " '");
            TextAppendBytes(error, size, word, GbkPrefixLength(word, 60));
            TextAppend(error, size, "'");
        }
    }
    return ARGS_USAGE_ERROR;
}

static const char* Next(Words* w)
{
    return w->next < w->count ? w->items[w->next++] : NULL;
}

// A decimal number in [low, high]; -1 otherwise (low is never negative here).
static long ParseNumber(const char* text, long low, long high)
{
    if (!text || !*text || strlen(text) > 7)
        return -1;
    long n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return -1;
        n = n * 10 + (*p - '0');
    }
    return n >= low && n <= high ? n : -1;
}

static int ParseSerial(const char* text, uint32_t* serial)
{
    return text ? ParseSerialHex(text, strlen(text), serial) : -1;
}

int ParseFilePosition(const char* text, KeyLocation* location, unsigned* fileId)
{
    if (!text)
        return -1;
    unsigned ids[4];
    int parts = 0;
    const char* p = text;
    if ((p[0] == 'M' || p[0] == 'm') && (p[1] == 'F' || p[1] == 'f') && (p[2] == '/' || p[2] == '\\'))
        p += 3;
    for (;;) {
        size_t n = strcspn(p, "/\\");
        uint32_t id;
        if (parts == 4 || ParseHexDigits(p, n, 4, &id) != 0)
            return -1;
        ids[parts++] = id;
        if (p[n] == '\0')
            break;
        p += n + 1;
    }
    KeyLocation at = MasterLocation();
    for (int d = 0; d < parts - 1; ++d) {
        if (d >= 2)
            return -1;
        at.ids[d] = ids[d];
        at.depth = d + 1;
    }
    // The directories must be ones a key can have: an application, then one of its containers.
    if (at.depth >= 1 && (at.ids[0] < FID_APPLICATION_FIRST || at.ids[0] >= FID_APPLICATION_FIRST + KEY_APPLICATIONS))
        return -1;
    if (at.depth == 2) {
        int app = ApplicationOf(&at);
        if (at.ids[1] != ContainerDirectoryId(app, 0) && at.ids[1] != ContainerDirectoryId(app, 1))
            return -1;
    }
    if (KindOfFile(&at, ids[parts - 1]) == FILE_NONE)
        return -1;
    *location = at;
    *fileId = ids[parts - 1];
    return 0;
}

// The next word as a number in [low, high] (below 0 with a '-'), or a usage error naming it.
static int TakeNumber(Words* w, const char* name, long low, long high, int* value, char* error, size_t size)
{
    const char* word = Next(w);
    int negative = low < 0 && word && *word == '-';
    long n = ParseNumber(negative ? word + 1 : word, 0, negative ? -low : high);
    char reason[80] = "";
    if (n >= 0 && (negative || n >= low)) {
        *value = negative ? (int)-n : (int)n;
        return ARGS_OK;
    }
    if (word)
        TextAppendFormat(reason, sizeof reason, "%s must be %ld..%ld, not", name, low, high);
    else
        TextAppendFormat(reason, sizeof reason, "%s is missing", name);
    return Fail(error, size, reason, word);
}

static int TakeSlot(Words* w, KeysimCommand* c, char* error, size_t size)
{
    return TakeNumber(w, "SLOT", 0, KEY_SLOTS - 1, &c->slot, error, size);
}

static int TakeApplication(Words* w, KeysimCommand* c, int allowAll, char* error, size_t size)
{
    const char* word = Next(w);
    if (allowAll && word && strcmp(word, "all") == 0) {
        c->application = ALL_APPLICATIONS;
        return ARGS_OK;
    }
    long app = ParseNumber(word, 1, KEY_APPLICATIONS);
    if (app < 0)
        return Fail(error, size, word ? (allowAll ? "APP must be 1, 2 or all, not" : "APP must be 1 or 2, not")
                                      : "APP is missing", word);
    c->application = (int)app - 1;
    return ARGS_OK;
}

static int TakeContainerAndKind(Words* w, KeysimCommand* c, char* error, size_t size)
{
    const char* word = Next(w);
    long container = ParseNumber(word, 0, KEY_CONTAINERS - 1);
    if (container < 0)
        return Fail(error, size, word ? "CONTAINER must be 0 or 1, not" : "CONTAINER is missing", word);
    c->container = (int)container;
    word = Next(w);
    if (word && strcmp(word, "enc") == 0)
        c->kind = CERT_ENCRYPTION;
    else if (word && strcmp(word, "sig") == 0)
        c->kind = CERT_SIGNATURE;
    else
        return Fail(error, size, word ? "KIND must be enc or sig, not" : "KIND is missing", word);
    return ARGS_OK;
}

static int ValidPin(const char* pin)
{
    size_t n = pin ? strlen(pin) : 0;
    if (n < KEY_PIN_MIN || n > KEY_PIN_MAX)
        return 0;
    for (size_t i = 0; i < n; ++i)
        if ((unsigned char)pin[i] < 0x21 || (unsigned char)pin[i] > 0x7E)
            return 0;
    return 1;
}

static int ParseCreate(Words* w, KeysimCommand* c, char* error, size_t size)
{
    if (TakeSlot(w, c, error, size) != ARGS_OK)
        return ARGS_USAGE_ERROR;
    c->applications = KEY_APPLICATIONS;
    c->retries = KEY_DEFAULT_RETRIES;
    const char* option;
    while ((option = Next(w)) != NULL) {
        if (strcmp(option, "--removed") == 0) {
            c->removed = 1;
            continue;
        }
        static const char* const valued[] = { "--label", "--pin", "--pin2", "--serial", "--apps", "--retries" };
        int known = 0;
        for (const char* name : valued)
            known |= strcmp(option, name) == 0;
        if (!known)
            return Fail(error, size, "unknown option of create:", option);
        const char* value = Next(w);
        if (!value)
            return Fail(error, size, "no value after", option);
        if (strcmp(option, "--label") == 0) {
            if (!IsValidLabel(value, strlen(value)))
                return Fail(error, size, "the label must be GBK text of at most 63 bytes:", value);
            c->label = value;
        } else if (strcmp(option, "--pin") == 0 || strcmp(option, "--pin2") == 0) {
            if (!ValidPin(value))
                return Fail(error, size, "a PIN must be 1..31 printable ASCII characters, not", value);
            if (option[5] == '2')
                c->secondPin = value;
            else
                c->pin = value;
        } else if (strcmp(option, "--serial") == 0) {
            if (ParseSerial(value, &c->serial) != 0)
                return Fail(error, size, "the serial must be 8 hexadecimal digits, not", value);
            c->hasSerial = 1;
        } else if (strcmp(option, "--apps") == 0) {
            long n = ParseNumber(value, 1, KEY_APPLICATIONS);
            if (n < 0)
                return Fail(error, size, "--apps must be 1 or 2, not", value);
            c->applications = (int)n;
        } else if (strcmp(option, "--retries") == 0) {
            long n = ParseNumber(value, 1, KEY_RETRIES_MAX);
            if (n < 0)
                return Fail(error, size, "--retries must be 1..15, not", value);
            c->retries = (int)n;
        }
    }
    if (!c->pin)
        return Fail(error, size, "create needs --pin", NULL);
    if (c->secondPin && c->applications < 2)
        return Fail(error, size, "--pin2 needs --apps 2", NULL);
    return ARGS_OK;
}

static int ParseCorrupt(Words* w, KeysimCommand* c, char* error, size_t size)
{
    if (TakeSlot(w, c, error, size) != ARGS_OK)
        return ARGS_USAGE_ERROR;
    const char* what = Next(w);
    if (!what)
        return Fail(error, size, "corrupt needs length, garbage or unterminated-label", NULL);
    if (strcmp(what, "length") == 0) {
        c->action = ACTION_CORRUPT_LENGTH;
        const char* file = Next(w);
        if (ParseFilePosition(file, &c->location, &c->fileId) != 0)
            return Fail(error, size, file ? "not a file of a key:" : "FILE is missing", file);
        c->hasFile = 1;
        if (TakeNumber(w, "N", 0, 0xFFFF, &c->number, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
    } else if (strcmp(what, "garbage") == 0) {
        c->action = ACTION_CORRUPT_GARBAGE;
        if (TakeApplication(w, c, 0, error, size) != ARGS_OK || TakeContainerAndKind(w, c, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        c->number = GARBAGE_DEFAULT_BYTES;
        const char* n = Next(w);
        if (n) {
            long bytes = ParseNumber(n, 1, KEY_CERT_MAX);
            if (bytes < 0)
                return Fail(error, size, "N must be 1..3000, not", n);
            c->number = (int)bytes;
        }
    } else if (strcmp(what, "unterminated-label") == 0) {
        c->action = ACTION_CORRUPT_LABEL;
    } else {
        return Fail(error, size, "corrupt knows length, garbage and unterminated-label, not", what);
    }
    return ARGS_OK;
}

static int ParseAction(Words* w, const char* name, KeysimCommand* c, char* error, size_t size)
{
    struct Simple {
        const char* name;
        KeysimAction action;
    };
    static const Simple slotOnly[] = {
        { "delete", ACTION_DELETE }, { "insert", ACTION_INSERT }, { "remove", ACTION_REMOVE },
        { "show", ACTION_SHOW },
    };
    for (const Simple& s : slotOnly) {
        if (strcmp(name, s.name) == 0) {
            c->action = s.action;
            return TakeSlot(w, c, error, size);
        }
    }
    if (strcmp(name, "list") == 0) {
        c->action = ACTION_LIST;
        return ARGS_OK;
    }
    if (strcmp(name, "create") == 0) {
        c->action = ACTION_CREATE;
        return ParseCreate(w, c, error, size);
    }
    if (strcmp(name, "put-cert") == 0 || strcmp(name, "remove-cert") == 0) {
        c->action = name[0] == 'p' ? ACTION_PUT_CERT : ACTION_REMOVE_CERT;
        if (TakeSlot(w, c, error, size) != ARGS_OK || TakeApplication(w, c, 0, error, size) != ARGS_OK ||
            TakeContainerAndKind(w, c, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        if (c->action == ACTION_PUT_CERT) {
            c->path = Next(w);
            if (!c->path || !*c->path)
                return Fail(error, size, "FILE is missing", NULL);
        }
        return ARGS_OK;
    }
    if (strcmp(name, "set-retries") == 0) {
        c->action = ACTION_SET_RETRIES;
        if (TakeSlot(w, c, error, size) != ARGS_OK || TakeApplication(w, c, 1, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        return TakeNumber(w, "N", 0, KEY_RETRIES_MAX, &c->number, error, size);
    }
    if (strcmp(name, "reset-retries") == 0) {
        c->action = ACTION_RESET_RETRIES;
        if (TakeSlot(w, c, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        return TakeApplication(w, c, 1, error, size);
    }
    if (strcmp(name, "lock") == 0) {
        c->action = ACTION_LOCK;
        if (TakeSlot(w, c, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        c->application = ALL_APPLICATIONS;
        if (w->next < w->count)
            return TakeApplication(w, c, 1, error, size);
        return ARGS_OK;
    }
    if (strcmp(name, "set-pin") == 0) {
        c->action = ACTION_SET_PIN;
        if (TakeSlot(w, c, error, size) != ARGS_OK || TakeApplication(w, c, 0, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        c->pin = Next(w);
        if (!ValidPin(c->pin))
            return Fail(error, size, c->pin ? "a PIN must be 1..31 printable ASCII characters, not" : "PIN is missing",
                        c->pin);
        return ARGS_OK;
    }
    if (strcmp(name, "vanish") == 0) {
        c->action = ACTION_VANISH;
        if (TakeSlot(w, c, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        return TakeNumber(w, "CALLS", 1, KEY_VANISH_CALLS_MAX, &c->number, error, size);
    }
    if (strcmp(name, "fail") == 0) {
        c->action = ACTION_FAIL;
        if (TakeSlot(w, c, error, size) != ARGS_OK ||
            TakeNumber(w, "CALL", 0, KEY_VANISH_CALLS_MAX, &c->number, error, size) != ARGS_OK ||
            TakeNumber(w, "RESULT", -KEY_VANISH_CALLS_MAX, KEY_VANISH_CALLS_MAX, &c->failResult, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        uint32_t status = 0x9000;
        const char* s = Next(w);
        if (s && ParseHexDigits(s, strlen(s), 4, &status) != 0)
            return Fail(error, size, "STATUS must be four hex digits, not", s);
        c->failStatus = status;
        return ARGS_OK;
    }
    if (strcmp(name, "corrupt") == 0)
        return ParseCorrupt(w, c, error, size);
    if (strcmp(name, "restore") == 0) {
        c->action = ACTION_RESTORE;
        if (TakeSlot(w, c, error, size) != ARGS_OK)
            return ARGS_USAGE_ERROR;
        const char* file = Next(w);
        if (file) {
            if (ParseFilePosition(file, &c->location, &c->fileId) != 0)
                return Fail(error, size, "not a file of a key:", file);
            c->hasFile = 1;
        }
        return ARGS_OK;
    }
    return Fail(error, size, "unknown command", name);
}

int ParseKeysimArguments(int argc, char** argv, KeysimCommand* command, char* error, size_t errorSize)
{
    memset(command, 0, sizeof *command);
    if (errorSize > 0)
        error[0] = '\0';
    Words w = { argc, argv, 1 };
    const char* word = Next(&w);
    while (word && strcmp(word, "--store") == 0) {
        command->store = Next(&w);
        if (!command->store || !*command->store)
            return Fail(error, errorSize, "--store needs a folder", NULL);
        word = Next(&w);
    }
    if (!word)
        return Fail(error, errorSize, "no command given", NULL);
    if (strcmp(word, "-h") == 0 || strcmp(word, "--help") == 0 || strcmp(word, "help") == 0) {
        command->action = ACTION_HELP;
        return ARGS_OK;
    }
    if (ParseAction(&w, word, command, error, errorSize) != ARGS_OK)
        return ARGS_USAGE_ERROR;
    if (w.next < w.count)
        return Fail(error, errorSize, "unexpected argument", w.items[w.next]);
    return ARGS_OK;
}
