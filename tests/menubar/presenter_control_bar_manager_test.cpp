#include <gtest/gtest.h>

#include "presenter_control_bar_test_support.h"

namespace corvane::menubar {
namespace {

using platform::CollectionBehavior;
using platform::Point;
using platform::Rect;
using platform::Size;
using Manager = PresenterControlBarManager;
using testing::BarFixture;

constexpr Size kExpanded = Manager::expandedSize;
constexpr Size kCollapsed = Manager::collapsedSize;

PresenterControlBarMode liveMode(bool paused = false) {
  return PresenterControlBarMode::protectedShareLive({0, 2, paused, false, false, false, "Notes"});
}

class PresenterControlBarManagerTest : public ::testing::Test, public BarFixture {};

TEST_F(PresenterControlBarManagerTest, PanelFloatsOnEveryDesktopWithoutTakingTheKeyboard) {
  auto manager = makeManager();
  EXPECT_EQ(manager->panel(), nullptr);
  manager->show(std::nullopt, liveMode(), {});
  auto& bar = panel(*manager);
  EXPECT_TRUE(bar.isVisible());
  EXPECT_TRUE(bar.isMapped());
  EXPECT_EQ(bar.title(), "Protected Share controls");
  EXPECT_EQ(bar.style(), platform::WindowStyle::borderless);
  EXPECT_EQ(bar.level(), platform::WindowLevel::screenSaver);
  for (auto flag : {CollectionBehavior::canJoinAllSpaces, CollectionBehavior::stationary,
                    CollectionBehavior::fullScreenAuxiliary, CollectionBehavior::ignoresCycle}) {
    EXPECT_TRUE(platform::hasFlag(bar.collectionBehavior(), flag));
  }
  EXPECT_FALSE(bar.isListedInWindowsMenu());
  EXPECT_TRUE(bar.takesFocusOnlyOnClick());
  EXPECT_TRUE(bar.isMovableByWindowBackground());
  EXPECT_FALSE(bar.ignoresMouseEvents());
  // Shown without activation; a click makes it key (it can become key, never main).
  EXPECT_FALSE(bar.isKey());
  EXPECT_EQ(windows->activationCount(), 0);
  EXPECT_TRUE(bar.click());
  EXPECT_TRUE(bar.isKey());
  // No display asked for: the main screen's top-right corner.
  EXPECT_EQ(bar.frame(), (Rect{{1920 - 580 - 12, 44}, kExpanded}));
}

TEST_F(PresenterControlBarManagerTest, ShowFillsTheStateAndItsOwnActionsHoldTheManagerWeakly) {
  auto manager = makeManager();
  int stops = 0, pauses = 0;
  PresenterControlBarContent content;
  content.isPreviewHidden = true;
  content.isPreviewActualSize = true;
  content.secondaryAction = [&] { ++pauses; };
  content.action = [&] { ++stops; };
  manager->show(2u, liveMode(true), std::move(content));
  auto state = manager->state();
  EXPECT_EQ(state->mode.value(), liveMode(true));
  EXPECT_TRUE(state->isPreviewHidden.value());
  EXPECT_TRUE(state->isPreviewActualSize.value());
  EXPECT_FALSE(state->fitPreviewAction);
  EXPECT_FALSE(state->reviewAction);
  perform(state->primaryAction);
  perform(state->secondaryAction);
  perform(state->movePreviewAction);  // empty: nothing
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(pauses, 1);

  perform(state->collapseAction);
  EXPECT_TRUE(state->isCollapsed.value());
  EXPECT_EQ(panel(*manager).frame().size, kCollapsed);
  perform(state->repositionAction);
  EXPECT_EQ(panel(*manager).frame(), (Rect{{3200 - 12 - 210, 880 - 12 - 40}, kCollapsed}));

  // The state outlives the manager; its own actions then do nothing.
  manager->hide();
  manager.reset();
  perform(state->collapseAction);
  perform(state->repositionAction);
  EXPECT_TRUE(state->isCollapsed.value());
}

TEST_F(PresenterControlBarManagerTest, ARefreshWithNothingChangedChangesAndWritesNothing) {
  auto manager = makeManager();
  manager->show(2u, liveMode(), {});
  auto& bar = panel(*manager);
  const Rect placed = bar.frame();
  const int writesAfterFirstShow = defaults->writes;
  EXPECT_EQ(writesAfterFirstShow, 1);  // the new panel's position
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.2"), "{688, 12}");

  int announcements = 0;
  auto state = manager->state();
  auto count = [&](const auto&) { ++announcements; };
  runtime::Subscription subscriptions[] = {
      state->mode.observeAtOnce(count), state->isCollapsed.observeAtOnce(count),
      state->isPreviewHidden.observeAtOnce(count), state->isPreviewActualSize.observeAtOnce(count)};
  // One refresh per frame for a second.
  int stops = 0;
  for (int frame = 0; frame < 60; ++frame) {
    PresenterControlBarContent content;
    content.action = [&stops] { ++stops; };
    manager->show(2u, liveMode(), std::move(content));
    loop.runUntilIdle();
  }
  EXPECT_EQ(announcements, 0);
  EXPECT_EQ(defaults->writes, writesAfterFirstShow);
  EXPECT_EQ(bar.frame(), placed);
  EXPECT_EQ(bar.orderFrontCount(), 1);
  EXPECT_EQ(manager->panel().get(), &bar);
  // The latest actions are in place even though nothing was announced.
  perform(state->primaryAction);
  EXPECT_EQ(stops, 1);

  // A real change is announced once and moves nothing.
  manager->show(2u, liveMode(true), {});
  EXPECT_EQ(announcements, 1);
  EXPECT_EQ(defaults->writes, writesAfterFirstShow);
}

TEST_F(PresenterControlBarManagerTest, PositionsAreSavedPerDisplayAndRestoredWhenRebuilt) {
  auto manager = makeManager();
  manager->show(2u, liveMode(), {});
  auto* second = &panel(*manager);
  // The user drags the bar by its background; the move is clamped and saved on the next turn.
  ASSERT_TRUE(second->dragTo({2100, 400}));
  loop.runUntilIdle();
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.2"), "{180, 200}");

  // Shown for the main display: hidden on the second (its position saved) and rebuilt there.
  manager->show(1u, liveMode(), {});
  EXPECT_TRUE(second->isClosed());
  auto& first = panel(*manager);
  EXPECT_EQ(first.frame(), (Rect{{1328, 44}, kExpanded}));
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.1"), "{1328, 12}");
  ASSERT_TRUE(first.dragTo({40, 900}));
  loop.runUntilIdle();
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.1"), "{40, 868}");

  // Back on the second display at its saved place, offset from its own work area.
  manager->show(2u, liveMode(), {});
  EXPECT_EQ(panel(*manager).frame(), (Rect{{2100, 400}, kExpanded}));
  manager->hide();
  EXPECT_EQ(manager->panel(), nullptr);

  // A new launch restores both.
  auto relaunched = makeManager();
  relaunched->show(1u, liveMode(), {});
  EXPECT_EQ(panel(*relaunched).frame(), (Rect{{40, 900}, kExpanded}));
}

TEST_F(PresenterControlBarManagerTest, ADragPartlyOffTheWorkAreaSnapsBackInside) {
  auto manager = makeManager();
  manager->show(2u, liveMode(), {});
  auto& bar = panel(*manager);
  ASSERT_TRUE(bar.dragTo({2900, 850}));  // past the right edge and over the dock
  loop.runUntilIdle();
  EXPECT_EQ(bar.frame(), (Rect{{3200 - 580, 880 - 62}, kExpanded}));
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.2"), "{700, 618}");
}

TEST_F(PresenterControlBarManagerTest, StoredPositionsAreReadBackOrFallBackToTheWorkAreaCorner) {
  struct Row {
    const char* stored;
    Point origin;
  } rows[] = {
      {"{100, 50}", {2020, 250}},
      // Above the work area, or from a larger display: clamped.
      {"{100.5,-20}", {2020.5, 200}},
      {"{5000, 5000}", {2620, 818}},
      // Anything that does not parse is the point (0, 0): the work area's top-left corner.
      {"garbage", {1920, 200}},
      {"{100, 50", {1920, 200}},
      {"{nan, 3}", {1920, 200}},
      {"", {1920, 200}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored);
    defaults->set("presenterControlBarOrigin.2", platform::Value(std::string(row.stored)));
    auto manager = makeManager();
    manager->show(2u, PresenterControlBarMode::sourceSealed(), {});
    EXPECT_EQ(panel(*manager).frame(), (Rect{row.origin, kExpanded}));
    manager->hide();
  }
  EXPECT_EQ(Manager::positionString({12, 34.5}), "{12, 34.5}");
  EXPECT_EQ(Manager::parsePosition(Manager::positionString({-7.25, 1e6})), (Point{-7.25, 1e6}));
}

// The Protected Share window fills the main work area; its title bar and toolbar run along the
// top, the stop and hide controls at their right end, where the bar's first corner lies. The bar
// covers none of its controls: not when first placed, not from a saved place, not when walking the
// corners, and it steps aside when the window comes live under it.
TEST_F(PresenterControlBarManagerTest, TheBarCoversNoControlOfTheShareWindow) {
  const Rect controls{{76, 32}, {1768, 29 + 36}};
  auto content = [&] {
    PresenterControlBarContent withControls;
    withControls.controlAreas = {controls};
    return withControls;
  };
  const Rect topRight{{1920 - 580 - 12, 44}, kExpanded};
  const Rect bottomRight{{1920 - 580 - 12, 1080 - 62 - 12}, kExpanded};
  const Rect topLeft{{12, 44}, kExpanded};

  auto manager = makeManager();
  manager->show(std::nullopt, liveMode(), content());
  auto& bar = panel(*manager);
  EXPECT_EQ(bar.frame(), bottomRight) << "the first clear corner";
  // Walking the corners passes over those on the toolbar.
  manager->moveToNextCorner();
  EXPECT_FALSE(bar.frame().intersects(controls));
  EXPECT_NE(bar.frame(), bottomRight);
  manager->moveToNextCorner();
  EXPECT_EQ(bar.frame(), bottomRight);
  manager->hide();

  // A place saved over the toolbar (from a session whose window lay elsewhere) is not taken.
  defaults->set("presenterControlBarOrigin.1", platform::Value(std::string("{1328, 12}")));
  manager->show(std::nullopt, liveMode(), content());
  EXPECT_EQ(panel(*manager).frame(), bottomRight);
  manager->hide();

  // Shown before the window is live, the bar takes the top right; the window then comes live
  // under it and the bar steps aside, once: a later refresh with the same controls leaves a bar
  // the user moved alone.
  defaults->set("presenterControlBarOrigin.1", platform::Value(std::string("{1328, 12}")));
  manager->show(std::nullopt, liveMode(), {});
  EXPECT_EQ(panel(*manager).frame(), topRight);
  manager->show(std::nullopt, liveMode(), content());
  EXPECT_EQ(panel(*manager).frame(), bottomRight);
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.1"), "{1328, 974}");
  panel(*manager).setFrame(topLeft);
  manager->show(std::nullopt, liveMode(), content());
  EXPECT_EQ(panel(*manager).frame(), topLeft);

  // With every corner on a control, the usual corner.
  PresenterControlBarContent everywhere;
  everywhere.controlAreas = {Rect{{0, 0}, {1920, 1080}}};
  manager->hide();
  defaults->remove("presenterControlBarOrigin.1");
  manager->show(std::nullopt, liveMode(), std::move(everywhere));
  EXPECT_EQ(panel(*manager).frame(), topRight);
}

TEST_F(PresenterControlBarManagerTest,
       UnknownDisplaysFallBackToTheMainScreenAndNoScreenShowsNothing) {
  auto manager = makeManager();
  EXPECT_FALSE(manager->screen(std::nullopt).has_value());
  EXPECT_FALSE(manager->screen(99u).has_value());
  EXPECT_EQ(manager->screen(2u)->displayID, 2u);
  manager->show(99u, liveMode(), {});
  EXPECT_EQ(windows->screenOverlappingMost(panel(*manager).frame())->displayID, 1u);
  manager->hide();

  windows->setScreens({});
  manager->show(1u, liveMode(), {});
  EXPECT_EQ(manager->panel(), nullptr);
  manager->toggleCollapsed();
  manager->moveToNextCorner();
  EXPECT_TRUE(manager->state()->isCollapsed.value());
}

TEST_F(PresenterControlBarManagerTest, ABarOnAnUnpluggedDisplayLeavesTheMainDisplaysPlaceAlone) {
  defaults->set("presenterControlBarOrigin.1", platform::Value(std::string("{40, 868}")));
  auto manager = makeManager();
  manager->show(2u, liveMode(), {});
  auto& onSecond = panel(*manager);
  ASSERT_TRUE(onSecond.dragTo({2100, 400}));
  loop.runUntilIdle();
  windows->setScreens({testing::mainScreen()});
  // The refresh after the change rebuilds the bar on the main display at its own saved place.
  manager->show(2u, liveMode(), {});
  EXPECT_TRUE(onSecond.isClosed());
  EXPECT_EQ(panel(*manager).frame(), (Rect{{40, 900}, kExpanded}));
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.1"), "{40, 868}");
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.2"), "{180, 200}");
}

TEST_F(PresenterControlBarManagerTest, CollapsedStatePersistsAndTheBarKeepsItsCorner) {
  auto manager = makeManager();
  EXPECT_FALSE(manager->state()->isCollapsed.value());
  manager->show(2u, liveMode(), {});
  manager->moveToNextCorner();  // bottom right
  manager->toggleCollapsed();
  EXPECT_EQ(defaults->boolValue("presenterControlBarCollapsed"), true);
  EXPECT_EQ(panel(*manager).frame(), (Rect{{2978, 828}, kCollapsed}));
  EXPECT_EQ(defaults->stringValue("presenterControlBarOrigin.2"), "{1058, 628}");
  manager->hide();

  auto relaunched = makeManager();
  EXPECT_TRUE(relaunched->state()->isCollapsed.value());
  relaunched->show(2u, liveMode(), {});
  EXPECT_EQ(panel(*relaunched).frame(), (Rect{{2978, 828}, kCollapsed}));
  relaunched->toggleCollapsed();
  EXPECT_EQ(panel(*relaunched).frame(), (Rect{{2608, 806}, kExpanded}));
  EXPECT_EQ(defaults->boolValue("presenterControlBarCollapsed", true), false);
}

}  // namespace
}  // namespace corvane::menubar
