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
  coverSourceAfterFailure();
  refreshPresenterControlBar();
  statusMessage_.set(message);
  record(
      event,
      {{"error", message},
       {"startupSourceGuardEnabled",
        model::diagnosticFlag(model::InternalFeatureFlags::startupSourceGuard(*services_.bundle))},
       {"sourceGuardVisible", model::diagnosticFlag(isSourceGuardVisible())}});
}

}  // namespace corvane::app
