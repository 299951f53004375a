#pragma once

#include <array>

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

// `rect` moved (and, when larger, shrunk) so that it lies inside `bounds`.
platform::Rect clampedToBounds(const platform::Rect& rect, const platform::Rect& bounds);

// The usable part of a visible frame for a window's content: the title bar allowance off the top.
platform::Rect contentBounds(const platform::Rect& visibleFrame, double titleBarAllowance);

// The largest frame with the aspect of `content` that fits `bounds`, centred in it.
platform::Rect aspectFitFrame(platform::Size content, const platform::Rect& bounds);

// `content` at its own size, shrunk (keeping its aspect) to fit `bounds`, centred on `centre` and
// kept inside `bounds`.
platform::Rect actualSizeFrame(platform::Size content, const platform::Rect& bounds,
                               platform::Point centre);

// The four corner places of a window of `size` inside `bounds`, `margin` from the edges, in walking
// order: top right, bottom right, bottom left, top left.
std::array<platform::Rect, 4> cornerFrames(const platform::Rect& bounds, platform::Size size,
                                           double margin);

// The corner after the one nearest to `current` (the earlier corner wins a tie), wrapping from the
// top left back to the top right, so repeated moves walk clockwise.
platform::Rect nextCornerFrame(const platform::Rect& current, const platform::Rect& bounds,
                               double margin);

}  // namespace corvane::share_window
