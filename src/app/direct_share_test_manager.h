#pragma once

#include <functional>
#include <memory>

#include "app/direct_share_transaction.h"
#include "platform/window_system.h"
#include "runtime/task.h"
#include "share_window/direct_share_test_state.h"

namespace corvane::app {

// The end-of-session and termination half of the direct-share test: decides whether a session
// stop may go ahead, must wait for a pending test request, or first seals a target the test had
// accepted. Nothing in the product starts a test, so its fields are filled only by whatever
// starts one; with ownership none (always, in practice) a stop goes ahead at once. Main actor.
class DirectShareTestManager {
 public:
  using StateHandler = std::function<void(const share_window::DirectShareTestState&)>;

  DirectShareTransaction transaction;
  std::shared_ptr<platform::TopLevelWindow> requestWindow;
  std::shared_ptr<platform::TopLevelWindow> targetWindow;
  runtime::TaskHandle<void> pendingStatusTask;
  std::function<void()> deferredSessionEnd;
  StateHandler stateHandler;

  // True: the stop may go ahead now. False: a test request is pending; the first callback given
  // while it is pending is kept and run once the request is resolved (later ones are dropped).
  bool prepareForProtectedSessionEnd(std::function<void()> onPendingRequestResolved);
  // The capture failed while a target was accepted: seal it (a sealed target stays sealed).
  void sealAcceptedTarget();
  // Cancels and releases everything; a deferred session end is dropped, never run.
  void shutdownForTermination();

  // A test is under way or holds a window: a new session must not start.
  bool isBusy() const {
    return transaction.ownership.kind != DirectShareTargetOwnership::Kind::none ||
           targetWindow != nullptr;
  }

 private:
  void report(const share_window::DirectShareTestState& state) const;
  void dismissRequestWindow();
  void releaseTargetWindow();
};

}  // namespace corvane::app
