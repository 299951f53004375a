// Names that disagree or change must never put an excluded application into a frame: every
// frame the streams deliver is checked for the private client's colours.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, ApplicationNamingTest,
                         ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
