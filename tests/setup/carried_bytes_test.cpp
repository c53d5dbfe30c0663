// The programs that ship (the 32-bit build, also where the tests run its x86-64 twin) as built: the
// payload carried byte for byte, the manifest, the linker's security flags, imports of only the
// libraries Windows maps from its own directory, and token libraries that export what the manager binds.
#include <windows.h>
#include <dbghelp.h>

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>

#include "setup_harness.h"
#include "token/token_api.h"

namespace {

bool IsKnownLibrary(std::string name)
{
    CharLowerA(&name[0]);
    return std::string(" advapi32 comdlg32 gdi32 imagehlp imm32 kernel32 msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4"
                       " sechost setupapi shell32 shlwapi user32 wldap32 ws2_32 ")
               .find(" " + name.substr(0, name.size() - 4) + " ") != std::string::npos
           && name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0;
}

// The headers of a 32-bit x86 image, or NULL.
PIMAGE_NT_HEADERS32 Headers32(std::vector<unsigned char>& file)
{
    auto* nt = file.size() > sizeof(IMAGE_DOS_HEADER) ? (PIMAGE_NT_HEADERS32)ImageNtHeader(file.data()) : NULL;
    return nt && nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386
                   && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC
               ? nt
               : NULL;
}

const char* AtRva(PIMAGE_NT_HEADERS32 nt, std::vector<unsigned char>& file, DWORD rva)
{
    return (const char*)ImageRvaToVa((PIMAGE_NT_HEADERS)nt, file.data(), rva, NULL);
}

std::vector<std::string> ImportedLibraries(PIMAGE_NT_HEADERS32 nt, std::vector<unsigned char>& file)
{
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* import = (const IMAGE_IMPORT_DESCRIPTOR*)AtRva(nt, file, entry.VirtualAddress);
    for (; import && import->Name; ++import)
        names.push_back(AtRva(nt, file, import->Name) ? AtRva(nt, file, import->Name) : "<unreadable>");
    return names;
}

std::vector<std::string> ExportedNames(PIMAGE_NT_HEADERS32 nt, std::vector<unsigned char>& file)
{
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = (const IMAGE_EXPORT_DIRECTORY*)AtRva(nt, file, entry.VirtualAddress);
    auto* nameRvas = exports ? (const DWORD*)AtRva(nt, file, exports->AddressOfNames) : NULL;
    for (DWORD i = 0; nameRvas && i < exports->NumberOfNames; ++i)
        if (const char* name = AtRva(nt, file, nameRvas[i]))
            names.push_back(name);
    return names;
}

} // namespace

TEST(ShippedPrograms, CarryThePayloadTheManifestAndOnlyKnownImports)
{
    HMODULE setup = LoadLibraryExA(ShippedFile("setup/KeySetup.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(setup, (HMODULE)NULL) << "build the 32-bit setup/KeySetup.exe first";
    for (const PayloadRow& row : PayloadTable) {
        std::vector<unsigned char> source =
            ReadBytes(ShippedFile("setup/payload-resources/" + std::to_string(row.row) + "-" + row.name));
        ASSERT_FALSE(source.empty()) << "no payload file staged for row " << row.row << " " << row.name;
        EXPECT_TRUE(ResourceBytes(setup, row.type, row.id) == source) << "row " << row.row << " " << row.name;
    }
    EXPECT_TRUE(ResourceBytes(setup, "EXE", 143) == ReadBytes(ShippedFile("manager/KeyManager.exe")))
        << "the manager the build just made is the one carried";

    std::vector<unsigned char> manifest = ResourceBytes(setup, (const char*)RT_MANIFEST, 1);
    std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos) << text;
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos) << text;
    FreeLibrary(setup);

    const WORD flags = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT
                       | IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;
    for (const char* program : { "setup/KeySetup.exe", "manager/KeyManager.exe", "standins/payload/bin/KeyUninstall.exe" }) {
        std::vector<unsigned char> file = ReadBytes(ShippedFile(program));
        PIMAGE_NT_HEADERS32 nt = Headers32(file);
        ASSERT_NE(nt, (PIMAGE_NT_HEADERS32)NULL) << program << " is no 32-bit x86 program";
        EXPECT_EQ(nt->OptionalHeader.DllCharacteristics & flags, flags) << program;
        // The elevated ones: the manager runs with the user's rights and may import more.
        if (strstr(program, "KeyManager"))
            continue;
        std::vector<std::string> imports = ImportedLibraries(nt, file);
        EXPECT_FALSE(imports.empty()) << program;
        for (const std::string& name : imports)
            EXPECT_TRUE(IsKnownLibrary(name)) << program << " imports " << name;
    }
}

// The token libraries that ship (ours, or the authority's from setup/payload/) under the undecorated
// names the manager looks up: a 32-bit __stdcall export left decorated (QZ_Open@4) would bind nothing.
TEST(ShippedPrograms, TokenLibrariesExportEveryNameTheManagerBinds)
{
    const struct { const char* name; const TokenEntryName* entries; int count; } libraries[] = {
        { "KeyCmd.dll", KeyCmdEntries, KEYCMD_ENTRY_COUNT },
        { "KeyDev.dll", KeyDevEntries, KEYDEV_ENTRY_COUNT },
        { "KeyNum.dll", KeyNumEntries, KEYNUM_ENTRY_COUNT },
    };
    for (const auto& library : libraries) {
        const PayloadRow* row = NULL;
        for (const PayloadRow& candidate : PayloadTable)
            if (lstrcmpiA(candidate.name, library.name) == 0)
                row = &candidate;
        ASSERT_NE(row, (const PayloadRow*)NULL) << library.name << " is carried";
        std::vector<unsigned char> file =
            ReadBytes(ShippedFile("setup/payload-resources/" + std::to_string(row->row) + "-" + row->name));
        PIMAGE_NT_HEADERS32 nt = Headers32(file);
        ASSERT_NE(nt, (PIMAGE_NT_HEADERS32)NULL) << library.name << " is no 32-bit x86 library";
        std::vector<std::string> exported = ExportedNames(nt, file);
        for (int i = 0; i < library.count; ++i)
            EXPECT_NE(std::find(exported.begin(), exported.end(), library.entries[i].name), exported.end())
                << library.name << " does not export " << library.entries[i].name;
    }
}
