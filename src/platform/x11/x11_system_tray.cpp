#include "platform/x11/x11_system_tray.h"

#include <algorithm>

#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// An auto-hiding panel often leaves a strip this thin on screen to be revealed by the pointer.
constexpr int kRevealStrip = 4;

}  // namespace

bool isEmbeddingPanelHidden(Display* display, Window icon) {
  if (display == nullptr || icon == None) return false;
  ErrorTrap trap(display);
  const Window panel = topLevelWindow(display, icon);
  if (panel == None || panel == icon) return false;
  XWindowAttributes attributes{};
  const bool known = XGetWindowAttributes(display, panel, &attributes) != 0;
  if (!trap.sync() || !known) return false;
  if (attributes.map_state != IsViewable) return true;
  const int screen = DefaultScreen(display);
  const int visibleWidth =
      std::min(attributes.x + attributes.width, DisplayWidth(display, screen)) -
      std::max(attributes.x, 0);
  const int visibleHeight =
      std::min(attributes.y + attributes.height, DisplayHeight(display, screen)) -
      std::max(attributes.y, 0);
  return visibleWidth <= kRevealStrip || visibleHeight <= kRevealStrip;
}

}  // namespace corvane::platform::x11
