#pragma once

#include <array>

#include "platform/geometry.h"

namespace corvane::platform {

// `rect` moved (and, when larger, shrunk) so that it lies inside `bounds`; a rectangle larger
// than the bounds is pinned to their top-left edges.
Rect clampedToBounds(const Rect& rect, const Rect& bounds);

// The four corner places of a window of `size` inside `bounds`, `margin` from the edges, in walking
// order: top right, bottom right, bottom left, top left.
std::array<Rect, 4> cornerFrames(const Rect& bounds, Size size, double margin);

// The index of the corner whose centre is nearest to the centre of `frame` (the earlier corner
// wins a tie).
std::size_t nearestCornerIndex(const std::array<Rect, 4>& corners, const Rect& frame);

// The corner after the one nearest to `current` (the earlier corner wins a tie), wrapping from the
// top left back to the top right, so repeated moves walk clockwise. A window too large for the
// corners is first shrunk to leave the margin free.
Rect nextCornerFrame(const Rect& current, const Rect& bounds, double margin);

}  // namespace corvane::platform
