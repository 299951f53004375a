#pragma once

#include "platform/x11/xlib.h"

#include <vector>

#include "platform/geometry.h"

namespace corvane::platform::x11 {

// The screen edge a dock holds a strip of.
enum class ScreenEdge { left, right, top, bottom };

// A strip along an edge of the root that a dock keeps for itself, in root coordinates.
struct ReservedStrip {
  ScreenEdge edge = ScreenEdge::bottom;
  Rect area;
  bool operator==(const ReservedStrip&) const = default;
};

// The strips a _NET_WM_STRUT_PARTIAL (12 values) or _NET_WM_STRUT (4 values: along the whole
// edge) keeps on a root of `rootSize`; none for any other number of values.
std::vector<ReservedStrip> stripsOfStrut(const std::vector<long>& strut, Size rootSize);

// `monitor` without the strips that reach into it, each cut off from the side of its edge.
Rect clearOfStrips(const Rect& monitor, const std::vector<ReservedStrip>& strips);

// The strips the mapped windows keep (a dock framed by its window manager too), for window
// managers that publish no _NET_WORKAREA: panels expect the other windows to keep clear of them.
std::vector<ReservedStrip> readDockStrips(Display* display);

}  // namespace corvane::platform::x11
