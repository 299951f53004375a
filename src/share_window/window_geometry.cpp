#include "share_window/window_geometry.h"

#include <algorithm>
#include <limits>

namespace corvane::share_window {

using platform::Point;
using platform::Rect;
using platform::Size;

Rect clampedToBounds(const Rect& rect, const Rect& bounds) {
  const double width = std::min(rect.width(), bounds.width());
  const double height = std::min(rect.height(), bounds.height());
  const double x = std::min(std::max(rect.minX(), bounds.minX()),
                            std::max(bounds.maxX() - width, bounds.minX()));
  const double y = std::min(std::max(rect.minY(), bounds.minY()),
                            std::max(bounds.maxY() - height, bounds.minY()));
  return Rect{{x, y}, {width, height}};
}

Rect contentBounds(const Rect& visibleFrame, double titleBarAllowance) {
  const double allowance = std::min(titleBarAllowance, visibleFrame.height() / 2);
  return Rect{{visibleFrame.minX(), visibleFrame.minY() + allowance},
              {visibleFrame.width(), visibleFrame.height() - allowance}};
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

std::array<Rect, 4> cornerFrames(const Rect& bounds, Size size, double margin) {
  const double left = bounds.minX() + margin;
  const double right = bounds.maxX() - size.width - margin;
  const double top = bounds.minY() + margin;
  const double bottom = bounds.maxY() - size.height - margin;
  return {Rect{{right, top}, size}, Rect{{right, bottom}, size}, Rect{{left, bottom}, size},
          Rect{{left, top}, size}};
}

Rect nextCornerFrame(const Rect& current, const Rect& bounds, double margin) {
  // A window too large for the corners is first shrunk to leave the margin free.
  const Size size{std::min(current.width(), std::max(bounds.width() - 2 * margin, 1.0)),
                  std::min(current.height(), std::max(bounds.height() - 2 * margin, 1.0))};
  const auto corners = cornerFrames(bounds, size, margin);
  const double cx = current.minX() + current.width() / 2;
  const double cy = current.minY() + current.height() / 2;
  std::size_t nearest = 0;
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const double dx = corners[i].minX() + size.width / 2 - cx;
    const double dy = corners[i].minY() + size.height / 2 - cy;
    const double distance = dx * dx + dy * dy;
    if (distance < best) {
      best = distance;
      nearest = i;
    }
  }
  return corners[(nearest + 1) % corners.size()];
}

}  // namespace corvane::share_window
