#pragma once

#include <optional>

#include "capture/protected_output_surface.h"
#include "platform/geometry.h"
#include "share_window/viewport_state.h"

namespace corvane::share_window {

// Where the canvas draws the output image inside a view of `viewSize` points: fitted (the largest
// rectangle with the image's aspect) or at actual size (one image pixel per device pixel, shrunk
// only when the view is smaller), centred either way.
platform::Rect outputImageRect(platform::Size viewSize, platform::Size pixelSize,
                               const ProtectedShareViewportState& viewport,
                               double devicePixelRatio);

// Where the engine's own cursor goes over `imageRect`: its position on the source display mapped
// into the image, its hot spot on that point, its size scaled with the image. None when the cursor
// cannot be drawn or lies outside the image.
std::optional<platform::Rect> outputCursorRect(const platform::Rect& imageRect,
                                               const capture::ProtectedCursorState& cursor);

}  // namespace corvane::share_window
