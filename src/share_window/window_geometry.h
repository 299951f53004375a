#pragma once

#include "platform/frame_placement.h"
#include "platform/geometry.h"

namespace corvane::share_window {

// Window frames are content areas in desktop points (top-left origin); the window manager's frame
// (title bar and borders) lies around them, and placement keeps room for it.
// The output view's control strip above the canvas: the window is this much taller than the
// image it shows.
inline constexpr double kAccessoryStripHeight = 36;
// Distance from the visible frame's edges when the live window walks through the corners.
inline constexpr double kCornerMargin = 18;

using platform::clampedToBounds;
using platform::cornerFrames;
using platform::nextCornerFrame;

// The usable part of a visible frame for the content of a window framed by `frame`: the frame's
// sides off each edge (at most half the visible frame each way), so the whole window fits.
platform::Rect contentBounds(const platform::Rect& visibleFrame,
                             const platform::FrameExtents& frame);

// The largest frame with the aspect of `content` that fits `bounds`, centred in it.
platform::Rect aspectFitFrame(platform::Size content, const platform::Rect& bounds);

// `content` at its own size, shrunk (keeping its aspect) to fit `bounds`, centred on `centre` and
// kept inside `bounds`.
platform::Rect actualSizeFrame(platform::Size content, const platform::Rect& bounds,
                               platform::Point centre);

}  // namespace corvane::share_window
