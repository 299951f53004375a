#include "platform/x11/visible_window_areas.h"

#include <algorithm>

namespace corvane::platform::x11 {

WindowAreas visibleWindowAreas(const WindowModel& model, const std::set<Window>& excluded,
                               const CaptureArea& area, int outputWidth, int outputHeight) {
  std::vector<WindowPlacement> placements;
  for (const TrackedWindow* window : model.stacking()) {
    if (!window->isVisible() || excluded.count(window->id) != 0) continue;
    const double insideX = window->x + window->borderWidth - area.x;
    const double insideY = window->y + window->borderWidth - area.y;
    const InnerBox shown = window->shownBox();
    placements.push_back(
        {Rect{{insideX + shown.x, insideY + shown.y},
              {static_cast<double>(shown.width), static_cast<double>(shown.height)}},
         !window->hasAlpha});
    // The application's own area of a frame, above the frame: the frame shows as its title bar
    // and borders, the client area as a window of its own, each read apart.
    if (const auto& client = window->clientArea) {
      const Rect inside =
          Rect{{insideX + client->x, insideY + client->y},
               {static_cast<double>(client->width), static_cast<double>(client->height)}}
              .intersection(placements.back().bounds);
      if (!inside.isEmpty() && inside != placements.back().bounds)
        placements.push_back({inside, !window->hasAlpha});
    }
  }
  return platform::visibleWindowAreas(placements, area.width, area.height, outputWidth,
                                      outputHeight);
}

ImageWindows imageWindows(const WindowModel& model, const std::set<Window>& excluded) {
  ImageWindows windows;
  windows.leftOut.reserve(excluded.size());
  for (Window id : excluded) windows.leftOut.push_back(static_cast<std::uint32_t>(id));
  windows.shown.reserve(model.size());
  for (const TrackedWindow* window : model.stacking()) {
    if (excluded.count(window->id) == 0)
      windows.shown.push_back(static_cast<std::uint32_t>(window->id));
  }
  std::sort(windows.shown.begin(), windows.shown.end());
  return windows;
}

}  // namespace corvane::platform::x11
