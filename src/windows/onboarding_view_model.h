#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/health_item.h"
#include "model/menu_bar_access_state.h"
#include "model/palette.h"
#include "windows/onboarding_step_row.h"
#include "windows/setup_notices.h"
#include "windows/setup_window_controller.h"

namespace corvane::windows {

// Everything the setup window shows, taken together at one moment: the controller's state and
// the window's own three flags.
struct OnboardingViewInput {
  bool isStartupInitializationComplete = false;
  bool screenRecordingPermissionGranted = false;
  PreviousCopyStatus legacyAppStatus;
  bool isQuittingLegacyApp = false;
  std::optional<std::string> legacyAppQuitError;
  bool isInitialSetupComplete = false;
  bool isDemoModeOn = false;
  bool isScanning = false;
  bool isProtectedShareStopping = false;
  bool isProtectedShareHealthy = false;
  bool isProtectedSharePreparing = false;
  model::MenuBarAccessState menuBarAccessState = model::MenuBarAccessState::checking;
  // Excluded applications whose exclusion is on: installed, and not installed.
  int enabledProtectedAppCount = 0;
  // Settings reset this run because their file could not be read.
  std::optional<model::SettingsStoreProblem> settingsReset;
  int notInstalledAppCount = 0;

  bool hasReviewedExcludedApps = false;
  bool hasConfirmedShareTarget = false;
  bool migrationReviewRequired = false;
  // What the screen-recording row's button found when it had nothing to open.
  std::optional<std::string> screenRecordingHint;

  // The controller's part; the flags and the hint are the caller's.
  static OnboardingViewInput from(const SetupWindowController& controller);
};

// The footer's primary button.
struct OnboardingPrimaryAction {
  std::string title;
  std::string systemImage;
  bool isEnabled = false;

  bool operator==(const OnboardingPrimaryAction&) const = default;
};

// The setup window's texts, symbols, colours and enabled states: pure functions of the input.
// The first matching row of each table wins.
class OnboardingViewModel {
 public:
  static constexpr const char* checklistTitle = "Launch checklist";
  static constexpr const char* checklistSubtitle =
      "Confirm what will be shared before the call begins.";
  static constexpr const char* shareTargetTitle = "Share target";
  static constexpr const char* shareTargetSubtitle = "Meeting and recording apps";
  static constexpr const char* shareTargetSymbol = "rectangle.on.rectangle.angled";
  static constexpr const char* shareTargetHeadline = "Select this window";
  static constexpr const char* shareTargetWindowName = "Corvane Protected Share";
  static constexpr const char* shareTargetWarningSymbol = "exclamationmark.triangle.fill";
  static constexpr const char* shareTargetWarning =
      "Never share the original display. It bypasses Excluded Apps.";
  static constexpr const char* shareTargetConfirmation =
      "I will select \u201cCorvane Protected Share\u201d in the sharing picker.";
  static constexpr const char* footerLabel = "Share only \u201cCorvane Protected Share\u201d";
  static constexpr const char* footerSymbol = "checkmark.shield";

  explicit OnboardingViewModel(OnboardingViewInput input) : input_(std::move(input)) {}
  const OnboardingViewInput& input() const { return input_; }

  // Start-up done, no former copy running or quitting, screen capture granted, both steps done.
  bool canPerformProtectedShareAction() const;
  std::string readinessTitle() const;
  model::HealthState readinessState() const;
  std::string excludedAppsDetail() const;
  std::string secondaryActionTitle() const;
  OnboardingPrimaryAction protectedShareAction() const;

  std::string headerTitle() const;
  std::string headerSubtitle() const;
  bool showsMigrationNotice() const;
  bool showsMenuBarFallbackNotice() const;
  MenuBarFallbackNotice menuBarFallbackNotice() const;
  MigrationNoticeModel migrationNotice() const;
  std::vector<OnboardingStepRowModel> checklist() const;
  // Green once the share target is confirmed.
  model::StatusColor footerLabelColor() const;

 private:
  OnboardingViewInput input_;
};

}  // namespace corvane::windows
