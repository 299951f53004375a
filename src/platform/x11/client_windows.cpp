#include "platform/x11/client_windows.h"

#include "platform/x11/xlib.h"

#include <algorithm>

#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

bool describe(Display* display, const Atoms& atoms, const ApplicationIdentityResolver& identities,
              Window id, ClientWindow& out) {
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, id, &attributes) || trap.failed()) return false;
  if (attributes.c_class == InputOnly) return false;
  out.id = id;
  out.topLevel = topLevelWindow(display, id);
  if (out.topLevel == None) return false;
  Window child = None;
  XTranslateCoordinates(display, id, DefaultRootWindow(display), 0, 0, &out.x, &out.y, &child);
  if (trap.failed()) return false;
  out.width = attributes.width;
  out.height = attributes.height;
  out.viewable = attributes.map_state == IsViewable;
  const auto pid = windowProcessId(display, id).value_or(0);
  out.identity = identities.resolve(pid, windowClass(display, id));
  out.title = windowTitle(display, id, atoms.netWmName);
  const auto state = cardinalProperty(display, id, atoms.wmState, atoms.wmState);
  const auto netState = atomListProperty(display, id, atoms.netWmState);
  out.hidden =
      (!state.empty() && state.front() == IconicState) ||
      std::find(netState.begin(), netState.end(), atoms.netWmStateHidden) != netState.end();
  const auto types = atomListProperty(display, id, atoms.netWmWindowType);
  out.isDesktopWindow =
      std::find(types.begin(), types.end(), atoms.netWmWindowTypeDesktop) != types.end();
  const auto desktop = cardinalValue(display, id, atoms.netWmDesktop, XA_CARDINAL);
  out.desktop = (!desktop || *desktop == 0xFFFFFFFFL) ? -1 : static_cast<int>(*desktop);
  const auto protocols = atomListProperty(display, id, atoms.wmProtocols);
  out.acceptsDelete =
      std::find(protocols.begin(), protocols.end(), atoms.wmDeleteWindow) != protocols.end();
  return !trap.failed() && !out.identity.id.empty();
}

}  // namespace

bool hasWindowManager(Display* display, const Atoms& atoms) {
  return !atomListProperty(display, DefaultRootWindow(display), atoms.netSupported).empty();
}

std::vector<ClientWindow> listClientWindows(Display* display, const Atoms& atoms,
                                            const ApplicationIdentityResolver& identities) {
  const Window root = DefaultRootWindow(display);
  std::vector<Window> candidates = windowListProperty(display, root, atoms.netClientListStacking);
  if (candidates.empty()) candidates = windowListProperty(display, root, atoms.netClientList);
  if (candidates.empty() && !hasWindowManager(display, atoms)) {
    for (Window top : childWindows(display, root)) {
      if (hasProperty(display, top, atoms.wmState) || hasProperty(display, top, atoms.wmClass)) {
        XWindowAttributes attributes;
        ErrorTrap trap(display);
        if (XGetWindowAttributes(display, top, &attributes) && !trap.failed() &&
            !attributes.override_redirect && attributes.map_state == IsViewable) {
          candidates.push_back(top);
        }
        continue;
      }
      for (Window inner : childWindows(display, top)) {
        if (hasProperty(display, inner, atoms.wmState)) candidates.push_back(inner);
      }
    }
  }
  std::vector<ClientWindow> result;
  for (Window id : candidates) {
    ClientWindow window;
    if (describe(display, atoms, identities, id, window)) result.push_back(std::move(window));
  }
  return result;
}

}  // namespace corvane::platform::x11
