#include "ui/toggle_switch.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/widget_style.h"

namespace corvane::ui {

ToggleSwitch::ToggleSwitch(QColor tint, QWidget* parent) : QAbstractButton(parent), tint_(tint) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFocusPolicy(Qt::StrongFocus);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(isEnabled() ? 1.0 : 0.5);
  const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
  const qreal radius = track.height() / 2;
  QPainterPath shape;
  shape.addRoundedRect(track, radius, radius);
  const QColor text = palette().color(QPalette::WindowText);
  painter.fillPath(shape, isChecked() ? tint_ : withAlpha(text, 0.18));
  const qreal knob = track.height() - 4;
  const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
  painter.setPen(QPen(withAlpha(Qt::black, 0.15), 0.5));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

}  // namespace corvane::ui
