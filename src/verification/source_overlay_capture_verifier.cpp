#include "verification/source_overlay_capture_verifier.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "verification/pixel_rect.h"
#include "verification/source_mask_visual_style.h"

namespace corvane::verification::SourceOverlayCaptureVerifier {

namespace {

namespace style = SourceMaskVisualStyle;
using platform::PixelBuffer;
using platform::Point;
using platform::Rect;

constexpr std::array<double, 3> kRowFractions{0.16, 0.5, 0.84};
constexpr std::array<double, 3> kColumnFractions{0.2, 0.5, 0.72};

bool near(std::uint8_t value, std::uint8_t expected) {
  return std::abs(static_cast<int>(value) - static_cast<int>(expected)) <= colourTolerance;
}

bool matches(const std::uint8_t* bgra, const style::Rgb8& colour) {
  return near(bgra[2], colour.red) && near(bgra[1], colour.green) && near(bgra[0], colour.blue);
}

// Reads pixels of a BGRA frame in place; (x, y) in pixels from the top left.
class FrameSampler {
 public:
  explicit FrameSampler(const PixelBuffer& frame) : frame_(frame) {}

  const std::uint8_t* at(double x, double y) const {
    const int column = std::clamp(static_cast<int>(std::floor(x)), 0, frame_.width() - 1);
    const int row = std::clamp(static_cast<int>(std::floor(y)), 0, frame_.height() - 1);
    return frame_.data() + static_cast<std::size_t>(row) * frame_.bytesPerRow() + column * 4;
  }

 private:
  const PixelBuffer& frame_;
};

struct MaskCheck {
  bool passed = false;
  int matching = 0;
  int sampled = 0;
  std::optional<int> column;
  std::optional<int> row;
};

MaskCheck checkMask(const FrameSampler& sampler, const Rect& drawnPixels,
                    const std::optional<Point>& accentPixel) {
  // The body lies inside the one-pixel border.
  const double inset = style::borderWidthPixels;
  const Rect body{{drawnPixels.minX() + inset, drawnPixels.minY() + inset},
                  {drawnPixels.width() - 2 * inset, drawnPixels.height() - 2 * inset}};
  MaskCheck check;
  int index = 0;
  for (const Point& point : maskBodyVerificationPoints(body)) {
    const std::uint8_t* pixel = sampler.at(point.x, point.y);
    ++check.sampled;
    const bool opaque = pixel[3] >= minimumOpaqueAlpha;
    if (opaque && (matches(pixel, style::maskFill8) || matches(pixel, style::accent8))) {
      ++check.matching;
    } else if (!check.column) {
      check.column = index % 3;
      check.row = index / 3;
    }
    ++index;
  }
  bool accentSeen = true;
  if (accentPixel) {
    const std::uint8_t* pixel = sampler.at(accentPixel->x, accentPixel->y);
    ++check.sampled;
    accentSeen = pixel[3] >= minimumOpaqueAlpha && matches(pixel, style::accent8);
    if (accentSeen) ++check.matching;
  }
  check.passed = accentSeen && check.matching - (accentPixel ? 1 : 0) >= minimumMatchingSamples;
  return check;
}

}  // namespace

std::vector<Point> maskBodyVerificationPoints(const Rect& rect) {
  std::vector<Point> points;
  points.reserve(9);
  for (double fy : kRowFractions) {
    for (double fx : kColumnFractions) {
      points.push_back({rect.minX() + fx * rect.width(), rect.minY() + fy * rect.height()});
    }
  }
  return points;
}

SourceOverlayVerificationResult verify(const PixelBuffer* frame,
                                       const SourceOverlaySnapshot& snapshot) {
  using Failure = SourceOverlayVerificationResult::Failure;
  if (snapshot.redactions.empty()) return SourceOverlayVerificationResult::verified();
  if (frame == nullptr || frame->width() < 1 || frame->height() < 1 ||
      frame->byteCount() < static_cast<std::size_t>(frame->bytesPerRow()) * frame->height()) {
    return {.failure = Failure::bitmapUnavailable};
  }
  const int width = frame->width();
  const int height = frame->height();
  const bool placed = snapshot.placements.size() == snapshot.redactions.size();
  const FrameSampler sampler(*frame);

  for (std::size_t i = 0; i < snapshot.redactions.size(); ++i) {
    const int index = static_cast<int>(i);
    // The mask as it is drawn: where the overlay says it drew it, else grown around its text the
    // way every mask is; either way only the part inside the frame.
    const auto drawn = placed
                           ? pixelRect(snapshot.placements[i].normalizedFrame, width, height)
                           : maskPixelRect(snapshot.redactions[i].normalizedFrame, width, height);
    if (!drawn || drawn->width < minimumMaskPixels || drawn->height < minimumMaskPixels) {
      return {.failure = Failure::cellTooSmall, .failedRedactionIndex = index};
    }
    const Rect pixels{{static_cast<double>(drawn->x), static_cast<double>(drawn->y)},
                      {static_cast<double>(drawn->width), static_cast<double>(drawn->height)}};
    std::optional<Point> accent;
    if (placed && snapshot.placements[i].normalizedAccentPoint) {
      const Point& p = *snapshot.placements[i].normalizedAccentPoint;
      accent = Point{p.x * width, p.y * height};
    }
    const MaskCheck check = checkMask(sampler, pixels, accent);
    if (!check.passed) {
      return {.failure = Failure::maskBodyMismatch,
              .failedRedactionIndex = index,
              .failedColumn = check.column,
              .failedRow = check.row,
              .matchingSamples = check.matching,
              .sampledPoints = check.sampled};
    }
  }
  return SourceOverlayVerificationResult::verified();
}

}  // namespace corvane::verification::SourceOverlayCaptureVerifier
