#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/source_guard_manager.h"
#include "qt_test_support.h"
#include "support/test_artifacts.h"
#include "ui/app/source_guard_view.h"
#include "ui/qt_window_system.h"

namespace corvane::ui {
namespace {

class SourceGuardViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  QWidget* host() { return static_cast<QtWindow&>(*guard.panel()).hostWidget(); }
  SourceGuardView& view() {
    auto content = std::dynamic_pointer_cast<QtContentView>(guard.panel()->contentView());
    return *static_cast<SourceGuardView*>(content->widget());
  }
  QStringList texts() {
    QStringList all;
    for (auto* label : view().findChildren<QLabel*>()) all << label->text();
    return all;
  }

  std::shared_ptr<QtWindowSystem> windows =
      std::make_shared<QtWindowSystem>(testing::offscreenDesktop(), nullptr);
  app::SourceGuardManager guard{windows, makeSourceGuardContentFactory()};
};

TEST_F(SourceGuardViewTest, CoversTheScreenWithItsTextsAndEscapeStops) {
  int stops = 0;
  guard.show(std::nullopt, "<b>Studio</b> Display", [&] { ++stops; });
  ASSERT_TRUE(processUntil([&] { return host()->isVisible(); }));
  EXPECT_EQ(static_cast<QtWindow&>(*guard.panel()).frame(), windows->mainScreen()->frame);
  const QStringList shown = texts();
  EXPECT_TRUE(shown.contains("Protected Share Interrupted"));
  EXPECT_TRUE(shown.contains("Stop this session before trying again."));
  // The name is shown as it is, never as markup.
  EXPECT_EQ(view().displayNameLabel()->text(), "<b>Studio</b> Display");
  EXPECT_EQ(view().displayNameLabel()->textFormat(), Qt::PlainText);
  EXPECT_EQ(view().stopButton()->text(), "Stop Protected Share");
  EXPECT_EQ(view().stopButton()->accessibleDescription(),
            "Stops the current Protected Share session");

  processFor(30);
  const QImage shot = host()->grab().toImage();
  shot.save(QString::fromStdString(corvane::testing::artifactPath("source-guard.png").string()));
  // Mostly the dark background, with the red button and the green badge and name.
  EXPECT_GT(testing::countPixelsNear(shot, qRgb(5, 8, 8), 12), shot.width() * shot.height() / 2);
  EXPECT_GT(testing::countPixelsNear(shot, qRgb(235, 46, 46), 30), 1500);
  EXPECT_GT(testing::countPixelsNear(shot, qRgb(23, 158, 64), 40), 300);

  host()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(host()));
  QTest::keyClick(host(), Qt::Key_Escape);
  EXPECT_EQ(stops, 1);
  view().stopButton()->click();
  EXPECT_EQ(stops, 2);

  // A second show replaces the name and the action in the same window.
  QWidget* first = host();
  int laterStops = 0;
  guard.show(std::nullopt, "Built-in", [&] { ++laterStops; });
  EXPECT_EQ(host(), first);
  EXPECT_EQ(view().displayNameLabel()->text(), "Built-in");
  view().stopButton()->click();
  EXPECT_EQ(laterStops, 1);
  EXPECT_EQ(stops, 2);
  guard.hide();
  EXPECT_EQ(guard.panel(), nullptr);
}

}  // namespace
}  // namespace corvane::ui
