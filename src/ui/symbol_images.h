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
// with a question mark) instead of nothing.
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
  QByteArray source(const std::string& name) const;

  mutable std::mutex mutex_;
  mutable std::map<std::string, QByteArray> cache_;
};

}  // namespace corvane::ui
