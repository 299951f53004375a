#include "share_window/window_geometry.h"

#include <algorithm>

namespace corvane::share_window {

using platform::Point;
using platform::Rect;
using platform::Size;

Rect contentBounds(const Rect& visibleFrame, const platform::FrameExtents& frame) {
  const double horizontal = frame.left + frame.right;
  const double vertical = frame.top + frame.bottom;
  const double widthScale =
      horizontal > visibleFrame.width() / 2 ? visibleFrame.width() / 2 / horizontal : 1.0;
  const double heightScale =
      vertical > visibleFrame.height() / 2 ? visibleFrame.height() / 2 / vertical : 1.0;
  return Rect{{visibleFrame.minX() + frame.left * widthScale,
               visibleFrame.minY() + frame.top * heightScale},
              {visibleFrame.width() - horizontal * widthScale,
               visibleFrame.height() - vertical * heightScale}};
}

Rect aspectFitFrame(Size content, const Rect& bounds) {
  if (!content.isPositive() || bounds.isEmpty()) return bounds;
  const double scale = std::min(bounds.width() / content.width, bounds.height() / content.height);
  const Size size{content.width * scale, content.height * scale};
  return Rect{{bounds.minX() + (bounds.width() - size.width) / 2,
               bounds.minY() + (bounds.height() - size.height) / 2},
              size};
}

Rect actualSizeFrame(Size content, const Rect& bounds, Point centre) {
  if (!content.isPositive() || bounds.isEmpty()) return bounds;
  const double shrink =
      std::min({1.0, bounds.width() / content.width, bounds.height() / content.height});
  const Size size{content.width * shrink, content.height * shrink};
  const Rect centred{{centre.x - size.width / 2, centre.y - size.height / 2}, size};
  return clampedToBounds(centred, bounds);
}

}  // namespace corvane::share_window
