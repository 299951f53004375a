#pragma once

#include <cstdint>
#include <vector>

#include "platform/geometry.h"
#include "verification/normalized_geometry.h"

namespace corvane::verification {

// What changed between a captured frame and the last verified one, tile by tile. Rects are
// normalised to the unit square with the origin at the top left of the frame.
struct ProtectedFrameChangeSummary {
  std::vector<platform::Rect> guardedRects;  // tiles in which any pixel changed at all
  std::vector<platform::Rect> changedRects;  // tiles with a meaningful change
  int guardedTileCount = 0;
  int changedTileCount = 0;
  int tileCount = 0;  // columns × rows
  std::uint64_t signature = 0;

  // Everything changed and nothing is known about where: the answer whenever a comparison
  // cannot be made.
  static ProtectedFrameChangeSummary fullFrame();

  bool operator==(const ProtectedFrameChangeSummary&) const = default;
};

}  // namespace corvane::verification
