#pragma once

#include <optional>
#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// Decides whether a change is the previous frame scrolled vertically, and by how much, from a
// sparse grid of luminance samples inside the changed rects (normalised, origin top left).
namespace ProtectedScrollMotionEstimator {

// The shift in pixels (positive: the content moved down, current row y shows previous row
// y − shift), or nothing when the frames are unsuitable or no shift explains the change well.
std::optional<int> verticalTranslation(const platform::PixelBuffer& current,
                                       const platform::PixelBuffer& previous,
                                       double changedAreaFraction,
                                       const std::vector<platform::Rect>& changedRects);

}  // namespace ProtectedScrollMotionEstimator

}  // namespace corvane::verification
