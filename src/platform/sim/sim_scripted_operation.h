#pragma once

#include <functional>
#include <utility>

#include "platform/sim/sim_capture_script.h"
#include "runtime/result.h"
#include "runtime/runtime.h"

namespace corvane::platform::sim {

// Answers an asynchronous request the way its script says: after the script's latency the
// completion (when there is one) runs on the main actor with the scripted failure, or else with
// what `produce` makes at that moment; a hanging request is dropped and its completion never runs.
// R is runtime::Status or a runtime::Result<T>.
template <class R>
void completeAsScripted(const SimOperationScript& script, std::function<void(R)> completion,
                        std::function<R()> produce) {
  if (script.hangs) return;
  runtime::mainExecutor().postAfter(
      script.latency,
      [failure = script.failure, completion = std::move(completion), produce = std::move(produce)] {
        R outcome = failure ? R(runtime::Error{*failure}) : produce();
        if (completion) completion(std::move(outcome));
      });
}

}  // namespace corvane::platform::sim
