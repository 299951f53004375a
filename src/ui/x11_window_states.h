#pragma once

#include <QtGui/qwindowdefs.h>

namespace corvane::ui {

// The EWMH window states Qt has no flag for. Each is set on the window's _NET_WM_STATE property
// while it is unmapped, and asked of the window manager with a client message once it is mapped.
// Outside an X11 session (Qt's offscreen platform) nothing happens.
struct ExtraWindowStates {
  bool sticky = false;       // _NET_WM_STATE_STICKY: on every virtual desktop
  bool skipTaskbar = false;  // _NET_WM_STATE_SKIP_TASKBAR
  bool skipPager = false;    // _NET_WM_STATE_SKIP_PAGER

  bool operator==(const ExtraWindowStates&) const = default;
};

bool isX11Session();
void applyExtraWindowStates(WId window, bool mapped, const ExtraWindowStates& states);

// The map state of a window as the X server sees it: true when it is viewable.
bool isViewableOnX11(WId window);

}  // namespace corvane::ui
