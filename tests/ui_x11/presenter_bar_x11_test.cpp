// The presenter control bar and the source guard on a private X server with openbox: the bar is
// mapped above other windows on every desktop, out of the taskbar, never takes the keyboard when
// shown, acts on the first click, is dragged by its background and stays above the guard; the
// guard takes the keyboard and Escape stops; and no pixel of the bar reaches the capture's output.
// The Qt part runs in a child process on Qt's xcb platform (this executable, re-run with a filter).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "capture/protected_share_engine.h"
#include "menubar/presenter_control_bar_manager.h"
#include "model/in_memory_defaults_store.h"
#include "runtime/task.h"
#include "ui/app/source_guard_view.h"
#include "ui/menubar/presenter_control_bar_view.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/x11/x11_desktop.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/x_probe.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_UI_BAR_CHILD";
constexpr const char* kNotesVariable = "CORVANE_UI_BAR_NOTES_WINDOW";
constexpr std::uint32_t kNotesColour = 0x3070D0;
const QRgb kStopRed = qRgb(235, 46, 46);

TEST(PresenterBarOnX11, RunsTheBarAndTheGuardUnderOpenbox) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  // The presenter's own application, in the top-left part of the screen.
  corvane::testing::TestClient notesClient(server.name(), {.windowClass = "NotesApp",
                                                           .colour = kNotesColour,
                                                           .x = 40,
                                                           .y = 40,
                                                           .width = 600,
                                                           .height = 420});
  ASSERT_NE(notesClient.window(), 0u);

  EXPECT_TRUE(testing::runQtChildOn(
      server, "PresenterBarX11Child.*", kChildVariable,
      {std::string(kNotesVariable) + "=" + std::to_string(notesClient.window())}));
}

using PresenterBarX11Child = testing::QtX11ChildTest<&kChildVariable>;

bool hasState(WId window, const char* name) {
  const auto states = testing::netWmStatesOnX11(window);
  return std::find(states.begin(), states.end(), name) != states.end();
}

QPoint centreOf(const QWidget* widget) {
  return widget->mapToGlobal(widget->rect().center());
}

TEST_F(PresenterBarX11Child, FloatsAboveTheGuardUnfocusedAndNeverReachesTheCapture) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string display = std::getenv("DISPLAY");
  const Window notes = std::stoul(std::getenv(kNotesVariable));
  testing::XProbe probe(display);
  ASSERT_TRUE(processUntil([&] { return probe.activeWindow() == notes; }));

  auto desktop = platform::x11::openDesktop(display, getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  const platform::Desktop& services = desktop.value();
  ASSERT_TRUE(processUntil(
      [&] { return !services.workspace->frontmostApplicationWindowFrames().empty(); }));
  auto windows =
      std::make_shared<QtWindowSystem>(services.screens, wiring::makeQtWindowStateHints());
  auto defaults = std::make_shared<model::InMemoryDefaultsSuite>("com.pemberquist.corvane");
  auto bar = std::make_shared<menubar::PresenterControlBarManager>(
      windows, services.workspace, defaults, makePresenterControlBarContentFactory());
  app::SourceGuardManager guard(windows, makeSourceGuardContentFactory());

  // Shown: mapped, above, on every desktop, out of the taskbar, in the corner clear of the
  // presenter's application, and the presenter's application keeps the keyboard.
  int stops = 0;
  menubar::PresenterControlBarContent content;
  content.action = [&] { ++stops; };
  bar->show(std::nullopt,
            menubar::PresenterControlBarMode::protectedShareLive(
                {0, 1, false, false, false, false, "Notes"}),
            content);
  auto& panel = static_cast<QtWindow&>(*bar->panel());
  const WId barId = panel.hostWidget()->winId();
  ASSERT_TRUE(processUntil([&] {
    return testing::isViewableOnX11(barId) && hasState(barId, "_NET_WM_STATE_ABOVE") &&
           testing::desktopOnX11(barId) == 0xFFFFFFFFul &&
           hasState(barId, "_NET_WM_STATE_SKIP_TASKBAR");
  }));
  EXPECT_EQ(panel.frame().origin, (platform::Point{1280 - 580 - 12, 12}));
  processFor(300);
  EXPECT_EQ(probe.activeWindow(), notes) << "showing the bar took the keyboard";

  // The first click on an unfocused bar reaches its control.
  auto* view = static_cast<PresenterControlBarView*>(
      std::dynamic_pointer_cast<QtContentView>(panel.contentView())->widget());
  const QPoint stop = centreOf(view->primaryButton());
  probe.moveMouse(stop.x(), stop.y());
  processFor(50);
  probe.button(true);
  probe.button(false);
  ASSERT_TRUE(processUntil([&] { return stops == 1; }));

  // Dragged by its background (the grip area), through the window manager; the new place is
  // saved relative to the work area.
  const platform::Rect before = panel.frame();
  const QPoint grip = panel.hostWidget()->mapToGlobal(QPoint(6, 31));
  probe.moveMouse(grip.x(), grip.y());
  processFor(50);
  probe.button(true);
  processFor(100);
  for (int step = 1; step <= 10; ++step) {
    probe.moveMouse(grip.x() - step * 30, grip.y() + step * 40);
    processFor(20);
  }
  probe.button(false);
  ASSERT_TRUE(processUntil([&] { return panel.frame().minY() > before.minY() + 200; }))
      << "the bar did not move";
  const platform::Rect dragged = panel.frame();
  const std::string barKey =
      menubar::PresenterControlBarManager::positionDefaultsKey(*windows->mainScreen());
  ASSERT_TRUE(processUntil([&] {
    return defaults->stringValue(barKey) ==
           menubar::PresenterControlBarManager::positionString(dragged.origin);
  })) << defaults->stringValue(barKey).value_or("none");

  // The guard covers the screen and takes the keyboard; the bar stays above it.
  int guardStops = 0;
  guard.show(std::nullopt, "Screen", [&] { ++guardStops; });
  const WId guardId = static_cast<QtWindow&>(*guard.panel()).hostWidget()->winId();
  ASSERT_TRUE(processUntil([&] {
    return testing::isViewableOnX11(guardId) && probe.activeWindow() == guardId &&
           probe.stackingIndex(guardId) >= 0 &&
           probe.stackingIndex(barId) > probe.stackingIndex(guardId);
  })) << "guard "
      << probe.stackingIndex(guardId) << ", bar " << probe.stackingIndex(barId);
  // Shown again (a refresh of the name), it comes forward but still not over the bar.
  guard.show(std::nullopt, "Screen", [&] { ++guardStops; });
  processFor(200);
  EXPECT_GT(probe.stackingIndex(barId), probe.stackingIndex(guardId));
  probe.pressKey(XK_Escape);
  ASSERT_TRUE(processUntil([&] { return guardStops == 1; })) << "Escape did not stop";
  guard.hide();

  // The capture leaves out every window of this process: the bar is on the screen, not in the
  // output.
  capture::ProtectedShareEngineServices engineServices;
  engineServices.desktop = services;
  engineServices.ownBundleIdentifier = "com.pemberquist.corvane";
  engineServices.ownProcessIdentifier = getpid();
  auto engine = capture::ProtectedShareEngine::make(engineServices);
  auto started = runtime::spawn(engine->start({}, false, {}, std::nullopt));
  ASSERT_TRUE(processUntil([&] { return engine->renderedFrame.value().has_value(); }))
      << engine->statusMessage.value();
  // Windows stay neutral in the output until they have repainted for the capture, which takes
  // as long as the machine's load makes it: wait for the presenter's application to show.
  QImage output;
  const auto showsNotes = [&] {
    const auto snapshot = engine->outputSurface()->snapshot();
    if (!snapshot || !snapshot->image) return false;
    const auto& image = *snapshot->image;
    output = QImage(image.data(), image.width(), image.height(), image.bytesPerRow(),
                    QImage::Format_RGB32)
                 .copy();
    return testing::countPixelsNear(output, 0xFF000000u | kNotesColour, 8) > 100000;
  };
  ASSERT_TRUE(processUntil(showsNotes)) << "the presenter's application never showed";
  const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  EXPECT_GT(testing::countPixelsNear(screen, kStopRed, 30), 300);
  EXPECT_EQ(testing::countPixelsNear(output, kStopRed, 30), 0);

  auto stopped = runtime::spawn(engine->stop());
  ASSERT_TRUE(
      processUntil([&] { return engine->phase.value() == model::ProtectedSharePhase::idle; }));
  bar->hide();
  ASSERT_TRUE(processUntil([&] { return !testing::isViewableOnX11(barId); }));
}

}  // namespace
}  // namespace corvane::ui
