// The controller on the real backends: the X11 desktop and capture, the Qt window system and
// output window, on a private X server. Its session starts, the first filtered frame makes the
// output window viewable, and the stop restores the workspace. The Qt part runs in a child
// process on Qt's xcb platform (this executable, re-run with a filter).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>
#include <string>

#include "ui/protected_share_canvas.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_test_support.h"
#include "ui_x11/controller_on_x11.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/notes_and_vault_clients.h"
#include "ui_x11/qt_x11_child.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_UI_CONTROLLER_SESSION_CHILD";
constexpr std::uint32_t kNotesColour = testing::NotesAndVaultClients::kNotesColour;
constexpr std::uint32_t kVaultColour = testing::NotesAndVaultClients::kVaultColour;

TEST(ControllerSessionOnX11, StartGoesLiveOnTheFirstFilteredFrameAndStopRestores) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  testing::NotesAndVaultClients clients(server.name());
  ASSERT_TRUE(clients.ok());
  EXPECT_TRUE(testing::runQtChildOn(server, "ControllerSessionX11Child.*", kChildVariable))
      << "the session on " << server.name() << " failed";
}

using ControllerSessionX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(ControllerSessionX11Child, StartLiveStop) {
  ASSERT_TRUE(testing::isX11Session());
  auto services = testing::controllerServicesOnX11({{"PasswordVault", "Vault", "", true}});
  ASSERT_TRUE(services.ok()) << services.message();
  auto controller = app::CorvaneController::make(services.value());
  auto& engine = *controller->protectedShareEngine();
  auto& windows = *controller->protectedShareWindowManager();

  controller->toggleDemoMode();
  ASSERT_TRUE(processUntil([&] { return windows.isSessionWindow() && windows.window(); }));
  auto& window = static_cast<QtWindow&>(*windows.window());
  const WId id = window.hostWidget()->winId();
  // Nothing of the output is on the X screen before a filtered frame is published into it.
  if (!engine.renderedFrame.value()) EXPECT_FALSE(testing::isViewableOnX11(id));

  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  ASSERT_TRUE(processUntil(
      [&] {
        return engine.renderedFrame.value().has_value() && testing::isViewableOnX11(id) &&
               view->canvas()->presentedFrames() > 2;
      },
      10))
      << controller->statusMessage();
  EXPECT_TRUE(windows.hasPublishedLiveFrame());
  EXPECT_TRUE(controller->isDemoModeOn());
  EXPECT_FALSE(controller->isProtectedShareStarting());
  EXPECT_TRUE(controller->isProtectedShareHealthy());
  // The excluded application was started last, so it is in front.
  EXPECT_EQ(controller->statusMessage(), "PasswordVault is excluded from Protected Share");
  EXPECT_TRUE(controller->presenterControlBarManager()->panel());

  // The shared window shows the ordinary application and not the excluded one beneath it.
  // (The canvas may take a few turns to paint on a busy machine.)
  auto sharedOnScreen = [&] {
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
    return shot.copy(QRect(view->canvas()->mapToGlobal(QPoint(0, 0)), view->canvas()->size()));
  };
  EXPECT_TRUE(processUntil([&] {
    return testing::countPixelsNear(sharedOnScreen(), 0xFF000000u | kNotesColour, 8) > 1000;
  }));
  EXPECT_EQ(testing::countPixelsNear(sharedOnScreen(), 0xFF000000u | kVaultColour, 8), 0);

  controller->stopDemoMode();
  EXPECT_EQ(controller->statusMessage(), "Stopping Protected Share");
  ASSERT_TRUE(processUntil([&] { return controller->statusMessage() == "Workspace restored"; }));
  EXPECT_FALSE(controller->isProtectedShareStopping());
  EXPECT_EQ(engine.phase.value(), model::ProtectedSharePhase::idle);
  EXPECT_TRUE(processUntil([&] { return !testing::isViewableOnX11(id); }));
  EXPECT_FALSE(controller->presenterControlBarManager()->panel());
  controller.reset();
  processFor(50);
}

}  // namespace
}  // namespace corvane::ui
