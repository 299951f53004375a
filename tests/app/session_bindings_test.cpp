#include <gtest/gtest.h>

#include "app/session_harness.h"

namespace corvane::app::testing {
namespace {

using model::ProtectedSharePhase;

std::uint64_t generationOf(const RecordedEvent& event) {
  return std::stoull(event.fields.at("contextGeneration"));
}

TEST(SessionBindingsTest, ThreeDesktopChangesSettleOnce) {
  SessionHarness h;
  auto& controller = h.make();
  h.desktop->switchDesktop(1);  // outside a session: nothing
  h.loop.advance(0.5);
  EXPECT_EQ(h.count("source_space_transition_started"), 0);

  h.startLive();
  h.desktop->switchDesktop(0);
  h.loop.advance(0.1);
  h.desktop->switchDesktop(1);
  h.loop.advance(0.1);
  h.desktop->switchDesktop(0);
  h.loop.advance(0.001);  // the last change is delivered
  ASSERT_EQ(h.count("source_space_transition_started"), 3);
  std::vector<std::uint64_t> generations;
  for (const auto& event : h.events) {
    if (event.name == "source_space_transition_started") generations.push_back(generationOf(event));
  }
  EXPECT_EQ(generations[1], generations[0] + 1);
  EXPECT_EQ(generations[2], generations[0] + 2);
  EXPECT_EQ(h.last("source_space_transition_started")->fields.at("reason"), "space_changed");
  EXPECT_TRUE(controller.protectedShareEngine()->isSourceContextTransitioning.value());
  // While the change settles the bar offers no pause.
  EXPECT_FALSE(controller.presenterControlBarManager()->state()->secondaryAction);

  h.loop.advance(0.34);
  EXPECT_EQ(h.count("source_space_transition_completed"), 0);
  h.loop.advance(0.02);
  ASSERT_EQ(h.count("source_space_transition_completed"), 1);
  EXPECT_EQ(generationOf(*h.last("source_space_transition_completed")), generations[2]);
  EXPECT_FALSE(controller.protectedShareEngine()->isSourceContextTransitioning.value());
  h.loop.advance(0.1);
  EXPECT_TRUE(controller.presenterControlBarManager()->state()->secondaryAction);
}

TEST(SessionBindingsTest, FirstFrameIsHandledBeforeTheEngineStoresItAndLiveFramesWriteNothing) {
  SessionHarness h;
  auto counting = std::make_shared<CountingDefaultsStore>();
  counting->suite(model::PreferencesStore::suiteName)
      ->set("setupCompletionVersion", platform::Value(1));
  auto& controller = h.make([&](CorvaneControllerServices& s) {
    s.defaultsStore = counting;
    s.settings = counting->suite(model::PreferencesStore::suiteName);
  });
  auto& engine = *controller.protectedShareEngine();
  std::optional<std::pair<bool, bool>> seenAtFirstFrame;  // window live, engine holds the frame
  auto watch = engine.renderedFrame.observeAtOnce([&](const auto& frame) {
    if (frame && !seenAtFirstFrame) {
      seenAtFirstFrame = {controller.protectedShareWindowManager()->hasPublishedLiveFrame(),
                          engine.renderedFrame.value().has_value()};
    }
  });
  h.startLive();
  ASSERT_TRUE(seenAtFirstFrame);
  EXPECT_TRUE(seenAtFirstFrame->first);
  EXPECT_FALSE(seenAtFirstFrame->second);
  h.loop.advance(0.05);
  ASSERT_TRUE(controller.presenterControlBarManager()->panel());
  EXPECT_TRUE(controller.presenterControlBarManager()->state()->mode.value().live());

  const auto writes = counting->writes();
  const auto published = engine.publishedFrameCount();
  // Every bar refresh empties the slot the controller never fills: a frame that refreshed the
  // bar would clear this marker.
  auto& bar = *controller.presenterControlBarManager()->state();
  bar.reviewAction = [] {};
  h.desktop->moveCursor({20, 20});
  for (int i = 0; i < 120; ++i) {
    h.loop.advance(1.0 / 60);
  }
  EXPECT_GE(engine.publishedFrameCount(), published + 60);
  EXPECT_LE(counting->writes() - writes, 1);
  EXPECT_TRUE(bar.reviewAction) << "live frames refreshed the bar";
}

// The screen changes size (a monitor or dock plugged in or out) and comes back with nothing else
// happening on the desktop: the capture follows it at once, the toolbar shows the new size, the
// fitted share window says a recording of it must be restarted while it does not have the size
// the recording started with, and has that size back with the screen.
TEST(SessionBindingsTest, AScreenSizeChangeIsFollowedAtOnceAndTheWindowGetsItsSizeBack) {
  SessionHarness h;
  auto& controller = h.make();
  h.startLive();
  const auto& manager = *controller.protectedShareWindowManager();
  const auto& accessory = *manager.accessoryView();
  const auto liveFrame = manager.window()->frame();
  EXPECT_EQ(accessory.resolution(), (platform::Size{160, 90}));
  auto resizeScreenTo = [&](platform::Size size) {
    const auto changes = h.count("protected_share_stream_replaced_for_filter");
    ASSERT_TRUE(h.desktop
                    ->updateDisplay(platform::sim::SimDesktop::makeDisplay(
                        1, platform::Rect{{0, 0}, size}, 1, true))
                    .ok());
    h.loop.advance(1.0);
    EXPECT_EQ(h.count("protected_share_stream_replaced_for_filter"), changes + 1);
    EXPECT_EQ(accessory.resolution(), size);
    EXPECT_EQ(manager.viewportState().pixelSize, size);
  };
  resizeScreenTo({640, 360});
  EXPECT_NE(manager.window()->frame().size, liveFrame.size) << "fitted to the new screen";
  EXPECT_EQ(accessory.status(), share_window::ProtectedShareWindowStatus::recordingMustRestart);
  resizeScreenTo({160, 90});
  EXPECT_EQ(manager.window()->frame(), liveFrame);
  EXPECT_EQ(accessory.status(), share_window::ProtectedShareWindowStatus::live);
  EXPECT_TRUE(controller.isDemoModeOn());
}

TEST(SessionBindingsTest, FileManagerRelaunchHoldsTheOutputUntilItsIconsAreFilteredAgain) {
  SessionHarness h;
  auto& controller = h.make();
  ASSERT_TRUE(controller.protectionOptions().hideDesktopIcons);
  h.startLive();
  auto& engine = *controller.protectedShareEngine();
  const auto refreshes = engine.filterRefreshGeneration();
  ASSERT_TRUE(h.desktop->quitApplication(h.files).ok());
  h.loop.advance(0.001);
  // Held, though the quit application can no longer be looked up as the icon owner.
  EXPECT_EQ(h.count("protected_share_finder_relaunch_held"), 1);
  EXPECT_TRUE(engine.isCaptureFilterTransitioning.value());
  (void)refreshes;

  const auto relaunched = h.desktop->launchApplication({kFilesID, "Files"}).value();
  (void)h.desktop->addWindow(relaunched, {platform::Rect{{0, 0}, {160, 90}}, -1,
                                          platform::sim::SimWindowKind::desktopIcons});
  for (int i = 0; i < 200 && engine.isCaptureFilterTransitioning.value(); ++i) h.loop.advance(0.01);
  EXPECT_FALSE(engine.isCaptureFilterTransitioning.value());
  EXPECT_EQ(engine.phase.value(), ProtectedSharePhase::sharing);

  // With the icons shown, the file manager quitting is an ordinary change.
  auto options = controller.protectionOptions();
  options.hideDesktopIcons = false;
  controller.setProtectionOptions(options);
  h.loop.advance(0.5);
  const auto before = engine.filterRefreshGeneration();
  ASSERT_TRUE(h.desktop->quitApplication(relaunched).ok());
  h.loop.advance(0.001);
  EXPECT_EQ(h.count("protected_share_finder_relaunch_held"), 1);
  EXPECT_GT(engine.filterRefreshGeneration(), before);
}

TEST(SessionBindingsTest, ExcludedApplicationInFrontIsNamedOnlyOnceTheSessionIsLive) {
  SessionHarness h;
  h.desktop->captureScript().stalled = true;  // the stream starts but delivers nothing yet
  auto& controller = h.make();
  controller.toggleDemoMode();
  h.loop.advance(0.01);
  for (int i = 0; i < 100 && controller.isProtectedShareStarting(); ++i) h.loop.advance(0.01);
  ASSERT_TRUE(controller.isDemoModeOn());
  auto& engine = *controller.protectedShareEngine();
  ASSERT_FALSE(engine.renderedFrame.value());
  (void)h.desktop->activate(h.vault);
  h.loop.advance(0.001);
  EXPECT_EQ(engine.foregroundProtectedApplicationName.value(), "Vault");
  // No live text before any frame, neither the engine's nor the controller's.
  EXPECT_NE(engine.statusMessage.value(), "Vault is excluded from Protected Share");
  EXPECT_NE(controller.statusMessage(), "Vault is excluded from Protected Share");
  EXPECT_EQ(controller.interactionTargetName(), "Editor");  // not remembered while preparing

  h.desktop->captureScript().stalled = false;
  for (int i = 0; i < 400 && !h.isLive(); ++i) h.loop.advance(0.01);
  ASSERT_TRUE(h.isLive());
  h.loop.advance(0.05);
  // The bar names the excluded application in front, not the remembered one.
  const auto mode = controller.presenterControlBarManager()->state()->mode.value();
  ASSERT_TRUE(mode.live());
  EXPECT_TRUE(mode.live()->isHoldingExcludedApp);
  EXPECT_EQ(mode.title(), "Vault excluded");

  // Back to an ordinary application: remembered, and the engine's name is cleared.
  (void)h.desktop->activate(h.editor);
  h.loop.advance(0.05);
  EXPECT_FALSE(engine.foregroundProtectedApplicationName.value());
  EXPECT_EQ(controller.statusMessage(), "Protected Share live");
  EXPECT_EQ(controller.presenterControlBarManager()->state()->mode.value().title(),
            "Protected Share live");
}

TEST(SessionBindingsTest, FormerBrandLaunchStopsAndHidingThisApplicationIsUndone) {
  SessionHarness h;
  auto& controller = h.make();
  h.startLive();
  ASSERT_TRUE(h.desktop->hide(h.ownProcess));
  h.loop.advance(0.001);
  EXPECT_EQ(h.count("protected_share_application_visibility_restored"), 1);
  EXPECT_FALSE(h.desktop->application(h.ownProcess)->isHidden);

  (void)h.desktop->launchApplication({kFormerID, "Halvermoor"});
  h.loop.advance(0.001);
  EXPECT_EQ(h.count("demo_mode_stopped"), 1);
  EXPECT_FALSE(controller.isDemoModeOn());
}

TEST(SessionBindingsTest, EngineFailureSealsOnlyDuringASession) {
  SessionHarness h;
  auto& controller = h.make();
  h.startLive();
  h.desktop->stopStreamsWithError("The capture stopped.");
  for (int i = 0; i < 300 && h.count("protected_share_runtime_failed") == 0; ++i)
    h.loop.advance(0.01);
  ASSERT_EQ(h.count("protected_share_runtime_failed"), 1);
  const auto& fields = h.last("protected_share_runtime_failed")->fields;
  EXPECT_EQ(fields.at("error"), controller.statusMessage());
  EXPECT_EQ(fields.at("startupSourceGuardEnabled"), "false");
  EXPECT_EQ(fields.at("sourceGuardVisible"), "false");
  EXPECT_TRUE(controller.isDemoModeOn());
  EXPECT_EQ(controller.lastScanError(), controller.statusMessage());
}

}  // namespace
}  // namespace corvane::app::testing
