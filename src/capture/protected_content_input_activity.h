#pragma once

namespace corvane::capture {

// How recently the user touched the keyboard, mouse or wheel, from the installed platform
// services' input-idleness source.
class ProtectedContentInputActivity {
 public:
  // Seconds since the last input; infinity when no source is installed (never "recent input").
  // Callable from any thread.
  static double secondsSinceLastEvent();
};

}  // namespace corvane::capture
