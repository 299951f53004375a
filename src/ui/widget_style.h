#pragma once

#include <QColor>
#include <QFont>

class QWidget;

namespace corvane::ui {

// The widget's font at `pixelSize` (rounded to whole pixels) and `weight`.
QFont fontOf(const QWidget* widget, qreal pixelSize, QFont::Weight weight);

// The colour at opacity `alpha` (0 to 1).
QColor withAlpha(QColor color, qreal alpha);

}  // namespace corvane::ui
