#include "platform/x11/dock_struts.h"

#include <algorithm>

#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// A strip between `from` and `to` (inclusive, as struts give them) along the edge's length.
Rect stripArea(ScreenEdge edge, double depth, double from, double to, Size root) {
  const double length = to - from + 1;
  switch (edge) {
    case ScreenEdge::left:
      return Rect{{0, from}, {depth, length}};
    case ScreenEdge::right:
      return Rect{{root.width - depth, from}, {depth, length}};
    case ScreenEdge::top:
      return Rect{{from, 0}, {length, depth}};
    case ScreenEdge::bottom:
      return Rect{{from, root.height - depth}, {length, depth}};
  }
  return {};
}

bool isViewableWindow(Display* display, Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

}  // namespace

std::vector<ReservedStrip> stripsOfStrut(const std::vector<long>& strut, Size rootSize) {
  if (strut.size() != 4 && strut.size() != 12) return {};
  const bool partial = strut.size() == 12;
  constexpr ScreenEdge kEdges[] = {ScreenEdge::left, ScreenEdge::right, ScreenEdge::top,
                                   ScreenEdge::bottom};
  std::vector<ReservedStrip> strips;
  for (std::size_t side = 0; side < 4; ++side) {
    const double depth = static_cast<double>(strut[side]);
    if (depth <= 0) continue;
    const bool vertical = side < 2;
    const double whole = (vertical ? rootSize.height : rootSize.width) - 1;
    const double from = partial ? static_cast<double>(strut[4 + 2 * side]) : 0;
    const double to = partial ? static_cast<double>(strut[5 + 2 * side]) : whole;
    // A partial strut that names no range means the whole edge.
    const bool wholeEdge = partial && from == 0 && to == 0;
    strips.push_back(
        {kEdges[side], stripArea(kEdges[side], depth, from, wholeEdge ? whole : to, rootSize)});
  }
  return strips;
}

Rect clearOfStrips(const Rect& monitor, const std::vector<ReservedStrip>& strips) {
  double minX = monitor.minX(), minY = monitor.minY();
  double maxX = monitor.maxX(), maxY = monitor.maxY();
  for (const auto& strip : strips) {
    if (!strip.area.intersects(monitor)) continue;
    switch (strip.edge) {
      case ScreenEdge::left:
        minX = std::max(minX, strip.area.maxX());
        break;
      case ScreenEdge::right:
        maxX = std::min(maxX, strip.area.minX());
        break;
      case ScreenEdge::top:
        minY = std::max(minY, strip.area.maxY());
        break;
      case ScreenEdge::bottom:
        maxY = std::min(maxY, strip.area.minY());
        break;
    }
  }
  if (maxX <= minX || maxY <= minY) return monitor;
  return Rect{{minX, minY}, {maxX - minX, maxY - minY}};
}

std::vector<ReservedStrip> readDockStrips(Display* display) {
  const Window root = DefaultRootWindow(display);
  const Atom partial = XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False);
  const Atom plain = XInternAtom(display, "_NET_WM_STRUT", False);
  const int screen = DefaultScreen(display);
  const Size rootSize{static_cast<double>(DisplayWidth(display, screen)),
                      static_cast<double>(DisplayHeight(display, screen))};
  ErrorTrap trap(display);
  std::vector<ReservedStrip> strips;
  auto addStrut = [&](Window window) {
    auto values = cardinalProperty(display, window, partial, XA_CARDINAL);
    if (values.empty()) values = cardinalProperty(display, window, plain, XA_CARDINAL);
    if (values.empty()) return false;
    const auto found = stripsOfStrut(values, rootSize);
    strips.insert(strips.end(), found.begin(), found.end());
    return true;
  };
  for (const Window top : childWindows(display, root)) {
    if (!isViewableWindow(display, top) || addStrut(top)) continue;
    for (const Window inner : childWindows(display, top)) {
      if (isViewableWindow(display, inner)) addStrut(inner);
    }
  }
  return strips;
}

bool DockRereads::due(double now, std::optional<double>& wait) const {
  if (!pending_) return false;
  const double since = now - lastRead_;
  if (since >= kLeastSeconds) return true;
  wait = kLeastSeconds - since;
  return false;
}

}  // namespace corvane::platform::x11
