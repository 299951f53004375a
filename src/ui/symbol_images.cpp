#include "ui/symbol_images.h"

#include <QFile>
#include <QPainter>
#include <QPen>
#include <QSvgRenderer>

// The resource file lives in a static library: referencing its initialiser keeps it linked.
static void initialiseSymbolResources() {
  Q_INIT_RESOURCE(icons);
}

namespace corvane::ui {
namespace {

QString resourcePath(const std::string& name) {
  return QStringLiteral(":/icons/") + QString::fromStdString(name) + QStringLiteral(".svg");
}

void drawFallbackGlyph(QPainter& painter, int size, const QColor& tint) {
  const qreal inset = size * 0.1;
  QPen pen(tint, std::max<qreal>(1.0, size / 12.0), Qt::DashLine);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(inset, inset, size - 2 * inset, size - 2 * inset), size * 0.15,
                          size * 0.15);
  QFont font = painter.font();
  font.setPixelSize(std::max(6, static_cast<int>(size * 0.6)));
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(tint);
  painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace

SymbolImages& SymbolImages::shared() {
  static SymbolImages images;
  return images;
}

SymbolImages::SymbolImages() {
  initialiseSymbolResources();
}

QByteArray SymbolImages::source(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto found = cache_.find(name);
  if (found != cache_.end()) return found->second;
  QByteArray bytes;
  QFile file(resourcePath(name));
  if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
  cache_.emplace(name, bytes);
  return bytes;
}

bool SymbolImages::hasSymbol(const std::string& name) const {
  return !source(name).isEmpty();
}

QImage SymbolImages::image(const std::string& name, int size, const QColor& tint,
                           qreal devicePixelRatio) const {
  const int pixels = std::max(1, static_cast<int>(std::lround(size * devicePixelRatio)));
  const ImageKey key{name, pixels, tint.rgba(), devicePixelRatio};
  {
    std::lock_guard lock(mutex_);
    if (auto found = drawn_.find(key); found != drawn_.end()) return found->second;
  }
  QImage image = draw(name, pixels, tint);
  image.setDevicePixelRatio(devicePixelRatio);
  std::lock_guard lock(mutex_);
  if (drawn_.size() >= kMaxDrawnImages) drawn_.clear();
  drawn_.emplace(key, image);
  return image;
}

QImage SymbolImages::draw(const std::string& name, int pixels, const QColor& tint) const {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QByteArray svg = source(name);
  bool drawn = false;
  if (!svg.isEmpty()) {
    QColor opaque = tint;
    opaque.setAlpha(255);
    svg.replace("#000000", opaque.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(svg);
    if (renderer.isValid()) {
      painter.setOpacity(tint.alphaF());
      renderer.render(&painter, QRectF(0, 0, pixels, pixels));
      drawn = true;
    }
  }
  if (!drawn) drawFallbackGlyph(painter, pixels, tint);
  painter.end();
  return image;
}

QIcon SymbolImages::icon(const std::string& name, const QColor& tint, int size) const {
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(image(name, size, tint, 1.0)));
  icon.addPixmap(QPixmap::fromImage(image(name, size, tint, 2.0)));
  return icon;
}

}  // namespace corvane::ui
