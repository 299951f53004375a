#include <gtest/gtest.h>

#include "app/menu_bar_popover_state.h"
#include "app/session_harness.h"
#include "menubar/menu_bar_popover_view_model.h"

namespace corvane::app::testing {
namespace {

using model::ProtectedSharePhase;

TEST(SessionFlowTest, StartPressedTwiceStartsOnceThenGoesLiveAndStops) {
  SessionHarness h;
  auto& controller = h.make();
  controller.toggleDemoMode();
  controller.toggleDemoMode();  // the same turn: the first start has not begun yet
  h.loop.advance(0.001);
  EXPECT_TRUE(controller.isDemoModeOn());
  EXPECT_TRUE(controller.isProtectedShareStarting());
  EXPECT_EQ(h.count("demo_mode_started"), 1);
  for (int i = 0; i < 400 && !h.isLive(); ++i) h.loop.advance(0.01);
  ASSERT_TRUE(h.isLive()) << controller.statusMessage();
  EXPECT_EQ(h.count("demo_mode_started"), 1);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 1);
  const auto* started = h.last("demo_mode_started");
  EXPECT_EQ(started->fields.at("excludedApps"), "1");
  EXPECT_EQ(started->fields.at("hideDesktopIconsInProtectedShare"), "true");
  EXPECT_EQ(controller.hiddenAppsCount(), 1);
  EXPECT_FALSE(controller.isProtectedShareStarting());
  EXPECT_TRUE(controller.protectedShareWindowManager()->hasPublishedLiveFrame());
  EXPECT_EQ(controller.statusMessage(), "Protected Share live");
  EXPECT_EQ(controller.interactionTargetName(), "Editor");

  // A press while live stops the session.
  controller.toggleDemoMode();
  EXPECT_EQ(controller.statusMessage(), "Stopping Protected Share");
  EXPECT_FALSE(controller.isDemoModeOn());
  EXPECT_TRUE(controller.isProtectedShareStopping());
  controller.toggleDemoMode();  // ignored while stopping
  h.run([](auto& c) -> runtime::Task<void> { co_await c.startDemoMode(); }(controller));
  EXPECT_EQ(h.count("demo_mode_started"), 1);  // a start while stopping does nothing
  for (int i = 0; i < 100 && controller.isProtectedShareStopping(); ++i) h.loop.advance(0.01);
  EXPECT_EQ(controller.statusMessage(), "Workspace restored");
  EXPECT_EQ(controller.hiddenAppsCount(), 0);
  EXPECT_EQ(h.count("demo_mode_stopped"), 1);
  EXPECT_EQ(controller.protectedShareEngine()->phase.value(), ProtectedSharePhase::idle);
  EXPECT_FALSE(controller.presenterControlBarManager()->panel());
}

TEST(SessionFlowTest, RefusalsComeInOrderAndSetNoSessionFlag) {
  auto start = [](SessionHarness& h) {
    h.run([](CorvaneController& c) -> runtime::Task<void> {
      co_await c.startDemoMode();
    }(*h.controller));
  };
  {
    // The former brand's copy outweighs an incomplete setup.
    SessionHarness h;
    h.settings()->set("setupCompletionVersion", platform::Value(0));
    auto& controller = h.make();
    (void)h.desktop->launchApplication({kFormerID, "Halvermoor"});
    start(h);
    EXPECT_EQ(controller.statusMessage(),
              "Quit the previous copy before starting Protected Share.");
    EXPECT_EQ(controller.lastScanError(), controller.statusMessage());
    EXPECT_EQ(h.count("demo_mode_blocked_legacy_app_running"), 1);
    EXPECT_EQ(h.count("demo_mode_blocked_incomplete_setup"), 0);
    EXPECT_FALSE(controller.isDemoModeOn());
  }
  {
    SessionHarness h;
    h.settings()->set("setupCompletionVersion", platform::Value(0));
    auto& controller = h.make();
    start(h);
    EXPECT_EQ(controller.statusMessage(), "Complete Setup before starting Protected Share.");
    EXPECT_FALSE(controller.lastScanError());
    EXPECT_EQ(h.count("demo_mode_blocked_incomplete_setup"), 1);
  }
  {
    // Capture refused, and still refused after asking: the settings open, the reason is shown.
    SessionHarness h;
    h.desktop->setScreenCaptureAllowed(false, "Log in to an X11 session to share your screen.");
    h.desktop->setGrantsScreenCaptureOnRequest(false);
    auto& controller = h.make();
    start(h);
    EXPECT_EQ(controller.statusMessage(), "Log in to an X11 session to share your screen.");
    EXPECT_EQ(controller.lastScanError(), controller.statusMessage());
    ASSERT_EQ(h.count("protected_share_blocked_permission_preflight"), 1);
    EXPECT_EQ(h.last("protected_share_blocked_permission_preflight")->fields.at("restartRequired"),
              "true");
    EXPECT_EQ(h.desktop->screenCaptureRequestCount(), 1);
    EXPECT_FALSE(controller.isDemoModeOn());
    EXPECT_FALSE(controller.isProtectedShareStarting());
    EXPECT_FALSE(controller.screenRecordingPermissionGranted());
  }
  {
    // Granted when asked: the start goes ahead at once.
    SessionHarness h;
    h.desktop->setScreenCaptureAllowed(false);
    h.desktop->setGrantsScreenCaptureOnRequest(true);
    auto& controller = h.make();
    controller.toggleDemoMode();
    h.loop.advance(0.001);
    EXPECT_TRUE(controller.isDemoModeOn());
    EXPECT_TRUE(controller.screenRecordingPermissionGranted());
  }
}

TEST(SessionFlowTest, StopDuringTheStartsAwaitEndsTheSessionAndTheLateStartOnlyClearsItsFlag) {
  SessionHarness h;
  h.desktop->captureScript().start = platform::sim::SimOperationScript::answeringAfter(0.5);
  auto& controller = h.make();
  (void)h.desktop->activate(h.vault);  // an excluded application in front
  h.loop.runUntilIdle();
  controller.toggleDemoMode();
  h.loop.advance(0.1);
  ASSERT_TRUE(controller.isProtectedShareStarting());
  controller.stopDemoMode();
  EXPECT_EQ(controller.statusMessage(), "Stopping Protected Share");
  EXPECT_FALSE(controller.isDemoModeOn());
  for (int i = 0;
       i < 300 && (controller.isProtectedShareStopping() || controller.isProtectedShareStarting());
       ++i) {
    h.loop.advance(0.01);
  }
  EXPECT_FALSE(controller.isProtectedShareStarting());
  EXPECT_EQ(controller.statusMessage(), "Workspace restored");
  EXPECT_EQ(h.count("protected_share_start_failed"), 0);
  EXPECT_FALSE(controller.protectedShareEngine()->foregroundProtectedApplicationName.value());
  EXPECT_EQ(h.count("protected_share_excluded_app_foreground"), 0);
  EXPECT_FALSE(controller.isDemoModeOn());
}

TEST(SessionFlowTest, StopWhileIdleDoesNothingAndRecordsNothing) {
  SessionHarness h;
  auto& controller = h.make();
  const auto events = h.events.size();
  controller.stopDemoMode();
  h.loop.advance(1.0);
  EXPECT_EQ(h.events.size(), events);
  EXPECT_EQ(controller.statusMessage(), "Ready to protect your next demo");
}

TEST(SessionFlowTest, FailedStartSealsWithTheGuardAndTheUserStopsTheSealedSession) {
  SessionHarness h;
  h.enableSourceGuard();
  h.desktop->captureScript().start.failure = "The display could not be captured.";
  auto& controller = h.make();
  controller.toggleDemoMode();
  for (int i = 0;
       i < 200 && (controller.isProtectedShareStarting() || h.count("demo_mode_started") == 0); ++i)
    h.loop.advance(0.01);
  h.loop.runUntilIdle();
  // The engine logs its own failure under the same name; the seal's event carries the guard.
  ASSERT_TRUE(h.last("protected_share_start_failed"));
  const auto& fields = h.last("protected_share_start_failed")->fields;
  EXPECT_EQ(fields.at("error"), controller.lastScanError().value_or("-"));
  EXPECT_EQ(fields.at("startupSourceGuardEnabled"), "true");
  EXPECT_EQ(fields.at("sourceGuardVisible"), "true");
  EXPECT_TRUE(controller.isDemoModeOn());  // sealed, not stopped
  EXPECT_FALSE(controller.isProtectedShareStarting());
  ASSERT_TRUE(controller.sourceGuardManager().panel());
  // The bar offers the stop over the sealed source.
  ASSERT_TRUE(controller.presenterControlBarManager()->panel());
  EXPECT_TRUE(controller.presenterControlBarManager()->state()->mode.value().isSourceSealed());
  menubar::perform(controller.presenterControlBarManager()->state()->primaryAction);
  EXPECT_FALSE(controller.isDemoModeOn());
  EXPECT_FALSE(controller.sourceGuardManager().panel());
  for (int i = 0; i < 100 && controller.isProtectedShareStopping(); ++i) h.loop.advance(0.01);
  EXPECT_EQ(controller.statusMessage(), "Workspace restored");
}

TEST(SessionFlowTest, TerminationTakesTheSessionDownWithoutAwaitingTheEngine) {
  SessionHarness h;
  auto& controller = h.make();
  h.startLive();
  auto window = controller.protectedShareWindowManager()->window();
  ASSERT_TRUE(window && window->isVisible());
  const auto generation = controller.protectedShareEngine()->sessionGeneration();
  h.notifications->post(kWillTerminateNotification);
  // Done before the post returned.
  EXPECT_EQ(controller.statusMessage(), "Workspace restored");
  EXPECT_EQ(h.count("workspace_restored_for_termination"), 1);
  EXPECT_FALSE(controller.isDemoModeOn());
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(controller.presenterControlBarManager()->panel());
  EXPECT_TRUE(model::isActive(controller.protectedShareEngine()->phase.value()));
  EXPECT_EQ(controller.protectedShareEngine()->sessionGeneration(), generation);
}

TEST(SessionFlowTest, OpeningTheWindowShowsThePreviewOrBringsTheHiddenLiveOutputBack) {
  SessionHarness h;
  auto& controller = h.make();
  controller.openProtectedShareWindow();
  auto window = controller.protectedShareWindowManager()->window();
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(controller.protectedShareWindowManager()->isSessionWindow());

  h.startLive();
  h.dialogs->answerNext(1);
  controller.requestHideProtectedShareWindowLocally();
  ASSERT_TRUE(controller.isProtectedShareWindowHiddenLocally());
  controller.openProtectedShareWindow();
  EXPECT_FALSE(controller.isProtectedShareWindowHiddenLocally());
  EXPECT_EQ(controller.statusMessage(), "Protected Share preview is visible");
  EXPECT_EQ(h.count("protected_share_window_shown_locally"), 1);
}

TEST(SessionFlowTest, TheExcludedCountIsWhatTheFilterInForceLeavesOut) {
  SessionHarness h;
  const std::set<std::string> installed{kVaultID, "org.example.Notes"};
  // Enabled before the start: one installed, one not; one installed but switched off.
  model::PreferencesStore::save(
      *h.settings(),
      std::vector<model::ProtectedApp>{{kVaultID, "Vault", "", true},
                                       {"org.example.Gone", "Gone", "", true},
                                       {"org.example.Notes", "Notes", "", false}},
      model::PreferencesStore::protectedAppsKey);
  auto& controller = h.make([&](CorvaneControllerServices& s) {
    s.applicationEntries =
        [installed](const std::string& id) -> std::optional<platform::DesktopEntry> {
      if (!installed.contains(id)) return std::nullopt;
      return platform::DesktopEntry{.id = id, .name = id, .type = "Application"};
    };
  });
  h.startLive();
  // The event carries every enabled exclusion; what users read counts the installed ones.
  EXPECT_EQ(h.last("demo_mode_started")->fields.at("excludedApps"), "2");
  EXPECT_EQ(controller.hiddenAppsCount(), 1);
  EXPECT_EQ(menubar::MenuBarPopoverViewModel(menuBarPopoverInput(controller)).excludedAppsCount(),
            1);

  // Two more during the share, neither running, one of them not installed.
  controller.setProtectedApps({{kVaultID, "Vault", "", true},
                               {"org.example.Notes", "Notes", "", true},
                               {"org.example.Missing", "Missing", "", true}});
  const auto& engine = *controller.protectedShareEngine();
  for (int i = 0; i < 400 && engine.protectedBundleIDsInForce->size() < 3; ++i)
    h.loop.advance(0.01);
  h.loop.advance(0.01);
  ASSERT_TRUE(engine.activeCaptureFilter());
  EXPECT_TRUE(engine.activeCaptureFilter()->filter.excludesApplication("org.example.Notes", 0))
      << "an application that is not running is in the filter in force too";
  EXPECT_EQ(controller.hiddenAppsCount(), 2) << "the one not installed is not counted";
  const auto input = menuBarPopoverInput(controller);
  EXPECT_EQ(input.notInstalledAppsCount, 1);
  EXPECT_EQ(menubar::MenuBarPopoverViewModel(input).notInstalledAppsNote(),
            " \u00b7 1 not installed");

  controller.setProtectedApps({{kVaultID, "Vault", "", false}});
  for (int i = 0; i < 400 && !engine.protectedBundleIDsInForce->empty(); ++i) h.loop.advance(0.01);
  h.loop.advance(0.01);
  EXPECT_EQ(controller.hiddenAppsCount(), 0);
  h.stopAndSettle();
}

// A stored list far longer than anyone keeps (a defaults file of 600 apps, the private one
// 550th): every enabled one is in the filter and its windows reach no frame.
TEST(SessionFlowTest, AnExcludedAppFarDownALongStoredListStaysOutOfTheShare) {
  SessionHarness h;
  std::vector<model::ProtectedApp> stored;
  for (int i = 0; i < 600; ++i) {
    stored.push_back({"org.example.Other" + std::to_string(i), "Other", "", i % 3 != 0});
  }
  stored[549] = {kVaultID, "Vault", "", true};
  model::PreferencesStore::save(*h.settings(), stored, model::PreferencesStore::protectedAppsKey);
  auto& controller = h.make();
  h.startLive();
  const auto& engine = *controller.protectedShareEngine();
  ASSERT_TRUE(engine.activeCaptureFilter());
  EXPECT_TRUE(engine.activeCaptureFilter()->filter.excludesApplication(kVaultID, 0));
  const auto published = engine.outputSurface()->snapshot();
  ASSERT_TRUE(published && published->image);
  const auto shown = h.desktop->windowsInFrame(*published->image);
  EXPECT_FALSE(std::any_of(shown.begin(), shown.end(), [&](std::uint32_t window) {
    const auto owner = h.desktop->windowOwner(window);
    return owner && owner->processIdentifier == h.vault;
  })) << "the private application's window is in the share";
  EXPECT_FALSE(shown.empty()) << "the ordinary windows are";
  h.stopAndSettle();
}

}  // namespace
}  // namespace corvane::app::testing
