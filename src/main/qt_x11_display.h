#pragma once

#include <functional>
#include <memory>

#include "platform/window_states.h"

// Xlib's types stay out of this header: it is read next to Qt's.
struct _XDisplay;

namespace corvane::wiring {

// The X connection Qt's windows live on; null unless Qt runs on its xcb platform.
_XDisplay* qtX11Display();

// Whether Qt's X connection broke (the server went away); false off X11.
bool qtX11ConnectionBroken();

// Window-state hints for Qt's windows, on Qt's own X connection; null off X11 (offscreen).
std::shared_ptr<platform::WindowStateHints> makeQtWindowStateHints();

// Whether the tray panel holding Qt's embedded icon window is out of sight; null off X11.
std::function<bool(unsigned long long)> trayPanelHiddenProbe();

}  // namespace corvane::wiring
