#pragma once

#include <QKeySequence>
#include <QObject>
#include <functional>

namespace corvane::ui {

// Ctrl+Q in any of the application's windows runs `quit`: one filter on the application sees
// the key press of every window, so no window has to install a shortcut of its own.
class QuitShortcut final : public QObject {
 public:
  explicit QuitShortcut(std::function<void()> quit);
  ~QuitShortcut() override;
  QuitShortcut(const QuitShortcut&) = delete;
  QuitShortcut& operator=(const QuitShortcut&) = delete;

  static QKeySequence keySequence() { return QKeySequence(Qt::ControlModifier | Qt::Key_Q); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> quit_;
};

}  // namespace corvane::ui
