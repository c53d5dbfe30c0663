// Shell links: one saved into a scratch folder, and the kit's Start-menu folder with its two links.
#include <gtest/gtest.h>

#include <string>

#include "setup.h"
#include "setup_harness.h"

namespace {

std::string KitMenuFolder()
{
    return CommonProgramsFolder() + SHORTCUT_FOLDER;
}

void RemoveKitMenuFolder()
{
    std::string folder = KitMenuFolder();
    DeleteFileA((folder + MANAGER_LINK).c_str());
    DeleteFileA((folder + UNINSTALLER_LINK).c_str());
    RemoveDirectoryA(folder.c_str());
}

} // namespace

TEST(ShellShortcut, SavesALinkToItsTargetAndOverwritesIt)
{
    ScratchFolder folder("links");
    std::string target = folder.File("程序.exe");
    std::string link = folder.File("工具.lnk");
    ASSERT_TRUE(WriteBytes(target, { 'M', 'Z' }));
    ASSERT_TRUE(WriteBytes(folder.File("other.exe"), { 'M', 'Z' }));

    EXPECT_EQ(CreateShellShortcut(folder.File("other.exe").c_str(), link.c_str(), "-x"), 1);
    EXPECT_EQ(CreateShellShortcut(target.c_str(), link.c_str(), ""), 1);
    ShellLinkInfo saved = ReadShellLink(link);
    ASSERT_TRUE(saved.loaded);
    EXPECT_EQ(saved.target, target);
    EXPECT_EQ(saved.arguments, "");
}

TEST(StartMenuShortcuts, MakeTheKitFolderWithBothLinks)
{
    RemoveKitMenuFolder();
    ScratchFolder kit("menu");
    std::string manager = kit.File("KeyManager.exe");
    std::string uninstaller = kit.File("KeyUninstall.exe");
    ASSERT_TRUE(WriteBytes(manager, { 'M', 'Z' }));
    ASSERT_TRUE(WriteBytes(uninstaller, { 'M', 'Z' }));

    // Twice: the existing folder is reused and the links are rewritten, not duplicated.
    for (int run = 0; run < 2; ++run) {
        CreateStartMenuShortcuts(manager.c_str(), uninstaller.c_str());
        EXPECT_EQ(ReadShellLink(KitMenuFolder() + MANAGER_LINK).target, manager);
        EXPECT_EQ(ReadShellLink(KitMenuFolder() + UNINSTALLER_LINK).target, uninstaller);
        EXPECT_EQ(FindFiles(KitMenuFolder(), "*").size(), 2u);
    }
    RemoveKitMenuFolder();
}
