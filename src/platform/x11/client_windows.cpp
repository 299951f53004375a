#include "platform/x11/client_windows.h"

#include "platform/x11/xlib.h"

#include <algorithm>

#include "platform/x11/window_tree_snapshot.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// The child of the root that holds `window` (itself when it is one); None when it is gone.
Window topLevelOf(WindowFacts& facts, Window root, Window window) {
  for (int depth = 0; depth < 16 && window != None; ++depth) {
    const Window parent = facts.parent(window);
    if (parent == root) return window;
    window = parent;
  }
  return None;
}

// Where the inside corner of `window` lies on the root.
std::optional<std::pair<int, int>> rootPosition(WindowFacts& facts, Window root, Window window) {
  int x = 0, y = 0;
  for (int depth = 0; depth < 16 && window != root; ++depth) {
    const auto attributes = facts.attributes(window);
    if (!attributes) return std::nullopt;
    x += attributes->x + attributes->border_width;
    y += attributes->y + attributes->border_width;
    window = facts.parent(window);
  }
  if (window != root) return std::nullopt;
  return std::pair{x, y};
}

bool contains(const std::vector<long>& values, Atom atom) {
  return std::find(values.begin(), values.end(), static_cast<long>(atom)) != values.end();
}

}  // namespace

bool describeClientWindow(WindowFacts& facts, const Atoms& atoms,
                          const ApplicationIdentityResolver& identities, Window root, Window id,
                          ClientWindow& out) {
  const auto attributes = facts.attributes(id);
  if (!attributes || attributes->c_class == InputOnly) return false;
  out.id = id;
  out.topLevel = topLevelOf(facts, root, id);
  if (out.topLevel == None) return false;
  const auto position = rootPosition(facts, root, id);
  if (!position) return false;
  out.x = position->first;
  out.y = position->second;
  out.width = attributes->width;
  out.height = attributes->height;
  out.viewable = attributes->map_state == IsViewable;
  const auto pid = facts.processId(id).value_or(0);
  out.identity = identities.resolve(pid, windowClassOf(facts.property(id, atoms.wmClass)));
  out.title = facts.title(id, atoms.netWmName);
  const auto state = cardinalsOf(facts.property(id, atoms.wmState), atoms.wmState);
  out.hidden =
      (!state.empty() && state.front() == IconicState) ||
      contains(cardinalsOf(facts.property(id, atoms.netWmState), XA_ATOM), atoms.netWmStateHidden);
  out.isDesktopWindow = contains(cardinalsOf(facts.property(id, atoms.netWmWindowType), XA_ATOM),
                                 atoms.netWmWindowTypeDesktop);
  out.desktop = facts.desktop(id, atoms.netWmDesktop);
  out.acceptsDelete =
      contains(cardinalsOf(facts.property(id, atoms.wmProtocols), XA_ATOM), atoms.wmDeleteWindow);
  return !out.identity.id.empty();
}

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
  // Every candidate and the windows holding it are read at once, a level at a time.
  WindowTreeSnapshot facts(
      display, atoms,
      {atoms.wmClass, atoms.netWmName, atoms.wmName, atoms.wmState, atoms.netWmState,
       atoms.netWmWindowType, atoms.netWmDesktop, atoms.wmProtocols});
  facts.readWithAncestors(candidates);
  std::vector<ClientWindow> result;
  for (Window id : candidates) {
    ClientWindow window;
    if (describeClientWindow(facts, atoms, identities, root, id, window)) {
      result.push_back(std::move(window));
    }
  }
  return result;
}

}  // namespace corvane::platform::x11
