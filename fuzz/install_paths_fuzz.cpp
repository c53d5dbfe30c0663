// Fuzz target: the installer's work paths and set-aside names from fuzzed directory and file names.
//
// Input: directory name, NUL, file name, NUL, path of a file in use, NUL, then up to 4 bytes of tick
// count (little-endian, 32 bits as on Windows). Missing parts are empty.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <ctype.h>

#include <string>
#include <vector>

#include "fuzz_check.h"
#include "install_paths.h"

namespace {

std::string NextPart(const uint8_t*& at, const uint8_t* end)
{
    const uint8_t* stop = (const uint8_t*)memchr(at, 0, (size_t)(end - at));
    if (!stop)
        stop = end;
    std::string part((const char*)at, (size_t)(stop - at));
    at = stop < end ? stop + 1 : end;
    return part;
}

// The name after the last backslash: what the installer compares when it looks for set-aside files.
std::string BareName(const std::string& path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Byte offset of the fourth character from the end (0 for fewer), counted from the front as GBK reads.
size_t LastFourStart(const std::string& text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size();) {
        starts.push_back(i);
        unsigned char c = (unsigned char)text[i];
        i += (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) ? 2 : 1;
    }
    return starts.size() < 4 ? 0 : starts[starts.size() - 4];
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !(isalpha((unsigned char)a[i]) && (a[i] ^ 0x20) == b[i]))
            return false;
    return true;
}

bool AllZero(const char* bytes, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* at = data;
    const uint8_t* end = data + size;
    std::string dir = NextPart(at, end);
    std::string name = NextPart(at, end);
    std::string path = NextPart(at, end);
    uint32_t tick = 0;
    for (int i = 0; i < 4 && at < end; ++i)
        tick |= (uint32_t)*at++ << (8 * i);

    // Exactly the installer's buffer size, so any byte past it is caught.
    char* out = (char*)malloc(INSTALL_PATH_SIZE);
    int built = BuildWorkPath(out, INSTALL_PATH_SIZE, dir.c_str(), name.c_str());
    std::string whole = dir + "\\" + name;
    // Never cut: the whole path, or nothing.
    if (built) {
        FUZZ_CHECK(whole.size() < INSTALL_PATH_SIZE);
        FUZZ_CHECK(strcmp(out, whole.c_str()) == 0);
    } else {
        FUZZ_CHECK(AllZero(out, INSTALL_PATH_SIZE));
        FUZZ_CHECK(whole.size() >= INSTALL_PATH_SIZE);
    }

    // The tick's digits written over the path from its fourth character from the end, then ".OBK".
    unsigned long tickCount = (unsigned long)tick;
    int aside = BuildAsideName(out, INSTALL_PATH_SIZE, path.c_str(), tickCount);
    std::string digits = std::to_string(tickCount);
    size_t fourth = LastFourStart(path);
    std::string expected = path.substr(0, fourth) + digits +
                           (fourth + digits.size() < path.size() ? path.substr(fourth + digits.size()) : "") + ".OBK";
    FUZZ_CHECK(aside == (expected.size() < INSTALL_PATH_SIZE));
    if (aside) {
        size_t length = strnlen(out, INSTALL_PATH_SIZE);
        FUZZ_CHECK(length < INSTALL_PATH_SIZE);
        std::string made(out, length);
        FUZZ_CHECK(made == expected);
        // What the installer sets aside, it must find again when it cleans up. Names of four
        // characters or fewer have no stem and are never looked for.
        std::string payload = BareName(path);
        if (LastFourStart(payload) > 0 && payload.size() == path.size())
            FUZZ_CHECK(IsAsideNameFor(made.c_str(), payload.c_str()) == 1);
    } else {
        FUZZ_CHECK(AllZero(out, INSTALL_PATH_SIZE));
    }

    // A name is taken for a set-aside copy when it starts with the payload name's stem (ASCII case
    // ignored), a digit follows, and it ends in ".OBK".
    std::string payloadName = BareName(path);
    size_t stem = LastFourStart(payloadName);
    bool looksAside = stem > 0 && name.size() >= stem + 5 &&
                      SameIgnoringAsciiCase(name.substr(0, stem), payloadName.substr(0, stem)) &&
                      isdigit((unsigned char)name[stem]) && SameIgnoringAsciiCase(name.substr(name.size() - 4), ".OBK");
    FUZZ_CHECK(IsAsideNameFor(name.c_str(), payloadName.c_str()) == (int)looksAside);

    long certificateLength = (long)(tick & 0xFFFF) - 0x100;
    FUZZ_CHECK(CertificateLengthFits(certificateLength) ==
               (certificateLength >= 0 && certificateLength <= CERTIFICATE_BUFFER_SIZE));
    free(out);
    return 0;
}
