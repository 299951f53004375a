#include <gtest/gtest.h>

#include "app/session_harness.h"
#include "platform/sim/sim_window_system.h"

namespace corvane::app::testing {
namespace {

TEST(LocalPreviewTest, HidingAsksFirstAndAPreviewNoLongerPresentedComesBack) {
  SessionHarness h;
  auto& controller = h.make();
  h.startLive();
  h.loop.advance(0.05);

  h.dialogs->answerNext(0);  // "Keep Preview Visible"
  controller.requestHideProtectedShareWindowLocally();
  ASSERT_EQ(h.dialogs->shownAlerts().size(), 1u);
  const auto& alert = h.dialogs->shownAlerts().front();
  EXPECT_EQ(alert.message, "Hide the preview on this screen?");
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Keep Preview Visible", "I Started Sharing"}));
  EXPECT_EQ(controller.statusMessage(), "Protected Share preview remains visible");
  EXPECT_FALSE(controller.isProtectedShareWindowHiddenLocally());

  // The bar's preview button asks the same question.
  h.dialogs->answerNext(1);  // "I Started Sharing"
  menubar::perform(controller.presenterControlBarManager()->state()->previewVisibilityAction);
  ASSERT_TRUE(controller.isProtectedShareWindowHiddenLocally());
  EXPECT_EQ(controller.statusMessage(), "Protected Share preview is hidden on this screen");
  EXPECT_EQ(h.count("protected_share_window_hide_confirmed"), 1);
  EXPECT_EQ(h.count("protected_share_window_hidden_locally"), 1);
  EXPECT_TRUE(controller.presenterControlBarManager()->state()->isPreviewHidden.value());
  EXPECT_TRUE(controller.protectedShareWindowManager()->isLiveWindowHiddenLocally());

  // Nothing presents the simulated surface: the watchdog brings the preview back after its wait.
  h.loop.advance(1.9);
  EXPECT_TRUE(controller.isProtectedShareWindowHiddenLocally());
  h.loop.advance(0.2);
  EXPECT_FALSE(controller.isProtectedShareWindowHiddenLocally());
  EXPECT_EQ(controller.statusMessage(), "Preview restored because hidden presentation stopped");
  EXPECT_EQ(h.count("protected_share_hidden_presentation_recovered"), 1);
}

TEST(LocalPreviewTest, FailedRestoresArePacedAndTheThirdStopsTheSession) {
  SessionHarness h;
  auto& controller = h.make();
  h.startLive();
  h.dialogs->answerNext(1);
  controller.requestHideProtectedShareWindowLocally();
  ASSERT_TRUE(controller.isProtectedShareWindowHiddenLocally());
  // The window can no longer be shown on this screen.
  auto window = std::static_pointer_cast<platform::sim::SimWindow>(
      controller.protectedShareWindowManager()->window());
  window->orderOut();
  window->setRefusesToShow(true);

  auto failures = [&] { return h.count("protected_share_hidden_presentation_recovery_failed"); };
  h.loop.advance(2.05);
  EXPECT_EQ(failures(), 1);
  EXPECT_EQ(controller.statusMessage(),
            "Hidden preview stopped presenting; restore or stop Protected Share");
  h.loop.advance(3.9);  // the next attempt waits a whole interval before its own 2 s watch
  EXPECT_EQ(failures(), 1);
  h.loop.advance(0.2);
  EXPECT_EQ(failures(), 2);
  EXPECT_TRUE(controller.isDemoModeOn());
  h.loop.advance(4.0);
  EXPECT_EQ(failures(), 3);
  EXPECT_EQ(h.count("protected_share_hidden_presentation_recovery_abandoned"), 1);
  EXPECT_EQ(h.count("demo_mode_stopped"), 1);
  EXPECT_FALSE(controller.isDemoModeOn());
  h.loop.advance(10.0);
  EXPECT_EQ(failures(), 3);
}

TEST(LocalPreviewTest, RetryIsIgnoredWhileStartingAndPressedTwiceStopsOnceAndStartsOnce) {
  SessionHarness h;
  h.desktop->captureScript().start = platform::sim::SimOperationScript::answeringAfter(0.5);
  auto& controller = h.make();
  controller.toggleDemoMode();
  h.loop.advance(0.1);
  ASSERT_TRUE(controller.isProtectedShareStarting());
  const auto stops = h.count("protected_share_stopped");
  controller.retryProtectedShare();
  EXPECT_FALSE(controller.isProtectedShareStopping());
  for (int i = 0; i < 400 && !h.isLive(); ++i) h.loop.advance(0.01);
  ASSERT_TRUE(h.isLive());
  EXPECT_EQ(h.count("protected_share_stopped"), stops);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 1);

  controller.retryProtectedShare();
  controller.retryProtectedShare();
  EXPECT_TRUE(controller.isProtectedShareStopping());
  for (int i = 0; i < 600 && !(h.isLive() && h.count("demo_mode_started") == 2); ++i)
    h.loop.advance(0.01);
  EXPECT_TRUE(h.isLive());
  EXPECT_EQ(h.count("demo_mode_started"), 2);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 2);
}

TEST(LocalPreviewTest, InputGoesBackToTheSourceOrTheFrontmostEligibleApplication) {
  SessionHarness h;
  auto& controller = h.make();
  EXPECT_EQ(controller.interactionTargetName(), "Editor");
  // This application and the desktop shell's components are never targets.
  EXPECT_FALSE(controller.isEligibleInteractionTarget(*h.desktop->application(h.ownProcess)));
  const auto panel =
      h.desktop->launchApplication({"org.example.Panel", "Panel", 0, false, false}).value();
  EXPECT_FALSE(controller.isEligibleInteractionTarget(*h.desktop->application(panel)));

  // The remembered application is hidden now: the frontmost eligible one takes its place.
  // (Asked before the workspace reports the change.)
  (void)h.desktop->hide(h.editor);
  const auto frontmost = h.desktop->frontmostApplication();
  ASSERT_TRUE(frontmost && frontmost->processIdentifier != h.editor);
  controller.activateSourceApplicationForInteraction(true);
  ASSERT_TRUE(h.last("protected_share_input_target_activated"));
  EXPECT_EQ(h.last("protected_share_input_target_activated")->fields.at("fallback"), "true");
  EXPECT_EQ(controller.interactionTargetName(), frontmost->localizedName);
  h.loop.runUntilIdle();

  // Nothing eligible left: "current app".
  (void)h.desktop->quitApplication(h.vault);
  (void)h.desktop->quitApplication(h.files);
  (void)h.desktop->activate(panel);
  h.loop.runUntilIdle();
  const auto activations = h.count("protected_share_input_target_activated");
  controller.activateSourceApplicationForInteraction(true);
  EXPECT_EQ(controller.interactionTargetName(), "current app");
  EXPECT_EQ(h.count("protected_share_input_target_activated"), activations);
}

}  // namespace
}  // namespace corvane::app::testing
