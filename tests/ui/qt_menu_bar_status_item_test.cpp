// The tray icon's picture on light and dark panels, its context menu, and Ctrl+Q.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>
#include <random>

#include "qt_test_support.h"
#include "ui/menubar/qt_menu_bar_status_item.h"
#include "ui/quit_shortcut.h"

namespace corvane::ui {
namespace {

class QtMenuBarStatusItemTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  ~QtMenuBarStatusItemTest() override { QApplication::setPalette(original); }
  const QPalette original = QApplication::palette();
};

// The pixels of the icon, laid on a panel of `panel`, that stand clearly apart from the panel.
int legiblePixels(const QIcon& icon, QRgb panel) {
  QImage shot(QtMenuBarStatusItem::kIconSize, QtMenuBarStatusItem::kIconSize, QImage::Format_RGB32);
  shot.fill(panel);
  QPainter painter(&shot);
  painter.drawPixmap(0, 0, icon.pixmap(QtMenuBarStatusItem::kIconSize));
  painter.end();
  int count = 0;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      if (testing::colourDistance(shot.pixel(x, y), panel) >= 300) ++count;
    }
  }
  return count;
}

// The icon's fully drawn pixels within a small distance of `colour`.
int opaquePixelsNear(const QIcon& icon, const QColor& colour) {
  const QImage image =
      icon.pixmap(QtMenuBarStatusItem::kIconSize).toImage().convertToFormat(QImage::Format_ARGB32);
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (qAlpha(pixel) > 200 && testing::colourDistance(pixel, colour.rgb()) <= 30) ++count;
    }
  }
  return count;
}

// Whatever the theme's text colour, the icon shows on a light panel and on a dark one (a dark
// trayer tint under a light theme, a light panel under a dark theme).
TEST_F(QtMenuBarStatusItemTest, TheIconIsLegibleOnLightAndDarkPanelsUnderEitherTheme) {
  QtMenuBarStatusItem item;
  std::mt19937 random(33);
  std::uniform_int_distribution<int> dark(0, 40), light(215, 255);
  for (const char* symbol : {"rectangle.stack.fill", "rectangle.stack.badge.minus"}) {
    ASSERT_TRUE(item.setSymbol(symbol));
    for (const QColor text : {QColor(20, 20, 20), QColor(235, 235, 235)}) {
      QPalette palette = original;
      palette.setColor(QPalette::WindowText, text);
      QApplication::setPalette(palette);
      // The icon is drawn again, in the new text colour, on the theme change.
      ASSERT_TRUE(
          processUntil([&] { return opaquePixelsNear(item.trayIcon()->icon(), text) > 20; }));
      for (int round = 0; round < 4; ++round) {
        const int d = dark(random), l = light(random);
        const QRgb darkPanel = qRgb(d, d, d + 4 > 255 ? 255 : d + 4);
        const QRgb lightPanel = qRgb(l, l, l);
        SCOPED_TRACE(std::string(symbol) + " text " + text.name().toStdString());
        EXPECT_GE(legiblePixels(item.trayIcon()->icon(), darkPanel), 40);
        EXPECT_GE(legiblePixels(item.trayIcon()->icon(), lightPanel), 40);
      }
    }
  }
}

TEST_F(QtMenuBarStatusItemTest, TheContextMenuRunsItsActionsOnceTheMenuIsDone) {
  QtMenuBarStatusItem item;
  std::vector<std::string> ran;
  item.setMenuActions([&] { ran.push_back("open"); }, [&] { ran.push_back("settings"); },
                      [&] { ran.push_back("quit"); });
  ASSERT_NE(item.contextMenu(), nullptr);
  EXPECT_EQ(item.trayIcon()->contextMenu(), item.contextMenu());
  QStringList titles;
  QList<QAction*> items;
  for (QAction* action : item.contextMenu()->actions()) {
    if (action->isSeparator()) continue;
    titles << action->text();
    items << action;
  }
  EXPECT_EQ(titles, (QStringList{"Open Corvane", "Settings…", "Quit Corvane"}));
  EXPECT_EQ(items[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
  for (QAction* action : items) {
    action->trigger();
    EXPECT_TRUE(ran.size() < 3) << "ran inside the trigger";
  }
  EXPECT_TRUE(ran.empty());
  ASSERT_TRUE(processUntil([&] { return ran.size() == 3; }));
  EXPECT_EQ(ran, (std::vector<std::string>{"open", "settings", "quit"}));
}

// Ctrl+Q quits from any of the application's windows; other keys and chords do not.
TEST_F(QtMenuBarStatusItemTest, CtrlQInAnyWindowQuits) {
  int quits = 0;
  QtMenuBarStatusItem item;
  item.setMenuActions([] {}, [] {}, [&] { ++quits; });
  QWidget first, second;
  first.setWindowTitle(QStringLiteral("Corvane Setup"));
  second.setWindowTitle(QStringLiteral("Corvane Settings"));
  for (QWidget* window : {&first, &second}) {
    window->resize(200, 100);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  }
  QTest::keyClick(first.windowHandle(), Qt::Key_Q);
  QTest::keyClick(first.windowHandle(), Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(first.windowHandle(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(quits, 0);
  QTest::keyClick(first.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(quits, 1);
  QTest::keyClick(second.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(quits, 2);
}

}  // namespace
}  // namespace corvane::ui
