#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "platform/desktop_entry_index.h"
#include "platform/x11/application_identity.h"
#include "platform/x11/exclusion_policy.h"
#include "platform/x11/watched_desktop_entries.h"
#include "support/polling.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class TemporaryFolder {
 public:
  TemporaryFolder() {
    path_ = fs::temp_directory_path() /
            ("corvane-x11-" + std::to_string(getpid()) + "-" + std::to_string(counter()++));
    fs::create_directories(path_);
  }
  ~TemporaryFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  void write(const fs::path& relative, const std::string& text) const {
    fs::create_directories((path_ / relative).parent_path());
    std::ofstream(path_ / relative, std::ios::binary) << text;
  }

 private:
  static int& counter() {
    static int value = 0;
    return value;
  }
  fs::path path_;
};

TEST(ApplicationIdentityTest, PrefersFlatpakThenLaunchFileThenEntryThenClass) {
  TemporaryFolder applications, proc;
  applications.write("org.example.Vault.desktop",
                     "[Desktop Entry]\nType=Application\nName=Vault\nStartupWMClass=VaultWin\n");
  applications.write("org.example.Launched.desktop",
                     "[Desktop Entry]\nType=Application\nName=Launched App\n");
  auto index =
      std::make_shared<const DesktopEntryIndex>(DesktopEntryIndex::load({applications.path()}));
  proc.write("10/cgroup", "0::/user.slice/app-flatpak-org.example.Sandboxed-4242.scope\n");
  proc.write("11/environ",
             "A=1\0GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/"
             "org.example.Launched.desktop\0GIO_LAUNCHED_DESKTOP_FILE_PID=11\0B=2\0"s);
  // Inherited from the process that was launched (a terminal): names another process.
  proc.write("13/environ",
             "GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.example.Launched.desktop\0"
             "GIO_LAUNCHED_DESKTOP_FILE_PID=11\0"s);
  proc.write("14/environ",
             "GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.example.Launched.desktop\0"s);
  proc.write("12/comm", "vaultd\n");
  ApplicationIdentityResolver resolver(index, proc.path());

  EXPECT_EQ(resolver.resolve(10, WindowClass{"x", "VaultWin"}).id, "org.example.Sandboxed");
  const auto launched = resolver.resolve(11, WindowClass{"x", "VaultWin"});
  EXPECT_EQ(launched.id, "org.example.Launched");
  EXPECT_EQ(launched.name, "Launched App");
  EXPECT_EQ(resolver.resolve(13, WindowClass{"vaultwin", "VaultWin"}).id, "org.example.Vault");
  EXPECT_EQ(resolver.resolve(14, WindowClass{"vaultwin", "VaultWin"}).id, "org.example.Vault");
  const auto byClass = resolver.resolve(12, WindowClass{"vaultwin", "VaultWin"});
  EXPECT_EQ(byClass.id, "org.example.Vault");
  EXPECT_EQ(byClass.name, "Vault");
  EXPECT_EQ(byClass.processID, 12);
  EXPECT_EQ(resolver.resolve(12, WindowClass{"tool", "Tool"}).id, "Tool");
  EXPECT_EQ(resolver.resolve(12, std::nullopt).id, "vaultd");
  EXPECT_EQ(resolver.resolve(0, std::nullopt).id, "");
}

TEST(ApplicationIdentityTest, ResolvesARealClientThroughItsDesktopEntry) {
  TemporaryFolder data;
  data.write("applications/org.example.Secret.desktop",
             "[Desktop Entry]\nType=Application\nName=Secret Keeper\nStartupWMClass=SecretClass\n");
  auto index = std::make_shared<const DesktopEntryIndex>(
      DesktopEntryIndex::load({data.path() / "applications"}));
  auto resolver = std::make_shared<const ApplicationIdentityResolver>(index);

  XvfbServer server(400, 300);
  ASSERT_TRUE(server.ok());
  setRootBackground(server.name(), kGreen);
  TestClient secret(server.name(), {.windowClass = "SecretClass",
                                    .colour = kBlue,
                                    .x = 50,
                                    .y = 50,
                                    .width = 200,
                                    .height = 150});
  ASSERT_NE(secret.window(), 0u);
  X11ScreenCapture capture(server.name(), resolver);

  std::promise<runtime::Result<ShareableContent>> promise;
  auto future = promise.get_future();
  capture.shareableContent([&promise](runtime::Result<ShareableContent> content) {
    promise.set_value(std::move(content));
  });
  ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  auto content = future.get();
  ASSERT_TRUE(content.ok()) << content.message();
  ASSERT_EQ(content->applications.size(), 1u);
  EXPECT_EQ(content->applications[0].bundleIdentifier, "org.example.Secret");
  EXPECT_EQ(content->applications[0].applicationName, "Secret Keeper");
  EXPECT_EQ(content->applications[0].processID, secret.pid());
  ASSERT_EQ(content->displays.size(), 1u);
  EXPECT_EQ(content->displays[0].pixelWidth, 400);
  ASSERT_EQ(content->windows.size(), 1u);
  EXPECT_EQ(content->windows[0].windowID, secret.window());
  EXPECT_TRUE(content->windows[0].isOnScreen);

  auto frame = captureImageNow(capture, excluding({"org.example.Secret"}));
  ASSERT_TRUE(frame.ok()) << frame.message();
  EXPECT_EQ(countPixels(**frame, kBlue), 0u);
  EXPECT_EQ((*frame)->pixel(100, 100), opaque(kGreen));
  // Excluding by process works the same.
  ContentFilter byProcess = excluding({});
  byProcess.excludedApplications.push_back(ShareableApplication{"other", "other", secret.pid()});
  auto second = captureImageNow(capture, byProcess);
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(countPixels(**second, kBlue), 0u);
}

bool leavesOut(const ContentFilter& filter, const ApplicationIdentity& identity) {
  return ExclusionPolicy(filter, 0).leavesOut(identity);
}

// A stat line whose command name holds what may confuse a reader: spaces and parentheses.
std::string statLine(std::int32_t processID, std::uint64_t startTime) {
  std::string line = std::to_string(processID) + " (vault (x) d) S";
  for (int field = 4; field <= 21; ++field) line += " " + std::to_string(field);
  return line + " " + std::to_string(startTime) + " 0 0\n";
}

TEST(ApplicationIdentityTest, AWindowGoesByEveryNameItsEntriesAndItsProcessGaveIt) {
  TemporaryFolder applications, proc;
  applications.write("org.example.DemoVault.desktop",
                     "[Desktop Entry]\nType=Application\nName=Vault\nStartupWMClass=DemoVault\n");
  applications.write(
      "com.example.vault-launcher.desktop",
      "[Desktop Entry]\nType=Application\nName=Launcher\nStartupWMClass=demovault\n");
  proc.write("20/stat", statLine(20, 100));
  ApplicationIdentityResolver resolver(
      std::make_shared<const DesktopEntryIndex>(DesktopEntryIndex::load({applications.path()})),
      proc.path());

  // The entry naming the class exactly speaks for the window; the other is a name all the same.
  const auto vault = resolver.resolve(20, WindowClass{"demovault", "DemoVault"});
  EXPECT_EQ(vault.id, "org.example.DemoVault");
  EXPECT_EQ(vault.ownIds,
            (std::vector<std::string>{"com.example.vault-launcher", "org.example.DemoVault"}));
  EXPECT_EQ(vault.windowClassNames, (std::vector<std::string>{"demovault", "DemoVault"}));
  auto filter = excluding({"com.example.vault-launcher"});
  EXPECT_TRUE(leavesOut(filter, vault));

  // Renamed, it keeps the names it had.
  const auto renamed = resolver.resolve(20, WindowClass{"viewer", "Viewer"});
  EXPECT_EQ(renamed.id, "Viewer");
  EXPECT_TRUE(leavesOut(excluding({"org.example.DemoVault"}), renamed));
  EXPECT_TRUE(leavesOut(excluding({"demovault"}), renamed));
  EXPECT_FALSE(leavesOut(excluding({"org.example.Other"}), renamed));

  // Another process given the same id later starts with no names of the earlier one.
  proc.write("20/stat", statLine(20, 200));
  const auto later = resolver.resolve(20, WindowClass{"notes", "Notes"});
  EXPECT_TRUE(later.formerIds.empty());
  EXPECT_EQ(later.windowClassNames, (std::vector<std::string>{"notes", "Notes"}));
  EXPECT_FALSE(leavesOut(excluding({"org.example.DemoVault"}), later));
  // A class no entry claims ties nothing across processes: another program that shows the class
  // the application once renamed itself to is not the application.
  EXPECT_FALSE(leavesOut(excluding({"org.example.DemoVault"}),
                         resolver.resolve(20, WindowClass{"viewer", "Viewer"})));
}

TEST(WatchedDesktopEntriesTest, FollowsFoldersMadeLaterAndEntriesWrittenChangedAndRemoved) {
  TemporaryFolder root;
  const auto user = root.path() / "data/applications";  // made later
  root.write("system/applications/org.example.Editor.desktop",
             "[Desktop Entry]\nType=Application\nName=Editor\n");
  // Read again a tenth of a second after each change at most, to keep the test short.
  WatchedDesktopEntries entries({user, root.path() / "system/applications"},
                                {.settle = 0.01, .minimumInterval = 0.1});
  const auto first = entries.current();
  EXPECT_EQ(first->size(), 1u);
  EXPECT_EQ(entries.current(), first) << "nothing changed: the same index";
  EXPECT_FALSE(entries.pollingReason());

  // The entries are read again by a thread of their own, soon after each change.
  auto soon = [&](auto condition) {
    return corvane::testing::pollUntil([&] { return bool(condition(*entries.current())); });
  };
  root.write("data/applications/org.example.Vault.desktop",
             "[Desktop Entry]\nType=Application\nName=Vault\nStartupWMClass=Vault\n");
  ASSERT_TRUE(soon([](const auto& index) { return index.byId("org.example.Vault"); }));
  root.write("data/applications/org.example.Vault.desktop",
             "[Desktop Entry]\nType=Application\nName=Vault\nStartupWMClass=VaultWin\n");
  EXPECT_TRUE(soon([](const auto& index) {
    return index.byId("org.example.Vault")->startupWMClass == "VaultWin";
  }));
  root.write("system/applications/vendor/org.example.Tool.desktop",
             "[Desktop Entry]\nType=Application\nName=Tool\n");
  EXPECT_TRUE(soon([](const auto& index) { return index.byId("vendor-org.example.Tool"); }));
  fs::remove(user / "org.example.Vault.desktop");
  EXPECT_TRUE(soon([](const auto& index) { return !index.byId("org.example.Vault"); }));
  // A folder that goes and comes back is watched again.
  fs::remove_all(root.path() / "data");
  EXPECT_TRUE(soon([](const auto& index) { return index.size() == 2u; }));
  root.write("data/applications/org.example.Back.desktop",
             "[Desktop Entry]\nType=Application\nName=Back\n");
  EXPECT_TRUE(soon([](const auto& index) { return index.byId("org.example.Back"); }));
  EXPECT_FALSE(entries.pollingReason());
}

}  // namespace
}  // namespace corvane::platform::x11::testing
