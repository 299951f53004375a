#pragma once

#include "platform/permissions.h"

namespace corvane::capture {

// How recently the user touched the keyboard, mouse or wheel.
class ProtectedContentInputActivity {
 public:
  // Seconds since the last input as `source` reports it; infinity without a source (never
  // "recent input"). Callable from any thread.
  static double secondsSinceLastEvent(const platform::InputIdleness* source);
};

}  // namespace corvane::capture
