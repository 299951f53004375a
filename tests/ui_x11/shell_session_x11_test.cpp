// The whole application, as a user drives it, on a private X server with openbox and a tray
// host: the tray icon is embedded, a click opens the popover, its primary control starts a
// session, the output window appears only with its first filtered frame and shows the ordinary
// application but not the excluded one, the presenter bar's Stop ends the session and the event
// log tells the story in order. The application runs in a child process (this executable,
// re-run with a filter) built by the composition root itself.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/app_delegate.h"
#include "app/corvane_controller.h"
#include "main/corvane_application.h"
#include "model/diagnostic_reporter.h"
#include "ui/menubar/menu_bar_popover_view.h"
#include "ui/menubar/presenter_control_bar_view.h"
#include "ui/menubar/qt_menu_bar_status_item.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include <X11/extensions/XTest.h>

#include "support/temporary_folder.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/notes_and_vault_clients.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/tray_host.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_SHELL_SESSION_CHILD";
constexpr const char* kVaultEntryID = "org.corvane.test.PasswordVault";
constexpr std::uint32_t kNotesColour = testing::NotesAndVaultClients::kNotesColour;
constexpr std::uint32_t kVaultColour = testing::NotesAndVaultClients::kVaultColour;
const QRgb kStopRed = qRgb(235, 46, 46);

TEST(ShellSessionOnX11, FromTrayClickToWorkspaceRestored) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  const pid_t trayer = testing::startTrayHost(server);
  ASSERT_GT(trayer, 0);

  // Corvane's folders: setup done; the excluded application is known by its desktop entry.
  corvane::testing::TemporaryFolder home("corvane-shell-session");
  std::filesystem::create_directories(home.path() / "config/corvane/defaults");
  std::filesystem::create_directories(home.path() / "data/applications");
  std::ofstream(home.path() / "config/corvane/defaults/com.pemberquist.corvane.json")
      << R"({"setupCompletionVersion": 1})";
  std::ofstream(home.path() / "data/applications" / (std::string(kVaultEntryID) + ".desktop"))
      << "[Desktop Entry]\nType=Application\nName=Password Vault\nExec=vault\nStartupWMClass="
      << testing::NotesAndVaultClients::kVaultClass << "\n";
  testing::NotesAndVaultClients clients(server.name());
  ASSERT_TRUE(clients.ok());

  EXPECT_TRUE(testing::runQtChildOn(server, "ShellSessionX11Child.*", kChildVariable,
                                    {"XDG_CONFIG_HOME=" + (home.path() / "config").string(),
                                     "XDG_DATA_HOME=" + (home.path() / "data").string(),
                                     "XDG_CACHE_HOME=" + (home.path() / "cache").string()}));
  pid_t host = trayer;
  corvane::testing::endProcess(host);
}

class ShellSessionX11Child : public testing::QtX11ChildTest<&kChildVariable> {
 protected:
  static void click(QPoint at) {
    Display* display = wiring::qtX11Display();
    XTestFakeMotionEvent(display, -1, at.x(), at.y(), CurrentTime);
    XFlush(display);
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
  }
  static QPoint centreOf(const QWidget* widget) {
    return widget->mapToGlobal(widget->rect().center());
  }
  static std::vector<std::string> eventNames() {
    model::DiagnosticReporter::shared().flush();
    std::vector<std::string> names;
    for (const auto& event : model::DiagnosticReporter::shared().readEvents().events) {
      names.push_back(event.event);
    }
    return names;
  }
};

TEST_F(ShellSessionX11Child, Session) {
  auto opened =
      wiring::CorvaneApplication::open(std::filesystem::path(CORVANE_BUNDLE_ROOT),
                                       platform::WellKnownFolders::fromEnvironment(), {"corvane"});
  ASSERT_TRUE(opened.ok()) << opened.message();
  auto application = std::move(opened).value();
  const auto controller = application->delegate()->controller();
  const auto& engine = *controller->protectedShareEngine();
  controller->setProtectedApps({{kVaultEntryID, "Password Vault", "lock.fill", true}});
  application->finishLaunching();

  // The icon is embedded in the tray; trayer moves it while it grows, so wait until it stays.
  const auto icon = application->trayIcon();
  ASSERT_TRUE(processUntil(
      [&] { return controller->menuBarAccessState() == model::MenuBarAccessState::available; },
      10));
  std::optional<platform::Rect> geometry;
  ASSERT_TRUE(processUntil([&] {
    const auto before = icon->geometry();
    processFor(150);
    geometry = icon->geometry();
    return geometry && geometry == before;
  }));
  click(QPoint(int(geometry->minX() + geometry->width() / 2),
               int(geometry->minY() + geometry->height() / 2)));
  ASSERT_TRUE(processUntil([&] {
    return icon->isPopoverShown() && testing::isViewableOnX11(icon->popover()->winId());
  }));
  auto* primary = icon->popoverView()->primaryButton();
  EXPECT_EQ(primary->text().toStdString(), "Start Protected Share");

  std::vector<std::string> statuses;
  auto statusWatch = controller->observeChanges([&] {
    if (statuses.empty() || statuses.back() != controller->statusMessage()) {
      statuses.push_back(controller->statusMessage());
    }
  });
  click(centreOf(primary));
  ASSERT_TRUE(processUntil([&] { return controller->isDemoModeOn(); }));

  // Until the first filtered frame the output window is not viewable; then, within 10 s, it is.
  bool viewableBeforeFirstFrame = false;
  WId output = 0;
  ASSERT_TRUE(processUntil(
      [&] {
        const auto window = controller->protectedShareWindowManager()->window();
        if (!window) return false;
        output = static_cast<QtWindow&>(*window).hostWidget()->winId();
        const bool viewable = testing::isViewableOnX11(output);
        if (viewable && !engine.renderedFrame.value()) viewableBeforeFirstFrame = true;
        return viewable;
      },
      10))
      << controller->statusMessage();
  EXPECT_FALSE(viewableBeforeFirstFrame);

  // The presenter bar is on the screen.
  ASSERT_TRUE(
      processUntil([&] { return controller->presenterControlBarManager()->panel() != nullptr; }));
  const auto bar = controller->presenterControlBarManager()->panel();
  const WId barId = static_cast<QtWindow&>(*bar).hostWidget()->winId();
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(barId); }));
  processFor(500);

  // What the window draws (its surface's latest frame) holds the ordinary application and
  // nothing of the excluded one, whose place shows what lies beneath; the bar is on the screen
  // but not in the output.
  const auto snapshot = engine.outputSurface()->snapshot();
  ASSERT_TRUE(snapshot && snapshot->image);
  const auto& image = *snapshot->image;
  const QImage shared(image.data(), image.width(), image.height(), image.bytesPerRow(),
                      QImage::Format_RGB32);
  const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
      QImage::Format_RGB32);
  EXPECT_GT(testing::countPixelsNear(shared, 0xFF000000u | kNotesColour, 8), 100000);
  EXPECT_EQ(testing::countPixelsNear(shared, 0xFF000000u | kVaultColour, 8), 0);
  EXPECT_GT(testing::countPixelsNear(screen, kStopRed, 30), 100);
  EXPECT_EQ(testing::countPixelsNear(shared, kStopRed, 30), 0);

  // Stop on the bar.
  auto* barView = static_cast<PresenterControlBarView*>(
      std::dynamic_pointer_cast<QtContentView>(bar->contentView())->widget());
  click(centreOf(barView->primaryButton()));
  // The watch hears of a change on the turn after it: wait until it has recorded the last one.
  ASSERT_TRUE(processUntil(
      [&] {
        return std::find(statuses.begin(), statuses.end(), "Workspace restored") != statuses.end();
      },
      10))
      << controller->statusMessage();
  const auto stopping = std::find(statuses.begin(), statuses.end(), "Stopping Protected Share");
  EXPECT_NE(stopping, statuses.end());
  EXPECT_NE(std::find(stopping, statuses.end(), "Workspace restored"), statuses.end());
  EXPECT_FALSE(testing::isViewableOnX11(output));
  EXPECT_FALSE(controller->presenterControlBarManager()->panel());
  EXPECT_FALSE(testing::isViewableOnX11(barId));

  const auto names = eventNames();
  const auto started = std::find(names.begin(), names.end(), "demo_mode_started");
  const auto firstFrame = std::find(started, names.end(), "protected_share_first_frame_published");
  const auto stopped = std::find(firstFrame, names.end(), "demo_mode_stopped");
  EXPECT_NE(stopped, names.end()) << "start, first frame and stop are not in the log in order";

  application->terminate();
  application.reset();
}

}  // namespace
}  // namespace corvane::ui
