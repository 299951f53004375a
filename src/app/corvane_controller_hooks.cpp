// The points where the session flow, its engine and workspace bindings, the local preview and
// the launch automation join the controller core. Until those parts are in place each does what
// can be done without them; each moves to the file of its part when that part is written.
#include "app/corvane_controller.h"

namespace corvane::app {

// Initialisation step 13: the engine's nine observers, the workspace and screen observers and
// the termination restore, their subscriptions kept in cancellables_.
void CorvaneController::bindEngineAndWorkspace() {}

// The guard follows the session's start and its first frame, which the session flow provides;
// the bar follows.
void CorvaneController::refreshSourceGuard() {
  refreshPresenterControlBar();
}

// The bar's mode and content come from the session and the local preview.
void CorvaneController::refreshPresenterControlBar() {}

// Without the interaction-target rules no application is known to be one input may return to,
// so none is remembered.
void CorvaneController::rememberSourceApplication(const platform::RunningApplication&) {}

// The guard's stop button ends the session, which the session flow provides.
void CorvaneController::showSourceGuardAfterFailure() {}

runtime::Task<void> CorvaneController::runLaunchAutomation(std::weak_ptr<CorvaneController>,
                                                           std::set<std::string>) {
  co_return;
}

}  // namespace corvane::app
