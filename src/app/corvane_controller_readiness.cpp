#include "app/corvane_controller.h"

namespace corvane::app {

ProtectedShareReadiness CorvaneController::readiness() const {
  const auto& engine = *protectedShareEngine_;
  ProtectedShareReadinessInputs inputs;
  inputs.isDemoModeOn = *isDemoModeOn_;
  inputs.isProtectedShareStarting = *isProtectedShareStarting_;
  inputs.isProtectedShareWindowHiddenLocally = *isProtectedShareWindowHiddenLocally_;
  inputs.isStartupInitializationComplete = *isStartupInitializationComplete_;
  inputs.isInitialSetupComplete = *isInitialSetupComplete_;
  inputs.isLegacyAppRunning = legacyAppStatus_->isRunning;
  inputs.screenRecordingPermissionGranted = *screenRecordingPermissionGranted_;
  if (!inputs.screenRecordingPermissionGranted) {
    inputs.screenCaptureDenialReason = services_.desktop.permissions->screenCaptureDenialReason();
  }
  inputs.directShareTestState = *directShareTestState_;
  inputs.productionConfiguration = *productionConfiguration_;
  inputs.phase = *engine.phase;
  inputs.hasRenderedFrame = engine.renderedFrame->has_value();
  inputs.lastError = *engine.lastError;
  inputs.isPublishingPaused = *engine.isPublishingPaused;
  inputs.isCaptureFilterTransitioning = *engine.isCaptureFilterTransitioning;
  inputs.isSourceContextTransitioning = *engine.isSourceContextTransitioning;
  inputs.isHoldingPreviousVerifiedFrame = *engine.isHoldingPreviousVerifiedFrame;
  inputs.hasSourceContextRecoveryMessage = engine.sourceContextRecoveryMessage->has_value();
  inputs.settingsSaveError = *settingsSaveError_;
  if (services_.diagnostics) inputs.lostDiagnosticEvents = services_.diagnostics->lostEventCount();
  return ProtectedShareReadiness(std::move(inputs));
}

std::optional<std::string> CorvaneController::applicationIndexPollingReason() const {
  if (!services_.desktop.capture) return std::nullopt;
  return services_.desktop.capture->applicationIndexPollingReason();
}

std::string CorvaneController::selectedCaptureDisplayName() const {
  return app::selectedCaptureDisplayName(*protectionOptions_, *availableCaptureDisplays_);
}

bool CorvaneController::isProtectedShareHealthy() const {
  return readiness().isProtectedShareHealthy();
}

bool CorvaneController::isProtectedSharePreparing() const {
  return readiness().isProtectedSharePreparing();
}

bool CorvaneController::isDirectShareTestOutputEligible() const {
  return readiness().isDirectShareTestOutputEligible();
}

bool CorvaneController::canStartProtectedShare() const {
  return readiness().canStartProtectedShare();
}

bool CorvaneController::canHideProtectedShareWindowLocally() const {
  return readiness().canHideProtectedShareWindowLocally();
}

model::HealthState CorvaneController::secureViewportHealthState() const {
  return readiness().secureViewportHealthState();
}

std::string CorvaneController::secureViewportHealthDetail() const {
  return readiness().secureViewportHealthDetail();
}

std::vector<model::HealthItem> CorvaneController::healthItems() const {
  return readiness().healthItems();
}

}  // namespace corvane::app
