// Fuzz target: the device report assembled from many keys with fuzzed labels, names and serial numbers,
// into the manager's real-size report buffer and then its full-report buffer.
//
// Every field is built the way the manager gets it (labels through ReadKeyLabel, names as
// CertGetNameStringA leaves them in 256 bytes, serials as HexToDec leaves them in 512, dates as 16-bit
// SYSTEMTIME fields), and the same report is also built into a buffer with no practical limit: the
// real-size buffers must hold all of it. With the first byte's high bit set the fields may exceed
// those limits; then only the bounds are checked. Five bytes at the end are a platform id and two
// versions for the version classes.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_check.h"
#include "key_layout.h"
#include "report_text.h"

namespace {

struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    uint8_t Byte() { return at < end ? *at++ : 0; }
    unsigned short Word() { return (unsigned short)(Byte() | Byte() << 8); }
    // A text of at most limit bytes (NUL ends it early), from a length byte and the bytes.
    std::string Text(size_t limit, bool wide)
    {
        size_t length = wide ? (size_t)Word() : (size_t)Byte();
        if (length > limit)
            length = limit;
        std::string text;
        while (text.size() < length && at < end && *at != 0)
            text += (char)*at++;
        return text;
    }
};

struct Certificate {
    std::string subject, issuer, serial;
    int encryption;
    ReportDate start, end;
};
struct Key {
    std::string serialText;
    std::string label;
    std::vector<Certificate> certificates;
};

ReportDate DateFrom(Reader& in)
{
    ReportDate date;
    date.year = in.Word();
    date.month = in.Word();
    date.day = in.Word();
    date.hour = in.Word();
    date.minute = in.Word();
    date.second = in.Word();
    return date;
}

void Assemble(const std::vector<Key>& keys, char* report, size_t size)
{
    for (const Key& key : keys) {
        AppendKeyReportLines(report, size, key.serialText.c_str());
        AppendLabelReportLine(report, size, key.label.c_str());
        for (const Certificate& c : key.certificates) {
            AppendSubjectReportLine(report, size, c.subject.c_str(), c.encryption);
            AppendIssuerReportLine(report, size, c.issuer.c_str());
            AppendSerialReportLine(report, size, c.serial.c_str());
            AppendValidityReportLines(report, size, &c.start, &c.end);
        }
    }
}

// Only the two platform ids are known; within one, a later version never gets an earlier system's
// class, and the two never share a class.
void CheckVersionClasses(unsigned platform, unsigned major, unsigned minor, unsigned laterMajor, unsigned laterMinor)
{
    if (platform != 1 && platform != 2)
        FUZZ_CHECK(ClassifyVersionNumbers(platform, major, minor) == 0);
    // The old consumer systems all say 4 and differ in the minor version only.
    bool later = laterMajor > major || (laterMajor == major && laterMinor > minor);
    for (unsigned id = 1; id <= 2; ++id) {
        int first = ClassifyVersionNumbers(id, major, minor);
        int second = ClassifyVersionNumbers(id, laterMajor, laterMinor);
        if (first && second && later && (id == 2 || laterMajor == major))
            FUZZ_CHECK(first <= second);
    }
    int old = ClassifyVersionNumbers(1, major, minor);
    int nt = ClassifyVersionNumbers(2, laterMajor, laterMinor);
    FUZZ_CHECK(!old || !nt || old != nt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    uint8_t mode = in.Byte();
    bool oversize = (mode & 0x80) != 0;
    int versionClass = mode & 0x0F;

    // At most four keys with eight certificates each, as the walk lists them.
    std::vector<Key> keys;
    int keyCount = 1 + (in.Byte() & 3);
    for (int k = 0; k < keyCount && in.at < in.end; ++k) {
        Key key;
        unsigned char serial[4] = { in.Byte(), in.Byte(), in.Byte(), in.Byte() };
        char serialText[16];
        FormatHexUpper(serial, serialText, 4);
        key.serialText = serialText;
        if (oversize) {
            key.label = in.Text(4000, true);
        } else {
            unsigned char info[DEVICE_INFO_SIZE] = {};
            for (size_t i = 0, n = in.Byte(); i < n && i < sizeof info; ++i)
                info[i] = in.Byte();
            char label[KEY_LABEL_FIELD];
            ReadKeyLabel(info, sizeof info, label, sizeof label);
            key.label = label;
            // The field's text up to its NUL, cut on a character boundary when it fills the field.
            std::string field((const char*)info, strnlen((const char*)info, KEY_LABEL_FIELD));
            FUZZ_CHECK(key.label == field.substr(0, GbkBoundary(field, KEY_LABEL_FIELD - 1)));
        }
        int certificateCount = in.Byte() % 9;
        for (int c = 0; c < certificateCount; ++c) {
            Certificate cert;
            cert.encryption = in.Byte() & 1;
            cert.subject = in.Text(oversize ? 4000 : CERT_NAME_SIZE - 1, true);
            cert.issuer = in.Text(oversize ? 4000 : CERT_NAME_SIZE - 1, true);
            // HexToDec's answer: decimal digits of a serial number given in hexadecimal.
            std::vector<unsigned char> blob;
            for (size_t i = 0, n = in.Byte(); i < n; ++i)
                blob.push_back(in.Byte());
            char hex[SERIAL_HEX_SIZE];
            FormatSerialHex(blob.data(), blob.size(), hex, sizeof hex);
            // Most significant byte first (the blob is least significant first), as many bytes as fit.
            std::string expected;
            for (size_t i = blob.size(); i > 0 && expected.size() + 2 < SERIAL_HEX_SIZE; --i)
                expected += std::string(1, "0123456789ABCDEF"[blob[i - 1] >> 4]) + "0123456789ABCDEF"[blob[i - 1] & 15];
            FUZZ_CHECK(expected == hex);
            cert.serial = in.Text(oversize ? 4000 : SERIAL_DECIMAL_SIZE - 1, true);
            cert.start = DateFrom(in);
            cert.end = DateFrom(in);
            key.certificates.push_back(cert);
        }
        keys.push_back(key);
    }

    // The manager's buffers, each its own allocation of exactly its size.
    char* report = (char*)calloc(1, REPORT_TEXT_LIMIT);
    Assemble(keys, report, REPORT_TEXT_LIMIT);
    size_t reportLength = strnlen(report, REPORT_TEXT_LIMIT);
    FUZZ_CHECK(reportLength < REPORT_TEXT_LIMIT);

    size_t fullSize = REPORT_TEXT_LIMIT + 512;
    char* full = (char*)malloc(fullSize);
    ReportDate now = DateFrom(in);
    BuildReportText(full, fullSize, versionClass, &now, report);
    AppendSavedNotice(full, fullSize);
    FUZZ_CHECK(strnlen(full, fullSize) < fullSize);
    // The report opens with its version line.
    const char* versionLine = VersionLine(versionClass);
    FUZZ_CHECK(strncmp(full, versionLine, strlen(versionLine)) == 0 && full[strlen(versionLine)] == '\n');

    if (!oversize) {
        // Fields within their limits are never cut: twice the room shows any cut.
        const size_t roomy = 2 * (size_t)REPORT_TEXT_LIMIT + 4096;
        char* unlimited = (char*)calloc(1, roomy);
        Assemble(keys, unlimited, roomy);
        FUZZ_CHECK(strcmp(report, unlimited) == 0);
        char* unlimitedFull = (char*)malloc(roomy);
        BuildReportText(unlimitedFull, roomy, versionClass, &now, unlimited);
        AppendSavedNotice(unlimitedFull, roomy);
        FUZZ_CHECK(strcmp(full, unlimitedFull) == 0);
        free(unlimited);
        free(unlimitedFull);
    }
    free(report);
    free(full);
    CheckVersionClasses(in.Byte(), in.Byte(), in.Byte(), in.Byte(), in.Byte());
    return 0;
}
