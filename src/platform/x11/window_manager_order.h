#pragma once

#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {

// Whether the window manager that runs now keeps the windows' order its own way while a
// compositing manager draws them: muffin and mutter (which composite in the order of their own
// stack) and marco with its compositor. A frame lowered behind such a window manager's back is
// not drawn lower, and marco's compositor stops drawing a frame it did not put there; their
// below layer and a window's transparency are what takes a window out of sight there.
bool keepsItsOwnOrderWhileCompositing(Display* display);

}  // namespace corvane::platform::x11
