#pragma once

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>
#include <map>
#include <mutex>
#include <string>

namespace corvane::ui {

// Our own symbol icons, looked up by the symbol names the views use ("lock.shield.fill",
// "pause.fill", …). Each is a 24×24 SVG compiled into the binary; its black parts take the tint
// and its white parts stay white. An unknown name draws a visible fallback glyph (a dashed box
// with a question mark) instead of nothing. Drawn images are kept, so asking again for the same
// symbol, size, tint and ratio decodes nothing.
class SymbolImages {
 public:
  static SymbolImages& shared();

  bool hasSymbol(const std::string& name) const;
  // The symbol at `size` device-independent pixels in `tint`.
  QImage image(const std::string& name, int size, const QColor& tint,
               qreal devicePixelRatio = 1.0) const;
  QIcon icon(const std::string& name, const QColor& tint, int size = 16) const;

 private:
  SymbolImages();
  // What one drawn image is made of.
  struct ImageKey {
    std::string name;
    int pixels;
    QRgb tint;
    qreal devicePixelRatio;
    auto operator<=>(const ImageKey&) const = default;
  };
  // Drawn images kept at most; the views use a few dozen.
  static constexpr std::size_t kMaxDrawnImages = 512;

  QByteArray source(const std::string& name) const;
  QImage draw(const std::string& name, int pixels, const QColor& tint) const;

  mutable std::mutex mutex_;
  mutable std::map<std::string, QByteArray> cache_;
  mutable std::map<ImageKey, QImage> drawn_;
};

}  // namespace corvane::ui
