#include "ui/quit_shortcut.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

namespace corvane::ui {

QuitShortcut::QuitShortcut(std::function<void()> quit) : quit_(std::move(quit)) {
  QCoreApplication::instance()->installEventFilter(this);
}

QuitShortcut::~QuitShortcut() {
  if (auto* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

bool QuitShortcut::eventFilter(QObject* watched, QEvent* event) {
  // A key press reaches the window first and then its focus widget: the window's turn counts.
  if (event->type() != QEvent::KeyPress || !watched->isWindowType()) return false;
  const auto* key = static_cast<const QKeyEvent*>(event);
  const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
  if (key->isAutoRepeat() ||
      QKeySequence(QKeyCombination(modifiers, Qt::Key(key->key()))) != keySequence()) {
    return false;
  }
  if (quit_) quit_();
  return true;
}

}  // namespace corvane::ui
