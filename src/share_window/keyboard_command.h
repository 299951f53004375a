#pragma once

#include <optional>
#include <string>

namespace corvane::share_window {

// The output window's six shortcuts, handled by the controller.
enum class ProtectedShareKeyboardCommand {
  togglePreviewVisibility,
  togglePause,
  stop,
  movePreview,
  fit,
  actualSize,
};

// A shortcut as the window binds it: Control stands for the Command key of other desktops and
// Alt for Option. `key` is a key name as Qt's key sequences spell it ("P", "Space", "9").
struct KeyboardShortcut {
  bool control = false;
  bool alt = false;
  std::string key;

  bool operator==(const KeyboardShortcut&) const = default;
};

// The shortcut of each command: Ctrl+Alt+P, Ctrl+Alt+Space, Ctrl+Alt+S, Ctrl+Alt+M, Ctrl+9 and
// Ctrl+0, the same keys the presenter control bar uses for the same actions.
KeyboardShortcut shortcutFor(ProtectedShareKeyboardCommand command);

// The command a key press means, if any.
std::optional<ProtectedShareKeyboardCommand> commandForShortcut(const KeyboardShortcut& pressed);

inline constexpr ProtectedShareKeyboardCommand kAllKeyboardCommands[] = {
    ProtectedShareKeyboardCommand::togglePreviewVisibility,
    ProtectedShareKeyboardCommand::togglePause,
    ProtectedShareKeyboardCommand::stop,
    ProtectedShareKeyboardCommand::movePreview,
    ProtectedShareKeyboardCommand::fit,
    ProtectedShareKeyboardCommand::actualSize,
};

}  // namespace corvane::share_window
