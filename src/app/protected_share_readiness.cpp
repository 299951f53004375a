#include "app/protected_share_readiness.h"

#include "model/settings_store_problem.h"
#include "platform/text_cleaning.h"

namespace corvane::app {

using model::HealthItem;
using model::HealthState;
using model::ProtectedSharePhase;

bool ProtectedShareReadiness::isProtectedShareHealthy() const {
  return in_.hasRenderedFrame &&
         (in_.phase == ProtectedSharePhase::sharing || in_.phase == ProtectedSharePhase::analyzing);
}

bool ProtectedShareReadiness::isProtectedSharePreparing() const {
  if (in_.isDemoModeOn && !in_.hasRenderedFrame) {
    return in_.isProtectedShareStarting || in_.phase == ProtectedSharePhase::starting ||
           in_.phase == ProtectedSharePhase::analyzing || in_.phase == ProtectedSharePhase::sharing;
  }
  return in_.isProtectedShareStarting;
}

bool ProtectedShareReadiness::isDirectShareTestOutputEligible() const {
  return isProtectedShareHealthy() && !in_.isPublishingPaused &&
         !in_.isCaptureFilterTransitioning && !in_.isSourceContextTransitioning &&
         !in_.isHoldingPreviousVerifiedFrame && !in_.hasSourceContextRecoveryMessage;
}

bool ProtectedShareReadiness::canStartProtectedShare() const {
  return in_.isStartupInitializationComplete && in_.isInitialSetupComplete &&
         !in_.isLegacyAppRunning;
}

bool ProtectedShareReadiness::canHideProtectedShareWindowLocally() const {
  return isProtectedShareHealthy() && !in_.isProtectedShareWindowHiddenLocally &&
         !in_.directShareTestState.retainsOutput();
}

HealthState ProtectedShareReadiness::secureViewportHealthState() const {
  if (isProtectedShareHealthy()) return HealthState::pass;
  if (in_.phase == ProtectedSharePhase::failed) return HealthState::fail;
  if (in_.phase == ProtectedSharePhase::permissionRequired) return HealthState::fail;
  if (!in_.screenRecordingPermissionGranted) return HealthState::fail;
  return HealthState::inactive;
}

std::string ProtectedShareReadiness::secureViewportHealthDetail() const {
  const bool healthy = isProtectedShareHealthy();
  if (healthy && in_.isPublishingPaused) return "Output is paused on the current frame.";
  if (healthy) return "Filtered frames are being published to the Protected Share window.";
  if (isProtectedSharePreparing()) return "Waiting for the first filtered frame.";
  if (in_.phase == ProtectedSharePhase::failed) {
    return in_.lastError.value_or(
        "Protected Share stopped. Stop the meeting-app share and restart Corvane.");
  }
  if (in_.screenRecordingPermissionGranted &&
      in_.phase != ProtectedSharePhase::permissionRequired) {
    return "Open the window, then start Protected Share before sharing.";
  }
  // What to do depends on why capture is refused here (an X11 session is needed, say).
  return in_.screenCaptureDenialReason.value_or(
      "Grant Screen Recording and restart Corvane before sharing.");
}

std::vector<HealthItem> ProtectedShareReadiness::healthItems() const {
  const bool healthy = isProtectedShareHealthy();
  const auto& configuration = in_.productionConfiguration;
  std::vector<HealthItem> rows;

  const bool granted = in_.screenRecordingPermissionGranted;
  rows.push_back(HealthItem{model::Uuid::random(), "Screen Recording",
                            granted ? "Protected Share can capture the selected display locally."
                                    : "Grant permission before starting Protected Share.",
                            granted ? HealthState::pass : HealthState::fail});

  rows.push_back(HealthItem{model::Uuid::random(), "Protected Share", secureViewportHealthDetail(),
                            secureViewportHealthState()});

  rows.push_back(HealthItem{
      model::Uuid::random(), "Capture Filter",
      healthy ? "Configured private apps are excluded before frames reach the output window."
              : "The app exclusion filter starts with Protected Share.",
      healthy ? HealthState::pass : HealthState::inactive});

  if (in_.settingsSaveError) {
    rows.push_back(
        HealthItem{model::Uuid::random(), "Diagnostics",
                   model::SettingsStoreProblem{model::SettingsStoreProblem::Kind::notSaved,
                                               *in_.settingsSaveError, std::nullopt}
                       .sentence(),
                   HealthState::fail});
  } else if (in_.lostDiagnosticEvents > 0) {
    rows.push_back(HealthItem{model::Uuid::random(), "Diagnostics",
                              std::to_string(in_.lostDiagnosticEvents) +
                                  " events could not be written to the local event log.",
                              HealthState::warn});
  } else {
    rows.push_back(HealthItem{
        model::Uuid::random(), "Diagnostics",
        "Local event logs contain metadata only; captured screen content is never written.",
        HealthState::pass});
  }

  const bool updateConfigured = configuration.isUpdateConfigured();
  std::string updateDetail;
  if (!configuration.automaticUpdatesEnabled) {
    updateDetail = "Automatic updates are intentionally disabled for this signed beta.";
  } else if (updateConfigured) {
    updateDetail = "Update feed and signing key are configured.";
  } else {
    updateDetail = "Update feed or signing key is missing.";
  }
  const bool updatesPass =
      updateConfigured || (configuration.isBetaRelease && !configuration.automaticUpdatesEnabled);
  rows.push_back(HealthItem{model::Uuid::random(), "Secure Updates", updateDetail,
                            updatesPass ? HealthState::pass : HealthState::fail});

  const bool beta = configuration.isBetaRelease;
  const auto missing = beta ? configuration.betaMissingItems() : configuration.missingItems();
  std::string operationsDetail;
  if (!missing.empty()) {
    operationsDetail = "Missing: " + platform::joinedText(missing, ", ");
  } else if (beta) {
    operationsDetail =
        "Beta settings are complete: the beta channel, its disabled services and the support "
        "links are configured.";
  } else {
    operationsDetail =
        "Release settings are complete: crash reporting, signed updates and the support links "
        "are configured.";
  }
  rows.push_back(HealthItem{model::Uuid::random(), beta ? "Beta Operations" : "Production Ops",
                            operationsDetail,
                            missing.empty() ? HealthState::pass : HealthState::fail});
  return rows;
}

std::string selectedCaptureDisplayName(const model::ProtectionOptions& options,
                                       const std::vector<model::CaptureDisplay>& displays) {
  if (!options.selectedDisplayID) return "Main display";
  for (const auto& display : displays) {
    if (display.id == *options.selectedDisplayID) return display.name;
  }
  return "Selected display";
}

}  // namespace corvane::app
