#include "app/corvane_controller.h"
#include "app/launch_automation.h"
#include "model/diagnostic_reporter.h"
#include "runtime/main_actor.h"

namespace corvane::app {

void CorvaneController::completeStartupInitialization() {
  runtime::assertMainActor();
  if (startupInitializationTask_.valid()) return;
  startupInitializationTask_ = runtime::spawn(runStartupInitialization(weak_from_this()));
}

runtime::Task<void> CorvaneController::runStartupInitialization(
    std::weak_ptr<CorvaneController> weakSelf) {
  // Spawned tasks begin on the next turn: after the current main-actor work.
  if (co_await runtime::isCancelled()) co_return;
  auto self = weakSelf.lock();
  if (!self) co_return;
  self->isStartupInitializationComplete_.set(true);
  self->record(
      "app_initialized",
      {{"screenRecordingPermission",
        model::diagnosticFlag(*self->screenRecordingPermissionGranted_)},
       {"accessibilityPermission", model::diagnosticFlag(*self->accessibilityPermissionGranted_)}});
  self->runLaunchAutomationIfRequested();
}

void CorvaneController::runLaunchAutomationIfRequested() {
  const std::set<std::string> arguments(services_.arguments.begin(), services_.arguments.end());
  if (!arguments.contains(kOpenProtectedShareFlag) &&
      !arguments.contains(kStartProtectedShareFlag)) {
    return;
  }
  // Its handle is not kept: the automation holds the controller weakly and ends by itself.
  runtime::spawn(runLaunchAutomation(weak_from_this(), arguments));
}

}  // namespace corvane::app
