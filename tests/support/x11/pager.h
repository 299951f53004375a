#pragma once

// What a pager does to switch desktops: asks the window manager through the root window.
#include "platform/x11/xlib.h"

namespace corvane::testing {

inline void requestDesktop(Display* display, long desktop) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = DefaultRootWindow(display);
  event.xclient.message_type = XInternAtom(display, "_NET_CURRENT_DESKTOP", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = desktop;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace corvane::testing
