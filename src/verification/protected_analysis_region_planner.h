#pragma once

#include <vector>

#include "platform/geometry.h"

namespace corvane::verification {

// Turns the changed rectangles of a frame (top-left, normalised) into at most two analysis
// regions, or the whole frame when the changes are many or large.
struct ProtectedAnalysisRegionPlanner {
  static constexpr double kHorizontalMargin = 0.25;
  static constexpr double kVerticalMargin = 0.025;

  static std::vector<platform::Rect> regions(const std::vector<platform::Rect>& changedRects,
                                             double horizontalMargin = kHorizontalMargin,
                                             double verticalMargin = kVerticalMargin);
};

}  // namespace corvane::verification
