#include "platform/window_areas.h"

#include <algorithm>
#include <cmath>

#include "platform/rect_subtraction.h"

namespace corvane::platform {

WindowAreas visibleWindowAreas(const std::vector<WindowPlacement>& bottomToTop, int areaWidth,
                               int areaHeight, int outputWidth, int outputHeight) {
  WindowAreas shown;
  if (areaWidth <= 0 || areaHeight <= 0 || outputWidth <= 0 || outputHeight <= 0) return shown;
  const Rect frame{{0, 0}, {static_cast<double>(areaWidth), static_cast<double>(areaHeight)}};
  const double sx = static_cast<double>(outputWidth) / areaWidth;
  const double sy = static_cast<double>(outputHeight) / areaHeight;
  auto outward = [](double value, double scale, bool up, int limit) {
    const double scaled = up ? std::ceil(value * scale) : std::floor(value * scale);
    return std::clamp(static_cast<int>(scaled), 0, limit);
  };
  for (std::size_t i = 0; i < bottomToTop.size(); ++i) {
    std::vector<Rect> visible;
    const Rect own = bottomToTop[i].bounds.intersection(frame);
    if (!own.isEmpty()) visible.push_back(own);
    for (std::size_t above = i + 1; above < bottomToTop.size() && !visible.empty(); ++above) {
      if (bottomToTop[above].opaque) visible = subtracted(visible, bottomToTop[above].bounds);
    }
    if (visible.empty()) continue;
    std::vector<PixelChanges::Area> pixels;
    for (const Rect& piece : visible) {
      const int x0 = outward(piece.minX(), sx, false, outputWidth);
      const int y0 = outward(piece.minY(), sy, false, outputHeight);
      const int x1 = outward(piece.maxX(), sx, true, outputWidth);
      const int y1 = outward(piece.maxY(), sy, true, outputHeight);
      if (x1 > x0 && y1 > y0) pixels.push_back({x0, y0, x1 - x0, y1 - y0});
    }
    if (!pixels.empty()) shown.push_back(std::move(pixels));
  }
  return shown;
}

}  // namespace corvane::platform
