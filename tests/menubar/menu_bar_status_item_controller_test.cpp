#include <gtest/gtest.h>

#include "menu_bar_test_support.h"
#include "menubar/menu_bar_status_item_controller.h"
#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::menubar {
namespace {

using model::MenuBarAccessState;
using Controller = MenuBarStatusItemController;

constexpr const char* kQABundle = "com.pemberquist.corvane.startupqa.tray";
constexpr const char* kQASuite = "com.pemberquist.corvane.startupqa.tray.preferences";

class MenuBarStatusItemControllerTest : public ::testing::Test {
 protected:
  runtime::VirtualRunLoop loop;
  std::shared_ptr<testing::FakeMenuBarController> app =
      std::make_shared<testing::FakeMenuBarController>();
  std::shared_ptr<testing::FakeStatusItem> item = std::make_shared<testing::FakeStatusItem>();
  std::shared_ptr<platform::sim::SimWindowSystem> windows =
      std::make_shared<platform::sim::SimWindowSystem>(std::vector<platform::Screen>{
          {1, "DP-1", {{0, 0}, {1920, 1080}}, {{0, 24}, {1920, 1056}}, 1, true}});
  std::shared_ptr<testing::CountingDefaultsStore> store =
      std::make_shared<testing::CountingDefaultsStore>();
  int setupShown = 0;
  std::shared_ptr<Controller> controller;

  void start(std::vector<std::string> qaFlags = {}, bool qa = false) {
    model::PreferencesSource source{store, std::nullopt, {}};
    if (qa || !qaFlags.empty()) {
      source.bundleIdentifier = kQABundle;
      source.arguments = {"corvane", std::string("--corvane-qa-preferences-suite=") + kQASuite};
      for (auto& flag : qaFlags) source.arguments.push_back(flag);
    }
    controller = std::make_shared<Controller>(app, item, windows, source, [this] { ++setupShown; });
    controller->start([] {});
    loop.runUntilIdle();  // the first pass
  }
  std::shared_ptr<testing::CountingDefaultsSuite> qaSuite() { return store->suites[kQASuite]; }
  // Runs exactly `count` more passes of the watch (each is the next timer due).
  void passes(int count) {
    for (int i = 0; i < count; ++i) {
      const auto due = loop.nextTimerDue();
      ASSERT_TRUE(due);
      loop.advance(*due - loop.uptime());
    }
  }
};

TEST_F(MenuBarStatusItemControllerTest, ATrayThatNeverShowsTheIconFallsBackOnTheHundredthPass) {
  item->iconInTray = false;
  start();
  // The first pass failed; 98 more at 0.05 s leave 99 failures without a fall-back.
  loop.advance(98 * Controller::intervalBeforeReady);
  EXPECT_EQ(item->taskbarWindowRequests, 0);
  EXPECT_EQ(app->accessState, MenuBarAccessState::checking);
  loop.advance(Controller::intervalBeforeReady);
  EXPECT_EQ(item->taskbarWindowRequests, 1);
  EXPECT_EQ(app->accessState, MenuBarAccessState::dockFallback);
  EXPECT_EQ(setupShown, 1);
  EXPECT_FALSE(controller->isWatchRunning());
  // The fall-back runs once, even when the watch starts again.
  controller->verifyInstallationAndRunQA();
  loop.advance(10);
  controller->activateDockFallback();
  EXPECT_EQ(item->taskbarWindowRequests, 1);
  EXPECT_EQ(setupShown, 1);
}

TEST_F(MenuBarStatusItemControllerTest, AfterReadinessTheThirdFailedSecondFallsBack) {
  start();
  EXPECT_EQ(app->accessStateWrites, std::vector<MenuBarAccessState>{MenuBarAccessState::available});
  loop.advance(30);  // half a minute of polls writes nothing more
  EXPECT_EQ(app->accessStateWrites.size(), 1u);
  // The icon leaves the screens: two failed passes, a recovery resets the count...
  item->iconGeometry = platform::Rect{{2000, 0}, {24, 24}};
  loop.advance(2 * Controller::intervalAfterReady);
  item->iconGeometry = platform::Rect{{1800, 0}, {24, 24}};
  loop.advance(Controller::intervalAfterReady);
  // ...and the icon overhanging the screen's edge counts as off it too.
  item->iconGeometry = platform::Rect{{1900, 0}, {24, 24}};
  loop.advance(2 * Controller::intervalAfterReady);
  EXPECT_EQ(item->taskbarWindowRequests, 0);
  loop.advance(Controller::intervalAfterReady);
  EXPECT_EQ(item->taskbarWindowRequests, 1);
  EXPECT_EQ(app->accessState, MenuBarAccessState::dockFallback);
  EXPECT_EQ(setupShown, 1);
}

// No tray host at all: the first pass falls back, saying so; the full-tray verdict is kept for
// a tray that exists. A tray that goes away after the icon was ready gets the usual passes.
TEST_F(MenuBarStatusItemControllerTest, WithoutAnyTrayTheFirstPassFallsBackAndSaysThereIsNone) {
  item->trayAvailable = false;
  start();
  EXPECT_EQ(item->taskbarWindowRequests, 1);
  EXPECT_EQ(app->accessState, MenuBarAccessState::noSystemTray);
  EXPECT_EQ(setupShown, 1);
  EXPECT_FALSE(controller->isWatchRunning());
  // "Open Corvane" now brings the taskbar window, not a popover no one can anchor.
  item->menuOpen();
  EXPECT_EQ(item->taskbarWindowRequests, 2);
  EXPECT_EQ(item->popoverShows, 0);

  item = std::make_shared<testing::FakeStatusItem>();
  app = std::make_shared<testing::FakeMenuBarController>();
  setupShown = 0;
  start();
  EXPECT_EQ(app->accessState, MenuBarAccessState::available);
  item->trayAvailable = false;
  passes(Controller::failuresAfterReadyLimit - 1);
  EXPECT_EQ(item->taskbarWindowRequests, 0);
  item->trayAvailable = true;  // the panel came back
  passes(10);
  EXPECT_EQ(app->accessState, MenuBarAccessState::available);
  item->trayAvailable = false;
  passes(Controller::failuresAfterReadyLimit);
  EXPECT_EQ(item->taskbarWindowRequests, 1);
  EXPECT_EQ(app->accessState, MenuBarAccessState::dockFallback);
}

TEST_F(MenuBarStatusItemControllerTest, TheContextMenuOpensShowsSettingsAndQuits) {
  int settings = 0, quits = 0;
  model::PreferencesSource source{store, std::nullopt, {}};
  controller = std::make_shared<Controller>(app, item, windows, source, [this] { ++setupShown; });
  controller->start([&] { ++settings; }, [&] { ++quits; });
  loop.runUntilIdle();
  ASSERT_TRUE(item->menuOpen && item->menuSettings && item->menuQuit);
  item->menuOpen();
  EXPECT_TRUE(item->popoverShown);
  item->menuOpen();  // already open: it stays open
  EXPECT_TRUE(item->popoverShown);
  EXPECT_EQ(item->popoverShows, 1);
  item->menuSettings();
  item->menuQuit();
  EXPECT_EQ(settings, 1);
  EXPECT_EQ(quits, 1);
  // The menu's "Open" holds the controller weakly.
  controller.reset();
  item->closePopover();
  item->menuOpen();
  EXPECT_EQ(item->popoverShows, 1);
}

TEST_F(MenuBarStatusItemControllerTest, PlacedNeedsATrayAndIsVisibleAloneIsNotEnough) {
  item->trayAvailable = false;
  start();
  auto state = controller->currentInstallationState();
  EXPECT_TRUE(state.created && state.visible);
  EXPECT_FALSE(state.buttonAttached || state.windowVisible || state.onscreen || state.unobscured);
  // A StatusNotifierItem reports no geometry: on screen as long as its host holds it.
  item->trayAvailable = true;
  item->iconGeometry.reset();
  EXPECT_TRUE(controller->currentInstallationState().isReady());
  item->iconInTray = false;
  EXPECT_FALSE(controller->currentInstallationState().windowVisible);
  item->iconInTray = true;
  item->iconGeometry = platform::Rect{{10, 10}, {0, 24}};
  EXPECT_FALSE(controller->currentInstallationState().onscreen);
}

TEST_F(MenuBarStatusItemControllerTest, AHiddenTrayNeverFallsBackAndResetsTheCount) {
  item->iconInTray = false;
  start();
  passes(50);
  item->trayHidden = true;
  passes(400);  // 20 s at 0.05 s: still not ready, so still the short interval
  EXPECT_EQ(app->accessState, MenuBarAccessState::available);
  EXPECT_EQ(item->taskbarWindowRequests, 0);
  item->trayHidden = false;
  passes(99);
  EXPECT_EQ(item->taskbarWindowRequests, 0);
  passes(1);
  EXPECT_EQ(item->taskbarWindowRequests, 1);
}

TEST_F(MenuBarStatusItemControllerTest, QAKeysAndFlagsAreHonouredOnlyInQARuns) {
  start({Controller::openPopoverFlag, Controller::forceObscuredAfterReadyFlag});
  auto suite = qaSuite();
  ASSERT_TRUE(suite);
  // Ready first: the probe opened the popover once, and the seven keys were written once.
  EXPECT_EQ(item->popoverShows, 1);
  EXPECT_TRUE(suite->boolValue(Controller::popoverShownKey));
  EXPECT_TRUE(suite->boolValue("menuBarStatusItemReady"));
  EXPECT_EQ(suite->writesByKey["menuBarStatusItemReady"], 1);
  item->closePopover();
  // Then obscured by the flag: recorded once more, and the fall-back on the third pass.
  loop.advance(3 * Controller::intervalAfterReady);
  EXPECT_FALSE(suite->boolValue("menuBarStatusItemUnobscured"));
  EXPECT_EQ(suite->writesByKey["menuBarStatusItemReady"], 2);
  EXPECT_EQ(item->popoverShows, 1);
  EXPECT_EQ(app->accessState, MenuBarAccessState::dockFallback);
  EXPECT_TRUE(suite->boolValue(Controller::dockFallbackActiveKey));

  // Outside QA mode the flags do nothing and nothing is written.
  store = std::make_shared<testing::CountingDefaultsStore>();
  app = std::make_shared<testing::FakeMenuBarController>();
  item = std::make_shared<testing::FakeStatusItem>();
  model::PreferencesSource source{
      store, std::nullopt, {"corvane", Controller::openPopoverFlag, Controller::forceObscuredFlag}};
  controller = std::make_shared<Controller>(app, item, windows, source, [] {});
  controller->start([] {});
  loop.advance(10);
  EXPECT_EQ(item->popoverShows, 0);
  EXPECT_EQ(app->accessState, MenuBarAccessState::available);
  for (const auto& [name, suite] : store->suites) EXPECT_TRUE(suite->writesByKey.empty()) << name;
}

TEST_F(MenuBarStatusItemControllerTest, ForcedObscuredInQAFallsBackBeforeEverBeingReady) {
  start({Controller::forceObscuredFlag});
  loop.advance(99 * Controller::intervalBeforeReady);
  EXPECT_EQ(item->taskbarWindowRequests, 1);
  EXPECT_EQ(qaSuite()->writesByKey["menuBarStatusItemUnobscured"], 1);
}

TEST_F(MenuBarStatusItemControllerTest, IconFollowsTheSessionAndTheWatchDiesWithItsOwner) {
  start();
  EXPECT_EQ(item->symbol, Controller::inactiveSymbol);
  EXPECT_EQ(item->toolTip, "Corvane");
  app->input.isDemoModeOn = true;
  app->announceChange();
  EXPECT_EQ(item->symbol, Controller::activeSymbol);
  // A symbol that cannot be drawn leaves the icon as it was.
  item->symbolsDrawable = false;
  app->input.isDemoModeOn = false;
  app->announceChange();
  EXPECT_EQ(item->symbol, Controller::activeSymbol);

  std::weak_ptr<Controller> weak = controller;
  controller.reset();
  EXPECT_TRUE(weak.expired());
  loop.advance(5);
  EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST_F(MenuBarStatusItemControllerTest, AClickThatClosedThePopoverDoesNotReopenIt) {
  start();
  item->activate();
  EXPECT_TRUE(item->popoverShown);
  // The second click on the icon: its press closes the popup, then the tray activates the icon.
  item->closeBy(platform::Point{1810, 10});
  item->activate();
  EXPECT_FALSE(item->popoverShown);
  EXPECT_EQ(item->popoverShows, 1);
  // The next click opens it again.
  loop.advance(1);
  item->activate();
  EXPECT_TRUE(item->popoverShown);
  // A press elsewhere closed it: a click on the icon right after opens it.
  item->closeBy(platform::Point{400, 400});
  item->activate();
  EXPECT_TRUE(item->popoverShown);
  // Toggling while shown closes it.
  item->activate();
  EXPECT_FALSE(item->popoverShown);
  EXPECT_EQ(item->popoverShows, 3);
}

}  // namespace
}  // namespace corvane::menubar
