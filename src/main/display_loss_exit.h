#pragma once

#include <functional>

namespace corvane::wiring {

// Losing the X server ends Corvane once, on the main thread, as an ordinary failure rather than
// a crash. Qt's xcb plugin ends the process with exit() when its connection breaks; the hook
// installed here runs first in that exit and, when the connection is indeed gone, records the
// loss, says so on stderr and ends with kStatus at once. The remaining exit handlers are skipped
// on purpose: they would tear down objects that capture and composer threads still use.
class DisplayLossExit {
 public:
  static constexpr int kStatus = 1;
  static constexpr const char* kSentence =
      "corvane: The connection to the X display was lost; Corvane has ended.\n";

  // Once per process, after Qt has opened its connection and before the event loop runs.
  // `displayLost` tells whether the connection is gone; `recordLoss` writes the event and waits
  // until the event log has it.
  static void install(std::function<bool()> displayLost, std::function<void()> recordLoss);
};

}  // namespace corvane::wiring
