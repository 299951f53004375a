#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/source_guard_manager.h"
#include "menubar/presenter_control_bar_manager.h"
#include "model/in_memory_defaults_store.h"
#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::app {
namespace {

using platform::CollectionBehavior;
using platform::Rect;
using platform::sim::SimWindow;

// What the guard shows, recorded by a stand-in for the Qt view.
struct GuardContent final : platform::ContentView {
  GuardContent(std::string name, std::function<void()> stop)
      : displayName(std::move(name)), stopAction(std::move(stop)) {}
  void setNeedsDisplay() override {}
  std::string displayName;
  std::function<void()> stopAction;
};

platform::Screen screen(std::uint32_t id, Rect frame, bool isMain) {
  platform::Screen s;
  s.displayID = id;
  s.frame = frame;
  s.visibleFrame = Rect{{frame.minX(), frame.minY() + 32}, {frame.width(), frame.height() - 32}};
  s.isMain = isMain;
  return s;
}

class SourceGuardManagerTest : public ::testing::Test {
 protected:
  SourceGuardManagerTest()
      : windows(std::make_shared<platform::sim::SimWindowSystem>(
            std::vector<platform::Screen>{screen(1, {{0, 0}, {1920, 1080}}, true),
                                          screen(2, {{1920, 200}, {1280, 720}}, false)})),
        guard(windows, [](const std::string& name, std::function<void()> stop) {
          return std::make_shared<GuardContent>(name, std::move(stop));
        }) {}

  SimWindow& panel() { return static_cast<SimWindow&>(*guard.panel()); }
  GuardContent& content() { return static_cast<GuardContent&>(*guard.panel()->contentView()); }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<platform::sim::SimWindowSystem> windows;
  SourceGuardManager guard;
};

TEST_F(SourceGuardManagerTest, CoversTheWholeDisplayOnEveryDesktopAndTakesTheKeyboard) {
  int stops = 0;
  guard.show(2u, "Studio Display", [&] { ++stops; });
  auto& shield = panel();
  EXPECT_EQ(shield.frame(), (Rect{{1920, 200}, {1280, 720}}));  // the full frame, not the work area
  EXPECT_EQ(shield.style(), platform::WindowStyle::borderless);
  EXPECT_EQ(shield.level(), SourceGuardManager::sealedSourceLevel);
  EXPECT_TRUE(platform::hasFlag(shield.collectionBehavior(), CollectionBehavior::canJoinAllSpaces));
  EXPECT_TRUE(platform::hasFlag(shield.collectionBehavior(), CollectionBehavior::stationary));
  EXPECT_TRUE(
      platform::hasFlag(shield.collectionBehavior(), CollectionBehavior::fullScreenAuxiliary));
  EXPECT_FALSE(shield.ignoresMouseEvents());
  EXPECT_TRUE(shield.isVisible());
  EXPECT_TRUE(shield.isKey());
  EXPECT_EQ(windows->activationCount(), 1);
  EXPECT_EQ(content().displayName, "Studio Display");
  content().stopAction();
  EXPECT_EQ(stops, 1);
}

TEST_F(SourceGuardManagerTest, RepeatedShowsReuseOrRebuildOnePanel) {
  int firstStops = 0, secondStops = 0;
  guard.show(1u, "Built-in", [&] { ++firstStops; });
  auto* first = &panel();
  guard.show(1u, "Built-in Renamed", [&] { ++secondStops; });
  EXPECT_EQ(&panel(), first);
  EXPECT_EQ(content().displayName, "Built-in Renamed");
  content().stopAction();
  EXPECT_EQ(firstStops, 0);
  EXPECT_EQ(secondStops, 1);

  guard.show(2u, "Studio Display", [] {});
  EXPECT_TRUE(first->isClosed());
  EXPECT_EQ(panel().frame(), (Rect{{1920, 200}, {1280, 720}}));
  EXPECT_EQ(windows->orderedWindows().size(), 1u);

  // A display nobody carries puts it on the main screen.
  guard.show(7u, "Gone", [] {});
  EXPECT_EQ(panel().frame(), (Rect{{0, 0}, {1920, 1080}}));
}

TEST_F(SourceGuardManagerTest, HideIsSafeAnyTimeAndAShowAfterItBuildsANewPanel) {
  guard.hide();
  guard.show(std::nullopt, "Built-in", [] {});
  auto* first = &panel();
  guard.hide();
  guard.hide();
  EXPECT_EQ(guard.panel(), nullptr);
  EXPECT_TRUE(first->isClosed());
  EXPECT_TRUE(first->ignoresMouseEvents());
  EXPECT_EQ(first->contentView(), nullptr);
  guard.show(std::nullopt, "Built-in", [] {});
  EXPECT_NE(&panel(), first);

  // With no screen at all the shown shield stays as it is.
  windows->setScreens({});
  guard.show(2u, "Studio Display", [] {});
  EXPECT_TRUE(panel().isVisible());
  EXPECT_EQ(content().displayName, "Built-in");
}

TEST_F(SourceGuardManagerTest, ThePresenterBarStaysAboveTheGuardWhicheverCameFirst) {
  auto defaults = std::make_shared<model::InMemoryDefaultsSuite>("com.pemberquist.corvane");
  auto bar =
      std::make_shared<menubar::PresenterControlBarManager>(windows, nullptr, defaults, nullptr);
  bar->show(1u, menubar::PresenterControlBarMode::preparing(), {});
  // The guard comes later, takes the keyboard and is brought to the front: still below the bar.
  guard.show(1u, "Built-in", [] {});
  auto order = windows->orderedWindows();
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order.front(), guard.panel().get());
  EXPECT_EQ(order.back(), bar->panel().get());
  EXPECT_TRUE(guard.panel()->isKey());
  EXPECT_FALSE(bar->panel()->isKey());

  bar->hide();
  bar->show(1u, menubar::PresenterControlBarMode::sourceSealed(), {});
  order = windows->orderedWindows();
  EXPECT_EQ(order.back(), bar->panel().get());
}

}  // namespace
}  // namespace corvane::app
