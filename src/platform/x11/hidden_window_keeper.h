#pragma once

#include "platform/x11/xlib.h"

#include <atomic>
#include <memory>
#include <string>

#include "platform/x11/x_event_pump.h"

namespace corvane::platform::x11 {

// Makes every request that hides a window on this screen and shows it again, on a thread and X
// connection of its own (an XEventPump): the main actor never waits for the server or the window
// manager, and one connection carries the hides and shows in the order they were asked, so a show
// that follows a hide at once is never overtaken by what the hide still had to do.
//
// A hidden window keeps its type and its frame (a recorder holding its top level keeps reading
// it): it turns fully transparent for compositing managers (_NET_WM_WINDOW_OPACITY 0), asks to be
// lowered within the window manager's layer (as the application and as a pager would), and the
// mouse goes through its top level. Where the window manager keeps its own order while a
// compositor draws (keepsItsOwnOrderWhileCompositing), that is all. Elsewhere the keeper lowers the
// top level itself beneath every other top level, a desktop window too: override-redirect is set
// for the moment of the request, so no window manager intercepts it. Window managers that restack
// every window when another one comes (xfwm4) would put it back into their lowest layer, above the
// desktop window: each restack that leaves another window beneath it is answered by lowering it
// again (at most kMostLoweringsPerSecond times a second, so a window manager that answers in turn
// cannot keep the thread busy); a window whose show has been asked is lowered no more. Shown again,
// the window is opaque, takes the mouse, and, after every lowering the keeper asked for or made,
// is raised by the keeper where it lowered it itself and asked to be raised within its layer.
class HiddenWindowKeeper {
 public:
  static constexpr int kMostLoweringsPerSecond = 30;

  // Starts the thread on the display named `displayName`.
  explicit HiddenWindowKeeper(std::string displayName);
  ~HiddenWindowKeeper();
  HiddenWindowKeeper(const HiddenWindowKeeper&) = delete;
  HiddenWindowKeeper& operator=(const HiddenWindowKeeper&) = delete;

  // From the main actor: hide `client` (a top-level client window) on this screen and keep it so
  // (again when hidden already: the toolkit may have written its hints anew), or show it again.
  void hide(Window client);
  void show(Window client);

  // How often it lowered a window itself (for tests and benchmarks).
  int lowerings() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  XEventPump pump_;
};

}  // namespace corvane::platform::x11
