// The output window on a real X server: the test starts its own Xvfb and runs the Qt part in a
// child process on Qt's xcb platform (this executable, re-run with a filter), so the rest of the
// suite keeps the offscreen platform.
#include <gtest/gtest.h>

#include <signal.h>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "capture/protected_output_surface.h"
#include "main/xcb_image_presenter.h"
#include "platform/shared_memory_pixels.h"
#include "share_window/share_window_test_support.h"
#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/native_image_area.h"
#include "ui/protected_share_canvas.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x11_screens.h"
#include "platform/x11/x_properties.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/share_window_on_x11.h"

#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace corvane::ui {
namespace {

using testing::inputShapeRectangles;
using testing::mapDesktopWindow;
using testing::OutputWindowOnX11;
using testing::RecorderConnection;
using testing::stackingPosition;
using testing::WindowRecorders;

constexpr const char* const kChildVariable = "CORVANE_UI_X11_CHILD";
constexpr const char* kScreenshotName = "corvane-protected-share-x11.png";
constexpr QRgb kMarker = qRgb(230, 20, 200);  // a block no other part of the screen uses

// A desktop as a filtered capture shows it: a background, two application windows and a marker
// block, in a BGRA buffer like the engine's.
// In shared memory, as the capture makes frames: the canvas puts them straight to the server.
platform::SharedPixelBuffer desktopFrame(int width, int height, int frameNumber) {
  auto buffer = platform::makeSharedMemoryPixels(width, height);
  EXPECT_NE(buffer, nullptr);
  QImage canvas(buffer->mutableData(), width, height, buffer->bytesPerRow(), QImage::Format_RGB32);
  QPainter painter(&canvas);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(36, 92, 120));
  sky.setColorAt(1, QColor(18, 40, 64));
  painter.fillRect(canvas.rect(), sky);
  painter.fillRect(QRect(80, 70, 620, 420), QColor(248, 248, 250));
  painter.fillRect(QRect(80, 70, 620, 30), QColor(220, 222, 228));
  painter.setPen(QColor(40, 40, 48));
  QFont font = painter.font();
  font.setPixelSize(18);
  painter.setFont(font);
  for (int line = 0; line < 9; ++line) {
    painter.drawText(110, 140 + line * 36,
                     QStringLiteral("Quarterly plan, section %1: shared safely").arg(line + 1));
  }
  painter.fillRect(QRect(760, 140, 420, 300), QColor(250, 236, 200));
  painter.fillRect(QRect(840, 520, 240, 150), QColor(kMarker));
  font.setPixelSize(28);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(0, height - 90, width, 60), Qt::AlignCenter,
                   QStringLiteral("Filtered frame %1").arg(frameNumber));
  return buffer;
}

bool xwininfoSays(WId window, const char* mapState) {
  const std::string command = "xwininfo -id " + std::to_string(window) + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::string output;
  char chunk[256];
  while (fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
  pclose(pipe);
  return output.find(std::string("Map State: ") + mapState) != std::string::npos;
}

QImage screenshot() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
      QImage::Format_RGB32);
}

TEST(ProtectedShareWindowOnX11, RunsTheRealWindowOnAPrivateXServer) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  std::filesystem::remove(corvane::testing::artifactPath(kScreenshotName));
  EXPECT_TRUE(testing::runQtChildOn(server, "ProtectedShareWindowX11Child.*", kChildVariable))
      << "the window test on " << server.name() << " failed";
}

using ProtectedShareWindowX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(ProtectedShareWindowX11Child, UnmappedUntilTheFirstFrameThenShowsFramesAndStatus) {
  ASSERT_TRUE(testing::isX11Session());
  OutputWindowOnX11 output;
  ASSERT_EQ(output.beginSession(), "");
  auto& surface = output.surface;
  auto& manager = output.manager;
  auto& window = output.window();
  const WId id = window.hostWidget()->winId();
  ASSERT_EQ(window.windowNumber(), static_cast<std::uint32_t>(id));
  // A frame is already waiting on the surface, yet nothing is on the X screen.
  ASSERT_TRUE(surface->update(desktopFrame(1280, 800, 1), 1));
  processFor(150);
  EXPECT_FALSE(testing::isViewableOnX11(id));
  EXPECT_TRUE(xwininfoSays(id, "IsUnMapped"));
  EXPECT_EQ(testing::countPixelsNear(screenshot(), kMarker, 12), 0);

  ASSERT_TRUE(manager->publishLiveFrame({1280, 800}));
  manager->updateProtectionStatus(false, false, false, false, false, false);
  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(id); }));
  EXPECT_TRUE(xwininfoSays(id, "IsViewable"));
  surface->update(desktopFrame(1280, 800, 2), 2);
  ASSERT_TRUE(processUntil([&] {
    return view->canvas()->lastPresentedRevision() == surface->revision() &&
           view->statusPill()->title() == "Live";
  }));
  processFor(200);
  // Shown as in the application: put straight from the frame's shared memory.
  auto* putArea = view->canvas()->findChild<NativeImageArea*>();
  ASSERT_NE(putArea, nullptr);
  EXPECT_TRUE(putArea->isVisible());

  const QImage shot = screenshot();
  ASSERT_TRUE(
      shot.save(QString::fromStdString(corvane::testing::artifactPath(kScreenshotName).string())));
  // The marker block, scaled into the window, and the green status line are on the screen.
  EXPECT_GT(testing::countPixelsNear(shot, kMarker, 12), 5000);
  const QRect strip =
      window.hostWidget()->geometry().adjusted(0, 0, 0, -window.hostWidget()->height() + 36);
  EXPECT_GT(testing::countPixelsNear(shot.copy(strip), qRgb(23, 158, 64), 40), 20);
  EXPECT_GT(surface->presentationStats().completedFrames, 0);

  manager->endSession(true);
  ASSERT_TRUE(processUntil([&] { return !testing::isViewableOnX11(id); }));
  processFor(100);
  EXPECT_EQ(testing::countPixelsNear(screenshot(), kMarker, 12), 0);
}

// The share window as recorders read it, in every state of a session, under openbox over a
// desktop window, with a capture session's redirect in place: "Hide on This Screen" keeps the
// window whole on the screen (a read of the window's own pixels needs that), beneath the desktop
// window, off the taskbar and pager and letting the mouse through, so nothing of it shows on this
// screen while both kinds of recorder still read its frames.
TEST(ProtectedShareWindowOnX11, ReadByRecordersInEveryStateUnderOpenbox) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  EXPECT_TRUE(testing::runQtChildOn(server, "ProtectedShareWindowHiddenX11Child.*", kChildVariable))
      << "the recorders' test on " << server.name() << " failed";
}

using ProtectedShareWindowHiddenX11Child = testing::QtX11ChildTest<&kChildVariable>;

platform::SharedPixelBuffer solidFrame(int width, int height, QRgb colour) {
  auto buffer = std::make_shared<platform::PixelBuffer>(width, height);
  buffer->fill(0xFF000000u | colour);
  return buffer;
}

TEST_F(ProtectedShareWindowHiddenX11Child, EveryStateIsReadWholeAndHiddenShowsNothingHere) {
  ASSERT_TRUE(testing::isX11Session());
  RecorderConnection test;
  ASSERT_NE(test.display(), nullptr);
  // A capture session redirects every top-level window, the share window included.
  XCompositeRedirectSubwindows(test.display(), DefaultRootWindow(test.display()),
                               CompositeRedirectAutomatic);
  constexpr QRgb kDesktop = qRgb(40, 90, 150);
  const Window desktop = mapDesktopWindow(test.display(), kDesktop);
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(desktop); }));

  OutputWindowOnX11 output;
  ASSERT_EQ(output.beginSession(), "");
  auto& surface = output.surface;
  auto& manager = output.manager;
  auto& window = output.window();
  const WId id = window.hostWidget()->winId();
  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  std::uint64_t sequence = 0;
  auto present = [&](QRgb colour) {
    surface->update(solidFrame(900, 560, colour), ++sequence);
    return processUntil(
        [&] { return view->canvas()->lastPresentedRevision() == surface->revision(); });
  };
  ASSERT_TRUE(manager->publishLiveFrame({900, 560}));
  ASSERT_TRUE(present(kMarker));
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(id); }));
  processFor(200);
  const WindowRecorders recorders(id);
  // Both kinds of recorder read the whole window and find the frame in it.
  auto expectRead = [&](const char* state, QRgb colour) {
    SCOPED_TRACE(state);
    const QImage direct = recorders.readWindow();
    ASSERT_FALSE(direct.isNull()) << "the window's pixels were refused";
    EXPECT_GT(testing::countPixelsNear(direct, colour, 12), 100000);
    const QImage composite = recorders.readCompositePixmap();
    ASSERT_FALSE(composite.isNull()) << "the window's composite pixmap was refused";
    EXPECT_GT(testing::countPixelsNear(composite, colour, 12), 100000);
  };
  expectRead("shown", kMarker);
  manager->showLiveWindowAtActualSize();
  ASSERT_TRUE(present(kMarker));
  processFor(200);
  expectRead("actual size", kMarker);
  manager->fitLiveWindow();
  ASSERT_TRUE(present(kMarker));
  processFor(200);
  expectRead("fitted", kMarker);
  manager->updateProtectionStatus(false, false, true, false, false, false);
  processFor(200);
  expectRead("paused", kMarker);
  manager->updateProtectionStatus(false, false, false, false, false, false);

  const QRect before = window.hostWidget()->geometry();
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  constexpr QRgb kLater = qRgb(20, 200, 230);
  ASSERT_TRUE(present(kLater));
  processFor(300);
  EXPECT_TRUE(testing::isViewableOnX11(id)) << "hidden, yet mapped";
  expectRead("hidden on this screen", kLater);
  const QImage screen = screenshot();
  EXPECT_EQ(testing::countPixelsNear(screen, kMarker, 12), 0);
  EXPECT_EQ(testing::countPixelsNear(screen, kLater, 12), 0) << "nothing of it on this screen";
  EXPECT_LT(
      stackingPosition(test.display(), platform::x11::topLevelWindow(test.display(), id)),
      stackingPosition(test.display(), platform::x11::topLevelWindow(test.display(), desktop)))
      << "beneath the desktop window";
  EXPECT_EQ(window.hostWidget()->geometry(), before) << "where it was, on the screen";
  const auto states = testing::netWmStatesOnX11(id);
  for (const char* state : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
    EXPECT_NE(std::find(states.begin(), states.end(), state), states.end()) << state;
  EXPECT_EQ(inputShapeRectangles(test.display(), id), 0) << "the mouse goes through it";
  EXPECT_EQ(inputShapeRectangles(test.display(), platform::x11::topLevelWindow(test.display(), id)),
            0)
      << "and through its frame";

  ASSERT_TRUE(manager->showLiveWindowLocally());
  ASSERT_TRUE(processUntil([&] {
    return testing::countPixelsNear(screenshot(), kLater, 12) > 100000;
  })) << "shown again";
  EXPECT_GT(inputShapeRectangles(test.display(), platform::x11::topLevelWindow(test.display(), id)),
            0);
  expectRead("shown again", kLater);
  manager->endSession(true);
}

// The preview is shown and the session begins before the window manager has acted on the
// preview's map request (the popover's Start does both at once). The session's unmap then finds
// the window unmapped and does nothing, and the window manager maps it afterwards; openbox, which
// counts the unmap it expects from its own reparenting, may even take the session's withdrawal
// for that one and keep the window mapped. The test plays such a window manager itself: it takes
// the map requests and carries out the preview's only once the session has begun.
TEST(ProtectedShareWindowOnX11, NeverOnScreenBetweenAPendingPreviewAndTheFirstFrame) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  EXPECT_TRUE(
      testing::runQtChildOn(server, "ProtectedShareWindowPendingMapX11Child.*", kChildVariable));
}

using ProtectedShareWindowPendingMapX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(ProtectedShareWindowPendingMapX11Child, SessionWindowStaysOffScreenUntilTheFirstFrame) {
  Display* manager = XOpenDisplay(std::getenv("DISPLAY"));
  ASSERT_NE(manager, nullptr);
  XSelectInput(manager, DefaultRootWindow(manager), SubstructureRedirectMask);
  XSync(manager, False);
  // The windows whose map requests came in, in order.
  auto nextMapRequest = [&](Window& requested) {
    return processUntil([&] {
      XSync(manager, False);
      XEvent event;
      if (!XCheckTypedEvent(manager, MapRequest, &event)) return false;
      requested = event.xmaprequest.window;
      return true;
    });
  };

  OutputWindowOnX11 output;
  output.controller->surface = output.surface;
  auto screens = platform::x11::X11Screens::open(std::getenv("DISPLAY"));
  ASSERT_TRUE(screens.ok());
  auto windows =
      std::make_shared<QtWindowSystem>(screens.value(), wiring::makeQtWindowStateHints());
  output.manager = std::make_shared<share_window::ProtectedShareWindowManager>(
      windows, makeProtectedShareContentFactory(wiring::makeXcbImagePresenter()));
  auto preview = output.manager->ensureWindow(output.controller);
  output.manager->configurePreview(*preview);
  preview->makeKeyAndOrderFront();
  Window requested = None;
  ASSERT_TRUE(nextMapRequest(requested));
  const Window previewId = output.window().hostWidget()->winId();
  ASSERT_EQ(requested, previewId);

  ASSERT_TRUE(output.manager->beginSession(output.controller, std::nullopt));
  processFor(50);
  // The window manager gets to the preview's request now.
  XMapWindow(manager, requested);
  XSync(manager, False);
  processFor(100);
  const WId session = output.window().hostWidget()->winId();
  EXPECT_FALSE(testing::isViewableOnX11(session)) << "on the screen before the first frame";
  EXPECT_FALSE(testing::isViewableOnX11(previewId));

  // The first frame still puts the session window on the screen.
  ASSERT_TRUE(output.surface->update(desktopFrame(1280, 800, 1), 1));
  ASSERT_TRUE(output.manager->publishLiveFrame({1280, 800}));
  const WId live = output.window().hostWidget()->winId();
  ASSERT_TRUE(nextMapRequest(requested));
  EXPECT_EQ(requested, live);
  XMapWindow(manager, requested);
  XSync(manager, False);
  EXPECT_TRUE(processUntil([&] { return testing::isViewableOnX11(live); }));
  output.manager->endSession(true);
  output.manager->close();
  XCloseDisplay(manager);
}

}  // namespace
}  // namespace corvane::ui
