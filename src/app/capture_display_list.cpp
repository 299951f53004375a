#include "app/capture_display_list.h"

#include <cstdio>
#include <string>

namespace corvane::app {

std::vector<model::CaptureDisplay> captureDisplays(const std::vector<platform::Screen>& screens) {
  std::vector<model::CaptureDisplay> displays;
  for (std::size_t index = 0; index < screens.size(); ++index) {
    const auto& screen = screens[index];
    if (screen.displayID == 0) continue;
    model::CaptureDisplay display;
    display.id = screen.displayID;
    display.name = !screen.name.empty() ? screen.name : "Display " + std::to_string(index + 1);
    char scale[32];
    std::snprintf(scale, sizeof scale, "%.0fx", screen.backingScaleFactor);
    display.details = std::to_string(static_cast<long long>(screen.frame.size.width)) + " x " +
                      std::to_string(static_cast<long long>(screen.frame.size.height)) + " pt @" +
                      scale;
    displays.push_back(std::move(display));
  }
  return displays;
}

bool listsDisplay(const std::vector<model::CaptureDisplay>& displays, std::uint32_t displayID) {
  for (const auto& display : displays) {
    if (display.id == displayID) return true;
  }
  return false;
}

}  // namespace corvane::app
