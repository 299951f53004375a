#pragma once

#include <QtGui/qwindowdefs.h>

#include <optional>
#include <string>
#include <vector>

namespace corvane::ui {

// The EWMH window states Qt has no flag for. Each is set on the window's _NET_WM_STATE property
// while it is unmapped, and asked of the window manager with a client message once it is mapped.
// Outside an X11 session (Qt's offscreen platform) nothing happens.
struct ExtraWindowStates {
  // On every virtual desktop: _NET_WM_DESKTOP 0xFFFFFFFF (and _NET_WM_STATE_STICKY for the
  // window managers that read that); turned off, the window goes to the current desktop.
  bool sticky = false;
  bool skipTaskbar = false;  // _NET_WM_STATE_SKIP_TASKBAR
  bool skipPager = false;    // _NET_WM_STATE_SKIP_PAGER

  bool operator==(const ExtraWindowStates&) const = default;
};

bool isX11Session();
void applyExtraWindowStates(WId window, bool mapped, const ExtraWindowStates& states);

// The names of the states in the window's _NET_WM_STATE ("_NET_WM_STATE_BELOW", …); empty
// outside an X11 session.
std::vector<std::string> netWmStatesOnX11(WId window);

// The window's _NET_WM_DESKTOP (0xFFFFFFFF: all desktops); none when it has none.
std::optional<unsigned long> desktopOnX11(WId window);

// The map state of a window as the X server sees it: true when it is viewable.
bool isViewableOnX11(WId window);

}  // namespace corvane::ui
