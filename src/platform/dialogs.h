#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace corvane::platform {

enum class AlertStyle { informational, warning, critical };

// A modal question with its buttons, first button first.
struct Alert {
  AlertStyle style = AlertStyle::informational;
  std::string message;
  std::string informativeText;
  std::vector<std::string> buttons;

  bool operator==(const Alert&) const = default;
};

// Modal dialogs the application asks the user with. Main actor only.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows the alert and waits for the answer: the index of the button pressed, or nothing when
  // the alert was dismissed without one.
  virtual std::optional<std::size_t> runModalAlert(const Alert& alert) = 0;
};

}  // namespace corvane::platform
