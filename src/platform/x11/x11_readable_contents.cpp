#include "platform/x11/x11_window_states.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

// A window that is not redirected has no contents of its own: reading it (XGetImage, as screen
// recorders read a window) returns what the screen shows where it is, other windows lying over it
// included. Corvane's capture redirects every window, but only while it runs and on connections
// that end with it (or that another client may end); this redirect lives on the connection that
// made the window, so it lasts as long as the window.
void X11WindowStateHints::keepContentsReadable(std::uint32_t windowNumber, bool keep) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  if (keep) {
    XCompositeRedirectWindow(display_, window, CompositeRedirectAutomatic);
  } else {
    XCompositeUnredirectWindow(display_, window, CompositeRedirectAutomatic);
  }
  XFlush(display_);
}

}  // namespace corvane::platform::x11
