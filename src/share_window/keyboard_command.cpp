#include "share_window/keyboard_command.h"

namespace corvane::share_window {

KeyboardShortcut shortcutFor(ProtectedShareKeyboardCommand command) {
  switch (command) {
    case ProtectedShareKeyboardCommand::togglePreviewVisibility:
      return {true, true, "P"};
    case ProtectedShareKeyboardCommand::togglePause:
      return {true, true, "Space"};
    case ProtectedShareKeyboardCommand::stop:
      return {true, true, "S"};
    case ProtectedShareKeyboardCommand::movePreview:
      return {true, true, "M"};
    case ProtectedShareKeyboardCommand::fit:
      return {true, false, "9"};
    case ProtectedShareKeyboardCommand::actualSize:
      return {true, false, "0"};
  }
  return {};
}

std::optional<ProtectedShareKeyboardCommand> commandForShortcut(const KeyboardShortcut& pressed) {
  for (auto command : kAllKeyboardCommands) {
    if (shortcutFor(command) == pressed) return command;
  }
  return std::nullopt;
}

}  // namespace corvane::share_window
