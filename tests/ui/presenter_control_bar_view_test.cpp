#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "menubar/presenter_control_bar_manager.h"
#include "model/in_memory_defaults_store.h"
#include "qt_test_support.h"
#include "support/test_artifacts.h"
#include "ui/menubar/presenter_control_bar_view.h"
#include "ui/qt_window_system.h"

namespace corvane::ui {
namespace {

using menubar::PresenterControlBarContent;
using menubar::PresenterControlBarManager;
using menubar::PresenterControlBarMode;

const QRgb kRed = qRgb(235, 46, 46);
const QRgb kGreen = qRgb(23, 158, 64);
const QRgb kAmber = qRgb(242, 191, 31);

PresenterControlBarMode live(bool paused, bool holding, bool switching, bool recovery) {
  return PresenterControlBarMode::protectedShareLive(
      {0, 3, paused, holding, switching, recovery, "Vault"});
}

class PresenterControlBarViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  PresenterControlBarViewTest()
      : manager(std::make_shared<PresenterControlBarManager>(
            windows, nullptr, defaults, makePresenterControlBarContentFactory())) {}

  // Every slot set; each press is counted under its name.
  PresenterControlBarContent allActions() {
    PresenterControlBarContent content;
    auto counter = [this](const char* name) { return [this, name] { ++presses[name]; }; };
    content.previewVisibilityAction = counter("visibility");
    content.fitPreviewAction = counter("fit");
    content.actualSizePreviewAction = counter("actual");
    content.movePreviewAction = counter("move");
    content.secondaryAction = counter("secondary");
    content.action = counter("primary");
    return content;
  }

  QWidget* host() { return static_cast<QtWindow&>(*manager->panel()).hostWidget(); }
  PresenterControlBarView& view() {
    auto content = std::dynamic_pointer_cast<QtContentView>(manager->panel()->contentView());
    return *static_cast<PresenterControlBarView*>(content->widget());
  }
  // Shows and waits until the view has drawn this mode.
  void showAndSettle(const PresenterControlBarMode& mode, PresenterControlBarContent content) {
    manager->show(std::nullopt, mode, std::move(content));
    ASSERT_TRUE(processUntil([&] {
      return view().titleLabel()->text().toStdString() == mode.title() &&
             view().collapsedContent()->isVisible() == manager->state()->isCollapsed.value();
    }));
  }

  std::shared_ptr<QtWindowSystem> windows =
      std::make_shared<QtWindowSystem>(testing::offscreenDesktop(), nullptr);
  std::shared_ptr<model::InMemoryDefaultsSuite> defaults =
      std::make_shared<model::InMemoryDefaultsSuite>("com.pemberquist.corvane");
  std::shared_ptr<PresenterControlBarManager> manager;
  std::map<std::string, int> presses;
};

TEST_F(PresenterControlBarViewTest, GrabsOfEveryModeExpandedAndCollapsed) {
  struct Row {
    const char* name;
    PresenterControlBarMode mode;
    QRgb tint;
    const char* word;
  } rows[] = {
      {"preparing", PresenterControlBarMode::preparing(), kGreen, "Preparing"},
      {"sealed", PresenterControlBarMode::sourceSealed(), kAmber, "Attention"},
      {"live", live(false, false, false, false), kGreen, "Live"},
      {"paused", live(true, false, false, false), kGreen, "Paused"},
      {"excluded", live(false, true, false, false), kGreen, "Excluded"},
      {"switching", live(false, false, true, false), kAmber, "Switching"},
      {"recovery", live(false, false, false, true), kGreen, "Retry update"},
  };
  for (bool collapsed : {false, true}) {
    if (manager->state()->isCollapsed.value() != collapsed) manager->toggleCollapsed();
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (collapsed ? " collapsed" : " expanded"));
      showAndSettle(row.mode, allActions());
      processFor(20);
      const QImage shot = host()->grab().toImage();
      const std::string file = std::string("presenter-control-bar-") + row.name +
                               (collapsed ? "-collapsed.png" : "-expanded.png");
      shot.save(QString::fromStdString(corvane::testing::artifactPath(file).string()));
      EXPECT_EQ(shot.size() / shot.devicePixelRatio(), collapsed ? QSize(210, 40) : QSize(580, 62));
      // The red stop control and the status symbol in its tint are drawn.
      EXPECT_GT(testing::countPixelsNear(shot, kRed, 30), collapsed ? 300 : 600);
      EXPECT_GT(testing::countPixelsNear(shot, row.tint, 40), 4);
      EXPECT_EQ(view().statusWordLabel()->text().toStdString(), row.word);
    }
  }
}

TEST_F(PresenterControlBarViewTest, ControlsReadTheirSlotsWhenPressedAndEmptyOnesAreInert) {
  auto content = allActions();
  content.isPreviewHidden = true;
  content.secondaryAction = nullptr;
  showAndSettle(live(true, false, false, false), std::move(content));
  EXPECT_FALSE(view().movePreviewButton()->isVisibleTo(host()));
  EXPECT_FALSE(view().previewSizeMenuButton()->isVisibleTo(host()));
  EXPECT_EQ(view().previewVisibilityButton()->toolTip(), "Show Preview (Ctrl+Alt+P)");
  // Drawn without its action, and inert.
  EXPECT_EQ(view().secondaryButton()->accessibleName(), "Resume protected output");
  view().secondaryButton()->click();
  EXPECT_EQ(presses["secondary"], 0);
  view().previewVisibilityButton()->click();
  view().primaryButton()->click();
  EXPECT_EQ(presses["visibility"], 1);
  EXPECT_TRUE(processUntil([&] { return presses["primary"] == 1; }));
  processFor(20);
  EXPECT_EQ(presses["secondary"], 0);

  // The size menu's label and items.
  content = allActions();
  content.isPreviewActualSize = true;
  manager->show(std::nullopt, live(false, false, false, false), std::move(content));
  ASSERT_TRUE(processUntil([&] { return view().previewSizeMenuButton()->text() == "100%"; }));
  EXPECT_EQ(view().previewSizeMenuButton()->accessibleName(), "Preview size, actual size");
  const auto items = view().previewSizeMenuButton()->menu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "Fit Preview");
  EXPECT_EQ(items[1]->text(), "Actual Size (100%)");
  items[0]->trigger();
  items[1]->trigger();
  EXPECT_EQ(presses["fit"], 1);
  EXPECT_EQ(presses["actual"], 1);
}

TEST_F(PresenterControlBarViewTest, CollapseExpandAndTheCollapsedContextMenu) {
  showAndSettle(live(false, false, false, false), allActions());
  EXPECT_NE(view().expandedContent()->contextMenuPolicy(), Qt::CustomContextMenu);
  const QRect before = host()->geometry();
  view().collapseButton()->click();
  ASSERT_TRUE(processUntil([&] { return view().collapsedContent()->isVisible(); }));
  EXPECT_EQ(host()->size(), QSize(210, 40));
  // The collapsed bar keeps the expanded bar's right and top edges (top-right corner).
  EXPECT_EQ(host()->geometry().right(), before.right());
  EXPECT_EQ(host()->geometry().top(), before.top());
  EXPECT_EQ(view().collapsedContent()->contextMenuPolicy(), Qt::CustomContextMenu);
  std::unique_ptr<QMenu> menu(view().makeContextMenu());
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(menu->actions()[0]->text(), "Move to next corner");
  menu->actions()[0]->trigger();
  EXPECT_GT(host()->geometry().top(), before.top());  // walked to the bottom right
  view().compactStopButton()->click();
  EXPECT_TRUE(processUntil([&] { return presses["primary"] == 1; }));
  view().expandButton()->click();
  ASSERT_TRUE(processUntil([&] { return view().expandedContent()->isVisible(); }));
  EXPECT_EQ(host()->size(), QSize(580, 62));
}

TEST_F(PresenterControlBarViewTest, ShortcutsActWhileTheBarIsKeyAndOnlyForDrawnControls) {
  showAndSettle(live(false, false, false, false), allActions());
  host()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(host()));
  const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
  QTest::keyClick(host(), Qt::Key_S, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_Space, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_M, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_P, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_9, Qt::ControlModifier);
  QTest::keyClick(host(), Qt::Key_0, Qt::ControlModifier);
  processFor(20);  // stop and pause run once the key press returned
  EXPECT_EQ(presses, (std::map<std::string, int>{{"actual", 1},
                                                 {"fit", 1},
                                                 {"move", 1},
                                                 {"primary", 1},
                                                 {"secondary", 1},
                                                 {"visibility", 1}}));

  // Switching desktops: no secondary control, so its keys do nothing; collapsed, only stop acts.
  presses.clear();
  showAndSettle(live(false, false, true, false), allActions());
  QTest::keyClick(host(), Qt::Key_Space, ctrlAlt);
  EXPECT_EQ(presses["secondary"], 0);
  manager->toggleCollapsed();
  ASSERT_TRUE(processUntil([&] { return view().collapsedContent()->isVisible(); }));
  QTest::keyClick(host(), Qt::Key_M, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_9, Qt::ControlModifier);
  QTest::keyClick(host(), Qt::Key_S, ctrlAlt);
  processFor(20);
  EXPECT_EQ(presses, (std::map<std::string, int>{{"primary", 1}, {"secondary", 0}}));
}

// Pause shows the bar again with a new Pause slot, Stop takes the bar and its view down: each
// runs after the press that asked for it returned, never inside it.
TEST_F(PresenterControlBarViewTest, PauseAndStopRunAfterTheirPressReturns) {
  bool paused = false;
  int stops = 0;
  std::function<PresenterControlBarContent()> content = [&] {
    PresenterControlBarContent next = allActions();
    next.secondaryAction = [&] {
      paused = !paused;
      manager->show(std::nullopt, live(paused, false, false, false), content());
    };
    next.action = [&] {
      ++stops;
      manager->hide();
    };
    return next;
  };
  showAndSettle(live(false, false, false, false), content());
  const std::string pauseHelp = view().secondaryButton()->accessibleName().toStdString();
  EXPECT_EQ(view().secondaryButton()->toolTip().toStdString(), pauseHelp + " (Ctrl+Alt+Space)");
  EXPECT_EQ(view().primaryButton()->toolTip().toStdString(),
            view().primaryButton()->accessibleName().toStdString() + " (Ctrl+Alt+S)");
  EXPECT_EQ(view().movePreviewButton()->toolTip().toStdString(),
            view().movePreviewButton()->accessibleName().toStdString() + " (Ctrl+Alt+M)");
  EXPECT_EQ(view().collapseButton()->toolTip(), view().collapseButton()->accessibleName());

  for (bool expected : {true, false}) {
    view().secondaryButton()->click();
    EXPECT_NE(paused, expected) << "ran inside the click";
    ASSERT_TRUE(processUntil([&] { return paused == expected; }));
    ASSERT_TRUE(processUntil([&] {
      return view().secondaryButton()->accessibleName().toStdString() != pauseHelp || !expected;
    }));
  }
  view().primaryButton()->click();
  EXPECT_EQ(stops, 0) << "ran inside the click";
  ASSERT_TRUE(processUntil([&] { return stops == 1; }));
  EXPECT_EQ(manager->panel(), nullptr);
  processFor(20);
  EXPECT_EQ(stops, 1);
}

}  // namespace
}  // namespace corvane::ui
