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

#include "support/polling.h"
#include "support/temporary_folder.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

namespace fs = std::filesystem;

class ApplicationNamingTest : public CaptureOnServer {
 protected:
  // The session's application directories are folders of the test's own: the capture reads them
  // as it reads the real ones.
  void SetUp() override {
    CaptureOnServer::SetUp();  // the window manager keeps the session's folders
    if (HasFatalFailure()) return;
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
      const char* value = getenv(name);
      savedEnvironment_.emplace_back(name,
                                     value ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (folder_ / "system").c_str(), 1);
  }
  // The capture as the application makes it, reading the entries written so far.
  void makeCapture() {
    capture_ = std::make_unique<X11ScreenCapture>(display(), makeDefaultIdentityResolver());
  }
  // The streams end before their recorders and queues go.
  void TearDown() override {
    for (auto& running : streams_) EXPECT_TRUE(stopStream(*running.stream).ok());
    for (const auto& [name, value] : savedEnvironment_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  fs::path userApplications() const { return folder_ / "data/applications"; }
  void writeEntry(const std::string& id, const std::string& startupClass) const {
    fs::create_directories(userApplications());
    std::ofstream(userApplications() / (id + ".desktop"), std::ios::binary)
        << "[Desktop Entry]\nType=Application\nName=" << id << "\n"
        << (startupClass.empty() ? "" : "StartupWMClass=" + startupClass + "\n");
  }
  // A stream with `filter`, started and kept until the end of the test.
  struct Running {
    SampleRecorder recorder;
    std::shared_ptr<runtime::ThreadSerialQueue> queue;
    std::shared_ptr<CaptureStream> stream;
  };
  Running& startStream(ContentFilter filter) {
    auto& running = streams_.emplace_back();
    running.queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
    running.stream =
        capture_->makeStream(std::move(filter), {}, running.recorder.output(), running.queue);
    EXPECT_TRUE(testing::startStream(*running.stream).ok());
    return running;
  }
  // Waits for two frames composed after everything done so far: a new configuration makes the
  // stream compose at once.
  static void waitForCurrentFrames(Running& running) {
    auto& recorder = running.recorder;
    for (int round = 0; round < 2; ++round) {
      const std::size_t count = recorder.frameCount();
      running.stream->updateConfiguration({}, [](runtime::Status) {});
      ASSERT_TRUE(waitUntil([&] { return recorder.frameCount() > count; }))
          << "no frame came after the request";
    }
  }
  std::unique_ptr<TestClient> privateClient(const std::string& windowClass, std::uint32_t colour,
                                            int x, std::vector<std::string> environment = {}) {
    return client({.windowClass = windowClass,
                   .colour = colour,
                   .x = x,
                   .y = 100,
                   .width = 200,
                   .height = 150,
                   .extraEnvironment = std::move(environment)});
  }

  corvane::testing::TemporaryFolder folder_{"corvane-naming"};
  std::list<Running> streams_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

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

// A cgroup named as desktop launchers name an application's scope, made on the unified hierarchy
// when this process may; removed again once empty.
class LaunchScope {
 public:
  explicit LaunchScope(const std::string& escapedDesktopId) {
    std::ifstream mounts("/proc/self/mounts");
    std::string device, mountPoint, type, rest;
    while (mounts >> device >> mountPoint >> type && std::getline(mounts, rest)) {
      if (type != "cgroup2") continue;
      path_ = fs::path(mountPoint) /
              ("app-gnome-" + escapedDesktopId + "-" + std::to_string(getpid()) + ".scope");
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
  LaunchScope scope("org.example.pass\\x2dwallet");
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
  // Named by the command its entry starts; by its launcher's scope; by a class close to an
  // excluded id, its other names unreadable.
  auto prompter = launched("Prompter", kBlue, 20, 20, true, "org.example.Keyring.desktop");
  auto wallet = launched("Courier", kCyan, 220, 20, true, "org.example.pass-wallet.desktop");
  auto agent = launched("KeyringAgent", kMagenta, 420, 20, true, "");
  // With every name readable, a class close to an excluded id is not enough.
  auto readable = launched("KeyringAgent", kRed, 220, 300, false, "");
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
  EXPECT_TRUE(running.recorder.waitForFrame(
      0, [](const PixelBuffer& frame) { return countPixels(frame, kRed) > 0; }));
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

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, ApplicationNamingTest,
                         ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
