#include "platform/x11/hidden_window_keeper.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <map>

#include "platform/x11/window_manager_order.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// Restacks `topLevel` itself, to the bottom or the top of the stack. Override-redirect is set for
// the moment of the request, so no window manager intercepts it or keeps the window in one of its
// layers.
void restackDirectly(Display* display, Window topLevel, bool toBottom) {
  XWindowAttributes current{};
  if (XGetWindowAttributes(display, topLevel, &current) == 0) return;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  XChangeWindowAttributes(display, topLevel, CWOverrideRedirect, &attributes);
  if (toBottom) {
    XLowerWindow(display, topLevel);
  } else {
    XRaiseWindow(display, topLevel);
  }
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

struct HidingAtoms {
  Atom opacity = None;
  Atom restackWindow = None;

  explicit HidingAtoms(Display* display) {
    std::array<char*, 2> names = {const_cast<char*>("_NET_WM_WINDOW_OPACITY"),
                                  const_cast<char*>("_NET_RESTACK_WINDOW")};
    std::array<Atom, 2> atoms{};
    XInternAtoms(display, names.data(), static_cast<int>(names.size()), False, atoms.data());
    opacity = atoms[0];
    restackWindow = atoms[1];
  }
};

// Fully transparent for a compositing manager, or fully opaque. Opaque is said outright rather
// than by taking the property away: marco keeps the value it copied to the window's frame.
void setTransparent(Display* display, const HidingAtoms& atoms, Window window, bool transparent) {
  const unsigned long opacity = transparent ? 0 : 0xFFFFFFFFul;
  XChangeProperty(display, window, atoms.opacity, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&opacity), 1);
}

// Asks the window manager to lower the window within its layer, or to raise it there: as the
// application (a configure request) and as a pager would (_NET_RESTACK_WINDOW), for managers that
// honour only one of them.
void askToRestack(Display* display, const HidingAtoms& atoms, Window window, bool lower) {
  if (lower) {
    XLowerWindow(display, window);
  } else {
    XRaiseWindow(display, window);
  }
  XEvent restack{};
  restack.xclient.type = ClientMessage;
  restack.xclient.window = window;
  restack.xclient.message_type = atoms.restackWindow;
  restack.xclient.format = 32;
  restack.xclient.data.l[0] = 2;  // from a pager
  restack.xclient.data.l[1] = None;
  restack.xclient.data.l[2] = lower ? Below : Above;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &restack);
}

}  // namespace

// Everything but the counts is the pump thread's alone.
struct HiddenWindowKeeper::State {
  struct Kept {
    // Its top level as last found (None until found).
    Window topLevel = None;
    // How many shows had been asked when it was hidden: once another is asked, the keeper no
    // longer lowers it (the toolkit may be raising it already).
    std::uint64_t showsAskedWhenHidden = 0;
    // The keeper lowered that top level itself since the window was hidden.
    bool loweredDirectly = false;
  };

  // The pump's connection, from its setup until its end.
  XConnection* connection = nullptr;
  std::optional<HidingAtoms> atoms;
  std::map<Window, Kept> kept;
  // The window manager keeps its own order: nothing to lower here.
  bool windowManagerOrders = false;
  // A restack or reparenting since the last check may have put another window beneath.
  bool unsettled = false;
  bool watchingRoot = false;
  std::deque<double> recentLowerings;
  std::atomic<int> lowerings{0};
  // Counted on the main actor as each show is asked, before the toolkit raises the window.
  std::atomic<std::uint64_t> showsAsked{0};

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

  void hide(XConnection& connection, Window client, std::uint64_t showsAskedBefore) {
    Display* display = connection.display();
    ErrorTrap trap(display);
    setTransparent(display, *atoms, client, true);
    askToRestack(display, *atoms, client, /*lower=*/true);
    if (!kept.contains(client)) {
      kept[client] = Kept{};
      XSelectInput(display, client, StructureNotifyMask);
      watchRoot(connection);
    }
    kept[client].showsAskedWhenHidden = showsAskedBefore;
    windowManagerOrders = keepsItsOwnOrderWhileCompositing(display);
    unsettled = true;
    XFlush(display);
  }

  void show(XConnection& connection, Window client) {
    const auto found = kept.find(client);
    if (found == kept.end()) return;
    Display* display = connection.display();
    ErrorTrap trap(display);
    setTransparent(display, *atoms, client, false);
    const Kept window = found->second;
    if (window.topLevel != None && window.topLevel != client) {
      setLetsMouseThrough(display, window.topLevel, false);
    }
    // After every lowering it asked for or made itself: the toolkit's raise, on another
    // connection, may have come before them, and a window manager that holds the window on top
    // already does not restack it again. What the keeper lowered behind the window manager's back
    // it raises itself; the window manager is asked to put it in its place within its layer.
    if (window.loweredDirectly) restackDirectly(display, window.topLevel, /*toBottom=*/false);
    askToRestack(display, *atoms, client, /*lower=*/false);
    XSelectInput(display, client, 0);
    kept.erase(found);
    watchRoot(connection);
    XFlush(display);
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
      if (window.topLevel != None && window.topLevel != client) {
        setLetsMouseThrough(display, window.topLevel, true);
      }
    }
    if (windowManagerOrders) {
      XFlush(display);
      return std::nullopt;
    }
    const auto children = childWindows(display, connection.root());
    const auto firstOther = std::find_if(children.begin(), children.end(),
                                         [this](Window w) { return !isKeptTopLevel(w); });
    const bool settled =
        std::none_of(firstOther, children.end(), [this](Window w) { return isKeptTopLevel(w); });
    if (settled) return std::nullopt;
    const std::uint64_t shows = showsAsked.load();
    for (auto& [client, window] : kept) {
      if (window.topLevel == None || window.showsAskedWhenHidden != shows) continue;
      restackDirectly(display, window.topLevel, /*toBottom=*/true);
      window.loweredDirectly = true;
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
    state->atoms.emplace(connection.display());
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

void HiddenWindowKeeper::hide(Window client) {
  pump_.post([state = state_, client, shows = state_->showsAsked.load()](XConnection* connection) {
    if (connection != nullptr) state->hide(*connection, client, shows);
  });
}

void HiddenWindowKeeper::show(Window client) {
  state_->showsAsked.fetch_add(1);
  pump_.post([state = state_, client](XConnection* connection) {
    if (connection != nullptr) state->show(*connection, client);
  });
}

}  // namespace corvane::platform::x11
