// The points where the session flow, its engine and workspace bindings, the presenter bar, the
// source guard, the local preview and the launch automation join the controller core. Until
// those parts are in place each does what can be done without them; each moves to the file of
// its part when that part is written.
#include "app/corvane_controller.h"

namespace corvane::app {

// Initialisation step 13: the engine's nine observers, the workspace and screen observers and
// the termination restore, their subscriptions kept in cancellables_.
void CorvaneController::bindEngineAndWorkspace() {}

// Without a source guard there is nothing to show or hide; the bar follows.
void CorvaneController::refreshSourceGuard() {
  refreshPresenterControlBar();
}

// Without a presenter bar there is nothing to refresh.
void CorvaneController::refreshPresenterControlBar() {}

// Without the interaction-target rules no application is known to be one input may return to,
// so none is remembered.
void CorvaneController::rememberSourceApplication(const platform::RunningApplication&) {}

void CorvaneController::coverSourceAfterFailure() {}

bool CorvaneController::isSourceGuardVisible() const {
  return false;
}

runtime::Task<void> CorvaneController::runLaunchAutomation(std::weak_ptr<CorvaneController>,
                                                           std::set<std::string>) {
  co_return;
}

}  // namespace corvane::app
