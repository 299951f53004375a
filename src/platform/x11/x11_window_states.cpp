#include "platform/x11/x11_window_states.h"

#include <algorithm>
#include <utility>

#include "platform/x11/x_atoms.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

constexpr unsigned long kAllDesktops = 0xFFFFFFFFul;

void askWindowManager(Display* display, Window window, Atom message, long first, long second) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = message;
  event.xclient.format = 32;
  event.xclient.data.l[0] = first;
  event.xclient.data.l[1] = second;
  event.xclient.data.l[2] = 0;
  event.xclient.data.l[3] = 1;  // a normal application
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void setPropertyState(Display* display, Window window, Atom netWmState, Atom state, bool on) {
  auto atoms = atomListProperty(display, window, netWmState);
  const bool present = std::find(atoms.begin(), atoms.end(), state) != atoms.end();
  if (on == present) return;
  if (on) {
    atoms.push_back(state);
  } else {
    std::erase(atoms, state);
  }
  XChangeProperty(display, window, netWmState, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(atoms.data()),
                  static_cast<int>(atoms.size()));
}

// A running EWMH window manager announces itself with _NET_SUPPORTING_WM_CHECK on the root.
bool hasWindowManager(Display* display) {
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  return check != 0 && !windowListProperty(display, DefaultRootWindow(display), check).empty();
}

unsigned long currentDesktop(Display* display, const Atoms& atoms) {
  return static_cast<unsigned long>(
      cardinalValue(display, DefaultRootWindow(display), atoms.netCurrentDesktop, XA_CARDINAL)
          .value_or(0));
}

void setDesktop(Display* display, const Atoms& atoms, Window window, bool askManager,
                unsigned long desktop) {
  if (askManager) {
    askWindowManager(display, window, atoms.netWmDesktop, static_cast<long>(desktop), 1);
  } else {
    XChangeProperty(display, window, atoms.netWmDesktop, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&desktop), 1);
  }
}

// Puts the window on every desktop, or takes it back to the current one when it was on all.
void applyAllDesktops(Display* display, const Atoms& atoms, Window window, bool askManager,
                      bool allDesktops) {
  const auto current = windowDesktop(display, window);
  if (allDesktops == (current == kAllDesktops)) return;
  setDesktop(display, atoms, window, askManager,
             allDesktops ? kAllDesktops : currentDesktop(display, atoms));
}

}  // namespace

void X11WindowStateHints::apply(std::uint32_t windowNumber, bool mapped,
                                const ExtraWindowStates& states) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  const Atoms atoms(display_);
  const std::pair<const char*, bool> wanted[] = {
      {"_NET_WM_STATE_STICKY", states.sticky},
      {"_NET_WM_STATE_SKIP_TASKBAR", states.skipTaskbar},
      {"_NET_WM_STATE_SKIP_PAGER", states.skipPager},
  };
  const bool askManager = mapped && hasWindowManager(display_);
  for (const auto& [name, on] : wanted) {
    const Atom state = XInternAtom(display_, name, False);
    if (askManager) {
      askWindowManager(display_, window, atoms.netWmState, on ? 1 : 0,  // _NET_WM_STATE_ADD/REMOVE
                       static_cast<long>(state));
    } else {
      setPropertyState(display_, window, atoms.netWmState, state, on);
    }
  }
  applyAllDesktops(display_, atoms, window, askManager, states.sticky);
  XFlush(display_);
}

void X11WindowStateHints::moveToCurrentDesktop(std::uint32_t windowNumber, bool mapped) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  const Atoms atoms(display_);
  const auto desktop = windowDesktop(display_, window);
  const unsigned long current = currentDesktop(display_, atoms);
  if (desktop == kAllDesktops || desktop == current) return;
  setDesktop(display_, atoms, window, mapped && hasWindowManager(display_), current);
  XFlush(display_);
}

void X11WindowStateHints::setTransientFor(std::uint32_t windowNumber, std::uint32_t parentNumber) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  if (parentNumber == 0) {
    XDeleteProperty(display_, window, XA_WM_TRANSIENT_FOR);
  } else {
    const Window parent = static_cast<Window>(parentNumber);
    XChangeProperty(display_, window, XA_WM_TRANSIENT_FOR, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&parent), 1);
  }
  XFlush(display_);
}

std::vector<std::string> netWmStateNames(Display* display, Window window) {
  std::vector<std::string> names;
  const Atoms atoms(display);
  for (const Atom atom : atomListProperty(display, window, atoms.netWmState)) {
    if (char* name = XGetAtomName(display, atom)) {
      names.emplace_back(name);
      XFree(name);
    }
  }
  return names;
}

std::optional<unsigned long> windowDesktop(Display* display, Window window) {
  const Atoms atoms(display);
  const auto value = cardinalValue(display, window, atoms.netWmDesktop, XA_CARDINAL);
  if (!value) return std::nullopt;
  return static_cast<unsigned long>(*value) & 0xFFFFFFFFul;
}

bool isViewable(Display* display, Window window) {
  ErrorTrap trap(display);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
  return attributes.map_state == IsViewable;
}

}  // namespace corvane::platform::x11
