#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "share_window/window_geometry.h"
#include "share_window_test_support.h"

namespace corvane::share_window {
namespace {

using platform::CollectionBehavior;
using platform::Rect;
using platform::SharingType;
using platform::Size;
using platform::WindowLevel;
using platform::WindowStyle;
using testing::ShareWindowFixture;

class ProtectedShareWindowManagerTest : public ::testing::Test, public ShareWindowFixture {};

TEST_F(ProtectedShareWindowManagerTest, EnsureWindowMakesOneTitledUnsharedWindow) {
  EXPECT_EQ(manager->window(), nullptr);
  auto first = manager->ensureWindow(controller);
  auto second = manager->ensureWindow(controller);
  EXPECT_EQ(first, second);
  EXPECT_EQ(windows->windows().size(), 1u);
  EXPECT_EQ(first->title(), "Corvane Protected Share");
  EXPECT_EQ(first->sharingType(), SharingType::none);
  EXPECT_FALSE(first->isVisible());
  EXPECT_NE(first->contentView(), nullptr);
  ASSERT_NE(manager->accessoryView(), nullptr);
  EXPECT_EQ(manager->accessoryView()->status(), ProtectedShareWindowStatus::off);
}

TEST_F(ProtectedShareWindowManagerTest, PreviewIsTitledNormalAndNotShared) {
  auto window = manager->ensureWindow(controller);
  manager->configurePreview(*window);
  window->makeKeyAndOrderFront();
  EXPECT_EQ(window->style(), WindowStyle::titled);
  EXPECT_EQ(window->level(), WindowLevel::normal);
  EXPECT_EQ(window->sharingType(), SharingType::none);
  EXPECT_TRUE(window->isMapped());
  EXPECT_FALSE(manager->isSessionWindow());
  EXPECT_EQ(manager->presentation(), ProtectedSharePresentation::preview);
}

TEST_F(ProtectedShareWindowManagerTest, SessionLifecycleShowsNothingUntilTheFirstFrame) {
  ASSERT_TRUE(manager->beginSession(controller, 2u));
  auto& w = window();
  EXPECT_TRUE(manager->isSessionWindow());
  EXPECT_FALSE(manager->hasPublishedLiveFrame());
  EXPECT_TRUE(w.isVisible());
  EXPECT_GE(w.windowNumber(), 1u);
  // Ordered in over the chosen display, but unmapped and unshared: nothing to capture.
  EXPECT_FALSE(w.isMapped());
  EXPECT_EQ(w.sharingType(), SharingType::none);
  EXPECT_EQ(w.style(), WindowStyle::borderless);
  EXPECT_EQ(w.frame(), (Rect{{2560, 0}, {1920, 1080}}));
  EXPECT_TRUE(w.ignoresMouseEvents());
  // On every desktop for the whole session: a window on another desktop is unmapped, and no
  // recorder can read it.
  EXPECT_TRUE(platform::hasFlag(w.collectionBehavior(), CollectionBehavior::canJoinAllSpaces));
  EXPECT_EQ(manager->presentation(), ProtectedSharePresentation::sessionWaiting);
  EXPECT_EQ(manager->accessoryView()->status(), ProtectedShareWindowStatus::waitingForFirstFrame);

  ASSERT_TRUE(manager->publishLiveFrame({1920, 1080}));
  EXPECT_TRUE(manager->hasPublishedLiveFrame());
  EXPECT_TRUE(w.isMapped());
  EXPECT_EQ(w.sharingType(), SharingType::readOnly);
  EXPECT_EQ(w.style(), WindowStyle::titled);
  EXPECT_FALSE(w.ignoresMouseEvents());
  EXPECT_TRUE(platform::hasFlag(w.collectionBehavior(), CollectionBehavior::canJoinAllSpaces));
  EXPECT_EQ(manager->presentation(), ProtectedSharePresentation::live);
  EXPECT_EQ(manager->accessoryView()->status(), ProtectedShareWindowStatus::live);
  // Fitted into the second display's visible frame below the title bar allowance.
  const Rect bounds = contentBounds(Rect{{2560, 32}, {1920, 1048}}, platform::sim::kSimTitledFrame);
  EXPECT_GE(w.frame().minX(), bounds.minX());
  EXPECT_LE(w.frame().maxX(), bounds.maxX() + 1e-9);
  EXPECT_GE(w.frame().minY(), bounds.minY());
  EXPECT_LE(w.frame().maxY(), bounds.maxY() + 1e-9);
  EXPECT_NEAR(w.frame().width() / (w.frame().height() - kAccessoryStripHeight), 16.0 / 9.0, 1e-9);
  EXPECT_EQ(manager->viewportState().pixelSize, (Size{1920, 1080}));
  EXPECT_NEAR(manager->viewportState().scale, w.frame().width() / 1920, 1e-9);

  // Later frames of the same size change nothing.
  const Rect placed = w.frame();
  EXPECT_TRUE(manager->publishLiveFrame({1920, 1080}));
  EXPECT_EQ(w.frame(), placed);

  manager->endSession(true);
  EXPECT_FALSE(manager->isSessionWindow());
  EXPECT_FALSE(manager->hasPublishedLiveFrame());
  EXPECT_EQ(w.sharingType(), SharingType::none);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(manager->presentation(), ProtectedSharePresentation::none);
  EXPECT_EQ(manager->window().get(), &w);

  manager->close();
  EXPECT_EQ(manager->window(), nullptr);
  EXPECT_TRUE(windows->windows().front()->isClosed());
  EXPECT_EQ(windows->windows().front()->windowNumber(), 0u);
}

// The whole window, the window manager's frame included, lies in the work area: a recorder that
// reads the window refuses it when a pixel of it lies off the screen. xfwm4 frames a window with a
// 29-point title bar and 5-point borders; the frame may change while the window is live (another
// theme), and so may the work area (a panel grows): the window follows.
TEST_F(ProtectedShareWindowManagerTest, LiveWindowWithItsFrameStaysInsideTheWorkArea) {
  platform::Screen screen = testing::makeScreen(1, {{0, 0}, {1920, 1080}}, true);
  screen.visibleFrame = Rect{{0, 27}, {1920, 1053}};
  windows->setScreens({screen});
  windows->setTitledFrame(platform::FrameExtents{5, 5, 29, 5});
  auto inside = [&](const Rect& work) {
    const Rect whole = window().frameExtents().around(window().frame());
    return whole.minX() >= work.minX() && whole.minY() >= work.minY() &&
           whole.maxX() <= work.maxX() + 1e-9 && whole.maxY() <= work.maxY() + 1e-9;
  };
  goLive();
  EXPECT_TRUE(inside(screen.visibleFrame)) << "fitted";
  EXPECT_NEAR(window().frame().height() + 34, 1053, 1e-9) << "and as large as it fits";
  manager->showLiveWindowAtActualSize();
  EXPECT_TRUE(inside(screen.visibleFrame)) << "at actual size";
  manager->fitLiveWindow();

  // A larger title bar: the window is fitted again inside (on the next turn).
  windows->setTitledFrame(platform::FrameExtents{0, 0, 41, 0});
  loop.runUntilIdle();
  EXPECT_TRUE(inside(screen.visibleFrame)) << "with a taller title bar";
  EXPECT_NEAR(window().frame().height() + 41, 1053, 1e-9);

  // A panel grows at the bottom.
  screen.visibleFrame = Rect{{0, 27}, {1920, 1000}};
  windows->setScreens({screen});
  EXPECT_TRUE(manager->screenParametersDidChange());
  EXPECT_TRUE(inside(screen.visibleFrame)) << "in the smaller work area";

  // The preview keeps its frame on the screen too.
  manager->endSession(false);
  manager->configurePreview(*manager->window());
  manager->window()->makeKeyAndOrderFront();
  EXPECT_TRUE(inside(screen.visibleFrame)) << "the preview";
}

// The screen shrinks below the live window (a monitor or dock unplugged) and comes back. X refuses
// to read a window that reaches past the screen, so the window must shrink with it: it says in
// its status line that a recording of it must be started again, and once the screen and the
// frames are back it has its size back and is plainly live again. The size it comes back to is
// the one it settled at once the window manager framed it, after it went live.
TEST_F(ProtectedShareWindowManagerTest, AScreenThatShrinksAndReturnsGivesTheWindowItsSizeBack) {
  const auto screenOf = [](double width, double height) {
    return std::vector<platform::Screen>{testing::makeScreen(1, {{0, 0}, {width, height}}, true)};
  };
  windows->setScreens(screenOf(1920, 1080));
  goLive();
  const Rect unframed = window().frame();
  windows->setTitledFrame(platform::FrameExtents{4, 4, 40, 4});
  loop.runUntilIdle();
  const Rect live = window().frame();
  ASSERT_NE(live.size, unframed.size) << "the frame did not refit the window";
  const auto status = [&] { return manager->accessoryView()->status(); };

  windows->setScreens(screenOf(1600, 900));
  EXPECT_TRUE(manager->screenParametersDidChange());
  EXPECT_TRUE(manager->publishLiveFrame({1600, 900}));
  EXPECT_LE(window().frame().maxX(), 1600.0);
  EXPECT_LE(window().frame().maxY(), 900.0);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::recordingMustRestart);
  manager->updateProtectionStatus(false, false, true, false, false, false);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::paused) << "a pause still shows as one";
  manager->updateProtectionStatus(false, false, false, false, false, false);

  windows->setScreens(screenOf(1920, 1080));
  EXPECT_TRUE(manager->screenParametersDidChange());
  EXPECT_TRUE(manager->publishLiveFrame({1920, 1080}));
  EXPECT_EQ(window().frame().size, live.size);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::live);
}

TEST_F(ProtectedShareWindowManagerTest, EndSessionWithoutClosingUnmapsTheLiveWindow) {
  goLive();
  manager->endSession(false);
  EXPECT_TRUE(window().isVisible());
  EXPECT_FALSE(window().isMapped());
  EXPECT_EQ(window().sharingType(), SharingType::none);
}

TEST_F(ProtectedShareWindowManagerTest, PublishFailsWithoutASessionWindowOnScreenWithContent) {
  // No session at all.
  EXPECT_FALSE(manager->publishLiveFrame({1920, 1080}));
  auto window = manager->ensureWindow(controller);
  manager->configurePreview(*window);
  window->orderFront();
  EXPECT_FALSE(manager->publishLiveFrame({1920, 1080}));
  EXPECT_EQ(window->sharingType(), SharingType::none);

  // A session window that the window manager refuses to show.
  window->orderOut();
  static_cast<platform::sim::SimWindow&>(*window).setRefusesToShow(true);
  EXPECT_FALSE(manager->beginSession(controller, std::nullopt));
  EXPECT_FALSE(manager->publishLiveFrame({1920, 1080}));
  EXPECT_EQ(window->sharingType(), SharingType::none);
  EXPECT_FALSE(window->isMapped());
}

TEST_F(ProtectedShareWindowManagerTest, PublishFailsWhenTheWindowHasNoContent) {
  provideContent = false;
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  EXPECT_FALSE(manager->publishLiveFrame({1920, 1080}));
  EXPECT_FALSE(manager->hasPublishedLiveFrame());
  EXPECT_EQ(window().sharingType(), SharingType::none);
  EXPECT_FALSE(window().isMapped());
}

TEST_F(ProtectedShareWindowManagerTest, PublishFailsOnceTheWindowHasLeftTheScreen) {
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  window().orderOut();
  EXPECT_FALSE(manager->publishLiveFrame({1920, 1080}));
  EXPECT_EQ(window().sharingType(), SharingType::none);
}

TEST_F(ProtectedShareWindowManagerTest, NonPositiveSizeOnlyReportsWhetherShared) {
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  EXPECT_FALSE(manager->publishLiveFrame({0, 0}));
  EXPECT_FALSE(manager->hasPublishedLiveFrame());
  EXPECT_FALSE(window().isMapped());
  ASSERT_TRUE(manager->publishLiveFrame({1280, 720}));
  EXPECT_TRUE(manager->publishLiveFrame({0, 720}));
}

TEST_F(ProtectedShareWindowManagerTest, BeginSessionFallsBackToMainDisplayAndFailsWithoutScreens) {
  ASSERT_TRUE(manager->beginSession(controller, 99u));
  EXPECT_EQ(window().frame(), (Rect{{0, 0}, {2560, 1440}}));
  windows->setScreens({});
  EXPECT_FALSE(manager->beginSession(controller, std::nullopt));
}

TEST_F(ProtectedShareWindowManagerTest, HideAndRestoreRememberFrameAndMinimumSize) {
  goLive(1u);
  auto& w = window();
  w.setMinSize({400, 250});
  w.setFrame(Rect{{300, 200}, {1280, 720}});
  const Rect before = w.frame();

  ASSERT_TRUE(manager->hideLiveWindowLocally());
  EXPECT_TRUE(manager->isLiveWindowHiddenLocally());
  EXPECT_EQ(w.level(), WindowLevel::belowDesktop);
  EXPECT_TRUE(w.ignoresMouseEvents());
  EXPECT_TRUE(platform::hasFlag(w.collectionBehavior(), CollectionBehavior::ignoresCycle));
  EXPECT_FALSE(w.canBeOrderedFront());
  EXPECT_FALSE(w.isListedInWindowsMenu());
  // Off this screen, yet still shared and mapped for the meeting application.
  EXPECT_FALSE(w.isShownLocally());
  EXPECT_EQ(w.sharingType(), SharingType::readOnly);
  EXPECT_TRUE(w.isMapped());
  EXPECT_EQ(manager->presentation(), ProtectedSharePresentation::liveHidden);

  // Meanwhile something moves and shrinks it; a second hide keeps the first saved frame.
  w.setMinSize({10, 10});
  w.setFrame(Rect{{5, 900}, {200, 100}});
  ASSERT_TRUE(manager->hideLiveWindowLocally());

  const int activations = windows->activationCount();
  ASSERT_TRUE(manager->showLiveWindowLocally());
  EXPECT_FALSE(manager->isLiveWindowHiddenLocally());
  EXPECT_TRUE(w.isShownLocally());
  EXPECT_EQ(w.frame(), before);
  EXPECT_EQ(w.minSize(), (Size{400, 250}));
  EXPECT_EQ(w.level(), WindowLevel::normal);
  EXPECT_EQ(w.collectionBehavior(), CollectionBehavior::managed |
                                        CollectionBehavior::fullScreenPrimary |
                                        CollectionBehavior::canJoinAllSpaces);
  EXPECT_FALSE(w.ignoresMouseEvents());
  EXPECT_TRUE(w.isKey());
  EXPECT_TRUE(w.canBeOrderedFront());
  EXPECT_EQ(windows->activationCount(), activations + 1);
  EXPECT_EQ(manager->presentation(), ProtectedSharePresentation::live);
}

TEST_F(ProtectedShareWindowManagerTest, ShowLocallyRefusesWithoutLiveFrameOrWhenOutputRetained) {
  EXPECT_FALSE(manager->showLiveWindowLocally());
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  EXPECT_FALSE(manager->hideLiveWindowLocally());
  EXPECT_FALSE(manager->showLiveWindowLocally());
  ASSERT_TRUE(manager->publishLiveFrame({1920, 1080}));
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  manager->setDirectShareTestState(
      DirectShareTestState::withGeneration(DirectShareTestState::Kind::accepted, 4));
  EXPECT_FALSE(manager->showLiveWindowLocally());
  EXPECT_TRUE(manager->isLiveWindowHiddenLocally());
  manager->setDirectShareTestState(DirectShareTestState::idle());
  EXPECT_TRUE(manager->showLiveWindowLocally());
}

TEST_F(ProtectedShareWindowManagerTest, RestoreRehostsASavedFrameFromAVanishedDisplay) {
  goLive(2u);
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  // The second display goes away: the saved frame no longer touches any screen.
  windows->setScreens({testing::makeScreen(1, {{0, 0}, {2560, 1440}}, true)});
  ASSERT_TRUE(manager->showLiveWindowLocally());
  const Rect bounds = contentBounds(Rect{{0, 32}, {2560, 1408}}, platform::sim::kSimTitledFrame);
  EXPECT_GE(window().frame().minX(), bounds.minX());
  EXPECT_LE(window().frame().maxX(), bounds.maxX());
  EXPECT_GE(window().frame().minY(), bounds.minY());
}

TEST_F(ProtectedShareWindowManagerTest, RestoreFailsWithoutAnyScreen) {
  goLive();
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  windows->setScreens({});
  EXPECT_FALSE(manager->showLiveWindowLocally());
  EXPECT_TRUE(manager->isLiveWindowHiddenLocally());
  EXPECT_FALSE(window().isShownLocally());
  manager->endSession(false);
  EXPECT_TRUE(window().isShownLocally()) << "an ended session leaves nothing hidden";
}

TEST_F(ProtectedShareWindowManagerTest, ScreenChangeReplacesHiddenWindowOnScreenItOverlapsMost) {
  goLive(1u);
  window().setFrame(Rect{{2000, 500}, {800, 450}});
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  // The main display shrinks; the window now overlaps the second display more than the first.
  windows->setScreens({testing::makeScreen(1, {{0, 0}, {1280, 720}}, true),
                       testing::makeScreen(2, {{1280, 0}, {1920, 1080}}, false)});
  ASSERT_TRUE(manager->screenParametersDidChange());
  const Rect bounds = contentBounds(Rect{{1280, 32}, {1920, 1048}}, platform::sim::kSimTitledFrame);
  const Rect f = window().frame();
  EXPECT_EQ(f.size, (Size{800, 450}));
  EXPECT_GE(f.minX(), bounds.minX());
  EXPECT_LE(f.maxX(), bounds.maxX());
  EXPECT_GE(f.minY(), bounds.minY());
  EXPECT_LE(f.maxY(), bounds.maxY());
  EXPECT_TRUE(manager->isLiveWindowHiddenLocally());
  EXPECT_EQ(window().level(), WindowLevel::belowDesktop);

  // Off every screen: it goes to the main one.
  windows->setScreens({testing::makeScreen(7, {{0, 2000}, {1024, 768}}, true)});
  ASSERT_TRUE(manager->screenParametersDidChange());
  EXPECT_GE(window().frame().minY(), 2000 + 32);

  windows->setScreens({});
  EXPECT_FALSE(manager->screenParametersDidChange());
}

TEST_F(ProtectedShareWindowManagerTest, NextCornerWalksClockwiseWithMargin) {
  goLive(1u);
  auto& w = window();
  w.setFrame(Rect{{300, 200}, {640, 360}});
  const Rect bounds = contentBounds(Rect{{0, 32}, {2560, 1408}}, platform::sim::kSimTitledFrame);
  const double m = kCornerMargin;
  const Rect topRight{{bounds.maxX() - 640 - m, bounds.minY() + m}, {640, 360}};
  const Rect bottomRight{{bounds.maxX() - 640 - m, bounds.maxY() - 360 - m}, {640, 360}};
  const Rect bottomLeft{{bounds.minX() + m, bounds.maxY() - 360 - m}, {640, 360}};
  const Rect topLeft{{bounds.minX() + m, bounds.minY() + m}, {640, 360}};
  // From near the top-left quarter the nearest corner is the top left, so the walk begins at the
  // top right.
  manager->moveLivePreviewToNextCorner();
  EXPECT_EQ(w.frame(), topRight);
  manager->moveLivePreviewToNextCorner();
  EXPECT_EQ(w.frame(), bottomRight);
  manager->moveLivePreviewToNextCorner();
  EXPECT_EQ(w.frame(), bottomLeft);
  manager->moveLivePreviewToNextCorner();
  EXPECT_EQ(w.frame(), topLeft);
  manager->moveLivePreviewToNextCorner();
  EXPECT_EQ(w.frame(), topRight);

  // Hidden, it stays where it is.
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  manager->moveLivePreviewToNextCorner();
  EXPECT_EQ(w.frame(), topRight);
}

TEST_F(ProtectedShareWindowManagerTest, ActualSizeUsesPointSizeAndShrinksToTheVisibleFrame) {
  windows->setScreens({testing::makeScreen(1, {{0, 0}, {1440, 900}}, true, 2.0)});
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  ASSERT_TRUE(manager->publishLiveFrame({2880, 1800}));
  manager->showLiveWindowAtActualSize();
  EXPECT_EQ(manager->viewportState().sizingMode, ProtectedShareSizingMode::actual);
  // 1440×900 points do not fit below the top bar and the title bar: shrunk, aspect kept.
  const Rect f = window().frame();
  EXPECT_NEAR(f.width() / (f.height() - kAccessoryStripHeight), 1.6, 1e-9);
  EXPECT_LE(f.height(), 900 - 32 - platform::sim::kSimTitledFrame.top + 1e-9);

  windows->setScreens({testing::makeScreen(1, {{0, 0}, {2560, 1600}}, true, 2.0)});
  manager->showLiveWindowAtActualSize();
  EXPECT_EQ(window().frame().size, (Size{1440, 900 + kAccessoryStripHeight}));
  EXPECT_NEAR(manager->viewportState().scale, 0.5, 1e-9);

  manager->fitLiveWindow();
  EXPECT_EQ(manager->viewportState().sizingMode, ProtectedShareSizingMode::fit);
  EXPECT_GT(window().frame().width(), 1440);
}

TEST_F(ProtectedShareWindowManagerTest, ReassertBringsTheSessionWindowBackUnlessRetained) {
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  const int before = window().orderFrontCount();
  manager->setDirectShareTestState(
      DirectShareTestState::withGeneration(DirectShareTestState::Kind::sealedAwaitingHostStop, 2));
  manager->reassertSessionWindow();
  EXPECT_EQ(window().orderFrontCount(), before);
  EXPECT_TRUE(window().ignoresMouseEvents());
  EXPECT_FALSE(window().canBeOrderedFront());

  manager->setDirectShareTestState(
      DirectShareTestState::withGeneration(DirectShareTestState::Kind::stopDeferred, 2));
  EXPECT_TRUE(window().canBeOrderedFront());
  manager->reassertSessionWindow();
  EXPECT_EQ(window().orderFrontCount(), before + 1);
  EXPECT_FALSE(window().ignoresMouseEvents());
}

TEST_F(ProtectedShareWindowManagerTest, HoldingStatusShowsOnlyAfterAQuarterSecond) {
  goLive();
  auto status = [&] { return manager->accessoryView()->status(); };
  manager->updateProtectionStatus(false, true, false, false, false, false);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::live);
  loop.advance(0.2);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::live);
  loop.advance(0.05);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::holding);

  // Ending the hold shows live at once; a hold shorter than the delay never shows.
  manager->updateProtectionStatus(false, false, false, false, false, false);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::live);
  manager->updateProtectionStatus(false, true, false, false, false, false);
  loop.advance(0.1);
  manager->updateProtectionStatus(false, false, false, false, false, false);
  manager->updateProtectionStatus(false, true, false, false, false, false);
  loop.advance(0.2);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::live);
  loop.advance(0.05);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::holding);

  // Other states win over holding, and failure over everything.
  manager->updateProtectionStatus(false, true, true, false, false, false);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::paused);
  manager->updateProtectionStatus(false, true, true, true, false, false);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::switchingDesktop);
  manager->updateProtectionStatus(true, true, true, true, true, true);
  EXPECT_EQ(status(), ProtectedShareWindowStatus::failed);
}

TEST_F(ProtectedShareWindowManagerTest, HoldTimerOfAnEndedSessionDoesNothing) {
  goLive();
  manager->updateProtectionStatus(false, true, false, false, false, false);
  manager->endSession(true);
  loop.advance(1);
  EXPECT_EQ(manager->accessoryView()->status(), ProtectedShareWindowStatus::off);
}

TEST_F(ProtectedShareWindowManagerTest, CloseDropsTheWindowAndAManagerGoneBeforeItsTimerIsSafe) {
  goLive();
  manager->updateProtectionStatus(false, true, false, false, false, false);
  manager->close();
  EXPECT_FALSE(manager->isSessionWindow());
  manager.reset();
  loop.advance(1);
  SUCCEED();
}

}  // namespace
}  // namespace corvane::share_window

namespace corvane::share_window {
namespace {

TEST(SimWindowSystemTest, FollowsTheSimulatedDesktopsDisplays) {
  runtime::VirtualRunLoop loop;
  auto desktop = platform::sim::SimDesktop::make();
  ASSERT_TRUE(desktop->addDisplay(
      platform::sim::SimDesktop::makeDisplay(1, Rect{{0, 0}, {1920, 1080}}, 1.0, true)));
  auto windows = std::make_shared<platform::sim::SimWindowSystem>(desktop);
  auto manager = std::make_shared<ProtectedShareWindowManager>(
      windows, [](ProtectedShareWindowManager&, const auto&) {
        return std::make_shared<testing::RecordingContentView>();
      });
  auto controller = std::make_shared<testing::RecordingController>();
  ASSERT_TRUE(manager->beginSession(controller, 2u));
  EXPECT_EQ(manager->window()->frame(), (Rect{{0, 0}, {1920, 1080}}));

  ASSERT_TRUE(desktop->addDisplay(
      platform::sim::SimDesktop::makeDisplay(2, Rect{{1920, 0}, {1280, 1024}}, 1.0, false)));
  ASSERT_TRUE(manager->beginSession(controller, 2u));
  EXPECT_EQ(manager->window()->frame(), (Rect{{1920, 0}, {1280, 1024}}));
  ASSERT_TRUE(manager->publishLiveFrame({1280, 1024}));
  ASSERT_TRUE(manager->hideLiveWindowLocally());
  ASSERT_TRUE(desktop->removeDisplay(2));
  loop.runUntilIdle();
  ASSERT_TRUE(manager->screenParametersDidChange());
  EXPECT_LE(manager->window()->frame().maxX(), 1920);
}

}  // namespace
}  // namespace corvane::share_window
