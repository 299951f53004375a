#include "platform/x11/x11_window_states.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

// Far enough past the screen's edges that no border or shadow of the window reaches it.
constexpr int kOffScreenMargin = 64;

// The window that holds `window` directly under the root: a window manager's frame, or the
// window itself without a reparenting window manager.
Window topLevelOf(Display* display, Window window) {
  Window current = window;
  while (true) {
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, current, &root, &parent, &children, &count) == 0) return None;
    if (children != nullptr) XFree(children);
    if (parent == root || parent == None) return current;
    current = parent;
  }
}

// Moves `window` itself. Override-redirect is set for the moment of the request, so no window
// manager intercepts it or applies its rule of keeping part of each window on screen.
void moveDirectly(Display* display, Window window, int x, int y) {
  XSetWindowAttributes attributes{};
  XWindowAttributes current{};
  if (XGetWindowAttributes(display, window, &current) == 0) return;
  attributes.override_redirect = True;
  XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
  XMoveWindow(display, window, x, y);
  attributes.override_redirect = current.override_redirect;
  XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
}

}  // namespace

void X11WindowStateHints::setShownLocally(std::uint32_t windowNumber, bool shown) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  const auto hidden = hiddenPlaces_.find(window);
  if (shown) {
    if (hidden == hiddenPlaces_.end()) return;
    const auto& place = hidden->second;
    moveDirectly(display_, place.topLevel, place.x, place.y);
    hiddenPlaces_.erase(hidden);
    XFlush(display_);
    return;
  }
  if (hidden != hiddenPlaces_.end()) return;
  const Window topLevel = topLevelOf(display_, window);
  XWindowAttributes top{}, screen{};
  if (topLevel == None || XGetWindowAttributes(display_, topLevel, &top) == 0 ||
      XGetWindowAttributes(display_, DefaultRootWindow(display_), &screen) == 0)
    return;
  hiddenPlaces_[window] = HiddenPlace{topLevel, top.x, top.y};
  // Past the bottom right of the root, which holds every monitor.
  moveDirectly(display_, topLevel, screen.width + kOffScreenMargin,
               screen.height + kOffScreenMargin);
  XFlush(display_);
}

}  // namespace corvane::platform::x11
