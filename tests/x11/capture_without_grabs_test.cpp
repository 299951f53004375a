#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "support/x11/server_grabs.h"
#include "support/x11/x_clients.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

using corvane::testing::PingClient;
using corvane::testing::ServerGrabCounter;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The private application's window, and three windows without background over it that unmap
// and map again 25 times a second each (every map gives each a new pixmap holding what the
// screen showed there: the private window too).
struct ChurningDesktop {
  explicit ChurningDesktop(const std::string& display)
      : secret(display, {.windowClass = "Secret", .colour = kBlue, .width = 500, .height = 400}) {
    for (int i = 0; i < 3; ++i) {
      churners.push_back(std::make_unique<TestClient>(
          display, TestClientOptions{.windowClass = "Churner" + std::to_string(i),
                                     .colour = kGreen,
                                     .x = 60 + 140 * i,
                                     .y = 40 + 90 * i,
                                     .width = 300,
                                     .height = 220}));
    }
  }
  void startChurning() {
    for (auto& churner : churners) churner->send("flicker 100000 40");
  }
  TestClient secret;
  std::vector<std::unique_ptr<TestClient>> churners;
};

constexpr const char* kReadyFileVariable = "CORVANE_TEST_CAPTURE_READY_FILE";

// Not a test of its own: the capture a stopped process runs, started by the test below as a
// process of its own. Streams until killed, once its first frame came saying so in the file.
TEST(StoppedCaptureX11Child, CapturesUntilKilled) {
  const char* readyFile = std::getenv(kReadyFileVariable);
  if (readyFile == nullptr) GTEST_SKIP() << "run by AStoppedCaptureNeverKeepsOtherClientsWaiting";
  X11ScreenCapture capture("", plainIdentities());
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto stream = capture.makeStream(excluding({"Secret"}), {}, recorder.output(), queue);
  ASSERT_TRUE(startStream(*stream).ok());
  ASSERT_TRUE(recorder.waitForMoreFrames(1));
  std::ofstream(readyFile) << "ready\n";
  while (true) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// A 1080p server under a window manager, the churning desktop ready to start, and the server's
// own count of the grabs each client takes.
class ChurningServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    ASSERT_TRUE(server.startWindowManager());
    desktop.emplace(server.name());
    grabs.emplace(server.name());
    ASSERT_TRUE(grabs->ok()) << "the X server records no requests (RECORD)";
  }

  XvfbServer server{1920, 1080};
  std::optional<ChurningDesktop> desktop;
  std::optional<ServerGrabCounter> grabs;
};

// Corvane stopped (a debugger, Ctrl-Z, a frozen cgroup) at any moment of its capture, with
// windows churning under a window manager: however long the stop, no other client waits on the
// server for it, and the capture never grabbed the server.
using StoppedCaptureTest = ChurningServer;

TEST_F(StoppedCaptureTest, AStoppedCaptureNeverKeepsOtherClientsWaiting) {
  desktop->startChurning();

  const auto readyFile = std::filesystem::temp_directory_path() /
                         ("corvane-stopped-capture-" + std::to_string(getpid()));
  std::filesystem::remove(readyFile);
  pid_t capturer = corvane::testing::spawnQuietly(
      {"/proc/self/exe", "--gtest_filter=StoppedCaptureX11Child.CapturesUntilKilled"},
      {"DISPLAY=" + server.name(), std::string(kReadyFileVariable) + "=" + readyFile.string()});
  ASSERT_GT(capturer, 0);
  const bool ready = waitUntil([&] { return std::filesystem::exists(readyFile); });
  std::filesystem::remove(readyFile);
  if (!ready) corvane::testing::endProcess(capturer, SIGKILL);
  ASSERT_TRUE(ready) << "the capturing process made no frame";

  PingClient ping(server.name());
  ASSERT_TRUE(ping.ok());
  // Stopped at moments its capture is busy with the churn, each time for three seconds.
  constexpr double kStop = 3.0;
  for (int round = 0; round < 3; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + 110 * round));
    kill(capturer, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::duration<double>(kStop));
    kill(capturer, SIGCONT);
  }
  const double longestWait = ping.longestGapSeconds();
  const auto capturerGrabs = grabs->grabsBy(capturer);
  corvane::testing::endProcess(capturer, SIGKILL);
  std::printf("longest wait of another client while the capture was stopped: %.0f ms\n",
              longestWait * 1000);
  // Far below the stop's length: nothing of the stopped process keeps the server.
  EXPECT_LT(longestWait, kStop / 3);
  EXPECT_EQ(capturerGrabs, 0u);
}

// Three windows mapping and unmapping 25 times a second over a private one, a window manager
// framing each anew every time: frames keep coming
// (none waits for a moment without change), none shows the private window, the stream goes on,
// and the server is never grabbed.
using CaptureAmidChurnTest = ChurningServer;

TEST_F(CaptureAmidChurnTest, FramesKeepComingWithoutAServerGrab) {
  X11ScreenCapture capture(server.name(), plainIdentities());
  SampleRecorder recorder;
  auto queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
  auto stream = capture.makeStream(excluding({"Secret"}), {}, recorder.output(), queue);
  ASSERT_TRUE(startStream(*stream).ok());
  ASSERT_TRUE(recorder.waitForMoreFrames(1));
  desktop->startChurning();

  constexpr double kSeconds = 4.0;
  const std::size_t before = recorder.frameCount();
  const auto started = Clock::now();
  auto lastFrameAt = started;
  std::size_t seen = before;
  double longestGap = 0;
  while (secondsSince(started) < kSeconds && recorder.errors().empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (const std::size_t now = recorder.frameCount(); now != seen) {
      longestGap = std::max(longestGap, secondsSince(lastFrameAt));
      lastFrameAt = Clock::now();
      seen = now;
    }
  }
  longestGap = std::max(longestGap, secondsSince(lastFrameAt));
  const std::size_t frames = recorder.frameCount() - before;
  std::printf("%zu frames in %.0f s of churn, longest gap %.0f ms\n", frames, kSeconds,
              longestGap * 1000);
  EXPECT_TRUE(recorder.errors().empty()) << recorder.errors().front();
  EXPECT_GE(frames, static_cast<std::size_t>(5 * kSeconds));
  EXPECT_LT(longestGap, 1.0);
  EXPECT_EQ(recorder.framesShowingAny({kBlue}), 0u);
  EXPECT_EQ(grabs->grabsBy(getpid()), 0u);
  EXPECT_TRUE(stopStream(*stream).ok());
}

}  // namespace
}  // namespace corvane::platform::x11::testing
