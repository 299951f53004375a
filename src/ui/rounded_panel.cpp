#include "ui/rounded_panel.h"

#include <QPainter>
#include <QPainterPath>

#include "model/palette.h"
#include "ui/qt_palette_theme.h"
#include "ui/widget_style.h"

namespace corvane::ui {

RoundedPanel::RoundedPanel(QColor fill, std::optional<QColor> stroke, qreal radius, QWidget* parent)
    : QWidget(parent), fill_(fill), stroke_(stroke), radius_(radius) {}

RoundedPanel* RoundedPanel::card(QWidget* parent) {
  return new RoundedPanel(toQColor(model::Palette::panelSurface()),
                          toQColor(model::Palette::panelBorder()), 8, parent);
}

RoundedPanel* RoundedPanel::warningBox(QWidget* parent) {
  return new RoundedPanel(withAlpha(toQColor(model::Palette::warningAmber()), 0.12), std::nullopt,
                          7, parent);
}

void RoundedPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
  painter.fillPath(shape, fill_);
  if (stroke_) {
    painter.setPen(QPen(*stroke_, 1));
    painter.drawPath(shape);
  }
}

}  // namespace corvane::ui
