#include "app/direct_share_test_manager.h"

namespace corvane::app {

using Kind = DirectShareTargetOwnership::Kind;
using share_window::DirectShareTestState;

bool DirectShareTestManager::prepareForProtectedSessionEnd(
    std::function<void()> onPendingRequestResolved) {
  const auto ownership = transaction.ownership;
  switch (ownership.kind) {
    case Kind::pending:
      if (!deferredSessionEnd) deferredSessionEnd = std::move(onPendingRequestResolved);
      report(DirectShareTestState::withGeneration(DirectShareTestState::Kind::stopDeferred,
                                                  ownership.generation));
      return false;
    case Kind::accepted:
    case Kind::sealed:
      sealAcceptedTarget();
      return true;
    case Kind::none:
      releaseTargetWindow();
      return true;
  }
  return true;
}

void DirectShareTestManager::sealAcceptedTarget() {
  const auto ownership = transaction.ownership;
  if (ownership.kind != Kind::accepted && ownership.kind != Kind::sealed) return;
  transaction.ownership = DirectShareTargetOwnership::sealed(ownership.generation);
  report(DirectShareTestState::withGeneration(DirectShareTestState::Kind::sealedAwaitingHostStop,
                                              ownership.generation));
}

void DirectShareTestManager::shutdownForTermination() {
  transaction.generation += 1;  // unsigned: wraps
  transaction.ownership = DirectShareTargetOwnership::none();
  pendingStatusTask.cancel();
  pendingStatusTask = {};
  deferredSessionEnd = nullptr;
  dismissRequestWindow();
  releaseTargetWindow();
  stateHandler = nullptr;
}

void DirectShareTestManager::report(const DirectShareTestState& state) const {
  if (stateHandler) stateHandler(state);
}

void DirectShareTestManager::dismissRequestWindow() {
  if (!requestWindow) return;
  requestWindow->orderOut();
  requestWindow = nullptr;
}

void DirectShareTestManager::releaseTargetWindow() {
  if (!targetWindow) return;
  targetWindow->orderOut();
  targetWindow->setContentView(nullptr);
  targetWindow->close();
  targetWindow = nullptr;
}

}  // namespace corvane::app
