#pragma once

#include <functional>
#include <utility>

#include "platform/sim/sim_capture_script.h"
#include "runtime/result.h"
#include "runtime/runtime.h"

namespace corvane::platform::sim {

// Answers an asynchronous request the way its script says: after the script's latency the
// completion runs on the main actor with the scripted failure, or else with what `produce` makes
// at that moment; a hanging request is dropped and its completion never runs. R is
// runtime::Status or a runtime::Result<T>.
template <class R>
void completeAsScripted(const SimOperationScript& script, std::function<void(R)> completion,
                        std::function<R()> produce) {
  if (script.hangs || !completion) return;
  runtime::mainExecutor().postAfter(
      script.latency,
      [failure = script.failure, completion = std::move(completion), produce = std::move(produce)] {
        if (failure) {
          completion(R(runtime::Error{*failure}));
        } else {
          completion(produce());
        }
      });
}

}  // namespace corvane::platform::sim
