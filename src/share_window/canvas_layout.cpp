#include "share_window/canvas_layout.h"

#include <algorithm>

#include "share_window/window_geometry.h"

namespace corvane::share_window {

using platform::Rect;
using platform::Size;

Rect outputImageRect(Size viewSize, Size pixelSize, const ProtectedShareViewportState& viewport,
                     double devicePixelRatio) {
  const Rect bounds{{0, 0}, viewSize};
  if (!pixelSize.isPositive() || !viewSize.isPositive()) return Rect{};
  if (viewport.sizingMode == ProtectedShareSizingMode::fit)
    return aspectFitFrame(pixelSize, bounds);
  const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  const Size points{pixelSize.width / ratio, pixelSize.height / ratio};
  return actualSizeFrame(points, bounds, {viewSize.width / 2, viewSize.height / 2});
}

std::optional<Rect> outputCursorRect(const Rect& imageRect,
                                     const capture::ProtectedCursorState& cursor) {
  if (!cursor.isDrawable() || imageRect.isEmpty()) return std::nullopt;
  const auto position = *cursor.normalizedPosition;
  if (position.x < 0 || position.x > 1 || position.y < 0 || position.y > 1) return std::nullopt;
  double scale = 1.0;
  if (cursor.sourceDisplaySize && cursor.sourceDisplaySize->width > 0) {
    scale = imageRect.width() / cursor.sourceDisplaySize->width;
  }
  Size size = cursor.pointSize;
  if (!size.isPositive()) {
    size = Size{static_cast<double>(cursor.image->width()),
                static_cast<double>(cursor.image->height())};
  }
  size = Size{size.width * scale, size.height * scale};
  const double x = imageRect.minX() + position.x * imageRect.width();
  const double y = imageRect.minY() + position.y * imageRect.height();
  return Rect{
      {x - cursor.normalizedHotSpot.x * size.width, y - cursor.normalizedHotSpot.y * size.height},
      size};
}

}  // namespace corvane::share_window
