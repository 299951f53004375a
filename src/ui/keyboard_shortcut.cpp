#include "ui/keyboard_shortcut.h"

namespace corvane::ui {

QKeySequence keySequenceFor(share_window::ProtectedShareKeyboardCommand command) {
  const auto shortcut = share_window::shortcutFor(command);
  QString text;
  if (shortcut.control) text += QStringLiteral("Ctrl+");
  if (shortcut.alt) text += QStringLiteral("Alt+");
  text += QString::fromStdString(shortcut.key);
  return QKeySequence(text);
}

}  // namespace corvane::ui
