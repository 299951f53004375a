#include "ui/menubar/tray_icon_image.h"

#include <QPainter>
#include <algorithm>

#include "ui/symbol_images.h"

namespace corvane::ui {
namespace {

// The outline's width in pixels, and how far the glyph is shrunk to leave it room.
constexpr int kOutline = 1;

// Every pixel takes the strongest alpha within `radius` of it (a round neighbourhood).
QImage dilatedAlpha(const QImage& glyph, int radius, const QColor& colour) {
  QImage out(glyph.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  for (int y = 0; y < glyph.height(); ++y) {
    for (int x = 0; x < glyph.width(); ++x) {
      int alpha = 0;
      for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
          const int sx = x + dx, sy = y + dy;
          if (dx * dx + dy * dy > radius * radius + 1 || sx < 0 || sy < 0 || sx >= glyph.width() ||
              sy >= glyph.height()) {
            continue;
          }
          alpha = std::max(alpha, qAlpha(glyph.pixel(sx, sy)));
        }
      }
      QColor c = colour;
      c.setAlpha(alpha);
      out.setPixelColor(x, y, c);
    }
  }
  return out;
}

}  // namespace

QImage outlinedSymbolImage(const std::string& symbol, const QColor& tint, int size) {
  const int inner = size - 2 * kOutline;
  const QImage glyph = SymbolImages::shared()
                           .image(symbol, inner, tint)
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage placed(size, size, QImage::Format_ARGB32_Premultiplied);
  placed.fill(Qt::transparent);
  {
    QPainter painter(&placed);
    painter.drawImage(QPoint(kOutline, kOutline), glyph);
  }
  const QColor outline = tint.lightnessF() < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
  QImage image = dilatedAlpha(placed, kOutline, outline);
  QPainter painter(&image);
  painter.drawImage(QPoint(0, 0), placed);
  return image;
}

QIcon outlinedSymbolIcon(const std::string& symbol, const QColor& tint, int size) {
  QIcon icon;
  for (int scale : {1, 2}) {
    icon.addPixmap(QPixmap::fromImage(outlinedSymbolImage(symbol, tint, size * scale)));
  }
  return icon;
}

}  // namespace corvane::ui
