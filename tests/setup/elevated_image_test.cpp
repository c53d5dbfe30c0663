// The elevated programs as built: their import tables name only libraries that Windows maps from
// its own directory (the known libraries of both Windows 7 and Windows 10), so none is looked for
// beside the program; and the linker flags every program we ship carries.
#include <gtest/gtest.h>

#include <ctype.h>

#include "pe_image.h"
#include "setup_harness.h"
#include "win_harness.h"

namespace {

const char* const KnownLibraries[] = { "advapi32", "comdlg32", "gdi32", "imagehlp", "imm32", "kernel32", "msvcrt",
                                       "normaliz", "nsi", "ole32", "oleaut32", "psapi", "rpcrt4", "sechost",
                                       "setupapi", "shell32", "shlwapi", "user32", "wldap32", "ws2_32" };

bool IsKnownLibrary(std::string name)
{
    for (char& c : name)
        c = (char)tolower((unsigned char)c);
    for (const char* known : KnownLibraries)
        if (name == std::string(known) + ".dll")
            return true;
    return false;
}

const uint16_t DynamicBase = 0x0040;
const uint16_t NxCompatible = 0x0100;
const uint16_t TerminalServerAware = 0x8000;

} // namespace

TEST(ElevatedPrograms, ImportOnlyKnownLibrariesAndCarryTheLinkerFlags)
{
    for (const char* program : { "setup/KeySetup.exe", "standins/payload/bin/KeyUninstall.exe" }) {
        PeImage image = ReadPeImage(ReadBytes(BuildFile(program)));
        ASSERT_TRUE(image.valid) << program;
        EXPECT_FALSE(image.imports.empty()) << program;
        for (const std::string& library : image.imports) {
            EXPECT_TRUE(IsKnownLibrary(library)) << program << " imports " << library;
        }
        const uint16_t flags = DynamicBase | NxCompatible | TerminalServerAware;
        EXPECT_EQ(image.dllCharacteristics & flags, flags) << program;
    }
}
