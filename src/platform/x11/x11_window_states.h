#pragma once

#include "platform/x11/xlib.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_states.h"

namespace corvane::platform::x11 {

// EWMH window states. Each is set on the window's _NET_WM_STATE property while it is unmapped,
// and asked of the window manager with a client message once it is mapped (without a window
// manager nobody would answer, so the property is kept right directly). Sticky also sets
// _NET_WM_DESKTOP to 0xFFFFFFFF, for window managers that read only that.
//
// Works on the connection that made the windows (the toolkit's), so its requests follow the
// window's creation; used on that connection's thread (the main actor).
//
// Local hiding moves the window's top level (its frame under a reparenting window manager) past
// every monitor, itself rather than through the window manager, which would keep part of it on
// screen (openbox keeps a tenth). The window stays mapped: the X server still draws it into the
// pixmap another program's composite capture reads, and a move keeps that pixmap valid. Shown
// again, the top level goes back where it was.
class X11WindowStateHints final : public WindowStateHints {
 public:
  explicit X11WindowStateHints(Display* display) : display_(display) {}
  void apply(std::uint32_t windowNumber, bool mapped, const ExtraWindowStates& states) override;
  // _NET_WM_DESKTOP set to _NET_CURRENT_DESKTOP, asked of the window manager once mapped.
  void moveToCurrentDesktop(std::uint32_t windowNumber, bool mapped) override;
  // WM_TRANSIENT_FOR, which the window manager follows on a mapped window too.
  void setTransientFor(std::uint32_t windowNumber, std::uint32_t parentNumber) override;
  void setShownLocally(std::uint32_t windowNumber, bool shown) override;
  // An automatic Composite redirect of the window itself, on the window's own connection.
  void keepContentsReadable(std::uint32_t windowNumber, bool keep) override;

 private:
  Display* display_;
  // The windows hidden on this screen, each with the window that holds it under the root.
  std::map<Window, Window> hiddenTopLevels_;
};

// What the server holds for a window, for checks: the names of its _NET_WM_STATE atoms, its
// _NET_WM_DESKTOP (0xFFFFFFFF: all desktops) and whether it is viewable.
std::vector<std::string> netWmStateNames(Display* display, Window window);
std::optional<unsigned long> windowDesktop(Display* display, Window window);
bool isViewable(Display* display, Window window);

}  // namespace corvane::platform::x11
