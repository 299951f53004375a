#pragma once

#include <memory>
#include <utility>

#include "runtime/runtime.h"

namespace corvane::runtime {

// True when the caller runs on the installed main actor: inside one of its jobs, or (for the
// tests' virtual loop) in the test body outside any serial-queue job. False without a runtime.
bool isOnMainActor();

// Stops the process with the caller's location when code that belongs to the main actor runs
// elsewhere. Checked in debug and sanitizer builds (CORVANE_CHECK_MAIN_ACTOR); free otherwise.
#if defined(CORVANE_CHECK_MAIN_ACTOR)
void assertMainActor(const char* function = __builtin_FUNCTION(),
                     const char* file = __builtin_FILE(), int line = __builtin_LINE());
#else
inline void assertMainActor() {}
#endif

// Runs `job(owner)` on the main actor's next turn, or after `delaySeconds`, if the owner still
// lives then; callable from any thread. The owner is held weakly meanwhile.
template <class Owner, class Job>
void postToMain(std::weak_ptr<Owner> owner, Job job) {
  mainExecutor().post([owner = std::move(owner), job = std::move(job)]() mutable {
    if (auto strong = owner.lock()) job(*strong);
  });
}
template <class Owner, class Job>
void postToMainAfter(double delaySeconds, std::weak_ptr<Owner> owner, Job job) {
  mainExecutor().postAfter(delaySeconds,
                           [owner = std::move(owner), job = std::move(job)]() mutable {
                             if (auto strong = owner.lock()) job(*strong);
                           });
}

}  // namespace corvane::runtime
