#include "verification/protected_analysis_region_planner.h"

#include <algorithm>

#include "platform/rect_subtraction.h"
#include "verification/normalized_geometry.h"

namespace corvane::verification {

using platform::Rect;

namespace {

constexpr double kMergeDistance = 0.001;
constexpr std::size_t kMaximumRegions = 2;
constexpr double kWholeFrameArea = 0.48;

// `rects` with every two that lie within kMergeDistance of each other joined into their union,
// as long as `mayJoin` accepts that union.
template <typename MayJoin>
std::vector<Rect> merged(const std::vector<Rect>& rects, MayJoin mayJoin) {
  std::vector<Rect> merged;
  for (Rect candidate : rects) {
    for (std::size_t i = 0; i < merged.size();) {
      if (grown(merged[i], kMergeDistance, kMergeDistance).intersects(candidate) &&
          mayJoin(unionRect(merged[i], candidate))) {
        candidate = unionRect(merged[i], candidate);
        merged.erase(merged.begin() + static_cast<std::ptrdiff_t>(i));
        i = 0;
      } else {
        ++i;
      }
    }
    merged.push_back(candidate);
  }
  return merged;
}

}  // namespace

std::vector<Rect> ProtectedAnalysisRegionPlanner::regions(const std::vector<Rect>& changedRects,
                                                          double horizontalMargin,
                                                          double verticalMargin,
                                                          const WindowRegions& windows) {
  const std::vector<Rect> planned = unitRegions(changedRects, horizontalMargin, verticalMargin);
  if (windows.empty()) return planned;
  // The margins complete lines that cross a change; no line crosses into another window, so a
  // piece the changes do not reach holds nothing to read again (unless no change lies inside the
  // frame at all: then all of it is read).
  std::vector<Rect> pieces = alongWindows(planned, windows);
  std::vector<Rect> reached;
  for (const Rect& piece : pieces) {
    if (std::any_of(changedRects.begin(), changedRects.end(),
                    [&](const Rect& changed) { return piece.intersects(clippedToUnit(changed)); }))
      reached.push_back(piece);
  }
  return reached.empty() ? pieces : reached;
}

std::vector<Rect> ProtectedAnalysisRegionPlanner::changeRegions(
    const std::vector<Rect>& changedRects, double horizontalMargin, double verticalMargin,
    const WindowRegions& windows) {
  const std::vector<Rect> planned = unitRegions(changedRects, horizontalMargin, verticalMargin);
  if (windows.empty() || planned.empty()) return planned;
  if (planned == std::vector<Rect>{kUnitRect})
    return regions(changedRects, horizontalMargin, verticalMargin, windows);

  std::vector<Rect> shownAreas;
  for (const auto& window : windows)
    shownAreas.insert(shownAreas.end(), window.begin(), window.end());
  auto grownByMargins = [&](const Rect& piece) {
    return clippedToUnit(grown(piece, horizontalMargin, verticalMargin));
  };
  // The pieces of the changes by the shown area they lie in; the last list is the desktop's.
  std::vector<std::vector<Rect>> piecesByArea(shownAreas.size() + 1);
  std::vector<Rect>& desktopPieces = piecesByArea.back();
  for (const Rect& changed : changedRects) {
    const Rect change = clippedToUnit(changed);
    if (change.isEmpty()) continue;
    std::vector<Rect> outside{change};
    for (std::size_t i = 0; i < shownAreas.size(); ++i) {
      const Rect inside = change.intersection(shownAreas[i]);
      if (inside.isEmpty()) continue;
      piecesByArea[i].push_back(grownByMargins(inside).intersection(shownAreas[i]));
      outside = platform::subtracted(outside, inside);
    }
    for (const Rect& rest : outside) {
      std::vector<Rect> desktop{grownByMargins(rest)};
      for (const Rect& shown : shownAreas) desktop = platform::subtracted(desktop, shown);
      for (const Rect& piece : desktop) {
        if (piece.intersects(rest)) desktopPieces.push_back(piece);
      }
    }
  }
  auto withinOneArea = [](const Rect&) { return true; };
  auto clearOfWindows = [&](const Rect& joined) {
    return std::none_of(shownAreas.begin(), shownAreas.end(),
                        [&](const Rect& shown) { return joined.intersects(shown); });
  };
  std::vector<Rect> pieces;
  for (std::size_t i = 0; i < piecesByArea.size(); ++i) {
    const auto joined = i + 1 < piecesByArea.size() ? merged(piecesByArea[i], withinOneArea)
                                                    : merged(piecesByArea[i], clearOfWindows);
    pieces.insert(pieces.end(), joined.begin(), joined.end());
  }
  std::stable_sort(pieces.begin(), pieces.end(), isBeforeInReadingOrder);
  return pieces;
}

std::vector<Rect> ProtectedAnalysisRegionPlanner::partsWithin(const std::vector<Rect>& parts,
                                                              const Rect& region) {
  std::vector<Rect> within;
  for (const Rect& part : parts) {
    const Rect clip = part.intersection(region);
    if (!clip.isEmpty()) within.push_back(clip);
  }
  if (within.empty()) within.push_back(region);
  return within;
}

ProtectedAnalysisRegionPlanner::WindowRegions ProtectedAnalysisRegionPlanner::windowRegions(
    const platform::PixelBuffer* frame) {
  WindowRegions windows;
  if (!frame || !frame->windowAreas() || frame->width() < 1 || frame->height() < 1) return windows;
  const double width = frame->width();
  const double height = frame->height();
  for (const auto& areas : *frame->windowAreas()) {
    std::vector<Rect> shown;
    for (const auto& area : areas) {
      const Rect piece = clippedToUnit(
          Rect{{area.x / width, area.y / height}, {area.width / width, area.height / height}});
      if (!piece.isEmpty()) shown.push_back(piece);
    }
    if (!shown.empty()) windows.push_back(std::move(shown));
  }
  return windows;
}

std::vector<Rect> ProtectedAnalysisRegionPlanner::alongWindows(const std::vector<Rect>& regions,
                                                               const WindowRegions& windows) {
  if (windows.empty()) return regions;
  std::vector<Rect> pieces;
  for (const Rect& region : regions) {
    std::vector<Rect> uncovered{region};
    for (const auto& window : windows) {
      for (const Rect& shown : window) {
        const Rect piece = region.intersection(shown);
        if (piece.isEmpty()) continue;
        pieces.push_back(piece);
        uncovered = platform::subtracted(uncovered, piece);
      }
    }
    for (const Rect& rest : uncovered) pieces.push_back(rest);
  }
  std::stable_sort(pieces.begin(), pieces.end(), isBeforeInReadingOrder);
  return pieces;
}

std::vector<Rect> ProtectedAnalysisRegionPlanner::unitRegions(const std::vector<Rect>& changedRects,
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

  std::vector<Rect> joined = merged(grownRects, [](const Rect&) { return true; });
  std::stable_sort(joined.begin(), joined.end(), isBeforeInReadingOrder);
  if (joined.size() > kMaximumRegions) return {kUnitRect};
  double area = 0;
  for (const Rect& region : joined) area += region.width() * region.height();
  if (area >= kWholeFrameArea) return {kUnitRect};
  return joined;
}

}  // namespace corvane::verification
