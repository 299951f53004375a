#include "platform/x11/hidden_window_keeper.h"

#include <algorithm>
#include <deque>
#include <map>

#include "platform/geometry.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// Lowers `topLevel` itself to the bottom of the stack. Override-redirect is set for the moment of
// the request, so no window manager intercepts it or keeps the window in one of its layers.
void lowerDirectly(Display* display, Window topLevel) {
  XWindowAttributes current{};
  if (XGetWindowAttributes(display, topLevel, &current) == 0) return;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  XChangeWindowAttributes(display, topLevel, CWOverrideRedirect, &attributes);
  XLowerWindow(display, topLevel);
  attributes.override_redirect = current.override_redirect;
  XChangeWindowAttributes(display, topLevel, CWOverrideRedirect, &attributes);
}

// An empty input shape lets the mouse through `window`; none gives it its own shape back.
void setLetsMouseThrough(Display* display, Window window, bool through) {
  if (!through) {
    XFixesSetWindowShapeRegion(display, window, ShapeInput, 0, 0, None);
    return;
  }
  const XserverRegion nothing = XFixesCreateRegion(display, nullptr, 0);
  XFixesSetWindowShapeRegion(display, window, ShapeInput, 0, 0, nothing);
  XFixesDestroyRegion(display, nothing);
}

// Window managers that take a shown window into their desktop layer when it becomes a desktop
// window: muffin and mutter (which draw windows in an order of their own) and marco. Their own
// order then keeps it beneath the desktop window; lowering their frames behind their back would
// only confuse them (marco's compositor stops drawing such a frame once it is shown again). The
// others read a window's type only when they first map it.
bool joinsDesktopLayerOfShownWindows(Display* display) {
  const Window root = DefaultRootWindow(display);
  const auto check =
      windowListProperty(display, root, XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False));
  if (check.empty()) return false;
  const auto name =
      textProperty(display, check.front(), XInternAtom(display, "_NET_WM_NAME", False));
  if (!name) return false;
  for (const char* family : {"Muffin", "Mutter", "GNOME Shell", "Marco", "Metacity"}) {
    if (name->find(family) != std::string::npos) return true;
  }
  return false;
}

// Joins the desktop's layer and asks to be lowered within it, beneath the desktop window.
void joinDesktopLayer(Display* display, Window client) {
  const Atom desktop = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  XChangeProperty(display, client, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&desktop), 1);
  XLowerWindow(display, client);
}

// The window's place on the root.
platform::Point placeOnRoot(Display* display, Window window) {
  int x = 0, y = 0;
  Window child = None;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  return platform::Point{static_cast<double>(x), static_cast<double>(y)};
}

}  // namespace

// Everything but the count is the pump thread's alone.
struct HiddenWindowKeeper::State {
  struct Kept {
    // Its top level as last found (None until found).
    Window topLevel = None;
    // Where it was on the root when it was hidden.
    platform::Point place;
  };

  // The pump's connection, from its setup until its end.
  XConnection* connection = nullptr;
  std::map<Window, Kept> kept;
  // The window manager keeps the kept windows in its desktop layer: nothing to lower here.
  bool inDesktopLayer = false;
  // A restack or reparenting since the last check may have put another window beneath.
  bool unsettled = false;
  bool watchingRoot = false;
  std::deque<double> recentLowerings;
  std::atomic<int> lowerings{0};

  bool isKeptTopLevel(Window window) const {
    return std::any_of(kept.begin(), kept.end(),
                       [window](const auto& entry) { return entry.second.topLevel == window; });
  }

  void watchRoot(XConnection& connection) {
    const bool wanted = !kept.empty();
    if (wanted == watchingRoot) return;
    watchingRoot = wanted;
    XSelectInput(connection.display(), connection.root(), wanted ? SubstructureNotifyMask : 0);
  }

  void noticeEvent(const XEvent& event) {
    switch (event.type) {
      case ConfigureNotify: {
        const bool ours = isKeptTopLevel(event.xconfigure.window);
        // Ours moved above another window, or another went to the very bottom.
        if (ours ? event.xconfigure.above != None : event.xconfigure.above == None) {
          unsettled = true;
        }
        break;
      }
      case CirculateNotify:
        if (event.xcirculate.place == PlaceOnBottom && !isKeptTopLevel(event.xcirculate.window)) {
          unsettled = true;
        }
        break;
      case ReparentNotify:
        // A kept client framed anew (or unframed): its top level is another window now, and the
        // window manager may have put it elsewhere.
        if (const auto found = kept.find(event.xreparent.window); found != kept.end()) {
          found->second.topLevel = None;
          unsettled = true;
        }
        break;
      default:
        break;
    }
  }

  // Finds the top levels not known yet and lowers the kept ones again when another window lies
  // beneath them. Returns the seconds until it should look again (when it had to hold back).
  std::optional<double> settle(XConnection& connection) {
    if (!unsettled || kept.empty()) return std::nullopt;
    const double now = pumpClock();
    while (!recentLowerings.empty() && now - recentLowerings.front() > 1.0)
      recentLowerings.pop_front();
    if (static_cast<int>(recentLowerings.size()) >= kMostLoweringsPerSecond) {
      return 1.0 - (now - recentLowerings.front());
    }
    unsettled = false;
    Display* display = connection.display();
    ErrorTrap trap(display);
    for (auto& [client, window] : kept) {
      if (window.topLevel != None) continue;
      window.topLevel = topLevelWindow(display, client);
      if (inDesktopLayer) {
        // Taken out of its frame into the desktop layer: where it was, whole on the screen.
        const platform::Point place = placeOnRoot(display, client);
        if (window.topLevel == client && !(place == window.place)) {
          XMoveWindow(display, client, static_cast<int>(window.place.x),
                      static_cast<int>(window.place.y));
        }
      } else if (window.topLevel != None && window.topLevel != client) {
        setLetsMouseThrough(display, window.topLevel, true);
      }
    }
    if (inDesktopLayer) {
      XFlush(display);
      return std::nullopt;
    }
    const auto children = childWindows(display, connection.root());
    const auto firstOther = std::find_if(children.begin(), children.end(),
                                         [this](Window w) { return !isKeptTopLevel(w); });
    const bool settled =
        std::none_of(firstOther, children.end(), [this](Window w) { return isKeptTopLevel(w); });
    if (settled) return std::nullopt;
    for (const auto& [client, window] : kept) {
      if (window.topLevel != None) lowerDirectly(display, window.topLevel);
    }
    XFlush(display);
    recentLowerings.push_back(now);
    lowerings.fetch_add(1);
    return std::nullopt;
  }
};

HiddenWindowKeeper::HiddenWindowKeeper(std::string displayName)
    : state_(std::make_shared<State>()) {
  XEventPump::Callbacks callbacks;
  callbacks.setup = [state = state_](XConnection& connection) {
    state->connection = &connection;
    return runtime::Status::success();
  };
  callbacks.event = [state = state_](XEvent& event) { state->noticeEvent(event); };
  callbacks.idle = [state = state_]() -> std::optional<double> {
    return state->connection != nullptr ? state->settle(*state->connection) : std::nullopt;
  };
  auto forget = [state = state_] { state->connection = nullptr; };
  callbacks.teardown = forget;
  callbacks.connectionLost = forget;
  pump_.start(std::move(displayName), std::move(callbacks));
}

HiddenWindowKeeper::~HiddenWindowKeeper() {
  pump_.stop();
}

int HiddenWindowKeeper::lowerings() const {
  return state_->lowerings.load();
}

void HiddenWindowKeeper::keep(Window client) {
  pump_.post([state = state_, client](XConnection* connection) {
    if (connection == nullptr) return;
    Display* display = connection->display();
    ErrorTrap trap(display);
    const bool isNew = !state->kept.contains(client);
    if (isNew) {
      state->kept[client] = State::Kept{None, placeOnRoot(display, client)};
      XSelectInput(display, client, StructureNotifyMask);
      state->watchRoot(*connection);
      state->unsettled = true;
    }
    state->inDesktopLayer = joinsDesktopLayerOfShownWindows(display);
    // Again when kept already: the toolkit may have written the window's type anew.
    if (state->inDesktopLayer) joinDesktopLayer(display, client);
    XFlush(display);
  });
}

void HiddenWindowKeeper::release(Window client) {
  pump_.post([state = state_, client](XConnection* connection) {
    const auto found = state->kept.find(client);
    if (connection == nullptr || found == state->kept.end()) return;
    Display* display = connection->display();
    ErrorTrap trap(display);
    const Window topLevel = found->second.topLevel;
    if (topLevel != None && topLevel != client && !state->inDesktopLayer) {
      setLetsMouseThrough(display, topLevel, false);
    }
    XSelectInput(display, client, 0);
    state->kept.erase(found);
    state->watchRoot(*connection);
    XFlush(display);
  });
}

}  // namespace corvane::platform::x11
