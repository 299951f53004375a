#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <string>

namespace corvane::ui {

// The tray icon's picture: the symbol in `tint` inside an outline of the opposite lightness, so
// it stands out on a light panel and on a dark one alike (a tray rarely says which it has).
QImage outlinedSymbolImage(const std::string& symbol, const QColor& tint, int size);
QIcon outlinedSymbolIcon(const std::string& symbol, const QColor& tint, int size);

}  // namespace corvane::ui
