#include <gtest/gtest.h>

#include <QWindow>

#include "qt_test_support.h"
#include "ui/qt_window_system.h"

namespace corvane::ui {
namespace {

using platform::Rect;
using platform::SharingType;
using platform::WindowLevel;
using platform::WindowStyle;

class QtWindowSystemTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  std::shared_ptr<platform::sim::SimDesktop> desktop = testing::offscreenDesktop();
  QtWindowSystem windows{desktop, nullptr};
};

// Windows are placed by the desktop's display numbers, the ones capture uses.
TEST_F(QtWindowSystemTest, ListsTheDesktopsScreensByTheirNumbers) {
  ASSERT_TRUE(desktop->addDisplay(
      platform::sim::SimDesktop::makeDisplay(0x5EED, Rect{{800, 0}, {640, 480}})));
  const auto screens = windows.screens();
  ASSERT_EQ(screens.size(), 2u);
  EXPECT_EQ(windows.mainScreen()->displayID, 1u);
  EXPECT_EQ(windows.screen(0x5EED)->frame, (Rect{{800, 0}, {640, 480}}));
}

TEST_F(QtWindowSystemTest, WindowThatMapsOnlyWhenSharedStaysUnmappedUntilShared) {
  auto window = windows.makeWindow(Rect{{20, 30}, {400, 300}}, WindowStyle::borderless);
  auto& qt = static_cast<QtWindow&>(*window);
  EXPECT_EQ(window->windowNumber(), 0u);
  window->setMapsOnlyWhenShared(true);
  window->setSharingType(SharingType::none);
  window->orderFrontRegardless();
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isMapped());
  EXPECT_FALSE(qt.hostWidget()->isVisible());
  const auto number = window->windowNumber();
  EXPECT_NE(number, 0u);

  // Level and mouse changes keep the same native window.
  window->setLevel(WindowLevel::floating);
  window->setIgnoresMouseEvents(true);
  EXPECT_TRUE(qt.hostWidget()->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(qt.hostWidget()->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
  EXPECT_TRUE(qt.hostWidget()->windowHandle()->flags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(window->windowNumber(), number);

  window->setSharingType(SharingType::readOnly);
  EXPECT_TRUE(window->isMapped());
  EXPECT_TRUE(qt.hostWidget()->isVisible());
  window->setLevel(WindowLevel::belowDesktop);
  EXPECT_TRUE(qt.hostWidget()->windowHandle()->flags().testFlag(Qt::WindowStaysOnBottomHint));
  EXPECT_FALSE(qt.hostWidget()->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(window->windowNumber(), number);

  window->setSharingType(SharingType::none);
  EXPECT_FALSE(window->isMapped());
  EXPECT_TRUE(window->isVisible());
  window->orderOut();
  EXPECT_FALSE(window->isVisible());
  window->close();
  EXPECT_EQ(window->windowNumber(), 0u);
  EXPECT_EQ(qt.hostWidget(), nullptr);
}

TEST_F(QtWindowSystemTest, FrameTitleMinimumSizeAndOrderingPolicy) {
  auto window = windows.makeWindow(Rect{{10, 10}, {300, 200}}, WindowStyle::titled);
  window->setTitle("Corvane Protected Share");
  window->setMinSize({200, 150});
  window->setFrame(Rect{{40, 50}, {100, 100}});
  EXPECT_EQ(window->title(), "Corvane Protected Share");
  EXPECT_EQ(window->frame(), (Rect{{40, 50}, {200, 150}}));
  window->setCanBeOrderedFront(false);
  window->orderFront();
  window->makeKeyAndOrderFront();
  EXPECT_FALSE(window->isVisible());
  window->orderFrontRegardless();
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isMapped());
}

TEST_F(QtWindowSystemTest, UserCloseOnlyOrdersTheWindowOut) {
  auto window = windows.makeWindow(Rect{{10, 10}, {300, 200}}, WindowStyle::titled);
  window->orderFrontRegardless();
  const auto number = window->windowNumber();
  static_cast<QtWindow&>(*window).hostWidget()->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->windowNumber(), number);
}

}  // namespace
}  // namespace corvane::ui
