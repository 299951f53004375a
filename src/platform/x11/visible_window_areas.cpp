#include "platform/x11/visible_window_areas.h"

#include <algorithm>

namespace corvane::platform::x11 {

WindowAreas visibleWindowAreas(const WindowModel& model, const std::set<Window>& excluded,
                               const CaptureArea& area, int outputWidth, int outputHeight) {
  std::vector<WindowPlacement> placements;
  for (const TrackedWindow* window : model.stacking()) {
    if (!window->isVisible() || excluded.count(window->id) != 0) continue;
    placements.push_back(
        {Rect{{static_cast<double>(window->x + window->borderWidth - area.x),
               static_cast<double>(window->y + window->borderWidth - area.y)},
              {static_cast<double>(window->width), static_cast<double>(window->height)}},
         !window->hasAlpha});
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
