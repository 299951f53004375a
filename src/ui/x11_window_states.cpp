#include "ui/x11_window_states.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

// Xlib last: its macros (None, Bool, Status…) clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <vector>

namespace corvane::ui {
namespace {

Display* x11Display() {
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->display() : nullptr;
}

void setPropertyState(Display* display, ::Window window, Atom netWmState, Atom state, bool on) {
  std::vector<Atom> atoms;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, netWmState, 0, 1024, False, XA_ATOM, &type, &format,
                         &count, &after, &data) == Success &&
      data != nullptr) {
    if (type == XA_ATOM && format == 32) {
      const auto* values = reinterpret_cast<const Atom*>(data);
      atoms.assign(values, values + count);
    }
    XFree(data);
  }
  const bool present = std::find(atoms.begin(), atoms.end(), state) != atoms.end();
  if (on == present) return;
  if (on) {
    atoms.push_back(state);
  } else {
    atoms.erase(std::remove(atoms.begin(), atoms.end(), state), atoms.end());
  }
  XChangeProperty(display, window, netWmState, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(atoms.data()),
                  static_cast<int>(atoms.size()));
}

void requestState(Display* display, ::Window window, Atom netWmState, Atom state, bool on) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = netWmState;
  event.xclient.format = 32;
  event.xclient.data.l[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
  event.xclient.data.l[1] = static_cast<long>(state);
  event.xclient.data.l[2] = 0;
  event.xclient.data.l[3] = 1;  // a normal application
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// A running EWMH window manager announces itself with _NET_SUPPORTING_WM_CHECK on the root.
bool hasWindowManager(Display* display) {
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == 0) return false;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found =
      XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                         &format, &count, &after, &data) == Success &&
      data != nullptr && count == 1;
  if (data != nullptr) XFree(data);
  return found;
}

constexpr unsigned long kAllDesktops = 0xFFFFFFFFul;

std::optional<unsigned long> readCardinal(Display* display, ::Window window, Atom property) {
  std::optional<unsigned long> value;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format,
                         &count, &after, &data) == Success &&
      data != nullptr) {
    if (type == XA_CARDINAL && format == 32 && count == 1) {
      value = *reinterpret_cast<const unsigned long*>(data) & 0xFFFFFFFFul;
    }
    XFree(data);
  }
  return value;
}

// Puts the window on every desktop, or takes it back to the current one when it was on all.
void applyAllDesktops(Display* display, ::Window window, bool askManager, bool allDesktops) {
  const Atom wmDesktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
  const auto current = readCardinal(display, window, wmDesktop);
  const bool onAll = current == kAllDesktops;
  if (allDesktops == onAll) return;
  unsigned long desktop = kAllDesktops;
  if (!allDesktops) {
    const Atom currentDesktop = XInternAtom(display, "_NET_CURRENT_DESKTOP", False);
    desktop = readCardinal(display, DefaultRootWindow(display), currentDesktop).value_or(0);
  }
  if (askManager) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = wmDesktop;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(desktop);
    event.xclient.data.l[1] = 1;  // a normal application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    XChangeProperty(display, window, wmDesktop, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&desktop), 1);
  }
}

}  // namespace

bool isX11Session() {
  return x11Display() != nullptr;
}

void applyExtraWindowStates(WId window, bool mapped, const ExtraWindowStates& states) {
  Display* display = x11Display();
  if (display == nullptr || window == 0) return;
  const ::Window xWindow = static_cast<::Window>(window);
  const Atom netWmState = XInternAtom(display, "_NET_WM_STATE", False);
  const std::pair<const char*, bool> wanted[] = {
      {"_NET_WM_STATE_STICKY", states.sticky},
      {"_NET_WM_STATE_SKIP_TASKBAR", states.skipTaskbar},
      {"_NET_WM_STATE_SKIP_PAGER", states.skipPager},
  };
  // A mapped window's states belong to the window manager: ask it. Without one nobody would
  // answer, so the property is kept right directly.
  const bool askManager = mapped && hasWindowManager(display);
  for (const auto& [name, on] : wanted) {
    const Atom state = XInternAtom(display, name, False);
    if (askManager) {
      requestState(display, xWindow, netWmState, state, on);
    } else {
      setPropertyState(display, xWindow, netWmState, state, on);
    }
  }
  applyAllDesktops(display, xWindow, askManager, states.sticky);
  XFlush(display);
}

std::optional<unsigned long> desktopOnX11(WId window) {
  Display* display = x11Display();
  if (display == nullptr || window == 0) return std::nullopt;
  return readCardinal(display, static_cast<::Window>(window),
                      XInternAtom(display, "_NET_WM_DESKTOP", False));
}

std::vector<std::string> netWmStatesOnX11(WId window) {
  std::vector<std::string> names;
  Display* display = x11Display();
  if (display == nullptr || window == 0) return names;
  const Atom netWmState = XInternAtom(display, "_NET_WM_STATE", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, static_cast<::Window>(window), netWmState, 0, 1024, False,
                         XA_ATOM, &type, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    if (type == XA_ATOM && format == 32) {
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < count; ++i) {
        if (char* name = XGetAtomName(display, atoms[i])) {
          names.emplace_back(name);
          XFree(name);
        }
      }
    }
    XFree(data);
  }
  return names;
}

bool isViewableOnX11(WId window) {
  Display* display = x11Display();
  if (display == nullptr || window == 0) return false;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, static_cast<::Window>(window), &attributes) == 0) return false;
  return attributes.map_state == IsViewable;
}

}  // namespace corvane::ui
