#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <QLabel>
#include <QLocale>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>

#include "menubar/menu_bar_test_support.h"
#include "qt_test_support.h"
#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/menubar/menu_bar_popover_view.h"
#include "ui/menubar/qt_menu_bar_status_item.h"

namespace corvane::ui {
namespace {

using menubar::MenuBarPopoverActions;
using menubar::MenuBarPopoverInput;

const QRgb kGreen = qRgb(23, 158, 64);
const QRgb kRed = qRgb(235, 46, 46);
const QRgb kAmber = qRgb(242, 191, 31);

MenuBarPopoverInput idle() {
  MenuBarPopoverInput input;
  input.isStartupInitializationComplete = true;
  input.isInitialSetupComplete = true;
  input.screenRecordingPermissionGranted = true;
  input.enabledProtectedAppsCount = 3;
  input.statusMessage = "Ready to protect your next demo";
  return input;
}

MenuBarPopoverInput live() {
  auto input = idle();
  input.isDemoModeOn = true;
  input.isProtectedShareHealthy = true;
  input.canHideProtectedShareWindowLocally = true;
  input.hiddenAppsCount = 3;
  input.statusMessage = "Protected Share is live";
  return input;
}

class MenuBarPopoverViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  std::shared_ptr<menubar::testing::FakeMenuBarController> controller =
      std::make_shared<menubar::testing::FakeMenuBarController>();
  int setupShown = 0;
  int settingsShown = 0;

  std::unique_ptr<MenuBarPopoverView> makeView(MenuBarPopoverInput input) {
    controller->input = std::move(input);
    auto view = std::make_unique<MenuBarPopoverView>(
        controller, MenuBarPopoverActions(
                        controller, [this] { ++setupShown; }, [this] { ++settingsShown; }));
    view->show();
    processFor(30);
    return view;
  }
  QImage grab(MenuBarPopoverView& view, const std::string& name) {
    const QImage image = view.grab().toImage();
    image.save(QString::fromStdString(corvane::testing::artifactPath(name).string()));
    return image;
  }
};

TEST_F(MenuBarPopoverViewTest, GrabsOfIdleLivePausedAndFailedPopovers) {
  {
    auto view = makeView(idle());
    const QImage image = grab(*view, "menu-bar-popover-idle.png");
    EXPECT_EQ(image.width(), MenuBarPopoverView::kWidth);
    EXPECT_GT(testing::countPixelsNear(image, kGreen), 2000);  // the green start control
    EXPECT_EQ(testing::countPixelsNear(image, kRed, 12), 0);
    EXPECT_EQ(view->primaryButton()->text(), "Start Protected Share");
    EXPECT_EQ(view->excludedAppsToken()->valueLabel()->text(), "3");
    EXPECT_FALSE(view->permissionRow()->isVisible());
    EXPECT_FALSE(view->spaceRecoveryRow()->isVisible());
  }
  {
    auto view = makeView(live());
    const QImage image = grab(*view, "menu-bar-popover-live.png");
    EXPECT_GT(testing::countPixelsNear(image, kRed), 2000);  // the red stop control
    EXPECT_EQ(view->headerSubtitleLabel()->text(), "Protected Share is active");
    EXPECT_EQ(view->shareStatusToken()->valueLabel()->text(), "Live");
    EXPECT_EQ(view->localVisibilityTile()->title(), "Hide Preview");
  }
  {
    auto input = live();
    input.isPublishingPaused = true;
    auto view = makeView(input);
    grab(*view, "menu-bar-popover-paused.png");
    EXPECT_EQ(view->summaryTitleLabel()->text(), "Protected Share paused");
    EXPECT_EQ(view->shareStatusToken()->valueLabel()->text(), "Paused");
  }
  {
    // A session that failed and was sealed: on, neither live nor preparing.
    auto input = live();
    input.isProtectedShareHealthy = false;
    input.canHideProtectedShareWindowLocally = false;
    input.statusMessage = "Protected Share stopped unexpectedly";
    auto view = makeView(input);
    const QImage image = grab(*view, "menu-bar-popover-failed.png");
    EXPECT_GT(testing::countPixelsNear(image, kAmber), 40);
    EXPECT_EQ(view->summaryTitleLabel()->text(), "Protected Share needs attention");
    EXPECT_EQ(view->summaryDetailLabel()->text(), "Protected Share stopped unexpectedly");
    EXPECT_EQ(view->shareStatusToken()->valueLabel()->text(), "Attention");
    EXPECT_EQ(view->primaryButton()->text(), "Stop Protected Share");
  }
}

TEST_F(MenuBarPopoverViewTest, FollowsTheControllerAndCallsItsActions) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  auto view = makeView(live());
  QTest::mouseClick(view->primaryButton(), Qt::LeftButton);
  QTest::mouseClick(view->localVisibilityTile(), Qt::LeftButton);
  QTest::mouseClick(view->setupButton(), Qt::LeftButton);
  QTest::mouseClick(view->settingsTile(), Qt::LeftButton);
  EXPECT_EQ(controller->calls,
            (std::vector<std::string>{"toggleDemoMode", "requestHideProtectedShareWindowLocally"}));
  EXPECT_EQ(setupShown, 1);
  EXPECT_EQ(settingsShown, 1);

  // The controller announces a change: the view reads it again.
  controller->input.isProtectedShareWindowHiddenLocally = true;
  controller->input.hiddenAppsCount = 1234;
  controller->input.screenRecordingPermissionGranted = false;
  controller->input.hasSourceContextRecoveryMessage = true;
  controller->announceChange();
  processFor(30);
  EXPECT_EQ(view->localVisibilityTile()->title(), "Show Preview");
  EXPECT_TRUE(view->previewHiddenLabel()->isVisible());
  EXPECT_FALSE(view->openPreviewButton()->isVisible());
  EXPECT_EQ(view->excludedAppsToken()->valueLabel()->text(), "1,234");
  EXPECT_TRUE(view->permissionRow()->isVisible());
  EXPECT_TRUE(view->spaceRecoveryRow()->isVisible());
  grab(*view, "menu-bar-popover-hidden-recovery.png");

  // Disabled while stopping: a click does nothing.
  controller->input.isProtectedShareStopping = true;
  controller->announceChange();
  processFor(30);
  controller->calls.clear();
  QTest::mouseClick(view->primaryButton(), Qt::LeftButton);
  EXPECT_FALSE(view->primaryButton()->isEnabled());
  EXPECT_TRUE(controller->calls.empty());
  QLocale::setDefault(QLocale::c());
}

TEST_F(MenuBarPopoverViewTest, TrayIconIsDrawnInTheThemeTextColour) {
  QtMenuBarStatusItem item;
  item.setVisible(true);
  EXPECT_FALSE(item.setSymbol("no.such.symbol"));
  EXPECT_TRUE(item.trayIcon()->icon().isNull());
  ASSERT_TRUE(item.setSymbol("rectangle.stack.fill"));
  EXPECT_TRUE(item.isVisible());
  // No tray on this platform: shown, yet neither available nor in a tray.
  EXPECT_FALSE(item.isTrayAvailable());
  EXPECT_FALSE(item.isIconInTray());
  // The commonest colour of the icon's opaque pixels (the glyph; its outline is thinner).
  const auto tintOf = [&] {
    const QImage image = item.trayIcon()->icon().pixmap(QtMenuBarStatusItem::kIconSize).toImage();
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel.alpha() == 255) ++counts[pixel.rgb()];
      }
    }
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](auto& a, auto& b) { return a.second < b.second; });
    return most == counts.end() ? QColor() : QColor(most->first);
  };
  const QPalette original = QApplication::palette();
  QPalette light = original;
  light.setColor(QPalette::WindowText, QColor(250, 250, 250));
  QApplication::setPalette(light);
  processFor(20);
  const QColor onDark = tintOf();
  QPalette dark = original;
  dark.setColor(QPalette::WindowText, QColor(10, 10, 10));
  QApplication::setPalette(dark);
  processFor(20);
  const QColor onLight = tintOf();
  QApplication::setPalette(original);
  EXPECT_GT(onDark.lightness(), 200);
  EXPECT_LT(onLight.lightness(), 60);
}

TEST(MenuBarPopoverPlacementTest, BeneathAnIconAtTheTopAboveOneAtTheBottomInsideTheScreen) {
  const QRect screen(0, 0, 1280, 800);
  const QSize popover(380, 520);
  // Top-right tray: beneath the icon, pushed inside the right edge.
  EXPECT_EQ(QtMenuBarStatusItem::popoverOrigin(QRect(1257, 1, 22, 22), popover, screen),
            QPoint(1280 - 380, 1 + 22 + QtMenuBarStatusItem::kPopoverGap));
  // Bottom-left tray: above the icon.
  EXPECT_EQ(QtMenuBarStatusItem::popoverOrigin(QRect(300, 776, 22, 22), popover, screen),
            QPoint(310 - 190, 776 - QtMenuBarStatusItem::kPopoverGap - 520));
  // A screen too small for the popover keeps its top-left corner on screen.
  EXPECT_EQ(QtMenuBarStatusItem::popoverOrigin(QRect(100, 0, 1, 1), popover, QRect(0, 0, 300, 400)),
            QPoint(0, 0));
}

}  // namespace
}  // namespace corvane::ui
