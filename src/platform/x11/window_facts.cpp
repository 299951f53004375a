#include "platform/x11/window_facts.h"

#include "platform/x11/application_identity.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

std::string WindowFacts::title(Window window, Atom netWmName) {
  auto title = textOf(property(window, netWmName));
  if (!title) title = textOf(property(window, XA_WM_NAME));
  return title.value_or("");
}

int WindowFacts::desktop(Window window, Atom netWmDesktop) {
  const auto desktop = cardinalsOf(property(window, netWmDesktop), XA_CARDINAL);
  return (desktop.empty() || desktop.front() == 0xFFFFFFFFL) ? -1
                                                             : static_cast<int>(desktop.front());
}

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
