#pragma once

#include <QAbstractButton>
#include <QColor>

namespace corvane::ui {

// A switch-style toggle: a capsule track, filled with the tint when on, and a round knob. The
// accessible name is the label that the switch does not draw.
class ToggleSwitch final : public QAbstractButton {
  Q_OBJECT
 public:
  explicit ToggleSwitch(QColor tint, QWidget* parent = nullptr);

  QSize sizeHint() const override { return QSize(34, 20); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor tint_;
};

}  // namespace corvane::ui
