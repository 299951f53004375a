// The screen changes size under a live share, as when a monitor or a dock is unplugged and plugged
// back: X.Org with its dummy driver (the one server here whose screen can change size) runs XFCE,
// the controller runs on the real backends in a child process on Qt's xcb platform, and GStreamer
// records the share window by its id throughout. The toolbar's size and the capture follow the
// screen at once, the window comes back to its size with the screen, and the recorder either keeps
// going or the window tells the user to restart it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <QLabel>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/design_components.h"
#include "ui/protected_share_canvas.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_test_support.h"
#include "ui_x11/controller_on_x11.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x_properties.h"
#include "support/temporary_folder.h"
#include "support/x11/desktop_session.h"
#include "support/x11/window_recording.h"
#include "support/x11/xorg_dummy_server.h"
#include "ui_x11/qt_x11_child.h"

namespace corvane::ui {
namespace {

using Clock = std::chrono::steady_clock;
using corvane::testing::ScreenSize;

constexpr const char* const kChildVariable = "CORVANE_SCREEN_SIZE_CHILD";
constexpr ScreenSize kLarge{1920, 1080};
constexpr ScreenSize kSmall{1600, 900};
constexpr const char* kRestartRecording =
    "The screen size changed: restart the recording of this window";
// How soon the toolbar and the capture must follow the screen: at once (a fifth of a second
// here), with room for a loaded machine, and far from waiting for the next window to map (15 to
// 30 s).
constexpr double kFollowsWithinSeconds = 3.0;
constexpr int kRecordedSeconds = 9;

bool isInstalled(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(ScreenSizeChangeOnXfce, TheShareFollowsTheScreenDownAndBackWhileRecorded) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  if (!corvane::testing::XorgDummyServer::isInstalled()) {
    GTEST_SKIP() << "Xorg or its dummy driver is not installed (scripts/install-deps installs it)";
  }
  if (!isInstalled("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
  corvane::testing::XorgDummyServer server({kLarge, kSmall});
  ASSERT_TRUE(server.ok()) << "Xorg did not start: " << server.log();
  corvane::testing::DesktopSession desktop(server, corvane::testing::Desktop::xfce);
  if (desktop.cannotRun())
    GTEST_SKIP() << desktop.name() << " cannot run here: " << desktop.failure();
  ASSERT_TRUE(desktop.ok()) << desktop.failure();
  EXPECT_TRUE(
      testing::runQtChildOn(server, "ScreenSizeX11Child.*", kChildVariable, desktop.environment()))
      << "the share through screen size changes on " << desktop.name() << " failed";
}

using ScreenSizeX11Child = testing::QtX11ChildTest<&kChildVariable>;

// The controller's events as they come, each with the time it came (from any thread).
class TimedEvents {
 public:
  model::EventRecorder recorder() {
    return [this](const std::string& event, std::map<std::string, std::string> fields) {
      std::lock_guard lock(mutex_);
      events_.push_back({event, std::move(fields), Clock::now()});
    };
  }
  // When the capture first took up a display of a new size or place after `since`.
  std::optional<Clock::time_point> displayChangeAfter(Clock::time_point since) const {
    std::lock_guard lock(mutex_);
    for (const auto& event : events_) {
      const auto changed = event.fields.find("displayChanged");
      if (event.at >= since && event.name == "protected_share_stream_replaced_for_filter" &&
          changed != event.fields.end() && changed->second == "true") {
        return event.at;
      }
    }
    return std::nullopt;
  }

 private:
  struct Event {
    std::string name;
    std::map<std::string, std::string> fields;
    Clock::time_point at;
  };
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

struct WindowSize {
  int width = 0, height = 0;
  bool operator==(const WindowSize&) const = default;
};

TEST_F(ScreenSizeX11Child, FollowsTheScreen) {
  ASSERT_TRUE(testing::isX11Session());
  Display* x = XOpenDisplay(nullptr);
  ASSERT_NE(x, nullptr);
  TimedEvents events;
  auto services = testing::controllerServicesOnX11({});
  ASSERT_TRUE(services.ok()) << services.message();
  services.value().recorder = events.recorder();
  auto controller = app::CorvaneController::make(services.value());
  auto& windows = *controller->protectedShareWindowManager();

  controller->toggleDemoMode();
  ASSERT_TRUE(processUntil([&] { return windows.isSessionWindow() && windows.window(); }));
  auto& window = static_cast<QtWindow&>(*windows.window());
  const Window id = window.hostWidget()->winId();
  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  auto* resolution = view->findChild<QLabel*>(QStringLiteral("resolution"));
  ASSERT_NE(resolution, nullptr);
  ASSERT_TRUE(processUntil([&] {
    return windows.hasPublishedLiveFrame() && platform::x11::isViewable(x, id) &&
           view->canvas()->presentedFrames() > 2;
  })) << controller->statusMessage();
  auto sizeOnX = [&] {
    XWindowAttributes attributes{};
    XGetWindowAttributes(x, id, &attributes);
    return WindowSize{attributes.width, attributes.height};
  };
  // Settled: the window manager has framed it, and it has the size Corvane gave it in that frame.
  const Atom frameExtents = XInternAtom(x, "_NET_FRAME_EXTENTS", False);
  ASSERT_TRUE(processUntil([&] {
    const auto asked = window.frame().size;
    return platform::x11::cardinalProperty(x, id, frameExtents, XA_CARDINAL).size() == 4 &&
           sizeOnX() == WindowSize{int(std::lround(asked.width)), int(std::lround(asked.height))};
  })) << "the window manager does not frame the window";
  processFor(300);
  auto insideTheScreen = [&](ScreenSize screen) {
    XWindowAttributes attributes{};
    int left = 0, top = 0;
    Window child = None;
    XGetWindowAttributes(x, id, &attributes);
    XTranslateCoordinates(x, id, DefaultRootWindow(x), 0, 0, &left, &top, &child);
    return left >= 0 && top >= 0 && left + attributes.width <= screen.width &&
           top + attributes.height <= screen.height;
  };
  auto shows = [&](ScreenSize screen) {
    return resolution->text() ==
           QString::fromStdString(std::to_string(screen.width) + " \xC3\x97 " +
                                  std::to_string(screen.height));
  };
  const WindowSize original = sizeOnX();
  EXPECT_TRUE(shows(kLarge)) << resolution->text().toStdString();
  EXPECT_EQ(view->statusPill()->title(), "Live");

  corvane::testing::TemporaryFolder recordings("corvane-screen-size-recording");
  const auto recording = recordings.path() / "frames.raw";
  pid_t recorder = corvane::testing::recordWithGStreamer(id, kRecordedSeconds, recording);
  ASSERT_GT(recorder, 0) << "gst-launch-1.0 did not start";
  ASSERT_TRUE(processUntil([&] { return corvane::testing::recordedFrames(recording) >= 10; }))
      << "GStreamer records nothing of the window";
  processFor(1000);
  const auto framesBefore = corvane::testing::recordedFrames(recording);

  // Seconds from the change to the toolbar showing the new size and to the capture taking it up.
  struct Followed {
    double label = -1, capture = -1;
  };
  auto changeTo = [&](ScreenSize screen) {
    Followed followed;
    const std::string refused = corvane::testing::setScreenSize(x, screen);
    EXPECT_EQ(refused, "");
    const auto changed = Clock::now();
    auto since = [&](Clock::time_point at) {
      return std::chrono::duration<double>(at - changed).count();
    };
    EXPECT_TRUE(processUntil([&] {
      if (followed.label < 0 && shows(screen)) followed.label = since(Clock::now());
      if (const auto at = events.displayChangeAfter(changed)) followed.capture = since(*at);
      return followed.label >= 0 && followed.capture >= 0;
    })) << "toolbar "
        << resolution->text().toStdString() << ", display change "
        << (followed.capture >= 0 ? "seen" : "not seen");
    EXPECT_LE(followed.label, kFollowsWithinSeconds);
    EXPECT_LE(followed.capture, kFollowsWithinSeconds);
    std::printf("screen %s: toolbar after %.3f s, display change after %.3f s\n",
                screen.modeName().c_str(), followed.label, followed.capture);
  };

  // Down: the window comes inside the smaller screen; if it had to change size, it says so.
  changeTo(kSmall);
  EXPECT_TRUE(processUntil([&] { return insideTheScreen(kSmall); }))
      << "the window reaches past the screen";
  bool toldToRestart = false;
  std::string untold;
  for (int step = 0; step < 20; ++step) {
    processFor(100);
    const bool resized = !(sizeOnX() == original);
    const bool told = view->statusPill()->title() == kRestartRecording;
    toldToRestart = toldToRestart || told;
    // (Once the window manager has had half a second to resize it.)
    if (step >= 5 && told != resized && untold.empty()) {
      untold = "resized " + std::to_string(resized) + ", status " + view->statusPill()->title();
    }
  }
  EXPECT_EQ(untold, "") << "the status does not say whether the window kept its size";
  const WindowSize whileSmall = sizeOnX();
  const auto framesWhileSmall = corvane::testing::recordedFrames(recording);

  // Back: the window returns to its size and the status with it.
  changeTo(kLarge);
  EXPECT_TRUE(processUntil([&] { return sizeOnX() == original; }))
      << "the window stays " << sizeOnX().width << "×" << sizeOnX().height << ", was "
      << original.width << "×" << original.height;
  EXPECT_TRUE(processUntil([&] { return view->statusPill()->title() == "Live"; }))
      << view->statusPill()->title();

  const auto status =
      corvane::testing::awaitRecording(recorder, kRecordedSeconds, [&] { processFor(20); });
  ASSERT_TRUE(status.has_value()) << "GStreamer did not finish";
  const auto frames = corvane::testing::recordedFrames(recording);
  // Kept going: recorded while the screen was small too, and every frame in the end.
  const bool keptGoing =
      WIFEXITED(*status) && WEXITSTATUS(*status) == 0 && framesWhileSmall > framesBefore &&
      frames == std::uintmax_t(kRecordedSeconds * corvane::testing::kRecordedFramesPerSecond);
  std::printf(
      "window %d×%d, %d×%d on the small screen; recorder %s: %ju frames before, %ju by the "
      "return, %ju in all\n",
      original.width, original.height, whileSmall.width, whileSmall.height,
      keptGoing ? "kept going" : "stopped", framesBefore, framesWhileSmall, frames);
  EXPECT_TRUE(keptGoing || toldToRestart)
      << "the recorder stopped after " << frames << " frames and the window never said so";

  controller->stopDemoMode();
  EXPECT_TRUE(processUntil([&] { return controller->statusMessage() == "Workspace restored"; }));
  controller.reset();
  XCloseDisplay(x);
}

}  // namespace
}  // namespace corvane::ui
