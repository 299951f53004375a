#include "ui/qt_palette_theme.h"

#include <QApplication>
#include <memory>

namespace corvane::ui {
namespace {

model::Color fromQColor(const QColor& color) {
  return {color.redF(), color.greenF(), color.blueF(), color.alphaF()};
}

QPalette applicationPalette() {
  return QApplication::palette();
}

}  // namespace

model::Color QtPaletteTheme::controlBackground() const {
  return fromQColor(applicationPalette().color(QPalette::Base));
}

model::Color QtPaletteTheme::separator() const {
  return fromQColor(applicationPalette().color(QPalette::Mid));
}

model::Color QtPaletteTheme::windowBackground() const {
  return fromQColor(applicationPalette().color(QPalette::Window));
}

void installQtPaletteTheme() {
  model::installPaletteTheme(std::make_shared<QtPaletteTheme>());
}

QColor toQColor(const model::Color& color) {
  return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                          static_cast<float>(color.blue), static_cast<float>(color.opacity));
}

QColor toQColor(model::StatusColor color) {
  switch (color) {
    case model::StatusColor::privacyGreen:
      return toQColor(model::Palette::privacyGreen());
    case model::StatusColor::warningAmber:
      return toQColor(model::Palette::warningAmber());
    case model::StatusColor::criticalRed:
      return toQColor(model::Palette::criticalRed());
    case model::StatusColor::secondary:
      break;
  }
  return applicationPalette().color(QPalette::PlaceholderText);
}

}  // namespace corvane::ui
