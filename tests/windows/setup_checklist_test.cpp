#include <gtest/gtest.h>

#include "model/in_memory_defaults_store.h"
#include "runtime/virtual_run_loop.h"
#include "support/windows_controller_double.h"
#include "windows/setup_checklist.h"

namespace corvane::windows {
namespace {

using Calls = std::vector<std::string>;

class SetupChecklistTest : public ::testing::Test {
 protected:
  SetupChecklist& checklist() {
    if (!checklist_) {
      checklist_.emplace(
          controller, defaults, [this] { ++settingsShown; }, [this] { ++closed; });
    }
    return *checklist_;
  }
  // The calls since the last look.
  Calls takeCalls() { return std::exchange(controller->calls, {}); }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<corvane::testing::WindowsControllerDouble> controller =
      std::make_shared<corvane::testing::WindowsControllerDouble>();
  std::shared_ptr<model::InMemoryDefaultsSuite> defaults =
      std::make_shared<model::InMemoryDefaultsSuite>("com.pemberquist.corvane");
  std::optional<SetupChecklist> checklist_;
  int settingsShown = 0;
  int closed = 0;
};

TEST_F(SetupChecklistTest, FirstRunPrimaryButtonWalksEveryStepThenStarts) {
  controller->permissionGranted = false;
  auto& setup = checklist();
  EXPECT_EQ(setup.viewModel().protectedShareAction().title, "Enable Screen Recording");
  setup.startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy:present", "requestPermission"}));

  controller->permissionGranted = true;
  EXPECT_EQ(setup.viewModel().protectedShareAction().title, "Review Excluded Apps");
  setup.startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(),
            (Calls{"refreshLegacy:present", "setSelectedSettingsSection:Excluded Apps"}));
  EXPECT_EQ(settingsShown, 1);
  // The review is stored at once and survives a new window.
  EXPECT_TRUE(defaults->boolValue("onboardingReviewedExcludedApps"));
  checklist_.reset();
  EXPECT_EQ(checklist().viewModel().protectedShareAction(),
            (OnboardingPrimaryAction{"Confirm Share Target", "checkmark.square", false}));
  checklist().startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy:present"}));

  checklist().setHasConfirmedShareTarget(true);
  EXPECT_TRUE(defaults->boolValue("onboardingConfirmedShareTarget"));
  EXPECT_EQ(checklist().viewModel().protectedShareAction().title, "Start Protected Share");
  checklist().startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy:present", "completeInitialSetup",
                                "openProtectedShareWindow", "toggleDemoMode"}));
  EXPECT_TRUE(controller->setupComplete);

  // The checkbox can be cleared again; the button goes back to asking for it.
  checklist().setHasConfirmedShareTarget(false);
  EXPECT_EQ(checklist().viewModel().protectedShareAction().title, "Confirm Share Target");
}

TEST_F(SetupChecklistTest, SessionRowsOpenRestartOrOnlyBringTheWindowForward) {
  defaults->set("onboardingReviewedExcludedApps", true);
  defaults->set("onboardingConfirmedShareTarget", true);
  auto& setup = checklist();
  const Calls opened{"refreshLegacy:present", "completeInitialSetup", "openProtectedShareWindow"};

  controller->demoModeOn = true;
  controller->healthy = true;
  setup.startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), opened);
  controller->healthy = false;
  controller->preparing = true;
  setup.startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), opened);
  controller->preparing = false;
  EXPECT_EQ(setup.viewModel().protectedShareAction().title, "Restart Protected Share");
  setup.startOrRecoverProtectedShare();
  auto restart = opened;
  restart.push_back("retryProtectedShare");
  EXPECT_EQ(takeCalls(), restart);

  // A former copy that started running, or a refused completion, stops before anything opens.
  controller->refusesSetupCompletion = true;
  setup.startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy:present", "completeInitialSetup"}));
  controller->previousCopy.isRunning = true;
  setup.startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy:present"}));
  controller->previousCopy.isRunning = false;
  controller->startupComplete = false;
  setup.startOrRecoverProtectedShare();
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy:present"}));
}

TEST_F(SetupChecklistTest, SecondaryButtonCompletesWhenItCanAndStaysOpenWhenRefused) {
  defaults->set("brandMigrationReviewRequired", true);
  defaults->set("onboardingReviewedExcludedApps", true);
  auto& setup = checklist();
  EXPECT_FALSE(setup.migrationReviewRequired());
  setup.onAppear();
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy"}));
  EXPECT_TRUE(setup.migrationReviewRequired());
  EXPECT_EQ(setup.viewModel().headerTitle(), "Finish Moving to Corvane");

  // Not everything met: "Finish Later" only closes.
  EXPECT_EQ(setup.viewModel().secondaryActionTitle(), "Finish Later");
  setup.finishSetupOrClose();
  EXPECT_TRUE(takeCalls().empty());
  EXPECT_EQ(closed, 1);

  setup.setHasConfirmedShareTarget(true);
  controller->refusesSetupCompletion = true;
  setup.finishSetupOrClose();
  EXPECT_EQ(takeCalls(), (Calls{"completeInitialSetup"}));
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(setup.migrationReviewRequired());

  controller->refusesSetupCompletion = false;
  setup.finishSetupOrClose();
  EXPECT_EQ(takeCalls(), (Calls{"completeInitialSetup"}));
  EXPECT_EQ(closed, 2);
  EXPECT_FALSE(setup.migrationReviewRequired());
  EXPECT_EQ(setup.viewModel().headerTitle(), "Set Up Corvane");
  // Completed earlier: "Close" only closes.
  EXPECT_EQ(setup.viewModel().secondaryActionTitle(), "Close");
  setup.finishSetupOrClose();
  EXPECT_TRUE(takeCalls().empty());
  EXPECT_EQ(closed, 3);
}

TEST_F(SetupChecklistTest, RowButtonsAndMigrationNoticeButtons) {
  auto& setup = checklist();
  setup.performStepAction(OnboardingStep::screenRecording);
  controller->permissionGranted = false;
  setup.performStepAction(OnboardingStep::screenRecording);
  setup.performStepAction(OnboardingStep::excludedApps);
  EXPECT_EQ(takeCalls(), (Calls{"openScreenRecordingSettings", "requestPermission",
                                "setSelectedSettingsSection:Excluded Apps"}));
  EXPECT_EQ(settingsShown, 1);
  EXPECT_EQ(setup.viewModel().checklist()[1].actionTitle, "Review Again");

  controller->previousCopy = {"/opt/halvermoor/halvermoor.desktop", true, {}};
  controller->quitSucceeds = false;
  setup.performMigrationNoticeAction(MigrationNoticeButton::reveal);
  setup.performMigrationNoticeAction(MigrationNoticeButton::quit);
  loop.runUntilIdle();
  EXPECT_TRUE(controller->quitting);
  EXPECT_EQ(setup.viewModel().migrationNotice().buttons[0].title, "Quitting Previous Copy");
  // A second press and a re-check while quitting do nothing.
  setup.performMigrationNoticeAction(MigrationNoticeButton::quit);
  setup.performMigrationNoticeAction(MigrationNoticeButton::recheck);
  controller->finishQuit();
  loop.runUntilIdle();
  EXPECT_EQ(takeCalls(), (Calls{"reveal:/opt/halvermoor/halvermoor.desktop", "quitPreviousCopy"}));
  EXPECT_FALSE(controller->quitting);
  const auto notice = setup.viewModel().migrationNotice();
  EXPECT_EQ(notice.quitError, "The previous copy did not quit.");
  EXPECT_EQ(notice.buttons[0].title, "Quit Previous Copy");
  setup.performMigrationNoticeAction(MigrationNoticeButton::recheck);
  EXPECT_EQ(takeCalls(), (Calls{"refreshLegacy"}));

  // Once the controller is gone the buttons do nothing.
  controller.reset();
  setup.startOrRecoverProtectedShare();
  setup.finishSetupOrClose();
  EXPECT_EQ(closed, 1);
}

}  // namespace
}  // namespace corvane::windows
