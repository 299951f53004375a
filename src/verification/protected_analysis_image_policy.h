#pragma once

#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// One crop of a frame at its own resolution, with the area it came from (normalised, origin top
// left).
struct ProtectedAnalysisRegionImage {
  platform::SharedPixelBuffer image;
  platform::Rect normalizedTopLeftFrame;
  // The parts of the crop to read, normalised to it (origin top left); none: all of it.
  std::vector<platform::Rect> parts;
};

// The images text analysis reads. Stateless; any thread.
namespace ProtectedAnalysisImagePolicy {

// A native-resolution crop of each region (standardised and clipped to the unit square first),
// with what shows of the frame's windows within it; regions that cover no pixel are left out, so
// the list can be shorter than the regions.
std::vector<ProtectedAnalysisRegionImage> nativeRegionImages(
    const platform::PixelBuffer& source,
    const std::vector<platform::Rect>& normalizedTopLeftRegions);

// The frame scaled uniformly (bilinear) so that its longer side is at most `longEdgeLimit`, with
// its window areas scaled alike; the frame itself when it already fits. Null when the scaled image
// cannot be made.
platform::SharedPixelBuffer limitedToLongEdge(const platform::SharedPixelBuffer& source,
                                              int longEdgeLimit);

}  // namespace ProtectedAnalysisImagePolicy

}  // namespace corvane::verification
