#include "ui/rounded_panel.h"

#include <QPainter>
#include <QPainterPath>

#include "model/palette.h"
#include "ui/qt_palette_theme.h"
#include "ui/widget_style.h"

namespace corvane::ui {

RoundedPanel::RoundedPanel(QColor fill, std::optional<QColor> stroke, qreal radius, QWidget* parent)
    : QWidget(parent), fill_(fill), stroke_(stroke), radius_(radius) {}

RoundedPanel::RoundedPanel(Style style, QWidget* parent)
    : RoundedPanel(style == Style::card ? toQColor(model::Palette::panelSurface())
                                        : withAlpha(toQColor(model::Palette::warningAmber()), 0.12),
                   style == Style::card ? std::optional(toQColor(model::Palette::panelBorder()))
                                        : std::nullopt,
                   style == Style::card ? 8 : 7, parent) {}

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
