#pragma once

#include "platform/frame_placement.h"
#include "platform/geometry.h"

namespace corvane::share_window {

// Window frames are content areas in desktop points (top-left origin); a titled window's title bar
// sits above its frame, so placement keeps this much room for it.
inline constexpr double kTitleBarAllowance = 28;
// The output view's control strip above the canvas: the window is this much taller than the
// image it shows.
inline constexpr double kAccessoryStripHeight = 36;
// Distance from the visible frame's edges when the live window walks through the corners.
inline constexpr double kCornerMargin = 18;

using platform::clampedToBounds;
using platform::cornerFrames;
using platform::nextCornerFrame;

// The usable part of a visible frame for a window's content: the title bar allowance off the top.
platform::Rect contentBounds(const platform::Rect& visibleFrame, double titleBarAllowance);

// The largest frame with the aspect of `content` that fits `bounds`, centred in it.
platform::Rect aspectFitFrame(platform::Size content, const platform::Rect& bounds);

// `content` at its own size, shrunk (keeping its aspect) to fit `bounds`, centred on `centre` and
// kept inside `bounds`.
platform::Rect actualSizeFrame(platform::Size content, const platform::Rect& bounds,
                               platform::Point centre);

}  // namespace corvane::share_window
