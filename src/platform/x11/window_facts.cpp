#include "platform/x11/window_facts.h"

#include "platform/x11/application_identity.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

std::optional<XWindowAttributes> LiveWindowFacts::attributes(Window window) {
  ErrorTrap trap(display_);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display_, window, &attributes) || trap.failed()) return std::nullopt;
  return attributes;
}

std::vector<Window> LiveWindowFacts::children(Window window) {
  return childWindows(display_, window);
}

Window LiveWindowFacts::parent(Window window) {
  return parentWindow(display_, window);
}

std::optional<PropertyValue> LiveWindowFacts::property(Window window, Atom property) {
  return propertyValue(display_, window, property);
}

XID LiveWindowFacts::owner(Window window) {
  return windowOwner(display_, window);
}

std::optional<std::int32_t> LiveWindowFacts::processId(Window window) {
  return windowProcessId(display_, window);
}

bool LiveWindowFacts::boundingShaped(Window window) {
  ErrorTrap trap(display_);
  Bool boundingShaped = False, clipShaped = False;
  int x, y, cx, cy;
  unsigned width, height, cw, ch;
  return XShapeQueryExtents(display_, window, &boundingShaped, &x, &y, &width, &height, &clipShaped,
                            &cx, &cy, &cw, &ch) &&
         !trap.failed() && boundingShaped;
}

}  // namespace corvane::platform::x11
