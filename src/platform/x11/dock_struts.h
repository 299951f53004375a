#pragma once

#include "platform/x11/xlib.h"

#include <optional>
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

// When a display without a work area has its docks read again as windows come and go: soon after
// the first change, then at most every kLeastSeconds while windows keep coming and going, so a
// burst of windows costs a few readings a second at most. A display with a work area never needs
// it. Times are seconds of one monotonic clock.
class DockRereads {
 public:
  static constexpr double kLeastSeconds = 0.5;

  // After each reading: whether the docks count (the display publishes no work area).
  void setFollowing(bool following) { following_ = following; }
  // A child of the root was mapped, unmapped or destroyed.
  void windowsChanged() { pending_ = pending_ || following_; }
  // Whether to read again at `now`; when not yet, the seconds until it is due.
  bool due(double now, std::optional<double>& wait) const;
  // The layout was read at `now`.
  void read(double now) {
    pending_ = false;
    lastRead_ = now;
  }

 private:
  bool following_ = false;
  bool pending_ = false;
  double lastRead_ = -kLeastSeconds;
};

}  // namespace corvane::platform::x11
