// The setup window on a private X server with openbox, opened by a host built the way the
// application's window host builds it: titled "Corvane Setup" at 820 × 500, it takes the
// keyboard, a real click on a checklist row opens the settings window on Excluded Apps, and a
// real click on "Finish Later" takes the setup window off the screen. Without a tray host, the
// tray's watch falls back to the taskbar window and opens the setup window, which then shows the
// fall-back notice. The Qt part runs in a child process on Qt's xcb platform (this executable,
// re-run with a filter).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QLabel>
#include <QPushButton>
#include <cstdlib>
#include <string>

#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_status_item_controller.h"
#include "runtime/virtual_run_loop.h"
#include "support/test_artifacts.h"
#include "ui/menubar/qt_menu_bar_status_item.h"
#include "ui/qt_test_support.h"
#include "ui/windows/excluded_apps_section.h"
#include "ui/windows/onboarding_step_row.h"
#include "ui/windows/setup_notices.h"
#include "ui/windows_test_host.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x11_desktop.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/x_probe.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_UI_SETUP_CHILD";

TEST(SetupWindowOnX11, OpensUnderOpenbox) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  EXPECT_TRUE(testing::runQtChildOn(server, "SetupWindowX11Child.Review*", kChildVariable));
}

TEST(SetupWindowOnX11, OpensFromTheTrayFallBack) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  EXPECT_TRUE(testing::runQtChildOn(server, "SetupWindowX11Child.Tray*", kChildVariable));
}

using SetupWindowX11Child = testing::QtX11ChildTest<&kChildVariable>;

QPoint centreOf(const QWidget* widget) {
  return widget->mapToGlobal(widget->rect().center());
}

TEST_F(SetupWindowX11Child, ReviewOpensTheSettingsWindowAndFinishLaterClosesSetup) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string display = std::getenv("DISPLAY");
  testing::XProbe probe(display);
  auto desktop = platform::x11::openDesktop(display, getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  auto controller = std::make_shared<corvane::testing::WindowsControllerDouble>();
  testing::WindowsTestHost host(
      std::make_shared<QtWindowSystem>(desktop.value().screens, wiring::makeQtWindowStateHints()),
      controller);

  host.showSetup();
  QWidget* setup = host.host(host.setupWindow());
  const WId setupId = setup->winId();
  ASSERT_TRUE(processUntil(
      [&] { return testing::isViewableOnX11(setupId) && probe.activeWindow() == setupId; }));
  EXPECT_EQ(probe.windowName(setupId), "Corvane Setup");
  EXPECT_EQ(setup->size(), QSize(820, 500));
  processFor(100);
  setup->grab().save(
      QString::fromStdString(corvane::testing::artifactPath("setup-window-x11.png").string()));
  EXPECT_EQ(host.setupView().primaryButton()->text(), "Review Excluded Apps");

  // A real click on the Excluded Apps row's button.
  const QPoint review = centreOf(host.setupView().excludedAppsRow()->actionButton());
  probe.moveMouse(review.x(), review.y());
  processFor(50);
  probe.button(true);
  probe.button(false);
  ASSERT_TRUE(processUntil([&] { return host.settingsWindow() != nullptr; }));
  const WId settingsId = host.host(host.settingsWindow())->winId();
  ASSERT_TRUE(processUntil([&] {
    return testing::isViewableOnX11(settingsId) &&
           host.settingsView().shownSection() == model::SettingsSection::protectedApps;
  }));
  EXPECT_EQ(probe.windowName(settingsId), "Corvane Settings");
  EXPECT_TRUE(host.defaults->boolValue("onboardingReviewedExcludedApps"));
  EXPECT_EQ(static_cast<ExcludedAppsSection*>(host.settingsView().sectionView())->rows().size(),
            6u);

  // Finish Later only closes the setup window; it comes back on the next show.
  // The settings window, which covers part of it, is ordered out first.
  host.settingsWindow()->orderOut();
  ASSERT_TRUE(processUntil([&] { return !testing::isViewableOnX11(settingsId); }));
  processFor(50);
  const QPoint later = centreOf(host.setupView().secondaryButton());
  probe.moveMouse(later.x(), later.y());
  processFor(50);
  probe.button(true);
  probe.button(false);
  ASSERT_TRUE(processUntil([&] { return !testing::isViewableOnX11(setupId); }));
  host.showSetup();
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(setupId); }));
}

// The controller as the tray sees it, over the windows' stand-in: the watch's verdict reaches the
// setup window through it.
class TrayController final : public menubar::MenuBarController {
 public:
  explicit TrayController(std::shared_ptr<corvane::testing::WindowsControllerDouble> windows)
      : windows_(std::move(windows)) {}

  menubar::MenuBarPopoverInput menuBarPopoverInput() const override { return {}; }
  bool isDemoModeOn() const override { return windows_->demoModeOn; }
  runtime::Subscription observeChanges(std::function<void()> observer) override {
    return static_cast<windows::SetupWindowController&>(*windows_).observeChanges(
        std::move(observer));
  }
  model::MenuBarAccessState menuBarAccessState() const override { return windows_->accessState; }
  void setMenuBarAccessState(model::MenuBarAccessState state) override {
    windows_->accessState = state;
    windows_->changed();
  }
  void toggleDemoMode() override {}
  void stopDemoMode() override {}
  void openProtectedShareWindow() override {}
  void showProtectedShareLiveWindow() override {}
  void requestHideProtectedShareWindowLocally() override {}
  void requestScreenRecordingPermission() override {}
  void restartCorvane() override {}
  void retrySourceContextTransition() override {}

 private:
  std::shared_ptr<corvane::testing::WindowsControllerDouble> windows_;
};

TEST_F(SetupWindowX11Child, TrayFallBackOpensTheSetupWindowWithItsNotice) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string display = std::getenv("DISPLAY");
  testing::XProbe probe(display);
  auto desktop = platform::x11::openDesktop(display, getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  // No tray host runs here: the watch's first pass falls back (on the virtual clock).
  runtime::VirtualRunLoop loop;
  auto controller = std::make_shared<corvane::testing::WindowsControllerDouble>();
  controller->accessState = model::MenuBarAccessState::checking;
  auto windowSystem =
      std::make_shared<QtWindowSystem>(desktop.value().screens, wiring::makeQtWindowStateHints());
  testing::WindowsTestHost host(windowSystem, controller);
  auto item = std::make_shared<QtMenuBarStatusItem>();
  auto tray = std::make_shared<menubar::MenuBarStatusItemController>(
      std::make_shared<TrayController>(controller), item, windowSystem, model::PreferencesSource{},
      [&host] { host.showSetup(); });
  tray->start([&host] { host.showSettings(); });
  for (int pass = 0;
       pass < menubar::MenuBarStatusItemController::failuresBeforeReadyLimit && !host.setupWindow();
       ++pass) {
    loop.advance(menubar::MenuBarStatusItemController::intervalBeforeReady);
    processFor(1);
  }
  ASSERT_TRUE(host.setupWindow()) << "the fall-back did not open the setup window";
  ASSERT_NE(item->taskbarWindow(), nullptr);
  const WId setupId = host.host(host.setupWindow())->winId();
  ASSERT_TRUE(processUntil([&] {
    loop.runUntilIdle();
    return testing::isViewableOnX11(setupId) &&
           testing::isViewableOnX11(item->taskbarWindow()->winId()) &&
           host.setupView().fallbackNotice()->isVisible();
  }));
  EXPECT_EQ(probe.windowName(setupId), "Corvane Setup");
  EXPECT_EQ(controller->accessState, model::MenuBarAccessState::noSystemTray);
  EXPECT_TRUE(host.setupView().headerSubtitleLabel()->text().startsWith(
      "Corvane is running from the taskbar."));
  // The notice says there is no tray, not that a tray is full.
  EXPECT_EQ(host.setupView().fallbackNotice()->headingLabel()->text(),
            "This desktop has no system tray");
  EXPECT_TRUE(
      host.setupView().fallbackNotice()->explanationLabel()->text().contains("add a system tray"));
  host.host(host.setupWindow())
      ->grab()
      .save(QString::fromStdString(
          corvane::testing::artifactPath("setup-window-x11-tray-fallback.png").string()));
  tray.reset();
}

}  // namespace
}  // namespace corvane::ui
