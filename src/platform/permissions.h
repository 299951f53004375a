#pragma once

#include <optional>
#include <string>

namespace corvane::platform {

// Screen capture and accessibility permissions.
class Permissions {
 public:
  virtual ~Permissions() = default;
  // Whether capture is possible now, without asking.
  virtual bool screenCapturePreflight() const = 0;
  // Asks for capture access where the desktop can grant it; returns the state afterwards.
  virtual bool requestScreenCapture() = 0;
  // Why capture is refused, in a sentence that says what to do; absent when it is allowed.
  virtual std::optional<std::string> screenCaptureDenialReason() const = 0;
  virtual bool accessibilityTrusted() const = 0;
};

// Seconds since the user last pressed a key or a mouse button, moved or scrolled.
class InputIdleness {
 public:
  virtual ~InputIdleness() = default;
  // Callable from any thread.
  virtual double secondsSinceLastInput() const = 0;
};

}  // namespace corvane::platform
