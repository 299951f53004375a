#pragma once

#include <chrono>
#include <thread>

namespace corvane::testing {

// Polls `condition` every 10 ms until it holds, for at most five seconds: for what another
// process must do (start, read its environment, end).
template <class Condition>
bool pollUntil(Condition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

}  // namespace corvane::testing
