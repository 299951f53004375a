#include <gtest/gtest.h>

#include "app/capture_display_list.h"
#include "app/controller_harness.h"
#include "model/protected_application_catalog.h"

namespace corvane::app::testing {
namespace {

using model::PreferencesStore;
using model::ProtectionOptions;

std::optional<ProtectionOptions> storedOptions(platform::DefaultsSuite& suite) {
  return PreferencesStore::load<ProtectionOptions>(suite, PreferencesStore::protectionOptionsKey);
}

TEST(ControllerStateTest, FirstLaunchWithEmptyDefaults) {
  ControllerHarness h;
  auto& controller = h.make();
  EXPECT_EQ(controller.protectedApps(), model::ProtectedApp::defaults());
  EXPECT_EQ(controller.sensitiveRules(), model::SensitiveRule::defaults());
  EXPECT_EQ(controller.alwaysHideWords(), "");
  EXPECT_EQ(controller.neverHideWords(), "Corvane, Example Co");
  EXPECT_FALSE(controller.isInitialSetupComplete());
  EXPECT_EQ(controller.statusMessage(), "Ready to protect your next demo");
  EXPECT_EQ(controller.interactionTargetName(), "current app");
  EXPECT_EQ(controller.selectedSettingsSection(), model::SettingsSection::general);
  EXPECT_EQ(controller.menuBarAccessState(), model::MenuBarAccessState::checking);
  EXPECT_EQ(controller.legacyAppStatus(), LegacyAppMigrationStatus::clear());
  EXPECT_TRUE(controller.screenRecordingPermissionGranted());
  // Nothing was written but what loading the options writes the first time.
  EXPECT_FALSE(h.settings()->object(PreferencesStore::protectedAppsKey));
  EXPECT_FALSE(h.settings()->object(PreferencesStore::sensitiveRulesKey));
  ASSERT_EQ(h.count("app_shell_initialized"), 1);
  EXPECT_EQ(h.last("app_shell_initialized")->fields.at("screenRecordingPermission"), "true");
  EXPECT_EQ(h.last("app_shell_initialized")->fields.at("accessibilityPermission"), "true");
}

TEST(ControllerStateTest, StoredValuesLoadAndUnreadableOnesFallBackUntouched) {
  ControllerHarness h;
  auto suite = h.settings();
  const std::string garbage = "{not json";
  suite->set(PreferencesStore::protectedAppsKey,
             platform::Value(platform::Value::Data(garbage.begin(), garbage.end())));
  suite->set("alwaysHideWords", platform::Value("Project Falcon"));
  suite->set("neverHideWords", platform::Value(""));
  suite->set("setupCompletionVersion", platform::Value(1));
  suite->set(PreferencesStore::brandMigrationReviewRequiredKey, platform::Value(true));
  auto& controller = h.make();
  EXPECT_EQ(controller.protectedApps(), model::ProtectedApp::defaults());
  // The unreadable value stays as it is until the list is next changed.
  EXPECT_EQ(suite->dataValue(PreferencesStore::protectedAppsKey),
            platform::Value::Data(garbage.begin(), garbage.end()));
  EXPECT_EQ(controller.alwaysHideWords(), "Project Falcon");
  EXPECT_EQ(controller.neverHideWords(), "");
  // A pending brand review outweighs a completed setup.
  EXPECT_FALSE(controller.isInitialSetupComplete());

  auto edited = model::ProtectedApp::defaults();
  edited.push_back({" org.example.Vault ", "Vault", "", true});
  edited.push_back({"", "Blank", "", true});
  edited.push_back({edited.front().id, "Duplicate", "", false});
  controller.setProtectedApps(edited);
  EXPECT_EQ(controller.protectedApps(), edited);  // published as given
  const auto stored = PreferencesStore::load<std::vector<model::ProtectedApp>>(
      *suite, PreferencesStore::protectedAppsKey);
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, model::ProtectedApplicationCatalog::normalized(edited));

  controller.setAlwaysHideWords("Atlas");
  controller.setNeverHideWords("Corvane");
  EXPECT_EQ(suite->stringValue("alwaysHideWords"), "Atlas");
  EXPECT_EQ(suite->stringValue("neverHideWords"), "Corvane");
}

TEST(ControllerStateTest, DisplayNamesCountSkippedScreens) {
  auto screen = [](std::uint32_t id, std::string name, double width, double height, double scale) {
    platform::Screen s;
    s.displayID = id;
    s.name = std::move(name);
    s.frame = {{0, 0}, {width, height}};
    s.backingScaleFactor = scale;
    return s;
  };
  const auto displays =
      captureDisplays({screen(0, "Unnumbered", 800, 600, 1), screen(7, "", 1512.9, 982.4, 2),
                       screen(9, "DP-2", 1920, 1080, 1.5)});
  ASSERT_EQ(displays.size(), 2u);
  EXPECT_EQ(displays[0], (model::CaptureDisplay{7, "Display 2", "1512 x 982 pt @2x"}));
  // "%.0f" rounds half to even: 1.5 reads 2x.
  EXPECT_EQ(displays[1], (model::CaptureDisplay{9, "DP-2", "1920 x 1080 pt @2x"}));
}

// A second display, number 2, to the right of the main one.
void addSecondDisplay(ControllerHarness& h) {
  (void)h.desktop->addDisplay(
      platform::sim::SimDesktop::makeDisplay(2, platform::Rect{{160, 0}, {160, 90}}));
}

TEST(ControllerStateTest, UnpluggedSelectionIsForgottenAndNothingPushedWhileIdle) {
  ControllerHarness h;
  addSecondDisplay(h);
  ProtectionOptions options;
  options.selectedDisplayID = 2;
  PreferencesStore::save(*h.settings(), options, PreferencesStore::protectionOptionsKey);
  auto& controller = h.make();
  EXPECT_EQ(controller.selectedCaptureDisplayName(), "SIM-2");

  ASSERT_TRUE(h.desktop->removeDisplay(2).ok());
  controller.refreshCaptureDisplays();
  EXPECT_EQ(controller.availableCaptureDisplays().size(), 1u);
  EXPECT_FALSE(controller.protectionOptions().selectedDisplayID);
  EXPECT_FALSE(storedOptions(*h.settings())->selectedDisplayID);
  EXPECT_EQ(controller.selectedCaptureDisplayName(), "Main display");
  // The idle engine received nothing (a push would have handed it the desktop-icon option).
  EXPECT_FALSE(controller.protectedShareEngine()->hideDesktopIconsInProtectedShare());
  EXPECT_EQ(h.count("protected_share_selected_display_lost"), 0);
}

TEST(ControllerStateTest, DisplayLostDuringASessionSealsAndIsForgottenAfterTheStop) {
  ControllerHarness h;
  addSecondDisplay(h);
  ProtectionOptions options;
  options.selectedDisplayID = 2;
  options.hideDesktopIcons = false;
  PreferencesStore::save(*h.settings(), options, PreferencesStore::protectionOptionsKey);
  auto& controller = h.make();
  auto engine = controller.protectedShareEngine();
  h.run(engine->start({}, false, {}, 2));
  ASSERT_TRUE(model::isActive(*engine->phase));

  // Settings changes reach the running capture at once; only enabled apps are left out.
  options.hideDesktopIcons = true;
  controller.setProtectionOptions(options);
  EXPECT_TRUE(engine->hideDesktopIconsInProtectedShare());
  for (const char* id : {"org.example.Vault", "org.example.Diary"}) {
    const auto pid = h.desktop->launchApplication({id, id}).value();
    (void)h.desktop->addWindow(pid, {platform::Rect{{10, 10}, {40, 30}}});
  }
  auto apps = controller.protectedApps();
  apps.push_back({"org.example.Vault", "Vault", "", true});
  apps.push_back({"org.example.Diary", "Diary", "", false});
  controller.setProtectedApps(apps);
  h.loop.advance(1.0);
  ASSERT_TRUE(engine->activeCaptureFilter());
  EXPECT_TRUE(engine->activeCaptureFilter()->excludedBundleIDs.contains("org.example.Vault"));
  EXPECT_FALSE(engine->activeCaptureFilter()->excludedBundleIDs.contains("org.example.Diary"));

  // A guard left up is taken down by the sealing while the start-up guard is off.
  controller.sourceGuardManager().show(2, "SIM-2", [] {});
  ASSERT_TRUE(controller.sourceGuardManager().panel());
  ASSERT_TRUE(h.desktop->removeDisplay(2).ok());
  controller.refreshCaptureDisplays();
  controller.refreshCaptureDisplays();  // a second refresh does not seal again
  EXPECT_FALSE(controller.sourceGuardManager().panel());
  EXPECT_EQ(controller.statusMessage(), CorvaneController::kSelectedDisplayLostMessage);
  EXPECT_EQ(controller.lastScanError(), CorvaneController::kSelectedDisplayLostMessage);
  ASSERT_EQ(h.count("protected_share_selected_display_lost"), 1);
  const auto& fields = h.last("protected_share_selected_display_lost")->fields;
  EXPECT_EQ(fields.at("error"), CorvaneController::kSelectedDisplayLostMessage);
  EXPECT_EQ(fields.at("startupSourceGuardEnabled"), "false");
  EXPECT_EQ(fields.at("sourceGuardVisible"), "false");
  // The capture was not moved to another display: the choice is kept while the session runs.
  EXPECT_EQ(controller.protectionOptions().selectedDisplayID, 2u);
  EXPECT_EQ(storedOptions(*h.settings())->selectedDisplayID, 2u);
  EXPECT_EQ(controller.selectedCaptureDisplayName(), "Selected display");

  h.run(engine->stop());
  h.loop.runUntilIdle();
  EXPECT_EQ(*engine->phase, model::ProtectedSharePhase::idle);
  EXPECT_FALSE(controller.protectionOptions().selectedDisplayID);
  EXPECT_FALSE(storedOptions(*h.settings())->selectedDisplayID);
}

TEST(ControllerStateTest, ViewsGetOneChangeSignalPerTurn) {
  ControllerHarness h;
  auto& controller = h.make();
  h.loop.runUntilIdle();
  int signals = 0;
  auto subscription = controller.observeChanges([&] { ++signals; });
  controller.setSelectedSettingsSection(model::SettingsSection::protectedApps);
  controller.setMenuBarAccessState(model::MenuBarAccessState::dockFallback);
  controller.setAlwaysHideWords("Atlas");
  EXPECT_EQ(signals, 0);  // delivered on the next turn, with every change stored
  h.loop.runUntilIdle();
  EXPECT_EQ(signals, 1);
  h.loop.runUntilIdle();
  EXPECT_EQ(signals, 1);
  controller.setNeverHideWords("x");
  h.loop.runUntilIdle();
  EXPECT_EQ(signals, 2);
}

TEST(ControllerStateTest, StartupCompletesOnceOnTheNextTurn) {
  ControllerHarness h;
  h.arguments = {"--qa-pause-after-first-frame"};  // no automation without an open or start flag
  auto& controller = h.make();
  controller.completeStartupInitialization();
  controller.completeStartupInitialization();
  EXPECT_FALSE(controller.isStartupInitializationComplete());
  h.loop.runUntilIdle();
  controller.completeStartupInitialization();
  h.loop.runUntilIdle();
  EXPECT_TRUE(controller.isStartupInitializationComplete());
  EXPECT_EQ(h.count("app_initialized"), 1);
  EXPECT_EQ(h.loop.pendingJobCount(), 0u);
}

TEST(ControllerStateTest, StartupTaskDoesNothingOnceTheControllerIsGone) {
  ControllerHarness h;
  h.make();
  h.controller->completeStartupInitialization();
  h.controller.reset();
  h.loop.runUntilIdle();
  EXPECT_EQ(h.count("app_initialized"), 0);
}

TEST(ControllerStateTest, DirectShareStateIsPublishedAndHandedToTheOutputWindow) {
  ControllerHarness h;
  auto& controller = h.make();
  auto& manager = controller.directShareTestManager();
  EXPECT_TRUE(manager.prepareForProtectedSessionEnd([] {}));
  EXPECT_EQ(controller.directShareTestState(), share_window::DirectShareTestState::idle());
  manager.transaction.ownership = DirectShareTargetOwnership::accepted(9);
  EXPECT_TRUE(manager.prepareForProtectedSessionEnd([] {}));
  const auto sealed = share_window::DirectShareTestState::withGeneration(
      share_window::DirectShareTestState::Kind::sealedAwaitingHostStop, 9);
  EXPECT_EQ(controller.directShareTestState(), sealed);
  EXPECT_EQ(controller.protectedShareWindowManager()->directShareTestState(), sealed);
  EXPECT_FALSE(controller.canHideProtectedShareWindowLocally());
}

}  // namespace
}  // namespace corvane::app::testing
