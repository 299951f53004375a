#include "ui/widget_style.h"

#include <QWidget>

namespace corvane::ui {

QFont fontOf(const QWidget* widget, qreal pixelSize, QFont::Weight weight) {
  QFont font = widget->font();
  font.setPixelSize(qRound(pixelSize));
  font.setWeight(weight);
  return font;
}

QColor withAlpha(QColor color, qreal alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

}  // namespace corvane::ui
