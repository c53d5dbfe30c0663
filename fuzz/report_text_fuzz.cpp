// Fuzz target: the device report from up to four keys of up to eight certificates, with fuzzed labels,
// names, serial numbers and dates, into the manager's real-size report buffer and then its
// full-report buffer; and the version classes.
//
// Input: mode (low 4 bits: the version class; bit 7: fields may exceed the sizes the manager gives
// them, and only the bounds are checked), key count - 1; per key 4 serial bytes, a length byte and
// the start of the device information file, a certificate count (mod 9), and per certificate a kind
// byte, subject and issuer (2-byte length, bytes), a serial blob (length byte, bytes), the decimal
// serial (as the names) and two dates of six 16-bit fields; then the report's date, a platform id and
// two versions (5 bytes).
#include "fuzz_check.h"
#include "key_layout.h"
#include "report_text.h"

namespace {

// Twice the room: a field within its limit that the real buffer cuts shows as a difference.
const size_t ROOMY = 2 * (size_t)REPORT_TEXT_LIMIT + 4096;

ReportDate DateFrom(Reader& in)
{
    int f[6];
    for (int& field : f)
        field = (unsigned short)in.Word(); // SYSTEMTIME's fields are 16-bit
    return ReportDate{ f[0], f[1], f[2], f[3], f[4], f[5] };
}

// Within one platform a later version never gets an earlier system's class, and the two platforms
// never share one; unknown platforms have none. The old consumer systems differ in the minor only.
void CheckVersionClasses(unsigned platform, unsigned major, unsigned minor, unsigned laterMajor, unsigned laterMinor)
{
    FUZZ_CHECK(platform == 1 || platform == 2 || ClassifyVersionNumbers(platform, major, minor) == 0);
    bool later = laterMajor > major || (laterMajor == major && laterMinor > minor);
    for (unsigned id = 1; id <= 2; ++id) {
        int first = ClassifyVersionNumbers(id, major, minor);
        int second = ClassifyVersionNumbers(id, laterMajor, laterMinor);
        FUZZ_CHECK(!first || !second || !later || (id == 1 && laterMajor != major) || first <= second);
    }
    int old = ClassifyVersionNumbers(1, major, minor), nt = ClassifyVersionNumbers(2, laterMajor, laterMinor);
    FUZZ_CHECK(!old || !nt || old != nt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    uint8_t mode = in.Byte();
    bool oversize = mode & 0x80;
    int versionClass = mode & 0x0F;
    // The manager's buffer, its own allocation of exactly its size, and one with room to spare.
    char* report = (char*)calloc(1, REPORT_TEXT_LIMIT);
    char* roomy = (char*)calloc(1, ROOMY);
    auto append = [&](auto line) { line(report, REPORT_TEXT_LIMIT); line(roomy, ROOMY); };
    for (int k = 0, keys = 1 + (in.Byte() & 3); k < keys && in.Left() > 0; ++k) {
        unsigned char serial[4] = { in.Byte(), in.Byte(), in.Byte(), in.Byte() };
        char serialText[16];
        FormatHexUpper(serial, serialText, 4);
        append([&](char* r, size_t n) { AppendKeyReportLines(r, n, serialText); });
        // The label field's text up to its NUL, cut on a character boundary when it fills the field.
        std::string info = oversize ? in.Take(in.Word()) : in.Take(in.Byte() % (DEVICE_INFO_SIZE + 1));
        char label[KEY_LABEL_FIELD];
        ReadKeyLabel((const unsigned char*)info.data(), info.size(), label, sizeof label);
        FUZZ_CHECK(label == info.substr(0, GbkBoundary(info.substr(0, KEY_LABEL_FIELD), KEY_LABEL_FIELD - 1)));
        append([&](char* r, size_t n) { AppendLabelReportLine(r, n, oversize ? info.c_str() : label); });
        for (int c = 0, certificates = in.Byte() % 9; c < certificates; ++c) {
            int encryption = in.Byte() & 1;
            std::string subject = in.Take(std::min(in.Word(), oversize ? 4000u : CERT_NAME_SIZE - 1u));
            std::string issuer = in.Take(std::min(in.Word(), oversize ? 4000u : CERT_NAME_SIZE - 1u));
            // The blob is least significant byte first; the text most significant first, as many as fit.
            std::string blob = in.Take(in.Byte()), expected;
            char hex[SERIAL_HEX_SIZE];
            FormatSerialHex((const unsigned char*)blob.data(), blob.size(), hex, sizeof hex);
            const char* digits = "0123456789ABCDEF";
            for (size_t i = blob.size(); i > 0 && expected.size() + 2 < SERIAL_HEX_SIZE; --i)
                expected += std::string(1, digits[(uint8_t)blob[i - 1] >> 4]) + digits[blob[i - 1] & 15];
            FUZZ_CHECK(expected == hex);
            std::string decimal = in.Take(std::min(in.Word(), oversize ? 4000u : SERIAL_DECIMAL_SIZE - 1u));
            ReportDate start = DateFrom(in), end = DateFrom(in);
            append([&](char* r, size_t n) {
                AppendSubjectReportLine(r, n, subject.c_str(), encryption);
                AppendIssuerReportLine(r, n, issuer.c_str());
                AppendSerialReportLine(r, n, decimal.c_str());
                AppendValidityReportLines(r, n, &start, &end);
            });
        }
    }
    FUZZ_CHECK(memchr(report, 0, REPORT_TEXT_LIMIT) != NULL);
    // The full report: the version line first, then the device text whole when its fields fit.
    const size_t fullSize = REPORT_TEXT_LIMIT + 512;
    char* full = (char*)malloc(fullSize);
    char* roomyFull = (char*)malloc(ROOMY);
    ReportDate now = DateFrom(in);
    BuildReportText(full, fullSize, versionClass, &now, report);
    AppendSavedNotice(full, fullSize);
    BuildReportText(roomyFull, ROOMY, versionClass, &now, roomy);
    AppendSavedNotice(roomyFull, ROOMY);
    FUZZ_CHECK(memchr(full, 0, fullSize) != NULL);
    const char* versionLine = VersionLine(versionClass);
    FUZZ_CHECK(strncmp(full, versionLine, strlen(versionLine)) == 0 && full[strlen(versionLine)] == '\n');
    FUZZ_CHECK(oversize || (strcmp(report, roomy) == 0 && strcmp(full, roomyFull) == 0));
    free(report);
    free(roomy);
    free(full);
    free(roomyFull);
    CheckVersionClasses(in.Byte(), in.Byte(), in.Byte(), in.Byte(), in.Byte());
    return 0;
}
