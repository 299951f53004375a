#include "windows/setup_checklist.h"

#include "runtime/main_actor.h"

namespace corvane::windows {

SetupChecklist::SetupChecklist(std::weak_ptr<SetupWindowController> controller,
                               std::shared_ptr<platform::DefaultsSuite> defaults,
                               std::function<void()> showSettings, std::function<void()> close)
    : controller_(std::move(controller)),
      defaults_(std::move(defaults)),
      showSettings_(std::move(showSettings)),
      close_(std::move(close)) {}

OnboardingViewModel SetupChecklist::viewModel() const {
  runtime::assertMainActor();
  OnboardingViewInput input;
  if (auto controller = controller_.lock()) input = OnboardingViewInput::from(*controller);
  input.hasReviewedExcludedApps = hasReviewedExcludedApps();
  input.hasConfirmedShareTarget = hasConfirmedShareTarget();
  input.migrationReviewRequired = migrationReviewRequired_;
  input.screenRecordingHint = screenRecordingHint_;
  return OnboardingViewModel(std::move(input));
}

bool SetupChecklist::hasReviewedExcludedApps() const {
  return defaults_->boolValue(reviewedExcludedAppsKey, false);
}

bool SetupChecklist::hasConfirmedShareTarget() const {
  return defaults_->boolValue(confirmedShareTargetKey, false);
}

void SetupChecklist::setHasConfirmedShareTarget(bool confirmed) {
  runtime::assertMainActor();
  defaults_->set(confirmedShareTargetKey, platform::Value(confirmed));
}

void SetupChecklist::onAppear() {
  runtime::assertMainActor();
  if (auto controller = controller_.lock()) controller->refreshLegacyAppMigrationStatus(false);
  migrationReviewRequired_ = defaults_->boolValue(migrationReviewRequiredKey, false);
}

void SetupChecklist::reviewExcludedApps(SetupWindowController& controller) {
  // Opening the section counts as the review: the flag is set before anything shows.
  defaults_->set(reviewedExcludedAppsKey, platform::Value(true));
  controller.setSelectedSettingsSection(model::SettingsSection::protectedApps);
  if (showSettings_) showSettings_();
}

void SetupChecklist::startOrRecoverProtectedShare() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  controller->refreshLegacyAppMigrationStatus(true);
  if (controller->previousCopyStatus().isRunning) return;
  if (!controller->isStartupInitializationComplete()) return;
  if (!controller->screenRecordingPermissionGranted()) {
    controller->requestScreenRecordingPermission();
    return;
  }
  if (!hasReviewedExcludedApps()) {
    reviewExcludedApps(*controller);
    return;
  }
  // The user confirms with the share-target card's checkbox.
  if (!hasConfirmedShareTarget()) return;
  if (!controller->completeInitialSetup()) return;
  controller->openProtectedShareWindow();
  if (controller->isProtectedShareHealthy() || controller->isProtectedSharePreparing()) return;
  if (!controller->isDemoModeOn()) {
    controller->toggleDemoMode();
  } else {
    controller->retryProtectedShare();
  }
}

void SetupChecklist::finishSetupOrClose() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (controller && !controller->isInitialSetupComplete() &&
      viewModel().canPerformProtectedShareAction()) {
    if (!controller->completeInitialSetup()) return;
    migrationReviewRequired_ = false;
  }
  if (close_) close_();
}

void SetupChecklist::performStepAction(OnboardingStep step) {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  switch (step) {
    case OnboardingStep::screenRecording:
      if (controller->screenRecordingPermissionGranted()) {
        screenRecordingHint_ = controller->openScreenRecordingSettings();
      } else {
        screenRecordingHint_.reset();
        controller->requestScreenRecordingPermission();
      }
      return;
    case OnboardingStep::excludedApps:
      reviewExcludedApps(*controller);
      return;
  }
}

void SetupChecklist::performMigrationNoticeAction(MigrationNoticeButton button) {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  switch (button) {
    case MigrationNoticeButton::quit:
      if (!controller->isQuittingLegacyApp()) (void)runtime::spawn(controller->quitPreviousCopy());
      return;
    case MigrationNoticeButton::reveal:
      if (auto location = controller->previousCopyStatus().location) {
        controller->revealInFileManager(*location);
      }
      return;
    case MigrationNoticeButton::recheck:
      if (!controller->isQuittingLegacyApp()) controller->refreshLegacyAppMigrationStatus(false);
      return;
  }
}

}  // namespace corvane::windows
