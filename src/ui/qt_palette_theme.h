#pragma once

#include <QColor>
#include <QPalette>

#include "model/palette.h"

namespace corvane::ui {

// The palette's three theme colours from Qt's application palette: control background = Base,
// separator = Mid, window background = Window. Read afresh on every call, so a theme change shows
// at the next redraw.
class QtPaletteTheme final : public model::PaletteTheme {
 public:
  model::Color controlBackground() const override;
  model::Color separator() const override;
  model::Color windowBackground() const override;
};

// Installs QtPaletteTheme as the model palette's theme provider.
void installQtPaletteTheme();

QColor toQColor(const model::Color& color);
// The view models' status colours; secondary is the palette's placeholder-text colour.
QColor toQColor(model::StatusColor color);

}  // namespace corvane::ui
