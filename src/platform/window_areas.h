#pragma once

#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::platform {

// A window as a frame shows it: its rectangle in pixels of the captured area, and whether it
// hides what lies beneath it (a window with alpha does not).
struct WindowPlacement {
  Rect bounds;
  bool opaque = true;
};

// What shows of each window, bottom to top: its rectangle within the areaWidth × areaHeight
// area less every opaque window above it, in pixels of an outputWidth × outputHeight frame of
// the area (rounded outward). Windows of which nothing shows are left out.
WindowAreas visibleWindowAreas(const std::vector<WindowPlacement>& bottomToTop, int areaWidth,
                               int areaHeight, int outputWidth, int outputHeight);

}  // namespace corvane::platform
