// The setup window on a private X server with openbox, opened by a host built the way the
// application's window host builds it: titled "Corvane Setup" at 820 × 500, it takes the
// keyboard, a real click on a checklist row opens the settings window on Excluded Apps, and
// "Finish Later" takes the setup window off the screen. The Qt part runs in a child process on
// Qt's xcb platform (this executable, re-run with a filter).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QPushButton>
#include <cstdlib>
#include <string>

#include "support/test_artifacts.h"
#include "ui/qt_test_support.h"
#include "ui/windows/excluded_apps_section.h"
#include "ui/windows/onboarding_step_row.h"
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
  EXPECT_TRUE(testing::runQtChildOn(server, "SetupWindowX11Child.*", kChildVariable));
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
  host.showSetup();
  ASSERT_TRUE(processUntil([&] { return probe.activeWindow() == setupId; }));
  const QPoint later = centreOf(host.setupView().secondaryButton());
  probe.moveMouse(later.x(), later.y());
  processFor(50);
  probe.button(true);
  probe.button(false);
  ASSERT_TRUE(processUntil([&] { return !testing::isViewableOnX11(setupId); }));
  EXPECT_TRUE(testing::isViewableOnX11(settingsId));
  host.showSetup();
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(setupId); }));
}

}  // namespace
}  // namespace corvane::ui
