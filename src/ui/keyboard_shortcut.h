#pragma once

#include <QKeySequence>

#include "share_window/keyboard_command.h"

namespace corvane::ui {

// The key sequence of a session shortcut (Control+Alt where other desktops use Command-Option),
// shared by the output window and the presenter control bar.
QKeySequence keySequenceFor(share_window::ProtectedShareKeyboardCommand command);

}  // namespace corvane::ui
