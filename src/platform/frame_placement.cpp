#include "platform/frame_placement.h"

#include <algorithm>
#include <limits>

namespace corvane::platform {

Rect clampedToBounds(const Rect& rect, const Rect& bounds) {
  const double width = std::min(rect.width(), bounds.width());
  const double height = std::min(rect.height(), bounds.height());
  const double x = std::min(std::max(rect.minX(), bounds.minX()),
                            std::max(bounds.maxX() - width, bounds.minX()));
  const double y = std::min(std::max(rect.minY(), bounds.minY()),
                            std::max(bounds.maxY() - height, bounds.minY()));
  return Rect{{x, y}, {width, height}};
}

std::array<Rect, 4> cornerFrames(const Rect& bounds, Size size, double margin) {
  const double left = bounds.minX() + margin;
  const double right = bounds.maxX() - size.width - margin;
  const double top = bounds.minY() + margin;
  const double bottom = bounds.maxY() - size.height - margin;
  return {Rect{{right, top}, size}, Rect{{right, bottom}, size}, Rect{{left, bottom}, size},
          Rect{{left, top}, size}};
}

std::size_t nearestCornerIndex(const std::array<Rect, 4>& corners, const Rect& frame) {
  const double cx = frame.minX() + frame.width() / 2;
  const double cy = frame.minY() + frame.height() / 2;
  std::size_t nearest = 0;
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const double dx = corners[i].minX() + corners[i].width() / 2 - cx;
    const double dy = corners[i].minY() + corners[i].height() / 2 - cy;
    const double distance = dx * dx + dy * dy;
    if (distance < best) {
      best = distance;
      nearest = i;
    }
  }
  return nearest;
}

Rect nextCornerFrame(const Rect& current, const Rect& bounds, double margin) {
  const Size size{std::min(current.width(), std::max(bounds.width() - 2 * margin, 1.0)),
                  std::min(current.height(), std::max(bounds.height() - 2 * margin, 1.0))};
  const auto corners = cornerFrames(bounds, size, margin);
  // Distances are measured from the shrunk window's centre, which is the current centre.
  const Rect centred{{current.minX() + (current.width() - size.width) / 2,
                      current.minY() + (current.height() - size.height) / 2},
                     size};
  return corners[(nearestCornerIndex(corners, centred) + 1) % corners.size()];
}

}  // namespace corvane::platform
