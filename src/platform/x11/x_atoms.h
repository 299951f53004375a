#pragma once

#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {

// The atoms the backend asks about, interned once per connection.
struct Atoms {
  explicit Atoms(Display* display);

  Atom wmState;
  Atom wmClass;
  Atom wmName;
  Atom wmProtocols;
  Atom wmDeleteWindow;
  Atom wmTransientFor;
  Atom wmClientMachine;
  Atom netSupported;
  Atom netClientList;
  Atom netClientListStacking;
  Atom netActiveWindow;
  Atom netCurrentDesktop;
  Atom netWmDesktop;
  Atom netWmPid;
  Atom netWmName;
  Atom netWmState;
  Atom netWmStateHidden;
  Atom netWmWindowType;
  Atom netWmWindowTypeDesktop;
  Atom netWmWindowTypeDock;
  Atom netWmWindowTypeTooltip;
  Atom netWmWindowTypeNotification;
  Atom netFrameExtents;
  Atom netSupportingWmCheck;
  Atom netWorkarea;
  Atom netCloseWindow;
  Atom utf8String;
  Atom rootPixmap;
  Atom resourceManager;
};

}  // namespace corvane::platform::x11
