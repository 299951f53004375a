#include "windows/onboarding_view_model.h"

#include <algorithm>

namespace corvane::windows {

using model::HealthState;

OnboardingViewInput OnboardingViewInput::from(const SetupWindowController& controller) {
  OnboardingViewInput input;
  input.isStartupInitializationComplete = controller.isStartupInitializationComplete();
  input.screenRecordingPermissionGranted = controller.screenRecordingPermissionGranted();
  input.legacyAppStatus = controller.previousCopyStatus();
  input.isQuittingLegacyApp = controller.isQuittingLegacyApp();
  input.legacyAppQuitError = controller.legacyAppQuitError();
  input.isInitialSetupComplete = controller.isInitialSetupComplete();
  input.isDemoModeOn = controller.isDemoModeOn();
  input.isScanning = controller.isScanning();
  input.isProtectedShareStopping = controller.isProtectedShareStopping();
  input.isProtectedShareHealthy = controller.isProtectedShareHealthy();
  input.isProtectedSharePreparing = controller.isProtectedSharePreparing();
  input.menuBarAccessState = controller.menuBarAccessState();
  input.settingsReset = controller.settingsReset();
  for (const auto& app : controller.protectedApps()) {
    if (!app.isEnabled) continue;
    ++(controller.isInstalledApplication(app.id) ? input.enabledProtectedAppCount
                                                 : input.notInstalledAppCount);
  }
  return input;
}

bool OnboardingViewModel::canPerformProtectedShareAction() const {
  return input_.isStartupInitializationComplete && !input_.legacyAppStatus.isRunning &&
         !input_.isQuittingLegacyApp && input_.screenRecordingPermissionGranted &&
         input_.hasReviewedExcludedApps && input_.hasConfirmedShareTarget;
}

std::string OnboardingViewModel::readinessTitle() const {
  if (!input_.isStartupInitializationComplete) return "Preparing";
  if (canPerformProtectedShareAction()) return "Ready to share";
  return "Action required";
}

HealthState OnboardingViewModel::readinessState() const {
  if (!input_.isStartupInitializationComplete) return HealthState::inactive;
  if (canPerformProtectedShareAction()) return HealthState::pass;
  return HealthState::warn;
}

std::string OnboardingViewModel::excludedAppsDetail() const {
  if (!input_.hasReviewedExcludedApps) {
    return "Choose which private apps must stay local before sharing.";
  }
  std::string detail = input_.enabledProtectedAppCount == 0
                           ? "Reviewed. No apps are currently excluded."
                           : "Reviewed. " + std::to_string(input_.enabledProtectedAppCount) +
                                 " apps stay local and do not appear in Protected Share.";
  if (input_.notInstalledAppCount == 1) {
    detail += " 1 excluded app is not installed.";
  } else if (input_.notInstalledAppCount > 1) {
    detail +=
        " " + std::to_string(input_.notInstalledAppCount) + " excluded apps are not installed.";
  }
  return detail;
}

std::string OnboardingViewModel::secondaryActionTitle() const {
  if (input_.isInitialSetupComplete) return "Close";
  if (canPerformProtectedShareAction()) return "Finish Setup";
  return "Finish Later";
}

OnboardingPrimaryAction OnboardingViewModel::protectedShareAction() const {
  const bool busy = input_.isScanning || input_.isProtectedShareStopping;
  auto row = [busy](std::string title, std::string symbol, bool enabled) {
    return OnboardingPrimaryAction{std::move(title), std::move(symbol), enabled && !busy};
  };
  if (input_.isQuittingLegacyApp) return row("Quitting Previous Copy", "hourglass", false);
  if (input_.legacyAppStatus.isRunning) {
    return row("Quit Previous Copy Above", "exclamationmark.triangle", false);
  }
  if (!input_.isStartupInitializationComplete) return row("Preparing Corvane", "hourglass", false);
  if (!input_.screenRecordingPermissionGranted) {
    return row("Enable Screen Recording", "record.circle", true);
  }
  if (!input_.hasReviewedExcludedApps) return row("Review Excluded Apps", "square.grid.2x2", true);
  if (!input_.hasConfirmedShareTarget)
    return row("Confirm Share Target", "checkmark.square", false);
  const std::string sessionSymbol =
      input_.isProtectedShareHealthy ? "rectangle.on.rectangle.angled" : "eye.slash";
  if (input_.isProtectedShareStopping) return row("Stopping", sessionSymbol, true);
  if (input_.isProtectedShareHealthy) return row("Open Protected Share", sessionSymbol, true);
  if (input_.isProtectedSharePreparing) return row("Preparing", sessionSymbol, true);
  if (input_.isDemoModeOn) return row("Restart Protected Share", sessionSymbol, true);
  return row("Start Protected Share", sessionSymbol, true);
}

std::string OnboardingViewModel::headerTitle() const {
  return showsMigrationNotice() ? "Finish Moving to Corvane" : "Set Up Corvane";
}

std::string OnboardingViewModel::headerSubtitle() const {
  if (showsMenuBarFallbackNotice()) {
    return "Corvane is running from the taskbar. Confirm the essentials before starting a "
           "customer-facing Protected Share.";
  }
  return "Corvane is running in your system tray. Confirm the essentials before starting a "
         "customer-facing Protected Share.";
}

bool OnboardingViewModel::showsMigrationNotice() const {
  return input_.migrationReviewRequired || input_.legacyAppStatus.needsAttention();
}

bool OnboardingViewModel::showsMenuBarFallbackNotice() const {
  return input_.menuBarAccessState == model::MenuBarAccessState::dockFallback ||
         input_.menuBarAccessState == model::MenuBarAccessState::noSystemTray;
}

MenuBarFallbackNotice OnboardingViewModel::menuBarFallbackNotice() const {
  return MenuBarFallbackNotice::make(input_.menuBarAccessState);
}

MigrationNoticeModel OnboardingViewModel::migrationNotice() const {
  return MigrationNoticeModel::make(input_.legacyAppStatus, input_.isQuittingLegacyApp,
                                    input_.legacyAppQuitError);
}

std::vector<OnboardingStepRowModel> OnboardingViewModel::checklist() const {
  const bool granted = input_.screenRecordingPermissionGranted;
  const bool reviewed = input_.hasReviewedExcludedApps;
  return {
      {OnboardingStep::screenRecording, "Enable Screen Recording",
       input_.screenRecordingHint.value_or(
           "Required to publish the filtered display in Protected Share."),
       granted ? HealthState::pass : HealthState::fail, granted ? "Review" : "Open Settings"},
      {OnboardingStep::excludedApps, "Review Excluded Apps", excludedAppsDetail(),
       reviewed ? HealthState::pass : HealthState::warn, reviewed ? "Review Again" : "Review"},
  };
}

model::StatusColor OnboardingViewModel::footerLabelColor() const {
  return input_.hasConfirmedShareTarget ? model::StatusColor::privacyGreen
                                        : model::StatusColor::secondary;
}

}  // namespace corvane::windows
