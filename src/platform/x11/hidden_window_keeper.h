#pragma once

#include "platform/x11/xlib.h"

#include <atomic>
#include <memory>
#include <string>

#include "platform/x11/x_event_pump.h"

namespace corvane::platform::x11 {

// Keeps windows hidden on this screen beneath every other window, on a thread and X connection
// of its own (an XEventPump), so the main actor never waits for the server or the window manager.
// Where the window manager takes a shown window into its desktop layer (muffin, mutter: they draw
// windows in an order of their own, desktop windows beneath all others), the kept window joins it
// (_NET_WM_WINDOW_TYPE_DESKTOP) and asks to be lowered within it; showing it again makes it a
// normal window (X11WindowStateHints). For each kept window it finds the window's top level (its
// frame under a reparenting window manager), lets the mouse through it, and lowers it itself
// beneath every other top level, a desktop window too: override-redirect is set for the moment of
// the request, so no window manager intercepts it. Window managers that restack every window when
// another one comes (xfwm4) would put it back into their lowest layer, above the desktop window:
// each restack that leaves another window beneath it is answered by lowering it again (at most
// kMostLoweringsPerSecond times a second, so a window manager that answers in turn cannot keep the
// thread busy). Released, the top level takes the mouse again; raising it is the window manager's.
class HiddenWindowKeeper {
 public:
  static constexpr int kMostLoweringsPerSecond = 30;

  // Starts the thread on the display named `displayName`.
  explicit HiddenWindowKeeper(std::string displayName);
  ~HiddenWindowKeeper();
  HiddenWindowKeeper(const HiddenWindowKeeper&) = delete;
  HiddenWindowKeeper& operator=(const HiddenWindowKeeper&) = delete;

  // From the main actor: start and stop keeping `client` (a top-level client window) beneath.
  void keep(Window client);
  void release(Window client);

  // How often it lowered a window itself (for tests and benchmarks).
  int lowerings() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  XEventPump pump_;
};

}  // namespace corvane::platform::x11
