// Fuzz target: the installer's work paths and set-aside names from fuzzed directory and file names.
//
// Input: directory name, NUL, file name, NUL, path of a file in use, NUL, then up to 4 bytes of tick
// count (little-endian, 32 bits as on Windows). Missing parts are empty.
#include <ctype.h>
#include <strings.h>

#include "fuzz_check.h"
#include "install_paths.h"

namespace {

// Byte offset of the fourth character from the end (0 for fewer), counted from the front as GBK reads.
size_t LastFourStart(const std::string& text)
{
    std::vector<size_t> starts = GbkStarts(text);
    return starts.size() < 5 ? 0 : starts[starts.size() - 5];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in = { data, data + size };
    std::string dir = in.Part(), name = in.Part(), path = in.Part();
    unsigned long tick = in.Word() | (unsigned long)in.Word() << 16;

    // Exactly the installer's buffer size, so any byte past it is caught. Never cut: whole, or nothing.
    char* out = (char*)malloc(INSTALL_PATH_SIZE);
    std::string whole = dir + "\\" + name;
    int built = BuildWorkPath(out, INSTALL_PATH_SIZE, dir.c_str(), name.c_str());
    FUZZ_CHECK(built == (whole.size() < INSTALL_PATH_SIZE));
    FUZZ_CHECK(built ? whole == out : AllBytes(out, INSTALL_PATH_SIZE, 0));

    // The tick's digits written over the path from its fourth character from the end, then ".OBK";
    // what is left of the old ending starts on a character, never on a trail byte.
    std::string digits = std::to_string(tick);
    size_t fourth = LastFourStart(path);
    size_t kept = path.size();
    for (size_t start : GbkStarts(path))
        if (start >= fourth + digits.size()) {
            kept = start;
            break;
        }
    std::string expected = path.substr(0, fourth) + digits + path.substr(kept) + ".OBK";
    int aside = BuildAsideName(out, INSTALL_PATH_SIZE, path.c_str(), tick);
    FUZZ_CHECK(aside == (expected.size() < INSTALL_PATH_SIZE));
    FUZZ_CHECK(aside ? expected == out : AllBytes(out, INSTALL_PATH_SIZE, 0));
    // What the installer sets aside it finds again when it cleans up. Names of four characters or
    // fewer have no stem and are never looked for.
    if (aside && LastFourStart(path) > 0 && path.find('\\') == std::string::npos)
        FUZZ_CHECK(IsAsideNameFor(out, path.c_str()) == 1);

    // A set-aside copy of a payload name: its stem (ASCII case ignored), a digit, anything, ".OBK".
    std::string payload = path.substr(path.rfind('\\') + 1);
    size_t stem = LastFourStart(payload);
    bool looksAside = stem > 0 && name.size() >= stem + 5 && strncasecmp(name.c_str(), payload.c_str(), stem) == 0 &&
                      isdigit((unsigned char)name[stem]) && strcasecmp(name.c_str() + name.size() - 4, ".OBK") == 0;
    FUZZ_CHECK(IsAsideNameFor(name.c_str(), payload.c_str()) == (int)looksAside);

    long certificateLength = (long)(tick & 0xFFFF) - 0x100;
    FUZZ_CHECK(CertificateLengthFits(certificateLength) ==
               (certificateLength >= 0 && certificateLength <= CERTIFICATE_BUFFER_SIZE));
    free(out);
    return 0;
}
