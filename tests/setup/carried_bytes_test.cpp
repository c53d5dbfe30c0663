// The installer and uninstaller as built: the payload carried byte for byte, the manifest, and imports
// of only the libraries Windows maps from its own directory, so none is looked for beside the program.
#include <windows.h>
#include <dbghelp.h>

#include <gtest/gtest.h>

#include <string>

#include "setup_harness.h"

namespace {

bool IsKnownLibrary(std::string name)
{
    CharLowerA(&name[0]);
    return std::string(" advapi32 comdlg32 gdi32 imagehlp imm32 kernel32 msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4"
                       " sechost setupapi shell32 shlwapi user32 wldap32 ws2_32 ")
               .find(" " + name.substr(0, name.size() - 4) + " ") != std::string::npos
           && name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0;
}

} // namespace

TEST(BuiltPrograms, CarryThePayloadTheManifestAndOnlyKnownImports)
{
    HMODULE setup = LoadSetupResources();
    ASSERT_NE(setup, (HMODULE)NULL) << "build setup/KeySetup.exe first";
    for (const PayloadRow& row : PayloadTable) {
        std::vector<unsigned char> source =
            ReadBytes(BuildFile("setup/payload-resources/" + std::to_string(row.row) + "-" + row.name));
        ASSERT_FALSE(source.empty()) << "no payload file staged for row " << row.row << " " << row.name;
        EXPECT_TRUE(ResourceBytes(setup, row.type, row.id) == source) << "row " << row.row << " " << row.name;
    }
    EXPECT_TRUE(ResourceBytes(setup, "EXE", 143) == ReadBytes(BuildFile("manager/KeyManager.exe")))
        << "the manager the build just made is the one carried";

    std::vector<unsigned char> manifest = ResourceBytes(setup, (const char*)RT_MANIFEST, 1);
    std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos) << text;
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos) << text;

    const WORD flags = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT
                       | IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;
    for (const char* program : { "setup/KeySetup.exe", "standins/payload/bin/KeyUninstall.exe" }) {
        std::vector<unsigned char> file = ReadBytes(BuildFile(program));
        PIMAGE_NT_HEADERS nt = file.empty() ? NULL : ImageNtHeader(file.data());
        ASSERT_NE(nt, (PIMAGE_NT_HEADERS)NULL) << program;
        EXPECT_EQ(nt->OptionalHeader.DllCharacteristics & flags, flags) << program;
        ULONG size = 0;
        auto* import = (PIMAGE_IMPORT_DESCRIPTOR)ImageDirectoryEntryToData(file.data(), FALSE,
                                                                           IMAGE_DIRECTORY_ENTRY_IMPORT, &size);
        ASSERT_NE(import, (PIMAGE_IMPORT_DESCRIPTOR)NULL) << program;
        for (; import->Name; ++import) {
            const char* name = (const char*)ImageRvaToVa(nt, file.data(), import->Name, NULL);
            ASSERT_NE(name, (const char*)NULL) << program;
            EXPECT_TRUE(IsKnownLibrary(name)) << program << " imports " << name;
        }
    }
}
