// A whole Protected Share session on a private X server: the capture engine on the X11 backend
// captures the display without the excluded application and publishes into the real output
// window, which stays unmapped until the controller hands it the first frame. The Qt part runs in
// a child process on Qt's xcb platform (this executable, re-run with a filter).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "capture/protected_share_engine.h"
#include "main/xcb_image_presenter.h"
#include "runtime/task.h"
#include "share_window/share_window_test_support.h"
#include "ui/protected_share_canvas.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x11_desktop.h"
#include "support/test_artifacts.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/notes_and_vault_clients.h"
#include "ui_x11/qt_x11_child.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_UI_SESSION_CHILD";
constexpr const char* kScreenshotName = "corvane-protected-share-x11-session.png";
constexpr std::uint32_t kNotesColour = testing::NotesAndVaultClients::kNotesColour;
constexpr std::uint32_t kVaultColour = testing::NotesAndVaultClients::kVaultColour;

QRgb rgb(std::uint32_t colour) {
  return 0xFF000000u | colour;
}

TEST(ProtectedShareSessionOnX11, ExcludedApplicationNeverReachesTheSharedWindow) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  testing::NotesAndVaultClients clients(server.name());
  ASSERT_TRUE(clients.ok());

  std::filesystem::remove(corvane::testing::artifactPath(kScreenshotName));
  EXPECT_TRUE(testing::runQtChildOn(server, "ProtectedShareSessionX11Child.*", kChildVariable))
      << "the session on " << server.name() << " failed";
}

using ProtectedShareSessionX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(ProtectedShareSessionX11Child, FilteredCaptureInTheLiveWindow) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string display = std::getenv("DISPLAY");
  auto desktop = platform::x11::openDesktop(display, getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  capture::ProtectedShareEngineServices services;
  services.desktop = desktop.value();
  services.ownBundleIdentifier = "com.pemberquist.corvane";
  services.ownProcessIdentifier = getpid();
  auto engine = capture::ProtectedShareEngine::make(services);

  auto controller = std::make_shared<share_window::testing::RecordingController>();
  controller->surface = engine->outputSurface();
  auto windows =
      std::make_shared<QtWindowSystem>(services.desktop.screens, wiring::makeQtWindowStateHints());
  auto manager = std::make_shared<share_window::ProtectedShareWindowManager>(
      windows, makeProtectedShareContentFactory(wiring::makeXcbImagePresenter()));

  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  auto& window = static_cast<QtWindow&>(*manager->window());
  const WId id = window.hostWidget()->winId();
  auto started = runtime::spawn(engine->start({"PasswordVault"}, false, {}, std::nullopt));
  ASSERT_TRUE(processUntil([&] { return engine->renderedFrame.value().has_value(); }))
      << engine->statusMessage.value();
  // Frames flow into the surface, but until the window is handed the first frame nothing of it
  // is on the X screen.
  processFor(100);
  EXPECT_FALSE(testing::isViewableOnX11(id));

  ASSERT_TRUE(manager->publishLiveFrame(engine->renderedFrame.value()->pixelSize));
  manager->updateProtectionStatus(false, false, false, false, false, false);
  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  ASSERT_TRUE(processUntil([&] {
    return testing::isViewableOnX11(id) && view->canvas()->presentedFrames() > 2 &&
           view->canvas()->lastPresentedRevision() == engine->outputSurface()->revision();
  }));
  processFor(300);

  const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
      QImage::Format_RGB32);
  ASSERT_TRUE(
      shot.save(QString::fromStdString(corvane::testing::artifactPath(kScreenshotName).string())));
  const QRect canvasArea(view->canvas()->mapToGlobal(QPoint(0, 0)), view->canvas()->size());
  const QImage shared = shot.copy(canvasArea);
  // The ordinary application is in the shared window; the excluded one is not, though it is on
  // the real screen beneath.
  EXPECT_GT(testing::countPixelsNear(shared, rgb(kNotesColour), 8), 20000);
  EXPECT_EQ(testing::countPixelsNear(shared, rgb(kVaultColour), 8), 0);
  EXPECT_TRUE(engine->activeCaptureFilter().has_value());

  // Hidden on this screen: still mapped and shared, but below other windows, on every desktop and
  // out of the taskbar and pager, as the window manager records it.
  auto hasState = [&](const char* name) {
    const auto states = testing::netWmStatesOnX11(id);
    return std::find(states.begin(), states.end(), name) != states.end();
  };
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  EXPECT_TRUE(processUntil([&] {
    return hasState("_NET_WM_STATE_BELOW") && testing::desktopOnX11(id) == 0xFFFFFFFFul &&
           hasState("_NET_WM_STATE_SKIP_TASKBAR") && hasState("_NET_WM_STATE_SKIP_PAGER");
  }));
  EXPECT_TRUE(testing::isViewableOnX11(id));
  ASSERT_TRUE(manager->showLiveWindowLocally());
  // Shown again it stays on every desktop, as it is for the whole session.
  EXPECT_TRUE(processUntil([&] {
    return !hasState("_NET_WM_STATE_BELOW") && testing::desktopOnX11(id) == 0xFFFFFFFFul &&
           !hasState("_NET_WM_STATE_SKIP_TASKBAR");
  }));

  auto stopped = runtime::spawn(engine->stop());
  manager->endSession(true);
  ASSERT_TRUE(
      processUntil([&] { return engine->phase.value() == model::ProtectedSharePhase::idle; }));
  EXPECT_FALSE(testing::isViewableOnX11(id));
}

}  // namespace
}  // namespace corvane::ui
