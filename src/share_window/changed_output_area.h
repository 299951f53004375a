#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::share_window {

// Where a view that shows the image with serial `shownSerial` in `imageRect` (whole points) must
// redraw to show `image` in the same place instead: the image's changed areas mapped into the
// view, grown by one source pixel (a filtered pixel reads its neighbours) and one point (rounding),
// kept inside `imageRect`. Nothing when that is unknown and the whole image must be redrawn: the
// image does not say what changed, or says it relative to another image than the one shown.
std::optional<std::vector<platform::Rect>> changedOutputRects(const platform::PixelBuffer& image,
                                                              std::uint64_t shownSerial,
                                                              const platform::Rect& imageRect);

}  // namespace corvane::share_window
