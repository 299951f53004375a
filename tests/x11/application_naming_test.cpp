// Names that disagree or change must never put an excluded application into a frame: every
// frame the streams deliver is checked for the private client's colours.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <list>
#include <optional>

#include "x11/application_naming_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

TEST_P(ApplicationNamingTest, AnEntryInstalledWhileRunningResolvesItsWindows) {
  makeCapture();
  auto late = privateClient("LateVault", kBlue, 60);
  auto added = privateClient("AddedVault", kCyan, 400);
  auto& running = startStream(excluding({"org.example.LateVault"}));
  auto& recorder = running.recorder;
  // No entry names the class yet: the id is not the window's, and it shows.
  ASSERT_TRUE(recorder.waitForFrame(0, [](const PixelBuffer& f) { return countPixels(f, kBlue); }));

  writeEntry("org.example.LateVault", "LateVault");
  EXPECT_TRUE(recorder.waitForFrame(recorder.frameCount(), [](const PixelBuffer& f) {
    return countPixels(f, kBlue) == 0;
  })) << "the running stream never took in the new entry";
  waitForCurrentFrames(running);
  EXPECT_EQ(countPixels(*recorder.latest(), kBlue), 0u);

  // Installed during the share and, once the entries took it in, added to the list: the stream
  // made for the new list leaves it out from its first frame.
  writeEntry("org.example.AddedVault", "AddedVault");
  ASSERT_TRUE(corvane::testing::pollUntil([&] {
    return capture_->identities()->entries()->byId("org.example.AddedVault").has_value();
  }));
  auto& next = startStream(excluding({"org.example.LateVault", "org.example.AddedVault"}));
  waitForCurrentFrames(next);
  EXPECT_EQ(next.recorder.framesShowingAny({kBlue, kCyan}), 0u)
      << "of " << next.recorder.frameCount();
}

TEST_P(ApplicationNamingTest, AnotherEntryClaimingTheClassDoesNotRenameTheWindow) {
  writeEntry("org.example.DemoVault", "DemoVault");
  writeEntry("com.example.vault-launcher", "DemoVault");
  writeEntry("com.example.askpass-wrapper", "pinentry");
  makeCapture();
  auto vault = privateClient("DemoVault", kBlue, 60);
  auto prompt = privateClient("Pinentry", kCyan, 400);  // instance "pinentry"
  auto& running = startStream(excluding({"org.example.DemoVault", "pinentry"}));
  waitForCurrentFrames(running);
  EXPECT_EQ(running.recorder.framesShowingAny({kBlue}), 0u);
  EXPECT_EQ(running.recorder.framesShowingAny({kCyan}), 0u);
}

TEST_P(ApplicationNamingTest, AnInheritedLaunchEntryDoesNotNameTheProcess) {
  writeEntry("org.example.Terminal", "");
  writeEntry("org.example.DemoVault", "DemoVault");
  makeCapture();
  // Started from a terminal that the menu launched: the variables name the terminal's process.
  auto vault = privateClient("DemoVault", kBlue, 60,
                             {"GIO_LAUNCHED_DESKTOP_FILE=" +
                                  (userApplications() / "org.example.Terminal.desktop").string(),
                              "GIO_LAUNCHED_DESKTOP_FILE_PID=" + std::to_string(getpid())});
  auto& running = startStream(excluding({"org.example.DemoVault"}));
  waitForCurrentFrames(running);
  EXPECT_EQ(running.recorder.framesShowingAny({kBlue}), 0u);
}

TEST_P(ApplicationNamingTest, AProcessThatRenamesItsClassStaysExcluded) {
  makeCapture();
  auto vault = privateClient("DemoVault", kBlue, 60);
  auto& running = startStream(excluding({"DemoVault"}));
  waitForCurrentFrames(running);
  ASSERT_NE(vault->command("class Viewer"), 0u);
  waitForCurrentFrames(running);
  EXPECT_EQ(running.recorder.framesShowingAny({kBlue}), 0u);

  // Another application starts and the filter is made again, without the renamed process.
  auto other = client(
      {.windowClass = "Other", .colour = kRed, .x = 400, .y = 300, .width = 100, .height = 80});
  auto& next = startStream(excluding({"DemoVault"}));
  waitForCurrentFrames(next);
  ASSERT_TRUE(
      next.recorder.waitForFrame(0, [](const PixelBuffer& f) { return countPixels(f, kRed); }));
  EXPECT_EQ(next.recorder.framesShowingAny({kBlue}), 0u);
}

TEST_P(ApplicationNamingTest, ASecondCopyStaysExcludedAfterItsEntryIsRemovedOrRenamed) {
  writeEntry("org.example.Vault", "VaultWin");
  writeEntry("org.example.Notes", "NotesWin");
  makeCapture();
  auto vault = privateClient("VaultWin", kBlue, 60);
  auto notes = privateClient("NotesWin", kCyan, 400);
  auto& running = startStream(excluding({"org.example.Vault", "org.example.Notes"}));
  waitForCurrentFrames(running);

  // An update removes one entry and renames the other to a new id; then second copies start.
  fs::remove(userApplications() / "org.example.Vault.desktop");
  fs::rename(userApplications() / "org.example.Notes.desktop",
             userApplications() / "com.example.NotesApp.desktop");
  ASSERT_TRUE(waitUntil([&] {
    const auto entries = capture_->identities()->entries();
    return !entries->byId("org.example.Vault") && entries->byId("com.example.NotesApp");
  })) << "the entries never changed";
  auto secondVault = client(
      {.windowClass = "VaultWin", .colour = kBlue, .x = 60, .y = 350, .width = 200, .height = 150});
  auto secondNotes = client({.windowClass = "NotesWin",
                             .colour = kCyan,
                             .x = 400,
                             .y = 350,
                             .width = 200,
                             .height = 150});
  waitForCurrentFrames(running);
  EXPECT_EQ(running.recorder.framesShowingAny({kBlue, kCyan}), 0u)
      << "of " << running.recorder.frameCount();
  auto& next = startStream(excluding({"org.example.Vault", "org.example.Notes"}));
  waitForCurrentFrames(next);
  EXPECT_EQ(next.recorder.framesShowingAny({kBlue, kCyan}), 0u);
}

TEST_P(ApplicationNamingTest, AProcessStartedByAnExcludedApplicationIsExcluded) {
  makeCapture();
  auto vault = privateClient("DemoVault", kBlue, 60);
  auto& running = startStream(excluding({"DemoVault"}));
  waitForCurrentFrames(running);
  // A helper of its own class, started by the private application.
  const auto helper = vault->command("spawn HelperTool 200x150+400+300 00FFFF");
  ASSERT_NE(helper, 0u);
  ASSERT_TRUE(waitUntil([&] { return rootRect(display(), helper).viewable; }));
  // The same class started by someone else is not the private application's.
  auto unrelated = client({.windowClass = "HelperTool",
                           .colour = kRed,
                           .x = 400,
                           .y = 50,
                           .width = 200,
                           .height = 100});
  waitForCurrentFrames(running);
  EXPECT_EQ(running.recorder.framesShowingAny({kBlue, kCyan}), 0u)
      << "of " << running.recorder.frameCount();
  EXPECT_TRUE(running.recorder.waitForFrame(
      0, [](const PixelBuffer& frame) { return countPixels(frame, kRed) > 0; }));
  auto& next = startStream(excluding({"DemoVault"}));
  waitForCurrentFrames(next);
  EXPECT_EQ(next.recorder.framesShowingAny({kBlue, kCyan}), 0u);
}

// The test process as an ordinary user (its real and effective ids; root stays its saved id, to
// come back to): /proc then answers it as it answers that user, and a process that is not dumpable
// keeps its environment and executable link from it.
class AsUser {
 public:
  explicit AsUser(uid_t user) {
    switched_ = setresgid(user, user, 0) == 0 && setresuid(user, user, 0) == 0;
  }
  ~AsUser() {
    if (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0) std::abort();
  }
  bool switched() const { return switched_; }

 private:
  bool switched_ = false;
};

// A cgroup named as the service manager names a launched application's unit (`unit`), made on
// the unified hierarchy when this process may; removed again once empty.
class LaunchScope {
 public:
  explicit LaunchScope(const std::string& unit) {
    std::ifstream mounts("/proc/self/mounts");
    std::string device, mountPoint, type, rest;
    while (mounts >> device >> mountPoint >> type && std::getline(mounts, rest)) {
      if (type != "cgroup2") continue;
      path_ = fs::path(mountPoint) / unit;
      std::error_code error;
      if (fs::create_directory(path_, error)) return;
    }
    path_.clear();
  }
  ~LaunchScope() {
    if (!path_.empty()) rmdir(path_.c_str());
  }
  bool holds(pid_t process) const {
    return !path_.empty() && (std::ofstream(path_ / "cgroup.procs") << process << std::flush);
  }

 private:
  fs::path path_;
};

TEST_P(ApplicationNamingTest, AProcessThatIsNotDumpableIsNamedByWhatStaysReadable) {
  if (geteuid() != 0) GTEST_SKIP() << "runs its processes as another user: needs root";
  constexpr uid_t kUser = 65534;
  const fs::path program = CORVANE_X11_TEST_CLIENT;
  writeEntry("org.example.Keyring", "");
  std::ofstream(userApplications() / "org.example.Keyring.desktop", std::ios::app)
      << "Exec=" << program.string() << " --class Prompter %U\n";
  writeEntry("org.example.pass-wallet", "");
  std::ofstream(userApplications() / "org.example.pass-wallet.desktop", std::ios::app)
      << "Exec=/opt/example/pass-wallet\n";
  fs::permissions(folder_.path(), fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::add);
  LaunchScope scope("app-gnome-org.example.pass\\x2dwallet-" + std::to_string(getpid()) + ".scope");
  auto launched = [&](const std::string& windowClass, std::uint32_t colour, int x, int y,
                      bool undumpable, const std::string& entry) {
    return client(
        {.windowClass = windowClass,
         .colour = colour,
         .x = x,
         .y = y,
         .width = 180,
         .height = 120,
         .runAsUser = static_cast<int>(kUser),
         .undumpable = undumpable,
         .launchedFrom = entry.empty() ? std::string() : (userApplications() / entry).string()});
  };
  // Named by the command its entry starts; by its launcher's scope; by a class written like an
  // excluded id (up to case, punctuation and vendor), its other names unreadable.
  auto prompter = launched("Prompter", kBlue, 20, 20, true, "org.example.Keyring.desktop");
  auto wallet = launched("Courier", kCyan, 220, 20, true, "org.example.pass-wallet.desktop");
  auto agent = launched("Key_Ring", kMagenta, 420, 20, true, "");
  // Names that merely begin like an excluded id are other applications', readable or not.
  auto readable = launched("KeyringAgent", kRed, 220, 300, false, "");
  auto another = launched("KeyringAgent", kYellow, 20, 300, true, "");
  auto shorter = launched("Keyr", 0x804000, 420, 300, true, "");
  const bool scoped = scope.holds(wallet->pid());
  if (!scoped) std::cerr << "No launch scope could be made: the scope's name goes untested.\n";

  AsUser user(kUser);
  ASSERT_TRUE(user.switched());
  const auto environmentOf = [](const TestClient& process) {
    return std::ifstream("/proc/" + std::to_string(process.pid()) + "/environ");
  };
  ASSERT_FALSE(environmentOf(*prompter).good()) << "a process not dumpable showed its environment";
  ASSERT_TRUE(environmentOf(*readable).good());
  makeCapture();
  auto& running = startStream(excluding({"org.example.Keyring", "org.example.pass-wallet"}));
  waitForCurrentFrames(running);
  EXPECT_EQ(running.recorder.framesShowingAny({kBlue}), 0u);
  if (scoped) EXPECT_EQ(running.recorder.framesShowingAny({kCyan}), 0u);
  EXPECT_EQ(running.recorder.framesShowingAny({kMagenta}), 0u);
  EXPECT_TRUE(running.recorder.waitForFrame(0, [](const PixelBuffer& frame) {
    return countPixels(frame, kRed) > 0 && countPixels(frame, kYellow) > 0 &&
           countPixels(frame, 0x804000) > 0;
  })) << "a name that merely begins like an excluded id was left out";
}

TEST_P(ApplicationNamingTest, AnEntryOverTheSizeLimitStillNamesItsApplication) {
  fs::create_directories(userApplications());
  {
    std::ofstream entry(userApplications() / "org.example.BigVault.desktop", std::ios::binary);
    entry << "[Desktop Entry]\nType=Application\nName=Big Vault\nComment=Keeps secrets\n"
             "StartupWMClass=BigVaultWin\n";
    const std::string translation = "Comment[xx]=" + std::string(1000, 'a') + "\n";
    for (int line = 0; line < 10 * 1024; ++line) entry << translation;  // 10 MB
  }
  makeCapture();
  auto vault = privateClient("BigVaultWin", kBlue, 60);
  auto& running = startStream(excluding({"org.example.BigVault"}));
  waitForCurrentFrames(running);
  EXPECT_EQ(running.recorder.framesShowingAny({kBlue}), 0u);
}

// Class parts that many programs share join nothing: Java's frame instance, Tk's class, Gecko's
// "Navigator"; and where one process draws windows of several applications (a browser and its
// web app, an office suite's modules), each window is judged by its own class.
TEST_P(ApplicationNamingTest, OnlyWhatTiesNamesToOneApplicationJoinsThem) {
  writeEntry("org.example.JavaVault", "org-example-JavaVault");
  writeEntry("org.example.JavaNotes", "org-example-JavaNotes");
  writeEntry("tkvault", "");
  writeEntry("tknotes", "");
  writeEntry("org.example.GeckoVault", "geckovault");
  writeEntry("firefox", "");
  writeEntry("office-writer", "office-writer");
  writeEntry("office-calc", "office-calc");
  writeEntry("example-browser", "");
  writeEntry("example-browser-mail", "crx_mail");
  makeCapture();
  constexpr std::uint32_t kJavaVault = 0x000080, kJavaNotes = 0x808000, kJavaLater = 0xC0C000;
  constexpr std::uint32_t kTkVault = 0x800080, kTkNotes = 0x008080;
  constexpr std::uint32_t kGeckoVault = 0x400000, kFirefox = 0xFF8000;
  constexpr std::uint32_t kWriter = 0x0000C0, kCalc = 0x00C0C0;
  constexpr std::uint32_t kBrowser = 0xC00000, kWebApp = 0x4000FF;
  auto started = [&](int at, const std::string& instance, const std::string& windowClass,
                     std::uint32_t colour) {
    auto options = cell(at, windowClass, colour);
    options.instance = instance;
    return client(options);
  };
  // The private application of each pair starts first: its names are known before the other's.
  auto javaVault = started(0, "sun-awt-X11-XFramePeer", "org-example-JavaVault", kJavaVault);
  auto javaNotes = started(1, "sun-awt-X11-XFramePeer", "org-example-JavaNotes", kJavaNotes);
  auto tkVault = started(2, "tkvault", "Tk", kTkVault);
  auto tkNotes = started(3, "tknotes", "Tk", kTkNotes);
  auto geckoVault = started(4, "Navigator", "geckovault", kGeckoVault);
  auto firefox = started(5, "Navigator", "firefox", kFirefox);
  // One office process draws the writer, then the spreadsheet.
  auto office = started(6, "office", "office-writer", kWriter);
  ASSERT_NE(
      office->command("window office office-calc " + geometryOf(cell(7, "", 0)) + " " + hex(kCalc)),
      0u);
  // One browser process draws its own window, then an installed web app's (the browser's class,
  // the web app's instance).
  auto browser = started(8, "example-browser", "Example-browser", kBrowser);
  ASSERT_NE(browser->command("window crx_mail Example-browser " + geometryOf(cell(9, "", 0)) + " " +
                             hex(kWebApp)),
            0u);
  auto& running =
      startStream(excluding({"org.example.JavaVault", "tkvault", "org.example.GeckoVault",
                             "office-writer", "example-browser-mail"}));
  expectOnly(running, {kJavaVault, kTkVault, kGeckoVault, kWriter, kWebApp},
             {kJavaNotes, kTkNotes, kFirefox, kCalc, kBrowser});
  // A Java program started later is its own too.
  auto javaLater = started(10, "sun-awt-X11-XFramePeer", "org-example-Later", kJavaLater);
  expectOnly(running, {kJavaVault}, {kJavaLater, kJavaNotes});
  // Marking the browser private leaves out the browser alone: its web app's own entry claims the
  // web app's window by its instance.
  auto& browserPrivate = startStream(excluding({"example-browser"}));
  expectOnly(browserPrivate, {kBrowser}, {kWebApp, kJavaVault, kWriter, kCalc});
  // A later stream names every window afresh, after all of them were seen together.
  auto& later = startStream(excluding({"org.example.JavaVault", "tkvault", "org.example.GeckoVault",
                                       "office-writer", "example-browser-mail"}));
  expectOnly(later, {kJavaVault, kTkVault, kGeckoVault, kWriter, kWebApp},
             {kJavaNotes, kJavaLater, kTkNotes, kFirefox, kCalc, kBrowser});
}

// Where a process comes from speaks for a helper, not for an installed application: a browser
// that the private application starts is the browser; a helper with no entry of its own, even one
// that double-forked away from it, goes with it by the launch record it inherited.
TEST_P(ApplicationNamingTest, AHelperGoesWithWhatStartedItAndAnApplicationIsItself) {
  writeEntry("org.example.Vault", "VaultWin");
  writeEntry("org.example.Notes", "NotesWin");
  writeEntry("org.example.Browser", "ExampleBrowser");
  makeCapture();
  constexpr std::uint32_t kVault = 0x000080, kHelper = 0x800080, kAgent = 0x400000;
  constexpr std::uint32_t kBrowser = 0xFF8000, kNotes = 0x808000, kNotesAgent = 0x008080;
  auto launched = [&](int at, const std::string& id, std::uint32_t colour) {
    auto options = cell(at, id + "Win", colour);
    options.launchedFrom = (userApplications() / ("org.example." + id + ".desktop")).string();
    return client(options);
  };
  auto vault = launched(0, "Vault", kVault);
  auto notes = launched(5, "Notes", kNotes);
  auto& running = startStream(excluding({"org.example.Vault"}));
  waitForCurrentFrames(running);
  auto start = [&](TestClient& parent, const std::string& how, const std::string& windowClass,
                   int at, std::uint32_t colour) {
    const auto window = parent.command(how + " " + windowClass + " " + geometryOf(cell(at, "", 0)) +
                                       " " + hex(colour));
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(waitUntil([&] { return rootRect(display(), window).viewable; }));
  };
  start(*vault, "spawn", "ExampleBrowser", 1, kBrowser);
  start(*vault, "spawn", "VaultHelper", 2, kHelper);
  start(*vault, "daemon", "VaultAgent", 3, kAgent);
  start(*notes, "daemon", "NotesAgent", 6, kNotesAgent);
  expectOnly(running, {kVault, kHelper, kAgent}, {kBrowser, kNotes, kNotesAgent});
  auto& next = startStream(excluding({"org.example.Vault"}));
  expectOnly(next, {kVault, kHelper, kAgent}, {kBrowser, kNotes, kNotesAgent});
}

// Applications started without a launcher's record, whose class is not their entry's id and
// whose entries name no StartupWMClass: named by the command their entry's Exec= runs (started
// by dex, from a terminal, inside an AppImage's runtime), or by the unit the bus started them in.
TEST_P(ApplicationNamingTest, ApplicationsStartedWithoutALauncherRecordAreNamedByTheirEntry) {
  constexpr std::uint32_t kDexVault = 0x000080, kDexNotes = 0x808000;
  constexpr std::uint32_t kTermVault = 0x800080, kTermNotes = 0x008080;
  constexpr std::uint32_t kImageVault = 0x400000, kImageChild = 0xC00000, kAppImage = 0x4000FF;
  constexpr std::uint32_t kBusVault = 0x0000C0, kBusNotes = 0xFF8000;
  // dex runs an entry's Exec= as it is written.
  auto dexEntry = [&](const std::string& id, int at, std::uint32_t colour) {
    const auto program = installProgram(id);
    writeEntry("org.example." + id, "",
               program.string() + " --class " + id + "-main --colour " + hex(colour) +
                   " --geometry " + geometryOf(cell(at, "", 0)));
    auto options = cell(at, id + "-main", colour);
    options.startedBy = {"dex", (userApplications() / ("org.example." + id + ".desktop")).string()};
    return options;
  };
  auto dexVault = client(dexEntry("DexVault", 0, kDexVault));
  auto dexNotes = client(dexEntry("DexNotes", 5, kDexNotes));
  // From a terminal, by the command the entry runs.
  auto installed = [&](const std::string& id, int at, std::uint32_t colour) {
    const auto program = installProgram(id);
    writeEntry("org.example." + id, "", program.string() + " %U");
    auto options = cell(at, id + "-main", colour);
    options.program = program.string();
    return client(options);
  };
  auto termVault = installed("TermVault", 1, kTermVault);
  auto termNotes = installed("TermNotes", 6, kTermNotes);
  // An AppImage: its runtime, the program the entry runs, runs the application as its child; a
  // program started from inside it carries the AppImage's path.
  auto runtime = installed("ImageVault", 2, kImageVault);
  const auto child = runtime->command("spawn imagevault-main " + geometryOf(cell(3, "", 0)) + " " +
                                      hex(kImageChild) + " " + CORVANE_X11_TEST_CLIENT);
  ASSERT_TRUE(waitUntil([&] { return rootRect(display(), child).viewable; }));
  auto fromImage = cell(4, "imagevault-tool", kAppImage);
  fromImage.extraEnvironment = {"APPIMAGE=" + (folder_.path() / "bin/ImageVault").string()};
  auto tool = client(fromImage);
  // One program two applications run: an entry that names its class speaks for its own only.
  constexpr std::uint32_t kSharedVault = 0x804000, kSharedNotes = 0xC0C000;
  const auto shared = installProgram("shared-runtime");
  writeEntry("org.example.SharedVault", "SharedVault", shared.string());
  auto sharedVault = cell(10, "SharedVault", kSharedVault);
  sharedVault.program = shared.string();
  auto sharedNotes = cell(11, "SharedNotes", kSharedNotes);
  sharedNotes.program = shared.string();
  auto sharedVaultClient = client(sharedVault);
  auto sharedNotesClient = client(sharedNotes);
  // Started by the bus for its name: the service unit is named after the entry.
  writeEntry("org.example.BusVault", "");
  writeEntry("org.example.BusNotes", "");
  const std::string instance = std::to_string(getpid());
  LaunchScope busVaultUnit("dbus-:1.7-org.example.BusVault@" + instance + ".service");
  LaunchScope busNotesUnit("dbus-:1.8-org.example.BusNotes@" + instance + ".service");
  auto busVault = client(cell(7, "busvault-window", kBusVault));
  auto busNotes = client(cell(8, "busnotes-window", kBusNotes));
  const bool units = busVaultUnit.holds(busVault->pid()) && busNotesUnit.holds(busNotes->pid());
  if (!units) std::cerr << "No service unit could be made: the bus's units go untested.\n";
  makeCapture();
  auto& running = startStream(
      excluding({"org.example.DexVault", "org.example.TermVault", "org.example.ImageVault",
                 "org.example.BusVault", "org.example.SharedVault"}));
  expectOnly(running, {kDexVault, kTermVault, kImageVault, kImageChild, kAppImage, kSharedVault},
             {kDexNotes, kTermNotes, kSharedNotes});
  if (units) expectOnly(running, {kBusVault}, {kBusNotes});
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, ApplicationNamingTest,
                         ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
