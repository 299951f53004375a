#include "share_window/changed_output_area.h"

#include <cmath>

namespace corvane::share_window {

using platform::Rect;

std::optional<std::vector<Rect>> changedOutputRects(const platform::PixelBuffer& image,
                                                    std::uint64_t shownSerial,
                                                    const Rect& imageRect) {
  if (image.serial() == shownSerial) return std::vector<Rect>{};
  const auto& changes = image.changes();
  if (!changes || shownSerial == 0 || changes->sinceSerial != shownSerial) return std::nullopt;
  if (image.width() <= 0 || image.height() <= 0 || imageRect.isEmpty()) return std::nullopt;
  const double scaleX = imageRect.width() / image.width();
  const double scaleY = imageRect.height() / image.height();
  std::vector<Rect> rects;
  for (const auto& area : changes->areas) {
    if (area.width <= 0 || area.height <= 0) continue;
    const double x0 = std::floor(imageRect.minX() + (area.x - 1) * scaleX) - 1;
    const double y0 = std::floor(imageRect.minY() + (area.y - 1) * scaleY) - 1;
    const double x1 = std::ceil(imageRect.minX() + (area.x + area.width + 1) * scaleX) + 1;
    const double y1 = std::ceil(imageRect.minY() + (area.y + area.height + 1) * scaleY) + 1;
    const Rect mapped = Rect{{x0, y0}, {x1 - x0, y1 - y0}}.intersection(imageRect);
    if (!mapped.isEmpty()) rects.push_back(mapped);
  }
  return rects;
}

}  // namespace corvane::share_window
