#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/capture_display.h"
#include "model/health_item.h"
#include "model/production_configuration.h"
#include "model/protected_share_phase.h"
#include "model/protection_options.h"
#include "share_window/direct_share_test_state.h"

namespace corvane::app {

// Everything the session's derived values read, taken from the controller and its engine at one
// moment.
struct ProtectedShareReadinessInputs {
  // Controller
  bool isDemoModeOn = false;
  bool isProtectedShareStarting = false;
  bool isProtectedShareWindowHiddenLocally = false;
  bool isStartupInitializationComplete = false;
  bool isInitialSetupComplete = false;
  bool isLegacyAppRunning = false;
  bool screenRecordingPermissionGranted = false;
  // Why capture is refused, in the permission's own words (absent when allowed).
  std::optional<std::string> screenCaptureDenialReason;
  share_window::DirectShareTestState directShareTestState;
  model::ProductionConfiguration productionConfiguration;
  // Engine
  model::ProtectedSharePhase phase = model::ProtectedSharePhase::idle;
  bool hasRenderedFrame = false;
  std::optional<std::string> lastError;
  bool isPublishingPaused = false;
  bool isCaptureFilterTransitioning = false;
  bool isSourceContextTransitioning = false;
  bool isHoldingPreviousVerifiedFrame = false;
  bool hasSourceContextRecoveryMessage = false;
  // Why settings cannot be saved, and how many events the local log could not keep.
  std::optional<std::string> settingsSaveError;
  std::uint64_t lostDiagnosticEvents = 0;
};

// The session's derived state, computed afresh from its inputs: whether it is healthy,
// preparing, startable or may be hidden on this screen, and the readiness rows.
class ProtectedShareReadiness {
 public:
  explicit ProtectedShareReadiness(ProtectedShareReadinessInputs inputs) : in_(std::move(inputs)) {}

  bool isProtectedShareHealthy() const;
  bool isProtectedSharePreparing() const;
  bool isDirectShareTestOutputEligible() const;
  bool canStartProtectedShare() const;
  bool canHideProtectedShareWindowLocally() const;
  model::HealthState secureViewportHealthState() const;
  std::string secureViewportHealthDetail() const;
  // Six rows, always in the same order, each with a fresh id.
  std::vector<model::HealthItem> healthItems() const;

 private:
  ProtectedShareReadinessInputs in_;
};

// "Main display" without a choice, else the chosen display's name, else "Selected display".
std::string selectedCaptureDisplayName(const model::ProtectionOptions& options,
                                       const std::vector<model::CaptureDisplay>& displays);

}  // namespace corvane::app
