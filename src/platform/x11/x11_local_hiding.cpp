#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/x11/client_windows.h"
#include "platform/x11/x11_window_states.h"
#include "platform/x11/x_atoms.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// How long a hide waits at most for the window manager to put the window in its lowest layer.
constexpr auto kWindowManagerPatience = std::chrono::milliseconds(250);

// Lowers `window` itself to the bottom of the stack, below every other window (desktop windows
// included). Override-redirect is set for the moment of the request, so no window manager
// intercepts it or keeps the window in one of its layers.
void lowerDirectly(Display* display, Window window) {
  XSetWindowAttributes attributes{};
  XWindowAttributes current{};
  if (XGetWindowAttributes(display, window, &current) == 0) return;
  attributes.override_redirect = True;
  XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
  XLowerWindow(display, window);
  attributes.override_redirect = current.override_redirect;
  XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
}

// Waits until a window manager has acted on every request about `client` made so far (putting it
// in its lowest layer, on every desktop, off the taskbar), so that the window's own lowering
// comes after the manager's restacking, not before it: the manager answers a request for the
// window's frame extents in turn, after the requests before it. At once without a manager.
void awaitWindowManager(Display* display, Window client) {
  const Atoms atoms(display);
  if (!hasWindowManager(display, atoms)) return;
  const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
  XDeleteProperty(display, client, extents);
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = client;
  request.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
  request.xclient.format = 32;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &request);
  const auto deadline = std::chrono::steady_clock::now() + kWindowManagerPatience;
  while (std::chrono::steady_clock::now() < deadline && !propertyValue(display, client, extents))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// An empty input shape lets the mouse through `window`; none gives it its own shape back.
void setLetsMouseThrough(Display* display, Window window, bool through) {
  if (!through) {
    XFixesSetWindowShapeRegion(display, window, ShapeInput, 0, 0, None);
    return;
  }
  const XserverRegion nothing = XFixesCreateRegion(display, nullptr, 0);
  XFixesSetWindowShapeRegion(display, window, ShapeInput, 0, 0, nothing);
  XFixesDestroyRegion(display, nothing);
}

}  // namespace

void X11WindowStateHints::setShownLocally(std::uint32_t windowNumber, bool shown) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  const auto hidden = hiddenTopLevels_.find(window);
  if (shown) {
    if (hidden == hiddenTopLevels_.end()) return;
    // Raising it again is the window manager's, on the request that brings the window forward.
    if (hidden->second != window) setLetsMouseThrough(display_, hidden->second, false);
    hiddenTopLevels_.erase(hidden);
    XFlush(display_);
    return;
  }
  if (hidden != hiddenTopLevels_.end()) return;
  const Window topLevel = topLevelWindow(display_, window);
  if (topLevel == None) return;
  hiddenTopLevels_[window] = topLevel;
  // Where it is, whole on the screen (a recorder reading the window's pixels needs that), but
  // beneath everything, a desktop window too: after the window manager put it in its lowest
  // layer, beneath that layer as well.
  awaitWindowManager(display_, window);
  lowerDirectly(display_, topLevel);
  // Its toolkit lets the mouse through the window itself; a window manager's frame too.
  if (topLevel != window) setLetsMouseThrough(display_, topLevel, true);
  XFlush(display_);
}

}  // namespace corvane::platform::x11
