#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/desktop_entry_index.h"
#include "support/temporary_folder.h"

namespace corvane::platform {
namespace {

void write(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

TEST(DesktopEntryIndexTest, EarlierDirectoriesWinAndClassesMatch) {
  corvane::testing::TemporaryFolder home, system;
  write(home / "org.example.Vault.desktop",
        "[Desktop Entry]\nType=Application\nName=Vault (mine)\nStartupWMClass=VaultWin\n"
        "Icon=vault\n[Desktop Action New]\nName=New Vault\nStartupWMClass=Other\n");
  write(system / "org.example.Vault.desktop",
        "[Desktop Entry]\nType=Application\nName=Vault (system)\n");
  write(system / "vendor/org.example.Editor.desktop",
        "[Desktop Entry]\nType=Application\nName=Editor\nIcon=/opt/editor/editor.png\n");
  write(system / "org.example.Site.desktop", "[Desktop Entry]\nType=Link\nName=Site\n");
  auto index = DesktopEntryIndex::load({home.path(), system.path(), "/nonexistent"});
  EXPECT_EQ(index.size(), 2u);
  const auto vault = index.byId("org.example.Vault");
  ASSERT_TRUE(vault);
  EXPECT_EQ(vault->name, "Vault (mine)");
  EXPECT_EQ(vault->icon, "vault");
  EXPECT_EQ(vault->path, home / "org.example.Vault.desktop");
  EXPECT_EQ(index.forWindowClass("VaultWin")->id, "org.example.Vault");
  EXPECT_EQ(index.forWindowClass("vendor-org.example.editor")->id, "vendor-org.example.Editor");
  EXPECT_EQ(index.forWindowClass("Editor")->icon, "/opt/editor/editor.png");
  EXPECT_FALSE(index.forWindowClass("Unknown"));
  EXPECT_FALSE(index.forWindowClass(""));
  EXPECT_EQ(desktopIdForRelativePath("kde/org.kde.App.desktop"), "kde-org.kde.App");
}

TEST(DesktopEntryIndexTest, ClassesAndProgramsAreLookedUpByKeyInIdOrder) {
  corvane::testing::TemporaryFolder folder;
  write(folder / "zzz.desktop",
        "[Desktop Entry]\nType=Application\nName=Z\nStartupWMClass=Vault\nExec=/usr/bin/other\n");
  write(folder / "org.example.Vault.desktop",
        "[Desktop Entry]\nType=Application\nName=V\nStartupWMClass=Other\n"
        "Exec=env GTK_THEME=dark LANG=C /opt/vault/bin/vault %u\n");
  write(folder / "a.Vault.desktop",
        "[Desktop Entry]\nType=Application\nName=A\nExec=vault --new-window\n");
  const auto index = DesktopEntryIndex::load({folder.path()});
  // A StartupWMClass as written first, then an id, then the last part of one, ignoring case.
  EXPECT_EQ(index.forWindowClass("Vault")->id, "zzz");
  EXPECT_EQ(index.forWindowClass("vault")->id, "a.Vault");
  EXPECT_EQ(index.forWindowClass("ZZZ")->id, "zzz");
  EXPECT_EQ(index.idsClaimingWindowClass("VAULT"),
            (std::vector<std::string>{"a.Vault", "org.example.Vault", "zzz"}));
  EXPECT_EQ(index.idsClaimingWindowClass("other"), (std::vector<std::string>{"org.example.Vault"}));
  EXPECT_EQ(index.idsStartingProgram("vault"),
            (std::vector<std::string>{"a.Vault", "org.example.Vault"}));
  EXPECT_EQ(index.idsStartingProgram("other"), (std::vector<std::string>{"zzz"}));
  EXPECT_TRUE(index.idsStartingProgram("env").empty());
}

TEST(DesktopEntryIndexTest, FindReadsOnlyTheFilesAnIdNames) {
  corvane::testing::TemporaryFolder home, system;
  write(home / "org.example.Hidden.desktop",
        "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
  write(system / "org.example.Hidden.desktop", "[Desktop Entry]\nType=Application\nName=Here\n");
  write(system / "org.example.Vault.desktop",
        "[Desktop Entry]\nType=Application\nName=Vault\nIcon=vault\n");
  write(system / "kde/org.kde-App.desktop", "[Desktop Entry]\nType=Application\nName=Kde App\n");
  write(system / "broken.desktop", "no group here\n");
  write(home.path().parent_path() / "outside.desktop",
        "[Desktop Entry]\nType=Application\nName=Outside\n");
  const std::vector<std::filesystem::path> directories{home.path(), system.path()};

  const auto vault = DesktopEntryIndex::find("org.example.Vault", directories);
  ASSERT_TRUE(vault);
  EXPECT_EQ(vault->name, "Vault");
  EXPECT_EQ(vault->icon, "vault");
  // A subfolder entry, with a dash left in its file name.
  EXPECT_EQ(DesktopEntryIndex::find("kde-org.kde-App", directories)->name, "Kde App");
  // The user's Hidden=true entry hides the system's.
  EXPECT_FALSE(DesktopEntryIndex::find("org.example.Hidden", directories));
  EXPECT_FALSE(DesktopEntryIndex::find("broken", directories));
  EXPECT_FALSE(DesktopEntryIndex::find("missing", directories));
  // Ids never reach outside the directories.
  EXPECT_FALSE(DesktopEntryIndex::find("../outside", directories));
  EXPECT_FALSE(DesktopEntryIndex::find("..-outside", directories));
  EXPECT_FALSE(DesktopEntryIndex::find("", directories));
}

}  // namespace
}  // namespace corvane::platform
