#include "model/protected_application_catalog.h"

#include <gtest/gtest.h>

#include <fstream>

#include "model/protected_system_surface_capture_policy.h"
#include "platform/desktop_entry.h"
#include "support/temporary_folder.h"

namespace corvane::model {
namespace {

namespace fs = std::filesystem;
using Reason = ProtectedAppImportRejection::Reason;

class ProtectedApplicationCatalogTest : public ::testing::Test {
 protected:
  fs::path entry(const std::string& fileName, const std::string& text) {
    const fs::path path = folder_ / fileName;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  fs::path application(const std::string& id, const std::string& name) {
    return entry(id + ".desktop",
                 "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + id + "\n");
  }

  testing::TemporaryFolder folder_;
};

TEST_F(ProtectedApplicationCatalogTest, AddsNewAppsAndReenablesDisabledOnes) {
  const std::vector<ProtectedApp> current{
      {"org.signal.Signal", "Signal", "message.fill", false},
      {"org.keepassxc.KeePassXC", "KeePassXC", "key.fill", true},
  };
  const auto result = ProtectedApplicationCatalog::importApplications(
      {application("org.signal.Signal", "Signal Desktop"),
       application("org.keepassxc.KeePassXC", "KeePassXC 2"),
       application("org.gnome.Evolution", "Evolution")},
      current, {}, {});
  EXPECT_EQ(result.addedCount, 1);
  EXPECT_EQ(result.reenabledCount, 1);  // KeePassXC was already enabled
  EXPECT_TRUE(result.rejections.empty());
  ASSERT_EQ(result.apps.size(), 3u);
  EXPECT_EQ(result.apps[0],
            (ProtectedApp{"org.signal.Signal", "Signal Desktop", "message.fill", true}));
  EXPECT_EQ(result.apps[1].name, "KeePassXC 2");
  EXPECT_EQ(result.apps[2], (ProtectedApp{"org.gnome.Evolution", "Evolution", "app.fill", true}));
}

TEST_F(ProtectedApplicationCatalogTest, RejectsInvalidEntriesAndItselfOnce) {
  const auto self = application("com.pemberquist.corvane", "Corvane");
  fs::create_directories(folder_ / "dir.desktop");
  const auto result = ProtectedApplicationCatalog::importApplications(
      {
          entry("notes.txt", "[Desktop Entry]\nType=Application\nName=Notes\n"),
          entry("link.desktop", "[Desktop Entry]\nType=Link\nName=Web link\nURL=https://x\n"),
          entry("noname.desktop", "[Desktop Entry]\nType=Application\n"),
          entry("binary.desktop", std::string("\x7f"
                                              "ELF\x02\x01\x00\xff\xfe",
                                              9)),
          entry("hidden.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n"),
          folder_ / "missing.desktop",
          folder_ / "dir.desktop",
          self,
          self,
      },
      {}, {"com.pemberquist.corvane"}, {});
  EXPECT_TRUE(result.apps.empty());
  EXPECT_EQ(result.addedCount, 0);
  const std::vector<ProtectedAppImportRejection> expected{
      {"notes.txt", Reason::invalidApplicationBundle},
      {"Web link", Reason::invalidApplicationBundle},
      {"noname", Reason::invalidApplicationBundle},
      {"binary", Reason::invalidApplicationBundle},
      {"Gone", Reason::invalidApplicationBundle},
      {"missing", Reason::invalidApplicationBundle},
      {"dir", Reason::invalidApplicationBundle},
      {"Corvane", Reason::selfApplication},
  };
  EXPECT_EQ(result.rejections, expected);
}

TEST_F(ProtectedApplicationCatalogTest, UnreadableEntryIsRejectedAndTheRestImported) {
  const auto locked = application("org.locked.App", "Locked");
  fs::permissions(locked, fs::perms::none);
  const bool canStillRead = std::ifstream(locked).good();  // root reads anything
  const auto result = ProtectedApplicationCatalog::importApplications(
      {locked, application("org.telegram.desktop", "Telegram")}, {}, {}, {});
  EXPECT_EQ(result.apps.back().id, "org.telegram.desktop");
  if (!canStillRead) {
    EXPECT_EQ(result.addedCount, 1);
    EXPECT_EQ(result.rejections, (std::vector<ProtectedAppImportRejection>{
                                     {"org.locked.App", Reason::invalidApplicationBundle}}));
  }
}

TEST_F(ProtectedApplicationCatalogTest, EntriesInApplicationSubfoldersTakeTheirPrefix) {
  fs::create_directories(folder_ / "applications" / "kde");
  const auto nested = entry("applications/kde/org.kde.kate.desktop",
                            "[Desktop Entry]\nType=Application\nName=Kate\n");
  const std::vector<fs::path> applicationDirectories{folder_ / "elsewhere",
                                                     folder_ / "applications"};
  const auto result =
      ProtectedApplicationCatalog::importApplications({nested}, {}, {}, applicationDirectories);
  ASSERT_EQ(result.apps.size(), 1u);
  EXPECT_EQ(result.apps[0].id, "kde-org.kde.kate");
  EXPECT_EQ(
      platform::desktopEntryId(folder_ / "other" / "org.x.App.desktop", applicationDirectories),
      "org.x.App");
}

TEST(DesktopEntryTest, ReadsTheMainGroupOnlyWithEscapes) {
  const auto entry = platform::parseDesktopEntry(
      "# comment\n[Desktop Entry]\nType = Application\nName=Team\\sChat\\n\nName[de]=Plaudern\n"
      "Icon=chat\n[Desktop Action new]\nName=New Window\n",
      "com.example.Chat.desktop");
  ASSERT_TRUE(entry.ok()) << entry.message();
  EXPECT_EQ(entry->id, "com.example.Chat");
  EXPECT_EQ(entry->name, "Team Chat");
  EXPECT_EQ(entry->icon, "chat");
  EXPECT_TRUE(entry->isApplication());

  const auto wrongGroup =
      platform::parseDesktopEntry("[Desktop Action x]\nType=Application\nName=X\n", "x.desktop");
  ASSERT_FALSE(wrongGroup.ok());
  EXPECT_NE(wrongGroup.message().find("no [Desktop Entry] group"), std::string::npos);
  EXPECT_FALSE(
      platform::parseDesktopEntry("[Desktop Entry]\nType=Application\nName=X\n", ".desktop").ok());
}

TEST(ProtectedApplicationCatalogNormalizeTest, KeepsTheFirstEntryOfEachIdAndCleansText) {
  const auto cleaned = ProtectedApplicationCatalog::normalized({
      {"  org.signal.Signal \n", " Signal\n Desktop ", "message.fill", false},
      {"org.signal.Signal", "Duplicate", "x", true},
      {"   ", "Blank", "x", true},
      {"com.slack.Slack", "", "  ", true},
      {"org.keepassxc.KeePassXC", "KeePassXC", "key.fill", true},
  });
  const std::vector<ProtectedApp> expected{
      {"org.signal.Signal", "Signal Desktop", "message.fill", false},
      {"com.slack.Slack", "com.slack.Slack", "app.fill", true},
      {"org.keepassxc.KeePassXC", "KeePassXC", "key.fill", true},
  };
  EXPECT_EQ(cleaned, expected);
  EXPECT_EQ(ProtectedApplicationCatalog::normalized(ProtectedApp::defaults()),
            ProtectedApp::defaults());
}

TEST(ProtectedSystemSurfaceCapturePolicyTest, CoversEveryRole) {
  const auto& ids = ProtectedSystemSurfaceCapturePolicy::alwaysExcludedBundleIDs();
  for (const char* id :
       {"org.gnome.ScreenSaver", "light-locker", "xscreensaver",
        "polkit-gnome-authentication-agent-1", "org.kde.polkit-kde-authentication-agent-1",
        "org.freedesktop.Notifications", "dunst", "xfce4-notifyd", "org.gnome.Screenshot",
        "org.flameshot.Flameshot", "spectacle"}) {
    EXPECT_TRUE(ids.contains(id)) << id;
  }
  for (const auto& app : ProtectedApp::defaults()) EXPECT_FALSE(ids.contains(app.id));
}

}  // namespace
}  // namespace corvane::model
