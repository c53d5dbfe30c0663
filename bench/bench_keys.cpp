// Provisioning the benchmarks' keys with keysim's commands, run in this process.
#include "bench_keys.h"

#include <windows.h>

#include "bounded_text.h"
#include "keysim_host.h"

enum { WORD_LIMIT = 12, CERT_PATH_SIZE = MAX_PATH };

// Runs one keysim command; the words are copied, since keysim may write into its arguments.
static int Keysim(const char* const* words)
{
    char copies[WORD_LIMIT][CERT_PATH_SIZE];
    char* argv[WORD_LIMIT + 2] = { (char*)"keysim" };
    int argc = 1;
    for (; words[argc - 1]; ++argc) {
        // Refused rather than cut: a command without its last words would do something else.
        if (argc > WORD_LIMIT || !TextCopy(copies[argc - 1], sizeof copies[argc - 1], words[argc - 1]))
            return 0;
        argv[argc] = copies[argc - 1];
    }
    argv[argc] = NULL;
    return KeysimMain(argc, argv) == 0;
}

// put-cert SLOT APP CONTAINER KIND FOLDER\FILE
static int PutCertificate(const char* slot, const char* app, const char* container, const char* kind,
                          const char* certificates, const char* file)
{
    char path[CERT_PATH_SIZE];
    if (!TextCopy(path, sizeof path, certificates) || !TextAppend(path, sizeof path, "\\")
        || !TextAppend(path, sizeof path, file))
        return 0;
    const char* words[] = { "put-cert", slot, app, container, kind, path, NULL };
    return Keysim(words);
}

int PutDemoKeys(const char* certificates)
{
    const char* zhangsan[] = { "create", "0", "--label", "张三的USBKey", "--pin", "123456", "--serial", "5E2B0001",
                               "--apps", "2", "--removed", NULL };
    const char* lisi[] = { "create", "1", "--label", "李四的USBKey", "--pin", "888888", "--serial", "5E2B0002",
                           "--apps", "1", "--removed", NULL };
    const char* insertZhangsan[] = { "insert", "0", NULL };
    const char* insertLisi[] = { "insert", "1", NULL };
    return Keysim(zhangsan) && PutCertificate("0", "1", "0", "enc", certificates, "zhangsan-enc.der")
           && PutCertificate("0", "1", "0", "sig", certificates, "zhangsan-sig.der")
           && PutCertificate("0", "2", "0", "sig", certificates, "zhangsan-app2-sig.der") && Keysim(insertZhangsan)
           && Keysim(lisi) && PutCertificate("1", "1", "0", "sig", certificates, "lisi-sig.der") && Keysim(insertLisi);
}

int PutFullKeys(const char* certificates)
{
    static const char* const slots[] = { "0", "1", "2", "3" };
    static const char* const serials[] = { "5E2B0010", "5E2B0011", "5E2B0012", "5E2B0013" };
    static const char* const numbers[] = { "1", "2" };
    static const char* const containers[] = { "0", "1" };
    for (int slot = 0; slot < 4; ++slot) {
        const char* create[] = { "create", slots[slot], "--label", "满Key", "--pin", "123456", "--serial", serials[slot],
                                 "--apps", "2", "--removed", NULL };
        if (!Keysim(create))
            return 0;
        for (const char* app : numbers)
            for (const char* container : containers)
                if (!PutCertificate(slots[slot], app, container, "enc", certificates, "zhangsan-enc.der")
                    || !PutCertificate(slots[slot], app, container, "sig", certificates, "zhangsan-sig.der"))
                    return 0;
        const char* insert[] = { "insert", slots[slot], NULL };
        if (!Keysim(insert))
            return 0;
    }
    return 1;
}
