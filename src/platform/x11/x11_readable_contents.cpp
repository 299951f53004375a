#include "platform/x11/x11_window_states.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

// A window that is not redirected has no contents of its own: reading it (XGetImage, as screen
// recorders read a window) returns what the screen shows where it is, other windows lying over it
// included. Corvane's capture redirects every window, but only while it runs and on connections
// that end with it (or that another client may end); this redirect lives on the connection that
// made the window, so it lasts as long as the window.
//
// A redirected window is given new contents whenever it is mapped again or resized (a window
// manager that starts, is replaced or crashes reframes it: unmaps, reparents, maps and resizes
// it). Without a background of its own the server seeds them from what the screen shows there,
// windows lying over it included, and that stays until the owner paints again. With a background
// pixel the server fills what it cannot keep with that pixel instead, before any other client can
// read the window.
void X11WindowStateHints::keepContentsReadable(std::uint32_t windowNumber, bool keep) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  if (keep) {
    XSetWindowBackground(display_, window, BlackPixel(display_, DefaultScreen(display_)));
    XCompositeRedirectWindow(display_, window, CompositeRedirectAutomatic);
  } else {
    XCompositeUnredirectWindow(display_, window, CompositeRedirectAutomatic);
  }
  XFlush(display_);
}

}  // namespace corvane::platform::x11
