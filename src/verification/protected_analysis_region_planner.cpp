#include "verification/protected_analysis_region_planner.h"

#include <algorithm>

#include "verification/normalized_geometry.h"

namespace corvane::verification {

using platform::Rect;

namespace {

constexpr double kMergeDistance = 0.001;
constexpr std::size_t kMaximumRegions = 2;
constexpr double kWholeFrameArea = 0.48;

}  // namespace

std::vector<Rect> ProtectedAnalysisRegionPlanner::regions(const std::vector<Rect>& changedRects,
                                                          double horizontalMargin,
                                                          double verticalMargin) {
  if (changedRects.empty()) return {};
  std::vector<Rect> grownRects;
  for (const Rect& changed : changedRects) {
    const Rect clip = clippedToUnit(changed);
    if (clip.isEmpty()) continue;
    const double left = std::max(clip.minX() - horizontalMargin, 0.0);
    const double top = std::max(clip.minY() - verticalMargin, 0.0);
    const double right = std::min(clip.maxX() + horizontalMargin, 1.0);
    const double bottom = std::min(clip.maxY() + verticalMargin, 1.0);
    grownRects.push_back(Rect{{left, top}, {right - left, bottom - top}});
  }
  std::stable_sort(grownRects.begin(), grownRects.end(), isBeforeInReadingOrder);
  if (grownRects.empty()) return {kUnitRect};

  std::vector<Rect> merged;
  for (Rect candidate : grownRects) {
    for (std::size_t i = 0; i < merged.size();) {
      if (grown(merged[i], kMergeDistance, kMergeDistance).intersects(candidate)) {
        candidate = unionRect(merged[i], candidate);
        merged.erase(merged.begin() + static_cast<std::ptrdiff_t>(i));
        i = 0;
      } else {
        ++i;
      }
    }
    merged.push_back(candidate);
  }
  std::stable_sort(merged.begin(), merged.end(), isBeforeInReadingOrder);
  if (merged.size() > kMaximumRegions) return {kUnitRect};
  double area = 0;
  for (const Rect& region : merged) area += region.width() * region.height();
  if (area >= kWholeFrameArea) return {kUnitRect};
  return merged;
}

}  // namespace corvane::verification
