#include "app/corvane_controller.h"
#include "model/diagnostic_reporter.h"
#include "model/internal_feature_flags.h"

namespace corvane::app {

// Ends a session because of a failure without stopping the engine: the output window comes back
// to the front, the source is covered where the start-up guard is on, and the message stays until
// the user stops the sealed session.
void CorvaneController::sealWorkspaceAfterProtectedShareFailure(const std::string& message,
                                                                const std::string& event) {
  isProtectedShareStarting_.set(false);
  lastScanError_.set(message);
  protectedShareWindowManager_->reassertSessionWindow();
  const bool startupSourceGuard =
      model::InternalFeatureFlags::startupSourceGuard(*services_.bundle);
  if (startupSourceGuard) {
    showSourceGuardAfterFailure();
  } else {
    sourceGuardManager_.hide();
  }
  refreshPresenterControlBar();
  statusMessage_.set(message);
  record(event, {{"error", message},
                 {"startupSourceGuardEnabled", model::diagnosticFlag(startupSourceGuard)},
                 {"sourceGuardVisible", model::diagnosticFlag(isSourceGuardVisible())}});
}

bool CorvaneController::isSourceGuardVisible() const {
  const auto& panel = sourceGuardManager_.panel();
  return panel && panel->isVisible();
}

}  // namespace corvane::app
