// The tray icon on a private X server: with trayer as the tray host the icon is embedded, the
// watch finds it ready, a click opens the popover beneath it and a second click closes it for
// good; a tray whose panel slides off screen does not count as losing the icon; with no tray
// host the watch falls back at once to the taskbar window, shown with the setup window. The Qt part
// runs in a child process on Qt's xcb platform (this executable, re-run with a filter).
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <string>

#include "menubar/menu_bar_status_item_controller.h"
#include "menubar/menu_bar_test_support.h"
#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"
#include "ui/menubar/qt_menu_bar_status_item.h"
#include "ui/qt_test_support.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include <X11/extensions/XTest.h>

#include "platform/x11/x_properties.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/tray_host.h"

namespace corvane::ui {
namespace {

using menubar::MenuBarStatusItemController;
using model::MenuBarAccessState;

constexpr const char* const kChildVariable = "CORVANE_UI_TRAY_CHILD";
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

TEST(MenuBarOnX11, TheIconIsEmbeddedInATrayAndTogglesThePopover) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  pid_t trayer = testing::startTrayHost(server);
  ASSERT_GT(trayer, 0) << "trayer did not start";
  EXPECT_TRUE(testing::runQtChildOn(server, "MenuBarX11Child.WithTrayHost", kChildVariable));
  corvane::testing::endProcess(trayer);
}

TEST(MenuBarOnX11, ATrayPanelThatHidesItselfKeepsTheIcon) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  pid_t trayer = testing::startTrayHost(server);
  ASSERT_GT(trayer, 0) << "trayer did not start";
  EXPECT_TRUE(
      testing::runQtChildOn(server, "MenuBarX11Child.WithAutoHidingTrayHost", kChildVariable));
  corvane::testing::endProcess(trayer);
}

TEST(MenuBarOnX11, WithoutATrayHostTheTaskbarWindowShowsWithSetup) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  EXPECT_TRUE(testing::runQtChildOn(server, "MenuBarX11Child.WithoutTrayHost", kChildVariable));
}

class MenuBarX11Child : public testing::QtX11ChildTest<&kChildVariable> {
 protected:
  std::shared_ptr<menubar::testing::FakeMenuBarController> app =
      std::make_shared<menubar::testing::FakeMenuBarController>();
  std::shared_ptr<platform::sim::SimWindowSystem> windows =
      std::make_shared<platform::sim::SimWindowSystem>(
          std::vector<platform::Screen>{{1,
                                         "screen",
                                         {{0, 0}, {kScreenWidth, kScreenHeight}},
                                         {{0, 0}, {kScreenWidth, kScreenHeight}},
                                         1,
                                         true}});
  std::unique_ptr<QWidget> setupWindow;

  std::shared_ptr<MenuBarStatusItemController> makeController(
      const std::shared_ptr<QtMenuBarStatusItem>& item) {
    auto controller = std::make_shared<MenuBarStatusItemController>(
        app, item, windows, model::PreferencesSource{}, [this] {
          // The setup window stands in for the real one: an ordinary window of that title.
          setupWindow = std::make_unique<QWidget>();
          setupWindow->setWindowTitle(QStringLiteral("Corvane Setup"));
          setupWindow->resize(420, 300);
          setupWindow->show();
        });
    controller->start([] {});
    return controller;
  }

  static void click(QPoint at) {
    Display* display = wiring::qtX11Display();
    XTestFakeMotionEvent(display, -1, at.x(), at.y(), CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
  }
};

TEST_F(MenuBarX11Child, WithTrayHost) {
  auto item = std::make_shared<QtMenuBarStatusItem>();
  auto controller = makeController(item);
  ASSERT_TRUE(processUntil([&] { return app->accessState == MenuBarAccessState::available; }));
  EXPECT_TRUE(item->isTrayAvailable());
  EXPECT_TRUE(item->isIconInTray());
  EXPECT_TRUE(controller->currentInstallationState().isReady());
  // trayer grows and moves its panel as it takes the icon: wait until the icon stays put.
  std::optional<platform::Rect> geometry;
  ASSERT_TRUE(processUntil([&] {
    const auto before = item->geometry();
    processFor(150);
    geometry = item->geometry();
    return geometry == before;
  }));
  ASSERT_TRUE(geometry);
  // trayer sits at the top right.
  EXPECT_GT(geometry->minX(), kScreenWidth / 2);
  EXPECT_LT(geometry->maxY(), 40);
  const QPoint icon(int(geometry->minX() + geometry->width() / 2),
                    int(geometry->minY() + geometry->height() / 2));

  click(icon);
  ASSERT_TRUE(processUntil([&] { return item->isPopoverShown(); }));
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(item->popover()->winId()); }));
  // Beneath the icon, inside the screen.
  const QRect popover = item->popover()->frameGeometry();
  EXPECT_GE(popover.top(), int(geometry->maxY()));
  EXPECT_LE(popover.right(), kScreenWidth - 1);

  // The second click closes it, and the same click does not open it again.
  click(icon);
  ASSERT_TRUE(processUntil([&] { return !item->isPopoverShown(); }));
  processFor(int(MenuBarStatusItemController::closingClickInterval * 1000) + 100);
  EXPECT_FALSE(item->isPopoverShown());
  EXPECT_EQ(item->taskbarWindow(), nullptr);
  // A later click opens it again.
  click(icon);
  EXPECT_TRUE(processUntil([&] { return item->isPopoverShown(); }));
  item->closePopover();
}

// The panel slides away as an auto-hiding one does: the icon goes off screen with it, which is
// not a lost icon, however many passes it lasts.
TEST_F(MenuBarX11Child, WithAutoHidingTrayHost) {
  runtime::VirtualRunLoop loop;
  auto item = std::make_shared<QtMenuBarStatusItem>(wiring::trayPanelHiddenProbe());
  auto controller = makeController(item);
  auto onScreen = [&] {
    const auto icon = item->geometry();
    return icon && !icon->isEmpty() && icon->minY() >= 0 && icon->maxY() <= kScreenHeight;
  };
  // Embedded and settled in real time before the first pass, so no pass fails meanwhile.
  ASSERT_TRUE(processUntil([&] { return item->isIconInTray() && onScreen(); }));
  loop.advance(MenuBarStatusItemController::intervalBeforeReady);
  ASSERT_EQ(app->accessState, MenuBarAccessState::available);
  EXPECT_FALSE(item->isTrayHidden());

  Display* display = wiring::qtX11Display();
  ASSERT_NE(item->embeddedIconWindow(), nullptr);
  const auto icon = static_cast<Window>(item->embeddedIconWindow()->winId());
  const Window panel = platform::x11::topLevelWindow(display, icon);
  ASSERT_NE(panel, 0u);
  ASSERT_NE(panel, icon);
  XWindowAttributes shown{};
  ASSERT_TRUE(XGetWindowAttributes(display, panel, &shown));
  XMoveWindow(display, panel, shown.x, -shown.height - 200);
  XSync(display, False);
  ASSERT_TRUE(processUntil([&] { return !onScreen(); }));
  EXPECT_TRUE(item->isTrayHidden());
  for (int pass = 0; pass < 3 * MenuBarStatusItemController::failuresAfterReadyLimit; ++pass) {
    loop.advance(MenuBarStatusItemController::intervalAfterReady);
    QApplication::processEvents();
  }
  EXPECT_EQ(app->accessState, MenuBarAccessState::available);
  EXPECT_EQ(item->taskbarWindow(), nullptr);
  EXPECT_EQ(setupWindow, nullptr);
  EXPECT_TRUE(controller->isWatchRunning());

  // Back in view: still there, and the watch still on duty.
  XMoveWindow(display, panel, shown.x, shown.y);
  XSync(display, False);
  ASSERT_TRUE(processUntil([&] { return onScreen(); }));
  loop.advance(MenuBarStatusItemController::intervalAfterReady);
  EXPECT_FALSE(item->isTrayHidden());
  EXPECT_EQ(app->accessState, MenuBarAccessState::available);
  EXPECT_TRUE(controller->isWatchRunning());
  controller.reset();
}

TEST_F(MenuBarX11Child, WithoutTrayHost) {
  // No tray host at all: the first pass falls back, without waiting out the passes.
  runtime::VirtualRunLoop loop;
  auto item = std::make_shared<QtMenuBarStatusItem>(wiring::trayPanelHiddenProbe());
  auto controller = makeController(item);
  loop.runUntilIdle();
  EXPECT_FALSE(item->isTrayAvailable());
  EXPECT_FALSE(item->isTrayHidden());
  ASSERT_NE(item->taskbarWindow(), nullptr);
  ASSERT_NE(setupWindow, nullptr);
  EXPECT_EQ(app->accessState, MenuBarAccessState::noSystemTray);
  EXPECT_FALSE(controller->isWatchRunning());
  EXPECT_EQ(item->taskbarWindow()->windowTitle(), QStringLiteral("Corvane"));
  EXPECT_TRUE(processUntil([&] {
    return testing::isViewableOnX11(item->taskbarWindow()->winId()) &&
           testing::isViewableOnX11(setupWindow->winId());
  }));
  controller.reset();
}

}  // namespace
}  // namespace corvane::ui
