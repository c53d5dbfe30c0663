// keysim's subcommands over a slot's storage. Each one loads key.ini, checks everything, and only then
// writes, so a refused command leaves the key as it was.
#include "keysim_commands.h"

#include <string.h>

#include "bounded_text.h"
#include "certificate_file.h"
#include "file_tree.h"
#include "key_store.h"

enum { TEXT_SIZE = 4096, INPUT_FILE_MAX = 65536 };

static const char* const KindNames[KEY_CERT_KINDS] = { "enc", "sig" };

static int Failed(const KeysimHost* host, const char* reason)
{
    char text[512] = "keysim: ";
    TextAppend(text, sizeof text, reason);
    TextAppend(text, sizeof text, "\n");
    host->printError(host->context, text);
    return KEYSIM_FAILED;
}

static void Say(const KeysimHost* host, const char* text)
{
    host->print(host->context, text);
}

// Loads the slot's key for a command that changes it; prints why when there is none.
static int LoadForChange(const KeysimHost* host, int slot, KeyStorage* storage, KeyDescription* key)
{
    host->slotStorage(host->context, slot, storage);
    char error[200];
    int loaded = LoadKeyDescription(storage, key, error, sizeof error);
    if (loaded == KEY_LOADED)
        return 0;
    char reason[300] = "";
    if (loaded == KEY_MISSING)
        TextAppendFormat(reason, sizeof reason, "slot %d holds no key (keysim create %d ...)", slot, slot);
    else
        TextAppendFormat(reason, sizeof reason, "slot %d: %s", slot, error);
    Failed(host, reason);
    return -1;
}

static int SaveOrFail(const KeysimHost* host, const KeyStorage* storage, const KeyDescription* key)
{
    if (SaveKeyDescription(storage, key) != 0)
        return Failed(host, "cannot write key.ini");
    return KEYSIM_DONE;
}

static int RequireApplication(const KeysimHost* host, const KeyDescription* key, int app)
{
    if (app >= 0 && key->apps[app].present)
        return 0;
    char reason[80] = "";
    TextAppendFormat(reason, sizeof reason, "application %d does not exist on this key", app + 1);
    Failed(host, reason);
    return -1;
}

// A new PIN for the application; the parser checked its length, the buffer is checked here again.
static int SetPin(KeyApplication* app, const char* pin)
{
    size_t n = strlen(pin);
    if (n < KEY_PIN_MIN || n > sizeof app->pin)
        return -1;
    memset(app->pin, 0, sizeof app->pin);
    memcpy(app->pin, pin, n);
    app->pinLength = (int)n;
    return 0;
}

// The two stored forms of the command's certificate: the .der file and a raw image.
struct CertificateFiles {
    char der[64];
    char raw[64];
};

static void CertificateFilesOf(const KeysimCommand* c, CertificateFiles* files)
{
    CertificatePath(c->application, c->container, c->kind, CERT_EXTENSION, files->der, sizeof files->der);
    CertificatePath(c->application, c->container, c->kind, RAW_EXTENSION, files->raw, sizeof files->raw);
}

static int Create(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    host->slotStorage(host->context, c->slot, &storage);
    if (StoredFileExists(&storage, KEY_INI_PATH)) {
        char reason[120] = "";
        TextAppendFormat(reason, sizeof reason, "slot %d already holds a key (keysim delete %d first)", c->slot, c->slot);
        return Failed(host, reason);
    }
    // Leftovers of a key whose key.ini was lost must not become this key's certificates.
    if (host->deleteSlot(host->context, c->slot) != 0)
        return Failed(host, "cannot clear the slot's folder");
    KeyDescription key;
    memset(&key, 0, sizeof key);
    key.serial = c->hasSerial ? c->serial : host->randomSerial(host->context);
    TextCopy(key.label, sizeof key.label, c->label ? c->label : "Velmora USB Key");
    key.inserted = !c->removed;
    for (int i = 0; i < c->applications; ++i) {
        KeyApplication* app = &key.apps[i];
        const char* pin = i == 1 && c->secondPin ? c->secondPin : c->pin;
        if (SetPin(app, pin) != 0)
            return Failed(host, "a PIN must be 1..31 characters");
        app->present = 1;
        app->maxRetries = c->retries;
        app->retriesLeft = c->retries;
        for (int j = 0; j < KEY_CONTAINERS; ++j)
            DefaultContainerName(key.serial, i, j, app->containerNames[j], sizeof app->containerNames[j]);
    }
    if (SaveOrFail(host, &storage, &key) != KEYSIM_DONE)
        return KEYSIM_FAILED;
    char text[200] = "";
    TextAppendFormat(text, sizeof text, "slot %d: created key %08X with %d application%s%s\n", c->slot,
                     (unsigned)key.serial, c->applications, c->applications > 1 ? "s" : "",
                     key.inserted ? ", inserted" : ", removed");
    Say(host, text);
    return KEYSIM_DONE;
}

static int Delete(const KeysimCommand* c, const KeysimHost* host)
{
    if (host->deleteSlot(host->context, c->slot) != 0)
        return Failed(host, "cannot delete the slot's folder");
    char text[80] = "";
    TextAppendFormat(text, sizeof text, "slot %d: deleted\n", c->slot);
    Say(host, text);
    return KEYSIM_DONE;
}

static int SetInserted(const KeysimCommand* c, const KeysimHost* host, int inserted)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0)
        return KEYSIM_FAILED;
    // Plugging in or pulling out by hand also ends a pending vanish.
    int changed = key.inserted != inserted;
    int cancelled = key.vanishAfterCalls != 0;
    if (changed || cancelled) {
        key.inserted = inserted;
        key.vanishAfterCalls = 0;
        if (SaveOrFail(host, &storage, &key) != KEYSIM_DONE)
            return KEYSIM_FAILED;
    }
    char text[80] = "";
    TextAppendFormat(text, sizeof text, "slot %d: %s%s%s\n", c->slot, changed ? "" : "already ",
                     inserted ? "inserted" : "removed", cancelled ? ", no longer vanishes" : "");
    Say(host, text);
    return KEYSIM_DONE;
}

static int Vanish(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0)
        return KEYSIM_FAILED;
    if (!key.inserted) {
        char reason[120] = "";
        TextAppendFormat(reason, sizeof reason, "the key in slot %d is removed (keysim insert %d first)", c->slot,
                         c->slot);
        return Failed(host, reason);
    }
    key.vanishAfterCalls = c->number;
    if (SaveOrFail(host, &storage, &key) != KEYSIM_DONE)
        return KEYSIM_FAILED;
    char text[120] = "";
    TextAppendFormat(text, sizeof text, "slot %d: vanishes after %d more call%s\n", c->slot, c->number,
                     c->number == 1 ? "" : "s");
    Say(host, text);
    return KEYSIM_DONE;
}

static int FailCall(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0)
        return KEYSIM_FAILED;
    key.failAtCall = c->number;
    key.failResult = c->failResult;
    key.failStatus = c->failStatus;
    key.failedCall[0] = '\0';
    if (SaveOrFail(host, &storage, &key) != KEYSIM_DONE)
        return KEYSIM_FAILED;
    char text[120] = "";
    TextAppendFormat(text, sizeof text, "slot %d: call %d on a handle answers %d, status %04X\n", c->slot, c->number,
                     c->failResult, c->failStatus);
    Say(host, text);
    return KEYSIM_DONE;
}

static int PutCertificate(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0 || RequireApplication(host, &key, c->application) != 0)
        return KEYSIM_FAILED;
    static unsigned char bytes[INPUT_FILE_MAX];
    long n = host->readFile(host->context, c->path, bytes, sizeof bytes);
    if (n == STORED_TOO_LARGE)
        return Failed(host, "the certificate file is larger than 64 KB");
    if (n < 0)
        return Failed(host, "cannot read the certificate file");
    size_t derLength = 0;
    int result = CertificateFromFile(bytes, (size_t)n, bytes, KEY_CERT_MAX, &derLength);
    if (result == CERT_FILE_TOO_LARGE)
        return Failed(host, "the certificate is larger than 3000 bytes");
    if (result != CERT_FILE_OK)
        return Failed(host, "the file holds no DER or PEM certificate (corrupt ... garbage stores undecodable bytes)");
    CertificateFiles files;
    CertificateFilesOf(c, &files);
    if (storage.save(storage.context, files.der, bytes, derLength) != 0 ||
        storage.erase(storage.context, files.raw) != 0)
        return Failed(host, "cannot write the certificate");
    char text[160] = "";
    TextAppendFormat(text, sizeof text, "slot %d: application %d container %d %s: %u bytes\n", c->slot,
                     c->application + 1, c->container, KindNames[c->kind], (unsigned)derLength);
    Say(host, text);
    return KEYSIM_DONE;
}

static int RemoveCertificate(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0 || RequireApplication(host, &key, c->application) != 0)
        return KEYSIM_FAILED;
    CertificateFiles files;
    CertificateFilesOf(c, &files);
    int had = StoredFileExists(&storage, files.der) || StoredFileExists(&storage, files.raw);
    if (storage.erase(storage.context, files.der) != 0 || storage.erase(storage.context, files.raw) != 0)
        return Failed(host, "cannot delete the certificate");
    char text[160] = "";
    TextAppendFormat(text, sizeof text, "slot %d: application %d container %d %s: %s\n", c->slot,
                     c->application + 1, c->container, KindNames[c->kind], had ? "removed" : "was already empty");
    Say(host, text);
    return KEYSIM_DONE;
}

// Applies a counter change to the chosen application or every present one.
static int ChangeCounters(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0)
        return KEYSIM_FAILED;
    if (c->application != ALL_APPLICATIONS && RequireApplication(host, &key, c->application) != 0)
        return KEYSIM_FAILED;
    char text[TEXT_SIZE] = "";
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        KeyApplication* app = &key.apps[i];
        if (!app->present || (c->application != ALL_APPLICATIONS && c->application != i))
            continue;
        switch (c->action) {
        case ACTION_SET_RETRIES:
            if (c->number > app->maxRetries) {
                char reason[120] = "";
                TextAppendFormat(reason, sizeof reason, "application %d allows at most %d retries", i + 1,
                                 app->maxRetries);
                return Failed(host, reason);
            }
            app->retriesLeft = c->number;
            app->locked = c->number == 0;
            break;
        case ACTION_RESET_RETRIES:
            app->retriesLeft = app->maxRetries;
            app->locked = 0;
            break;
        case ACTION_LOCK:
            app->retriesLeft = 0;
            app->locked = 1;
            break;
        case ACTION_SET_PIN:
            if (SetPin(app, c->pin) != 0)
                return Failed(host, "a PIN must be 1..31 characters");
            app->retriesLeft = app->maxRetries;
            app->locked = 0;
            break;
        default:
            return Failed(host, "not a counter command");
        }
        TextAppendFormat(text, sizeof text, "slot %d: application %d: %d of %d retries left%s\n", c->slot, i + 1,
                         app->retriesLeft, app->maxRetries, IsApplicationLocked(app) ? ", locked" : "");
    }
    if (SaveOrFail(host, &storage, &key) != KEYSIM_DONE)
        return KEYSIM_FAILED;
    Say(host, text);
    return KEYSIM_DONE;
}

static int CorruptLength(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0)
        return KEYSIM_FAILED;
    // The file must be reachable on this key: its application present, the file there.
    KeyLocation walk = MasterLocation();
    for (int d = 0; d < c->location.depth; ++d) {
        if (!ChildDirectoryExists(&key, &walk, c->location.ids[d]))
            return Failed(host, "that directory does not exist on this key");
        walk.ids[d] = c->location.ids[d];
        walk.depth = d + 1;
    }
    static unsigned char image[KEY_FILE_MAX];
    long n = LoadElementaryFile(&storage, &key, &c->location, c->fileId, image, sizeof image);
    if (n == FILE_ABSENT)
        return Failed(host, "that file does not exist on this key (put a certificate there first)");
    if (n < 2)
        return Failed(host, "that file cannot be read");
    image[0] = (unsigned char)(c->number >> 8);
    image[1] = (unsigned char)(c->number & 0xFF);
    char raw[64];
    StoredFilePath(&c->location, c->fileId, RAW_EXTENSION, raw, sizeof raw);
    if (storage.save(storage.context, raw, image, (size_t)n) != 0)
        return Failed(host, "cannot write the raw image");
    char text[160] = "";
    TextAppendFormat(text, sizeof text, "slot %d: %s declares %d bytes and holds %ld\n", c->slot, raw, c->number,
                     n - 2);
    Say(host, text);
    return KEYSIM_DONE;
}

static int CorruptCertificate(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0 || RequireApplication(host, &key, c->application) != 0)
        return KEYSIM_FAILED;
    unsigned char garbage[KEY_CERT_MAX];
    if (c->number < 1 || c->number > (int)sizeof garbage)
        return Failed(host, "N must be 1..3000");
    // Never 0x30 first, so no decoder mistakes it for the start of a certificate.
    for (int i = 0; i < c->number; ++i)
        garbage[i] = (unsigned char)(0xA5 ^ (i * 37));
    garbage[0] = 0xFF;
    CertificateFiles files;
    CertificateFilesOf(c, &files);
    if (storage.save(storage.context, files.der, garbage, (size_t)c->number) != 0 ||
        storage.erase(storage.context, files.raw) != 0)
        return Failed(host, "cannot write the certificate");
    char text[160] = "";
    TextAppendFormat(text, sizeof text, "slot %d: application %d container %d %s: %d undecodable bytes\n", c->slot,
                     c->application + 1, c->container, KindNames[c->kind], c->number);
    Say(host, text);
    return KEYSIM_DONE;
}

static int CorruptLabel(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0)
        return KEYSIM_FAILED;
    unsigned char image[2 + KEY_DEVICE_INFO_SIZE];
    image[0] = KEY_DEVICE_INFO_SIZE >> 8;
    image[1] = KEY_DEVICE_INFO_SIZE & 0xFF;
    BuildDeviceInfo(&key, image + 2);
    size_t n = strlen(key.label);
    memset(image + 2 + n, '#', KEY_LABEL_FIELD - n);
    char raw[64];
    KeyLocation master = MasterLocation();
    StoredFilePath(&master, FID_INFO, RAW_EXTENSION, raw, sizeof raw);
    if (storage.save(storage.context, raw, image, sizeof image) != 0)
        return Failed(host, "cannot write the raw image");
    char text[120] = "";
    TextAppendFormat(text, sizeof text, "slot %d: the label field holds 64 bytes without NUL\n", c->slot);
    Say(host, text);
    return KEYSIM_DONE;
}

// Every position of the tree that can have a raw image, in a fixed order.
static int TreePositions(KeyLocation* locations, unsigned* ids)
{
    int n = 0;
    locations[n] = MasterLocation();
    ids[n++] = FID_INFO;
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        KeyLocation app = { { FID_APPLICATION_FIRST + (unsigned)i, 0 }, 1 };
        locations[n] = app;
        ids[n++] = FID_INFO;
        for (int j = 0; j < KEY_CONTAINERS; ++j) {
            for (int k = 0; k < KEY_CERT_KINDS; ++k) {
                locations[n] = ContainerLocation(i, j);
                ids[n++] = CertificateFileId((CertKind)k);
            }
        }
    }
    return n;
}

enum { TREE_POSITIONS = 1 + KEY_APPLICATIONS * (1 + KEY_CONTAINERS * KEY_CERT_KINDS) };

static int Restore(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    KeyDescription key;
    if (LoadForChange(host, c->slot, &storage, &key) != 0)
        return KEYSIM_FAILED;
    KeyLocation locations[TREE_POSITIONS];
    unsigned ids[TREE_POSITIONS];
    int count = TreePositions(locations, ids);
    int restored = 0;
    for (int p = 0; p < count; ++p) {
        if (c->hasFile && (locations[p].depth != c->location.depth || ids[p] != c->fileId ||
                           memcmp(locations[p].ids, c->location.ids, sizeof(unsigned) * (size_t)c->location.depth) != 0))
            continue;
        char raw[64];
        StoredFilePath(&locations[p], ids[p], RAW_EXTENSION, raw, sizeof raw);
        if (!StoredFileExists(&storage, raw))
            continue;
        if (storage.erase(storage.context, raw) != 0)
            return Failed(host, "cannot delete a raw image");
        restored++;
    }
    char text[80] = "";
    TextAppendFormat(text, sizeof text, "slot %d: %d raw image%s dropped\n", c->slot, restored, restored == 1 ? "" : "s");
    Say(host, text);
    return KEYSIM_DONE;
}

int DescribeSlot(const KeyStorage* storage, int slot, char* text, size_t size)
{
    if (size == 0)
        return -1;
    text[0] = '\0';
    KeyDescription key;
    char error[200];
    int loaded = LoadKeyDescription(storage, &key, error, sizeof error);
    if (loaded != KEY_LOADED) {
        TextAppendFormat(text, size, "slot %d: %s\n", slot, loaded == KEY_MISSING ? "empty" : error);
        return -1;
    }
    TextAppendFormat(text, size, "slot %d: %s", slot, key.inserted ? "inserted" : "removed");
    if (key.vanishAfterCalls > 0)
        TextAppendFormat(text, size, ", vanishes after %d more call%s", key.vanishAfterCalls,
                         key.vanishAfterCalls == 1 ? "" : "s");
    if (key.failAtCall > 0)
        TextAppendFormat(text, size, ", call %d on a handle answers %d", key.failAtCall, key.failResult);
    else if (key.failedCall[0])
        TextAppendFormat(text, size, ", %s answered the fault", key.failedCall);
    TextAppendFormat(text, size, "\n  serial   %08X\n  label    ", (unsigned)key.serial);
    TextAppend(text, size, key.label);
    TextAppend(text, size, "\n");
    for (int i = 0; i < KEY_APPLICATIONS; ++i) {
        const KeyApplication* app = &key.apps[i];
        if (!app->present) {
            TextAppendFormat(text, size, "  application %d (AD0%d): absent\n", i + 1, i + 1);
            continue;
        }
        TextAppendFormat(text, size, "  application %d (AD0%d): %d of %d retries left%s, PIN ", i + 1, i + 1,
                         app->retriesLeft, app->maxRetries, IsApplicationLocked(app) ? ", LOCKED" : "");
        for (int b = 0; b < app->pinLength; ++b)
            TextAppendFormat(text, size, app->pin[b] >= 0x21 && app->pin[b] <= 0x7E ? "%c" : "\\x%02X", app->pin[b]);
        TextAppend(text, size, "\n");
        for (int j = 0; j < KEY_CONTAINERS; ++j) {
            TextAppendFormat(text, size, "    container %d (%04X) %s:", j, ContainerDirectoryId(i, j),
                             app->containerNames[j]);
            for (int k = 0; k < KEY_CERT_KINDS; ++k) {
                long length = CertificateLength(storage, i, j, (CertKind)k);
                if (length < 0)
                    TextAppendFormat(text, size, " %s -", KindNames[k]);
                else
                    TextAppendFormat(text, size, " %s %ld bytes", KindNames[k], length);
            }
            TextAppend(text, size, "\n");
        }
    }
    KeyLocation locations[TREE_POSITIONS];
    unsigned ids[TREE_POSITIONS];
    int count = TreePositions(locations, ids);
    for (int p = 0; p < count; ++p) {
        char raw[64];
        StoredFilePath(&locations[p], ids[p], RAW_EXTENSION, raw, sizeof raw);
        if (StoredFileExists(storage, raw)) {
            TextAppend(text, size, "  raw image (corrupt on purpose): ");
            TextAppend(text, size, raw);
            TextAppend(text, size, "\n");
        }
    }
    return 0;
}

static int Show(const KeysimCommand* c, const KeysimHost* host)
{
    KeyStorage storage;
    host->slotStorage(host->context, c->slot, &storage);
    char text[TEXT_SIZE];
    int result = DescribeSlot(&storage, c->slot, text, sizeof text);
    Say(host, text);
    return result == 0 ? KEYSIM_DONE : KEYSIM_FAILED;
}

static int List(const KeysimHost* host)
{
    for (int slot = 0; slot < KEY_SLOTS; ++slot) {
        KeyStorage storage;
        host->slotStorage(host->context, slot, &storage);
        KeyDescription key;
        char error[200];
        char line[300] = "";
        int loaded = LoadKeyDescription(&storage, &key, error, sizeof error);
        if (loaded == KEY_LOADED) {
            TextAppendFormat(line, sizeof line, "slot %d: %-8s %08X %d app%s  ", slot,
                             key.inserted ? "inserted" : "removed", (unsigned)key.serial,
                             key.apps[0].present + key.apps[1].present,
                             key.apps[0].present + key.apps[1].present == 1 ? " " : "s");
            TextAppend(line, sizeof line, key.label);
        } else {
            TextAppendFormat(line, sizeof line, "slot %d: %s", slot, loaded == KEY_MISSING ? "empty" : error);
        }
        TextAppend(line, sizeof line, "\n");
        Say(host, line);
    }
    return KEYSIM_DONE;
}

int RunKeysimCommand(const KeysimCommand* c, const KeysimHost* host)
{
    switch (c->action) {
    case ACTION_HELP:
        Say(host, KeysimUsage);
        return KEYSIM_DONE;
    case ACTION_CREATE:
        return Create(c, host);
    case ACTION_DELETE:
        return Delete(c, host);
    case ACTION_INSERT:
        return SetInserted(c, host, 1);
    case ACTION_REMOVE:
        return SetInserted(c, host, 0);
    case ACTION_LIST:
        return List(host);
    case ACTION_SHOW:
        return Show(c, host);
    case ACTION_PUT_CERT:
        return PutCertificate(c, host);
    case ACTION_REMOVE_CERT:
        return RemoveCertificate(c, host);
    case ACTION_SET_RETRIES:
    case ACTION_RESET_RETRIES:
    case ACTION_LOCK:
    case ACTION_SET_PIN:
        return ChangeCounters(c, host);
    case ACTION_CORRUPT_LENGTH:
        return CorruptLength(c, host);
    case ACTION_CORRUPT_GARBAGE:
        return CorruptCertificate(c, host);
    case ACTION_CORRUPT_LABEL:
        return CorruptLabel(c, host);
    case ACTION_RESTORE:
        return Restore(c, host);
    case ACTION_VANISH:
        return Vanish(c, host);
    case ACTION_FAIL:
        return FailCall(c, host);
    }
    return Failed(host, "unknown command");
}
