#include "verification/pixel_rect.h"

#include <cmath>

#include "verification/normalized_geometry.h"

namespace corvane::verification {

namespace {

// Outward rounding that ignores the last bits of floating-point noise, so that 5/60 of 3840
// pixels is pixel 320 and not 321.
constexpr double kRoundingSlack = 1e-7;

std::optional<PixelRect> roundedOutward(double minX, double minY, double maxX, double maxY,
                                        int width, int height) {
  const PixelRect frame{0, 0, width, height};
  const int x0 = static_cast<int>(std::floor(minX * width + kRoundingSlack));
  const int y0 = static_cast<int>(std::floor(minY * height + kRoundingSlack));
  const int x1 = static_cast<int>(std::ceil(maxX * width - kRoundingSlack));
  const int y1 = static_cast<int>(std::ceil(maxY * height - kRoundingSlack));
  const auto rect = PixelRect{x0, y0, x1 - x0, y1 - y0}.intersection(frame);
  if (rect.isEmpty()) return std::nullopt;
  return rect;
}

bool isFinite(const platform::Rect& rect) {
  return std::isfinite(rect.origin.x) && std::isfinite(rect.origin.y) &&
         std::isfinite(rect.size.width) && std::isfinite(rect.size.height);
}

}  // namespace

platform::Rect normalizedRect(const PixelRect& pixels, int width, int height) {
  return platform::Rect{
      {static_cast<double>(pixels.x) / width, static_cast<double>(pixels.y) / height},
      {static_cast<double>(pixels.width) / width, static_cast<double>(pixels.height) / height}};
}

std::optional<PixelRect> pixelRect(const platform::Rect& normalized, int width, int height) {
  if (!isFinite(normalized)) return std::nullopt;
  const double minX = std::clamp(normalized.minX(), 0.0, 1.0);
  const double minY = std::clamp(normalized.minY(), 0.0, 1.0);
  const double maxX = std::clamp(normalized.maxX(), minX, 1.0);
  const double maxY = std::clamp(normalized.maxY(), minY, 1.0);
  if (!(maxX > minX && maxY > minY)) return std::nullopt;
  return roundedOutward(minX, minY, maxX, maxY, width, height);
}

std::optional<PixelRect> pixelRectOfClipped(const platform::Rect& normalized, int width,
                                            int height) {
  if (!isFinite(normalized)) return std::nullopt;
  const auto clipped = normalized.standardized().intersection(kUnitRect);
  if (clipped.isEmpty()) return std::nullopt;
  return roundedOutward(clipped.minX(), clipped.minY(), clipped.maxX(), clipped.maxY(), width,
                        height);
}

std::optional<PixelRect> maskPixelRect(const platform::Rect& normalized, int width, int height) {
  const auto inner = pixelRect(normalized, width, height);
  if (!inner) return std::nullopt;
  const PixelRect grown{inner->x - kMaskGrowX, inner->y - kMaskGrowY, inner->width + 2 * kMaskGrowX,
                        inner->height + 2 * kMaskGrowY};
  const auto rect = grown.intersection(PixelRect{0, 0, width, height});
  if (rect.isEmpty()) return std::nullopt;
  return rect;
}

}  // namespace corvane::verification
