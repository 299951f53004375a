#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/x11/application_identity.h"
#include "platform/x11/window_facts.h"
#include "platform/x11/x_atoms.h"

namespace corvane::platform::x11 {

// An application's own window as the window manager lists it (or, without one, a mapped
// top-level window that names its class).
struct ClientWindow {
  Window id = None;
  Window topLevel = None;  // the child of the root that holds it (its frame, or itself)
  ApplicationIdentity identity;
  std::string title;
  int x = 0, y = 0, width = 0, height = 0;  // root coordinates
  bool viewable = false;
  bool hidden = false;  // iconified
  bool isDesktopWindow = false;
  int desktop = -1;
  bool acceptsDelete = false;  // WM_DELETE_WINDOW is among its protocols
};

// The client windows bottom to top: _NET_CLIENT_LIST_STACKING when a window manager keeps it,
// else the top-level windows (and the windows inside them) that carry WM_STATE or WM_CLASS.
std::vector<ClientWindow> listClientWindows(Display* display, const Atoms& atoms,
                                            const ApplicationIdentityResolver& identities);

// One client window as `facts` tell of it; false when it is gone, input-only or names no
// application.
bool describeClientWindow(WindowFacts& facts, const Atoms& atoms,
                          const ApplicationIdentityResolver& identities, Window root, Window id,
                          ClientWindow& out);

// Whether a window manager that follows EWMH is running.
bool hasWindowManager(Display* display, const Atoms& atoms);

}  // namespace corvane::platform::x11
