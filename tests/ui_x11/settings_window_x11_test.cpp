// The settings window on a private X server with openbox and trayer as the tray host: a real
// click on the tray icon opens the popover, a click on its Settings tile opens the settings
// window (built the way the application's window host builds it), a real click on each sidebar
// row shows that section's panels, and the section the sidebar does not list shows when chosen
// by code. The Qt part runs in a child process on Qt's xcb platform (this executable, re-run
// with a filter).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "menubar/menu_bar_status_item_controller.h"
#include "menubar/menu_bar_test_support.h"
#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/menubar/menu_bar_popover_view.h"
#include "ui/menubar/qt_menu_bar_status_item.h"
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
#include "ui_x11/tray_host.h"
#include "ui_x11/x_probe.h"

namespace corvane::ui {
namespace {

using model::SettingsSection;

constexpr const char* const kChildVariable = "CORVANE_UI_SETTINGS_CHILD";

TEST(SettingsWindowOnX11, OpenedFromThePopoverShowsEachSection) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  pid_t trayer = testing::startTrayHost(server);
  ASSERT_GT(trayer, 0) << "trayer did not start";
  EXPECT_TRUE(testing::runQtChildOn(server, "SettingsWindowX11Child.*", kChildVariable));
  corvane::testing::endProcess(trayer);
}

using SettingsWindowX11Child = testing::QtX11ChildTest<&kChildVariable>;

template <class Section>
bool shows(SettingsRootView& view) {
  return dynamic_cast<Section*>(view.sectionView()) != nullptr && view.sectionView()->isVisible();
}

void click(testing::XProbe& probe, const QWidget* widget) {
  const QPoint centre = widget->mapToGlobal(widget->rect().center());
  probe.moveMouse(centre.x(), centre.y());
  QApplication::processEvents();
  probe.button(true);
  probe.button(false);
}

TEST_F(SettingsWindowX11Child, PopoverSettingsThenEverySidebarRow) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string display = std::getenv("DISPLAY");
  testing::XProbe probe(display);
  auto desktop = platform::x11::openDesktop(display, getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  auto windowSystem =
      std::make_shared<QtWindowSystem>(desktop.value().screens, wiring::makeQtWindowStateHints());
  auto controller = std::make_shared<corvane::testing::WindowsControllerDouble>();
  controller->health = {
      {model::Uuid::random(), "Diagnostics", "Metadata only.", model::HealthState::pass}};
  testing::WindowsTestHost host(windowSystem, controller);

  // The tray icon, its popover and the popover's Settings tile.
  auto item = std::make_shared<QtMenuBarStatusItem>();
  auto tray = std::make_shared<menubar::MenuBarStatusItemController>(
      std::make_shared<menubar::testing::FakeMenuBarController>(), item, windowSystem,
      model::PreferencesSource{}, [] {});
  tray->start([&host] { host.showSettings(); });
  std::optional<platform::Rect> icon;
  ASSERT_TRUE(processUntil([&] {
    const auto before = item->geometry();
    processFor(150);
    icon = item->geometry();
    return item->isIconInTray() && icon && icon == before;
  }));
  probe.moveMouse(int(icon->minX() + icon->width() / 2), int(icon->minY() + icon->height() / 2));
  processFor(50);
  probe.button(true);
  probe.button(false);
  ASSERT_TRUE(processUntil([&] { return item->isPopoverShown(); }));
  auto* popover = item->popover()->findChild<MenuBarPopoverView*>();
  ASSERT_NE(popover, nullptr);
  ASSERT_TRUE(processUntil([&] { return popover->settingsTile()->isVisible(); }));
  processFor(50);
  click(probe, popover->settingsTile());
  ASSERT_TRUE(processUntil([&] { return host.settingsWindow() != nullptr; }));
  QWidget* window = host.host(host.settingsWindow());
  const WId id = window->winId();
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(id); }));
  EXPECT_EQ(probe.windowName(id), "Corvane Settings");
  SettingsRootView& view = host.settingsView();
  ASSERT_TRUE(processUntil([&] { return shows<GeneralSection>(view); }));
  processFor(50);

  const std::pair<std::size_t, std::function<bool()>> rows[] = {
      {1, [&] { return shows<ExcludedAppsSection>(view); }},
      {2, [&] { return shows<AlertsSection>(view); }},
      {3, [&] { return shows<AdvancedSection>(view); }},
      {4, [&] { return shows<AboutSection>(view); }},
      {0, [&] { return shows<GeneralSection>(view); }},
  };
  for (const auto& [row, shown] : rows) {
    SidebarItem* sidebarItem = view.sidebarItems()[row];
    click(probe, sidebarItem);
    ASSERT_TRUE(processUntil(shown)) << "sidebar row " << row;
    EXPECT_TRUE(sidebarItem->isSelected());
    processFor(50);
    window->grab().save(QString::fromStdString(
        corvane::testing::artifactPath("settings-x11-" + std::to_string(row) + ".png").string()));
  }

  controller->setSelectedSettingsSection(SettingsSection::sensitiveText);
  ASSERT_TRUE(processUntil([&] { return shows<SensitiveTextSection>(view); }));
  for (auto* sidebarItem : view.sidebarItems()) EXPECT_FALSE(sidebarItem->isSelected());
  tray.reset();
}

}  // namespace
}  // namespace corvane::ui
