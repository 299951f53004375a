#include "platform/x11/x11_window_states.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/x11/client_windows.h"
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

// The window's _NET_WM_DESKTOP (kAllDesktops: every desktop); none when it has none.
std::optional<unsigned long> desktopOf(Display* display, const Atoms& atoms, Window window) {
  const auto value = cardinalValue(display, window, atoms.netWmDesktop, XA_CARDINAL);
  if (!value) return std::nullopt;
  return static_cast<unsigned long>(*value) & kAllDesktops;
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
  const bool onAll = desktopOf(display, atoms, window) == kAllDesktops;
  if (allDesktops == onAll) return;
  setDesktop(display, atoms, window, askManager,
             allDesktops ? kAllDesktops : currentDesktop(display, atoms));
}

}  // namespace

X11WindowStateHints::X11WindowStateHints(Display* display) : display_(display) {
  if (display_ == nullptr) return;
  // Once here, so that no later request waits for the server to name an atom.
  atoms_.emplace(display_);
  std::array<char*, kHintAtomCount> names = {
      const_cast<char*>("_NET_REQUEST_FRAME_EXTENTS"),
      const_cast<char*>("_NET_WM_STATE_STICKY"),
      const_cast<char*>("_NET_WM_STATE_SKIP_TASKBAR"),
      const_cast<char*>("_NET_WM_STATE_SKIP_PAGER"),
  };
  XInternAtoms(display_, names.data(), static_cast<int>(names.size()), False, hintAtoms_.data());
}

X11WindowStateHints::~X11WindowStateHints() = default;

std::optional<FrameExtents> X11WindowStateHints::frameExtents(std::uint32_t windowNumber) {
  if (display_ == nullptr || windowNumber == 0) return std::nullopt;
  const auto values = cardinalProperty(display_, static_cast<Window>(windowNumber),
                                       atoms_->netFrameExtents, XA_CARDINAL);
  if (values.size() != 4) return std::nullopt;
  // left, right, top, bottom
  return FrameExtents{static_cast<double>(values[0]), static_cast<double>(values[1]),
                      static_cast<double>(values[2]), static_cast<double>(values[3])};
}

void X11WindowStateHints::requestFrameExtents(std::uint32_t windowNumber) {
  if (display_ == nullptr || windowNumber == 0) return;
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = static_cast<Window>(windowNumber);
  request.xclient.message_type = atom(HintAtom::requestFrameExtents);
  request.xclient.format = 32;
  XSendEvent(display_, DefaultRootWindow(display_), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &request);
  XFlush(display_);
}

runtime::Subscription X11WindowStateHints::observeFrameExtentChanges(
    std::function<void(std::uint32_t windowNumber)> handler) {
  return frameExtentChanges_.add(std::move(handler));
}

void X11WindowStateHints::propertyChanged(Window window, Atom property) {
  if (display_ == nullptr || property == None) return;
  if (property == atoms_->netFrameExtents) {
    frameExtentChanges_.notify(static_cast<std::uint32_t>(window));
  } else if (window == DefaultRootWindow(display_) &&
             (property == atoms_->netSupportingWmCheck || property == atoms_->netSupported)) {
    windowManagerSeen_ = false;
  }
}

bool X11WindowStateHints::hasWindowManager() {
  // Only a running one is remembered: one that starts later is seen at the next request.
  if (!windowManagerSeen_) windowManagerSeen_ = x11::hasWindowManager(display_, *atoms_);
  return windowManagerSeen_;
}

void X11WindowStateHints::apply(std::uint32_t windowNumber, bool mapped,
                                const ExtraWindowStates& states) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  const Atoms& atoms = *atoms_;
  const std::pair<Atom, bool> wanted[] = {
      {atom(HintAtom::sticky), states.sticky},
      {atom(HintAtom::skipTaskbar), states.skipTaskbar},
      {atom(HintAtom::skipPager), states.skipPager},
  };
  const bool askManager = mapped && hasWindowManager();
  for (const auto& [state, on] : wanted) {
    if (askManager) {
      askWindowManager(display_, window, atoms.netWmState, on ? 1 : 0,  // _NET_WM_STATE_ADD/REMOVE
                       static_cast<long>(state));
    } else {
      setPropertyState(display_, window, atoms.netWmState, state, on);
    }
  }
  // The desktop is read only when being on every desktop is asked anew.
  if (stickyAsked_.size() > kMostRememberedWindows) stickyAsked_.clear();
  const auto asked = stickyAsked_.find(window);
  if (asked == stickyAsked_.end() || asked->second != states.sticky || !askManager) {
    applyAllDesktops(display_, atoms, window, askManager, states.sticky);
    stickyAsked_[window] = states.sticky;
  }
  XFlush(display_);
}

void X11WindowStateHints::moveToCurrentDesktop(std::uint32_t windowNumber, bool mapped) {
  if (display_ == nullptr || windowNumber == 0) return;
  const Window window = static_cast<Window>(windowNumber);
  ErrorTrap trap(display_);
  const Atoms& atoms = *atoms_;
  const auto desktop = desktopOf(display_, atoms, window);
  const unsigned long current = currentDesktop(display_, atoms);
  if (desktop == kAllDesktops || desktop == current) return;
  setDesktop(display_, atoms, window, mapped && hasWindowManager(), current);
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
  return desktopOf(display, Atoms(display), window);
}

bool isViewable(Display* display, Window window) {
  ErrorTrap trap(display);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
  return attributes.map_state == IsViewable;
}

}  // namespace corvane::platform::x11
