// Debian's own desktops on Xvfb at 1920×1080, each in one session (tests/support/x11/
// desktop_session.h): Corvane starts into the desktop's tray without waiting on it; the share
// shows the desktop's own windows as it should (desktop_share_checks.h); the share
// window lies whole inside the work area with the window manager's frame around it (clear of
// i3's bar, where there is no work area), stays readable through workspace switches, keeps its
// toolbar clear of the presenter bar, and "Hide on This Screen" takes it out of sight while
// recorders keep reading it (GStreamer's ximagesrc on XFCE), a window picker the very top level
// it was given; hidden and shown again at once, it ends a normal window on the screen. The Qt
// part runs in a child process on Qt's xcb platform (this executable, re-run with a filter).
#include <gtest/gtest.h>

#include <signal.h>

#include <QGuiApplication>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "menubar/presenter_control_bar_manager.h"
#include "model/in_memory_defaults_store.h"
#include "platform/pixel_buffer.h"
#include "share_window/window_geometry.h"
#include "ui/menubar/presenter_control_bar_view.h"
#include "ui/protected_share_canvas.h"
#include "ui/qt_test_support.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "desktops/desktop_share_checks.h"
#include "platform/x11/x_properties.h"
#include "shell/running_corvane.h"
#include "support/temporary_folder.h"
#include "support/x11/desktop_session.h"
#include "support/x11/pager.h"
#include "support/x11/window_recording.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/share_window_on_x11.h"

namespace corvane::ui {
namespace {

using corvane::testing::Desktop;
using corvane::testing::DesktopSession;
using platform::Rect;

constexpr const char* const kChildVariable = "CORVANE_DESKTOP_CHILD";
constexpr const char* kDesktopVariable = "CORVANE_DESKTOP_NAME";
constexpr QRgb kMarker = qRgb(230, 20, 200);  // a colour no desktop here draws
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

const char* keyOf(Desktop desktop) {
  switch (desktop) {
    case Desktop::xfce:
      return "xfce";
    case Desktop::mate:
      return "mate";
    case Desktop::lxqt:
      return "lxqt";
    case Desktop::plasma:
      return "plasma";
    case Desktop::cinnamon:
      return "cinnamon";
    case Desktop::i3:
      return "i3";
  }
  return "";
}

class DesktopsOnX11 : public ::testing::TestWithParam<Desktop> {};

TEST_P(DesktopsOnX11, CorvaneAndItsShareWindowOnTheDesktop) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(kWidth, kHeight);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  DesktopSession desktop(server, GetParam());
  if (desktop.cannotRun())
    GTEST_SKIP() << desktop.name() << " cannot run here: " << desktop.failure();
  ASSERT_TRUE(desktop.ok()) << desktop.failure();
  ASSERT_TRUE(desktop.awaitTrayHost()) << desktop.name() << " shows no tray";

  // Corvane starts into the tray: the panel calls back into the new tray item while Corvane
  // checks for the tray, so neither may wait on the other.
  {
    shell::testing::CorvaneHome home(server.name());
    home.addEnvironment(desktop.environment());
    home.seedSetupDone();
    pid_t corvane = home.launch();
    ASSERT_TRUE(home.waitForEvent("app_initialized", corvane::testing::kPatientWaitSeconds));
    const auto startup = home.secondsBetweenEvents("app_shell_initialized", "app_initialized");
    ASSERT_TRUE(startup.has_value());
    EXPECT_LE(*startup, 3.0) << "the start waited on " << desktop.name();
    std::printf("%s: app_shell_initialized to app_initialized in %.3f s\n", desktop.name().c_str(),
                *startup);
    // In the tray, not in the taskbar window that stands in for a missing tray.
    EXPECT_FALSE(corvane::testing::waitUntil(
        [&] { return shell::testing::hasViewableWindow(server.name(), "Corvane"); }, 1.0));
    kill(corvane, SIGTERM);
    EXPECT_EQ(home.exitStatus(corvane, 10.0), 0);
  }

  // What the share shows of the desktop's own windows.
  if (GetParam() == Desktop::plasma) {
    corvane::testing::expectPlasmaDesktopFollowsTheSetting(server, desktop);
  } else if (GetParam() == Desktop::cinnamon) {
    corvane::testing::expectFrameBordersShowWhatLiesBeneath(server);
  }

  std::vector<std::string> environment = desktop.environment();
  environment.push_back(std::string(kDesktopVariable) + "=" + keyOf(GetParam()));
  if (desktop.hasDesktopWindow()) {
    environment.push_back("CORVANE_DESKTOP_WINDOW=" + std::to_string(desktop.desktopWindow()));
  }
  EXPECT_TRUE(testing::runQtChildOn(server, "DesktopX11Child.*", kChildVariable, environment))
      << "the share window's test on " << desktop.name() << " failed";
}

INSTANTIATE_TEST_SUITE_P(Debian, DesktopsOnX11,
                         ::testing::Values(Desktop::xfce, Desktop::mate, Desktop::lxqt,
                                           Desktop::plasma, Desktop::cinnamon, Desktop::i3),
                         [](const ::testing::TestParamInfo<Desktop>& info) {
                           return std::string(keyOf(info.param));
                         });

using DesktopX11Child = testing::QtX11ChildTest<&kChildVariable>;

// What the server holds of the root and of a window, read on the test's own connection.
struct ServerView {
  Display* display;

  std::vector<long> rootCardinals(const char* name) const {
    return platform::x11::cardinalProperty(display, DefaultRootWindow(display),
                                           XInternAtom(display, name, False), XA_CARDINAL);
  }
  // The current desktop's work area.
  Rect workArea() const {
    const auto area = rootCardinals("_NET_WORKAREA");
    const auto current = rootCardinals("_NET_CURRENT_DESKTOP");
    const std::size_t at = 4 * static_cast<std::size_t>(current.empty() ? 0 : current[0]);
    if (area.size() < at + 4) return Rect{{0, 0}, {kWidth, kHeight}};
    return Rect{{double(area[at]), double(area[at + 1])},
                {double(area[at + 2]), double(area[at + 3])}};
  }
  std::optional<platform::FrameExtents> frameExtents(Window window) const {
    const auto values = platform::x11::cardinalProperty(
        display, window, XInternAtom(display, "_NET_FRAME_EXTENTS", False), XA_CARDINAL);
    if (values.size() != 4) return std::nullopt;
    return platform::FrameExtents{double(values[0]), double(values[1]), double(values[2]),
                                  double(values[3])};
  }
  // The window's own rectangle on the root.
  Rect geometry(Window window) const {
    XWindowAttributes attributes{};
    int x = 0, y = 0;
    Window child = None;
    if (XGetWindowAttributes(display, window, &attributes) == 0) return {};
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return Rect{{double(x), double(y)}, {double(attributes.width), double(attributes.height)}};
  }
  // The top level holding the window of class `className` (a dock framed by i3 too), where it
  // lies on the root; none while no such window is mapped.
  std::optional<Rect> placeOfClass(const char* className) const {
    for (const Window top : platform::x11::childWindows(display, DefaultRootWindow(display))) {
      if (!platform::x11::isViewable(display, top)) continue;
      std::vector<Window> candidates = platform::x11::childWindows(display, top);
      candidates.push_back(top);
      for (const Window window : candidates) {
        const auto found = platform::x11::windowClass(display, window);
        if (found && found->className == className) return geometry(top);
      }
    }
    return std::nullopt;
  }
  // The window with the frame its window manager says it draws around it (the frame's own
  // window may reach further, with borders that show nothing: marco's, muffin's).
  Rect wholeWindow(Window window) const {
    return frameExtents(window).value_or(platform::FrameExtents{}).around(geometry(window));
  }
};

bool contains(const Rect& outer, const Rect& inner) {
  return inner.minX() >= outer.minX() && inner.minY() >= outer.minY() &&
         inner.maxX() <= outer.maxX() && inner.maxY() <= outer.maxY();
}

std::string describe(const Rect& rect) {
  return std::to_string(int(rect.minX())) + "," + std::to_string(int(rect.minY())) + " " +
         std::to_string(int(rect.width())) + "×" + std::to_string(int(rect.height()));
}

QImage screenshot() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
      QImage::Format_RGB32);
}

platform::SharedPixelBuffer solidFrame(QRgb colour) {
  auto buffer = std::make_shared<platform::PixelBuffer>(kWidth, kHeight);
  buffer->fill(0xFF000000u | colour);
  return buffer;
}

TEST_F(DesktopX11Child, ShareWindowOnTheDesktop) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string desktop = std::getenv(kDesktopVariable);
  testing::RecorderConnection test;
  Display* x = test.display();
  ASSERT_NE(x, nullptr);
  const ServerView server{x};
  // A capture session redirects every top-level window, the share window included.
  XCompositeRedirectSubwindows(x, DefaultRootWindow(x), CompositeRedirectAutomatic);
  // The desktop's own desktop window, or a file manager's stand-in where it draws none itself.
  Window desktopWindow = 0;
  if (const char* own = std::getenv("CORVANE_DESKTOP_WINDOW")) desktopWindow = std::stoul(own);
  if (desktopWindow == 0) desktopWindow = testing::mapDesktopWindow(x, qRgb(40, 90, 150));
  ASSERT_TRUE(processUntil([&] { return platform::x11::isViewable(x, desktopWindow); }));

  testing::OutputWindowOnX11 output;
  ASSERT_EQ(output.beginSession(), "");
  auto& manager = output.manager;
  auto& window = output.window();
  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  std::uint64_t sequence = 0;
  auto present = [&] {
    output.surface->update(solidFrame(kMarker), ++sequence);
    return processUntil(
        [&] { return view->canvas()->lastPresentedRevision() == output.surface->revision(); });
  };
  ASSERT_TRUE(manager->publishLiveFrame({kWidth, kHeight}));
  ASSERT_TRUE(present());
  const Window id = window.hostWidget()->winId();
  ASSERT_TRUE(processUntil([&] { return platform::x11::isViewable(x, id); }));

  // Whole inside the work area, the window manager's frame included, once the manager has
  // framed it (and without a pixel off the screen, which a recorder would refuse).
  const Rect work = server.workArea();
  EXPECT_TRUE(processUntil([&] {
    return server.frameExtents(id).has_value() && contains(work, server.wholeWindow(id));
  })) << "window "
      << describe(server.wholeWindow(id)) << " in the work area " << describe(work);
  processFor(300);
  const Rect whole = server.wholeWindow(id);
  const Rect content = server.geometry(id);
  EXPECT_TRUE(contains(work, whole)) << describe(whole) << " in " << describe(work);
  std::printf("%s: work area %s, window %s, content %s\n", desktop.c_str(), describe(work).c_str(),
              describe(whole).c_str(), describe(content).c_str());
  // i3 publishes no work area: the window keeps clear of its bar all the same.
  std::optional<Rect> dock;
  if (desktop == "i3") {
    dock = server.placeOfClass("i3bar");
    ASSERT_TRUE(dock.has_value()) << "i3bar is not mapped";
    EXPECT_FALSE(whole.intersects(*dock))
        << "window " << describe(whole) << " over i3bar " << describe(*dock);
  }
  const testing::WindowRecorders recorders(id);
  auto expectRead = [&](const char* state) {
    SCOPED_TRACE(state);
    const QImage direct = recorders.readWindow();
    ASSERT_FALSE(direct.isNull()) << "the window's pixels were refused: "
                                  << testing::RecorderConnection::lastError() << " for "
                                  << describe(server.geometry(id));
    EXPECT_GT(testing::countPixelsNear(direct, kMarker, 12), 100000);
    const QImage composite = recorders.readCompositePixmap();
    ASSERT_FALSE(composite.isNull()) << "the window's composite pixmap was refused";
    EXPECT_GT(testing::countPixelsNear(composite, kMarker, 12), 100000);
  };
  expectRead("shown");

  // The presenter bar covers none of its controls: the title bar and the toolbar on top.
  auto defaults = std::make_shared<model::InMemoryDefaultsSuite>("com.pemberquist.corvane");
  auto bar = std::make_shared<menubar::PresenterControlBarManager>(
      output.windows, nullptr, defaults, makePresenterControlBarContentFactory());
  menubar::PresenterControlBarContent controls;
  controls.controlAreas = manager->controlAreas();
  bar->show(std::nullopt,
            menubar::PresenterControlBarMode::protectedShareLive(
                {0, 1, false, false, false, false, "Notes"}),
            std::move(controls));
  const Window barId = static_cast<QtWindow&>(*bar->panel()).hostWidget()->winId();
  ASSERT_TRUE(processUntil([&] { return platform::x11::isViewable(x, barId); }));
  processFor(200);
  const Rect toolbar{
      whole.origin,
      {whole.width(), content.minY() - whole.minY() + share_window::kAccessoryStripHeight}};
  EXPECT_FALSE(server.wholeWindow(barId).intersects(toolbar))
      << "the bar " << describe(server.wholeWindow(barId)) << " on the toolbar "
      << describe(toolbar);
  if (dock) {
    EXPECT_FALSE(server.wholeWindow(barId).intersects(*dock))
        << "the bar " << describe(server.wholeWindow(barId)) << " over i3bar " << describe(*dock);
  }
  bar->hide();

  // On every desktop: a workspace switch leaves it mapped and read whole, three times over (i3
  // numbers only the workspaces it has and makes new ones only by its own commands).
  if (desktop != "i3") {
    if (server.rootCardinals("_NET_NUMBER_OF_DESKTOPS") == std::vector<long>{1}) {
      // One desktop (Plasma's first start): a pager adds one.
      XEvent more{};
      more.xclient.type = ClientMessage;
      more.xclient.window = DefaultRootWindow(x);
      more.xclient.message_type = XInternAtom(x, "_NET_NUMBER_OF_DESKTOPS", False);
      more.xclient.format = 32;
      more.xclient.data.l[0] = 2;
      XSendEvent(x, DefaultRootWindow(x), False, SubstructureRedirectMask | SubstructureNotifyMask,
                 &more);
      XFlush(x);
      ASSERT_TRUE(processUntil([&] {
        return server.rootCardinals("_NET_NUMBER_OF_DESKTOPS") == std::vector<long>{2};
      })) << "no second desktop to switch to";
    }
    for (long target : {1L, 0L, 1L}) {
      SCOPED_TRACE("desktop " + std::to_string(target));
      corvane::testing::requestDesktop(x, target);
      XFlush(x);
      ASSERT_TRUE(processUntil([&] {
        return server.rootCardinals("_NET_CURRENT_DESKTOP") == std::vector<long>{target};
      }));
      processFor(200);
      EXPECT_TRUE(platform::x11::isViewable(x, id)) << "unmapped by the switch";
      for (int read = 0; read < 3; ++read) {
        ASSERT_TRUE(present());
        expectRead("after a switch");
      }
    }
    corvane::testing::requestDesktop(x, 0);
    XFlush(x);
    ASSERT_TRUE(processUntil(
        [&] { return server.rootCardinals("_NET_CURRENT_DESKTOP") == std::vector<long>{0}; }));
  }

  // "Hide on This Screen" waits for nothing: it leaves the window manager's own property alone
  // and moves on; GStreamer records the window by its id meanwhile on XFCE, before and after.
  const bool hadExtents = server.frameExtents(id).has_value();
  corvane::testing::TemporaryFolder recordings("corvane-desktop-recording");
  const auto recording = recordings.path() / "frames.raw";
  constexpr int kRecordedSeconds = 5;
  pid_t recorder = -1;
  if (desktop == "xfce") {
    recorder = corvane::testing::recordWithGStreamer(id, kRecordedSeconds, recording);
    ASSERT_GT(recorder, 0) << "gst-launch-1.0 did not start";
    processFor(kRecordedSeconds * 1000 / 2);
  }
  const auto hideStarted = std::chrono::steady_clock::now();
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  const double hideMilliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - hideStarted)
          .count();
  std::printf("%s: Hide on This Screen held the main thread %.2f ms\n", desktop.c_str(),
              hideMilliseconds);
  EXPECT_EQ(server.frameExtents(id).has_value(), hadExtents)
      << "the window manager's _NET_FRAME_EXTENTS was taken away";
  // Out of sight: beneath the desktop window or, where the window manager keeps its own order
  // while it composites (marco, muffin), in its below layer and transparent.
  const bool managerOrders = desktop == "mate" || desktop == "cinnamon";
  auto beneath = [&](Window other) {
    return testing::stackingPosition(x, platform::x11::topLevelWindow(x, id)) <
           testing::stackingPosition(x, platform::x11::topLevelWindow(x, other));
  };
  auto markerOnScreen = [&] { return testing::countPixelsNear(screenshot(), kMarker, 12); };
  EXPECT_TRUE(processUntil([&] {
    return (managerOrders || beneath(desktopWindow)) && markerOnScreen() == 0;
  })) << "hidden, it still shows on this screen";
  // Another window comes: the window manager restacks, and it stays beneath.
  const Window newcomer =
      XCreateSimpleWindow(x, DefaultRootWindow(x), 300, 300, 400, 300, 0, 0, 0x208040);
  XMapWindow(x, newcomer);
  XFlush(x);
  ASSERT_TRUE(processUntil([&] { return platform::x11::isViewable(x, newcomer); }));
  processFor(500);
  EXPECT_TRUE(beneath(newcomer)) << "above a window that came after";
  if (!managerOrders) {
    EXPECT_TRUE(beneath(desktopWindow)) << "back above the desktop window after another came";
  }
  EXPECT_EQ(markerOnScreen(), 0);
  EXPECT_TRUE(platform::x11::isViewable(x, id)) << "hidden, yet mapped";
  ASSERT_TRUE(present());
  expectRead("hidden on this screen");
  XDestroyWindow(x, newcomer);
  XFlush(x);

  if (recorder > 0) {
    const auto status =
        corvane::testing::awaitRecording(recorder, kRecordedSeconds, [&] { processFor(20); });
    ASSERT_TRUE(status.has_value()) << "GStreamer did not finish";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "GStreamer failed";
    using corvane::testing::kRecordedFrameBytes;
    ASSERT_TRUE(std::filesystem::exists(recording));
    EXPECT_EQ(corvane::testing::recordedFrames(recording),
              std::uintmax_t(kRecordedSeconds * corvane::testing::kRecordedFramesPerSecond))
        << "not every frame was recorded";
    // Every frame is the window's own picture, visible and hidden alike.
    std::ifstream in(recording, std::ios::binary);
    std::vector<unsigned char> frame(kRecordedFrameBytes);
    for (int index = 0; in.read(reinterpret_cast<char*>(frame.data()), kRecordedFrameBytes);
         ++index) {
      const QImage image(frame.data(), corvane::testing::kRecordedWidth,
                         corvane::testing::kRecordedHeight, QImage::Format_RGB32);
      EXPECT_GT(testing::countPixelsNear(image, kMarker, 24),
                corvane::testing::kRecordedWidth * corvane::testing::kRecordedHeight / 2)
          << "frame " << index;
    }
  }

  // Shown again: a normal window on this screen, above the desktop window.
  const Atom typeNormal = XInternAtom(x, "_NET_WM_WINDOW_TYPE_NORMAL", False);
  auto shownAsNormal = [&] {
    const auto states = platform::x11::netWmStateNames(x, id);
    return platform::x11::atomListProperty(x, id, XInternAtom(x, "_NET_WM_WINDOW_TYPE", False)) ==
               std::vector<Atom>{typeNormal} &&
           std::find(states.begin(), states.end(), "_NET_WM_STATE_BELOW") == states.end() &&
           !beneath(desktopWindow) && markerOnScreen() > 100000;
  };
  auto describeShown = [&] {
    std::string all = "at " + describe(server.geometry(id)) + " (frame " +
                      describe(server.geometry(platform::x11::topLevelWindow(x, id))) +
                      "), beneath the desktop window " + std::to_string(beneath(desktopWindow)) +
                      ", " + std::to_string(markerOnScreen()) + " pixels, type";
    for (const Atom type :
         platform::x11::atomListProperty(x, id, XInternAtom(x, "_NET_WM_WINDOW_TYPE", False))) {
      all += type == typeNormal ? " normal" : " other";
    }
    all += ", states";
    for (const auto& state : platform::x11::netWmStateNames(x, id)) all += " " + state;
    return all;
  };
  ASSERT_TRUE(manager->showLiveWindowLocally());
  ASSERT_TRUE(present());
  EXPECT_TRUE(processUntil(shownAsNormal)) << "shown again, it does not show: " << describeShown();
  expectRead("shown again");

  // A window picker (a browser's, a meeting application's) takes the top level it was given once
  // and reads it through its composite pixmap: the same window, read whole, through two more
  // hides and shows.
  {
    const Window picked = platform::x11::topLevelWindow(x, id);
    const testing::WindowRecorders picker(picked);
    int reads = 0, refused = 0, withoutPicture = 0;
    auto readFor = [&](int milliseconds) {
      for (int elapsed = 0; elapsed < milliseconds; elapsed += 50, ++reads) {
        processFor(50);
        const QImage image = picker.readCompositePixmap();
        if (image.isNull()) {
          ++refused;
        } else if (testing::countPixelsNear(image, kMarker, 12) < 100000) {
          ++withoutPicture;
        }
      }
    };
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(manager->hideLiveWindowLocally());
      readFor(1000);
      ASSERT_TRUE(manager->showLiveWindowLocally());
      ASSERT_TRUE(present());
      readFor(1000);
    }
    EXPECT_EQ(refused, 0) << "of " << reads << " reads of the top level it was given: "
                          << testing::RecorderConnection::lastError();
    EXPECT_EQ(withoutPicture, 0) << "of " << reads << " reads show no window";
    EXPECT_EQ(platform::x11::topLevelWindow(x, id), picked) << "framed anew";
  }

  // Hidden and shown again with no gap, twenty times (a key held on the shortcut, Hide then
  // Stop): it ends shown, a normal window.
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(manager->hideLiveWindowLocally());
    ASSERT_TRUE(manager->showLiveWindowLocally());
  }
  ASSERT_TRUE(present());
  EXPECT_TRUE(processUntil(shownAsNormal)) << "hidden and shown at once: " << describeShown();
  manager->endSession(true);
}

}  // namespace
}  // namespace corvane::ui
