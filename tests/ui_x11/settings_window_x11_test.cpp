// The settings window on a private X server with openbox, opened by a host built the way the
// application's window host builds it: a real click on each sidebar row shows that section's
// panels, and the section the sidebar does not list shows when chosen by code. The Qt part runs
// in a child process on Qt's xcb platform (this executable, re-run with a filter).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/qt_test_support.h"
#include "ui/windows/advanced_section.h"
#include "ui/windows/alerts_about_sections.h"
#include "ui/windows/excluded_apps_section.h"
#include "ui/windows/general_section.h"
#include "ui/windows/sensitive_text_section.h"
#include "ui/windows_test_host.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x11_desktop.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/x_probe.h"

namespace corvane::ui {
namespace {

using model::SettingsSection;

constexpr const char* const kChildVariable = "CORVANE_UI_SETTINGS_CHILD";

TEST(SettingsWindowOnX11, ShowsEachSectionUnderOpenbox) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  EXPECT_TRUE(testing::runQtChildOn(server, "SettingsWindowX11Child.*", kChildVariable));
}

using SettingsWindowX11Child = testing::QtX11ChildTest<&kChildVariable>;

template <class Section>
bool shows(SettingsRootView& view) {
  return dynamic_cast<Section*>(view.sectionView()) != nullptr && view.sectionView()->isVisible();
}

TEST_F(SettingsWindowX11Child, SidebarClicksShowEverySection) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string display = std::getenv("DISPLAY");
  testing::XProbe probe(display);
  auto desktop = platform::x11::openDesktop(display, getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  auto controller = std::make_shared<corvane::testing::WindowsControllerDouble>();
  controller->health = {
      {model::Uuid::random(), "Diagnostics", "Metadata only.", model::HealthState::pass}};
  testing::WindowsTestHost host(
      std::make_shared<QtWindowSystem>(desktop.value().screens, wiring::makeQtWindowStateHints()),
      controller);

  host.showSettings();
  QWidget* window = host.host(host.settingsWindow());
  const WId id = window->winId();
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(id); }));
  EXPECT_EQ(probe.windowName(id), "Corvane Settings");
  SettingsRootView& view = host.settingsView();
  ASSERT_TRUE(processUntil([&] { return shows<GeneralSection>(view); }));

  const std::pair<std::size_t, std::function<bool()>> clicks[] = {
      {1, [&] { return shows<ExcludedAppsSection>(view); }},
      {2, [&] { return shows<AlertsSection>(view); }},
      {3, [&] { return shows<AdvancedSection>(view); }},
      {4, [&] { return shows<AboutSection>(view); }},
      {0, [&] { return shows<GeneralSection>(view); }},
  };
  for (const auto& [row, shown] : clicks) {
    SidebarItem* item = view.sidebarItems()[row];
    const QPoint centre = item->mapToGlobal(item->rect().center());
    probe.moveMouse(centre.x(), centre.y());
    processFor(50);
    probe.button(true);
    probe.button(false);
    ASSERT_TRUE(processUntil(shown)) << "sidebar row " << row;
    EXPECT_TRUE(item->isSelected());
    processFor(50);
    window->grab().save(QString::fromStdString(
        corvane::testing::artifactPath("settings-x11-" + std::to_string(row) + ".png").string()));
  }

  controller->setSelectedSettingsSection(SettingsSection::sensitiveText);
  ASSERT_TRUE(processUntil([&] { return shows<SensitiveTextSection>(view); }));
  for (auto* item : view.sidebarItems()) EXPECT_FALSE(item->isSelected());
}

}  // namespace
}  // namespace corvane::ui
