#pragma once

// Xlib's macros clash with Qt's names: include this after every Qt header.
#include <X11/Xlib.h>

#include "support/x11/xvfb_server.h"

namespace corvane::ui::testing {

// Starts trayer at the top right of the server and waits until it owns the system tray
// selection; the caller ends the process.
inline pid_t startTrayHost(const corvane::testing::XvfbServer& server) {
  const pid_t trayer = corvane::testing::spawnProgram(
      {"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
       "--transparent", "false", "--SetDockType", "true"},
      {"DISPLAY=" + server.name()});
  Display* display = XOpenDisplay(server.name().c_str());
  if (display == nullptr) return trayer;
  const Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
  corvane::testing::waitUntil([&] { return XGetSelectionOwner(display, selection) != None; });
  XCloseDisplay(display);
  return trayer;
}

}  // namespace corvane::ui::testing
