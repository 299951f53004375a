#include "platform/x11/window_model.h"

#include "platform/x11/xlib.h"

#include <algorithm>
#include <deque>

#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

constexpr long kTopLevelEvents = PropertyChangeMask | SubstructureNotifyMask;
constexpr long kClientEvents = PropertyChangeMask;

}  // namespace

WindowModel::WindowModel(Display* display, const Atoms& atoms, int damageEventBase,
                         int shapeEventBase,
                         std::shared_ptr<const ApplicationIdentityResolver> identities)
    : display_(display),
      atoms_(atoms),
      damageEventBase_(damageEventBase),
      shapeEventBase_(shapeEventBase),
      identities_(std::move(identities)),
      root_(DefaultRootWindow(display)) {}

WindowModel::~WindowModel() {
  ErrorTrap trap(display_);
  for (auto& [id, window] : windows_) release(*window);
  XSync(display_, False);
}

runtime::Status WindowModel::load() {
  ErrorTrap trap(display_);
  // Selecting before listing means no window created in between goes unnoticed; duplicates
  // from events queued meanwhile are ignored by add().
  XSelectInput(display_, root_, SubstructureNotifyMask | PropertyChangeMask);
  Window rootReturn = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count) || trap.failed()) {
    return runtime::Status::failure("The window list of the X display could not be read.");
  }
  std::vector<Window> list(children, children + count);
  if (children != nullptr) XFree(children);
  for (Window window : list) add(window, order_.empty() ? None : order_.back());
  trap.sync();
  return runtime::Status::success();
}

void WindowModel::abandon() {
  windows_.clear();
  order_.clear();
}

TrackedWindow* WindowModel::lookup(Window window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

const TrackedWindow* WindowModel::find(Window window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

Picture WindowModel::picture(Window id) {
  TrackedWindow* window = lookup(id);
  if (window == nullptr || window->inputOnly) return None;
  if (window->picture == None) {
    XRenderPictFormat* format = XRenderFindVisualFormat(display_, window->visual);
    if (format == nullptr) return None;
    XRenderPictureAttributes attributes{};
    attributes.subwindow_mode = IncludeInferiors;
    window->picture = XRenderCreatePicture(display_, id, format, CPSubwindowMode, &attributes);
  }
  return window->picture;
}

std::vector<const TrackedWindow*> WindowModel::stacking() const {
  std::vector<const TrackedWindow*> result;
  result.reserve(order_.size());
  for (Window id : order_) result.push_back(windows_.at(id).get());
  return result;
}

void WindowModel::add(Window id, Window below) {
  if (windows_.count(id) != 0) return;
  auto window = std::make_unique<TrackedWindow>();
  window->id = id;
  {
    ErrorTrap trap(display_);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, id, &attributes) || trap.failed()) return;  // gone
    window->x = attributes.x;
    window->y = attributes.y;
    window->width = attributes.width;
    window->height = attributes.height;
    window->borderWidth = attributes.border_width;
    window->mapped = attributes.map_state != IsUnmapped;
    window->overrideRedirect = attributes.override_redirect;
    window->inputOnly = attributes.c_class == InputOnly;
    window->visual = attributes.visual;
    if (!window->inputOnly) {
      XRenderPictFormat* format = XRenderFindVisualFormat(display_, attributes.visual);
      window->hasAlpha =
          format != nullptr && format->type == PictTypeDirect && format->direct.alphaMask != 0;
    }
    XSelectInput(display_, id, kTopLevelEvents);
    if (!window->inputOnly) {
      window->damage = XDamageCreate(display_, id, XDamageReportNonEmpty);
    }
    if (shapeEventBase_ >= 0) XShapeSelectInput(display_, id, ShapeNotifyMask);
  }
  readShape(*window);
  resolveIdentity(*window);
  TrackedWindow& stored = *window;
  windows_.emplace(id, std::move(window));
  auto position = below == None ? order_.begin() : std::find(order_.begin(), order_.end(), below);
  if (position != order_.end() && below != None) ++position;
  order_.insert(below == None ? order_.begin() : position, id);
  if (stored.isVisible()) gate(stored);
}

void WindowModel::release(TrackedWindow& window) {
  if (window.picture != None) XRenderFreePicture(display_, window.picture);
  if (window.damage != None) XDamageDestroy(display_, window.damage);
  if (window.clientDamage != None) XDamageDestroy(display_, window.clientDamage);
  if (window.boundingShape != None) XFixesDestroyRegion(display_, window.boundingShape);
  window.boundingShape = None;
  window.picture = None;
  window.damage = None;
  window.clientDamage = None;
  window.clientDamageTarget = None;
}

void WindowModel::remove(Window id) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  {
    ErrorTrap trap(display_);
    release(*it->second);
  }
  windows_.erase(it);
  order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
}

void WindowModel::restack(Window id, Window above) {
  auto current = std::find(order_.begin(), order_.end(), id);
  if (current == order_.end()) return;
  order_.erase(current);
  if (above == None) {
    order_.insert(order_.begin(), id);
    return;
  }
  auto sibling = std::find(order_.begin(), order_.end(), above);
  if (sibling == order_.end()) {
    order_.push_back(id);
  } else {
    order_.insert(sibling + 1, id);
  }
}

void WindowModel::readShape(TrackedWindow& window) {
  if (shapeEventBase_ < 0 || window.inputOnly) return;
  ErrorTrap trap(display_);
  if (window.boundingShape != None) XFixesDestroyRegion(display_, window.boundingShape);
  window.boundingShape = None;
  Bool boundingShaped = False, clipShaped = False;
  int x, y, cx, cy;
  unsigned width, height, cw, ch;
  if (!XShapeQueryExtents(display_, window.id, &boundingShaped, &x, &y, &width, &height,
                          &clipShaped, &cx, &cy, &cw, &ch) ||
      trap.failed() || !boundingShaped) {
    return;
  }
  window.boundingShape = XFixesCreateRegionFromWindow(display_, window.id, WindowRegionBounding);
  if (!trap.sync()) window.boundingShape = None;
}

Window WindowModel::findClient(Window top) const {
  // The window manager marks the application's window with WM_STATE. A frame it has not
  // marked yet still holds a window that names its class: that one speaks for the frame.
  for (Atom marker : {atoms_.wmState, atoms_.wmClass}) {
    if (hasProperty(display_, top, marker)) return top;
    std::deque<std::pair<Window, int>> pending{{top, 0}};
    while (!pending.empty()) {
      auto [window, depth] = pending.front();
      pending.pop_front();
      if (depth > 0 && hasProperty(display_, window, marker)) return window;
      if (depth >= 3) continue;
      for (Window child : childWindows(display_, window)) pending.emplace_back(child, depth + 1);
    }
  }
  return None;
}

void WindowModel::resolveIdentity(TrackedWindow& window) {
  Window client = findClient(window.id);
  if (client == None) client = window.id;
  if (client != window.client && client != window.id) {
    ErrorTrap trap(display_);
    XSelectInput(display_, client, kClientEvents);
  }
  window.client = client;
  bool newClientReport = false;
  if (client != window.clientDamageTarget && !window.inputOnly) {
    newClientReport = true;
    ErrorTrap trap(display_);
    if (window.clientDamage != None) XDamageDestroy(display_, window.clientDamage);
    window.clientDamage = None;
    window.clientDamageTarget = None;
    if (client != window.id) {
      window.clientDamage = XDamageCreate(display_, client, XDamageReportNonEmpty);
      window.clientDamageTarget = client;
    }
  }
  const auto pid = windowProcessId(display_, client).value_or(0);
  const auto windowClass = x11::windowClass(display_, client);
  window.identityKnown = pid > 0 || windowClass.has_value();
  window.identity = identities_->resolve(pid, windowClass);
  const auto transient = windowListProperty(display_, client, atoms_.wmTransientFor);
  window.transientFor = transient.empty() ? None : transient.front();
  const auto types = atomListProperty(display_, client, atoms_.netWmWindowType);
  window.isDesktopWindow =
      std::find(types.begin(), types.end(), atoms_.netWmWindowTypeDesktop) != types.end();
  const auto desktop = cardinalValue(display_, client, atoms_.netWmDesktop, XA_CARDINAL);
  window.desktop = (!desktop || *desktop == 0xFFFFFFFFL) ? -1 : static_cast<int>(*desktop);
  window.title = windowTitle(display_, client, atoms_.netWmName);
  // Paint from before the application's window had its own report went unseen: ask again.
  if (newClientReport && window.isVisible()) gate(window);
}

void WindowModel::gate(TrackedWindow& window) {
  window.awaitingRepaint = true;
  if (window.damage == None) return;
  ErrorTrap trap(display_);
  // Everything reported so far may describe the pixmap's inherited contents: drop it, then ask
  // the application to repaint and trust only what is reported from the clear onwards.
  XSync(display_, False);
  XDamageSubtract(display_, window.damage, None, None);
  if (window.clientDamage != None) XDamageSubtract(display_, window.clientDamage, None, None);
  window.gateSerial = NextRequest(display_);
  requestRepaint(window);
}

void WindowModel::requestRepaint(TrackedWindow& window) {
  ErrorTrap trap(display_);
  XClearArea(display_, window.id, 0, 0, 0, 0, True);
  if (window.client != window.id && window.client != None) {
    XClearArea(display_, window.client, 0, 0, 0, 0, True);
  }
  XFlush(display_);
}

Window WindowModel::topLevelOf(Window window) const {
  if (windows_.count(window) != 0) return window;
  for (const auto& [id, tracked] : windows_) {
    if (tracked->client == window) return id;
  }
  return None;
}

bool WindowModel::handle(const XEvent& event) {
  if (event.type == damageEventBase_ + XDamageNotify) {
    const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
    {
      ErrorTrap trap(display_);
      XDamageSubtract(display_, damage.damage, None, None);
    }
    TrackedWindow* window = lookup(damage.drawable);
    bool fromApplication = window != nullptr && window->clientDamage == None;
    if (window == nullptr) {
      window = lookup(topLevelOf(damage.drawable));
      fromApplication = window != nullptr && window->clientDamage == damage.damage;
    }
    if (window == nullptr) return false;
    if (fromApplication && window->awaitingRepaint) {
      if (damage.serial >= window->gateSerial) {
        window->awaitingRepaint = false;
      } else if (window->isVisible()) {
        // A report from before the gate: subtracting it may have swallowed the repaint the
        // gate asked for, so ask once more (the gate's serial stays, so this ends with the
        // reports queued before it).
        requestRepaint(*window);
      }
    }
    return window->isVisible();
  }
  if (shapeEventBase_ >= 0 && event.type == shapeEventBase_ + ShapeNotify) {
    const auto& shape = reinterpret_cast<const XShapeEvent&>(event);
    TrackedWindow* window = lookup(shape.window);
    if (window == nullptr || shape.kind != ShapeBounding) return false;
    readShape(*window);
    return window->isVisible();
  }
  switch (event.type) {
    case CreateNotify: {
      const auto& create = event.xcreatewindow;
      if (create.parent != root_) return false;
      add(create.window, order_.empty() ? None : order_.back());
      return false;
    }
    case DestroyNotify: {
      const auto& destroy = event.xdestroywindow;
      if (destroy.event == root_) {
        const bool visible = lookup(destroy.window) && lookup(destroy.window)->isVisible();
        remove(destroy.window);
        return visible;
      }
      if (TrackedWindow* top = lookup(destroy.event); top && top->client == destroy.window) {
        resolveIdentity(*top);
        return top->isVisible();
      }
      return false;
    }
    case MapNotify: {
      const auto& map = event.xmap;
      if (map.event == root_) {
        TrackedWindow* window = lookup(map.window);
        if (window == nullptr) return false;
        window->mapped = true;
        window->overrideRedirect = map.override_redirect;
        resolveIdentity(*window);
        gate(*window);
        return true;
      }
      if (TrackedWindow* top = lookup(map.event)) {
        resolveIdentity(*top);
        gate(*top);
        return top->isVisible();
      }
      return false;
    }
    case UnmapNotify: {
      const auto& unmap = event.xunmap;
      if (unmap.event != root_) return false;
      TrackedWindow* window = lookup(unmap.window);
      if (window == nullptr) return false;
      window->mapped = false;
      return true;
    }
    case ConfigureNotify: {
      const auto& configure = event.xconfigure;
      if (configure.event != root_) return false;
      TrackedWindow* window = lookup(configure.window);
      if (window == nullptr) return false;
      const bool resized = configure.width != window->width || configure.height != window->height;
      window->x = configure.x;
      window->y = configure.y;
      window->width = configure.width;
      window->height = configure.height;
      window->borderWidth = configure.border_width;
      window->overrideRedirect = configure.override_redirect;
      restack(configure.window, configure.above);
      if (resized && window->boundingShape != None) readShape(*window);
      if (resized && window->isVisible()) gate(*window);
      return window->mapped;
    }
    case ReparentNotify: {
      const auto& reparent = event.xreparent;
      if (reparent.event == root_) {
        if (reparent.parent == root_) {
          add(reparent.window, order_.empty() ? None : order_.back());
          return false;
        }
        const bool visible = lookup(reparent.window) && lookup(reparent.window)->isVisible();
        remove(reparent.window);
        return visible;
      }
      if (TrackedWindow* top = lookup(reparent.event)) {
        resolveIdentity(*top);
        if (top->isVisible()) gate(*top);
        return top->isVisible();
      }
      return false;
    }
    case CirculateNotify: {
      const auto& circulate = event.xcirculate;
      if (circulate.event != root_ || lookup(circulate.window) == nullptr) return false;
      order_.erase(std::remove(order_.begin(), order_.end(), circulate.window), order_.end());
      if (circulate.place == PlaceOnTop) {
        order_.push_back(circulate.window);
      } else {
        order_.insert(order_.begin(), circulate.window);
      }
      return lookup(circulate.window)->mapped;
    }
    case PropertyNotify: {
      const auto& property = event.xproperty;
      if (property.window == root_) return property.atom == atoms_.rootPixmap;
      const Atom atom = property.atom;
      if (atom != atoms_.wmClass && atom != atoms_.netWmPid && atom != atoms_.wmState &&
          atom != atoms_.wmTransientFor && atom != atoms_.netWmWindowType &&
          atom != atoms_.netWmDesktop && atom != atoms_.netWmName && atom != XA_WM_NAME) {
        return false;
      }
      const Window top = topLevelOf(property.window);
      TrackedWindow* window = lookup(top);
      if (window == nullptr) return false;
      if (atom == atoms_.netWmName || atom == XA_WM_NAME) {
        // Titles change often (terminals, browsers) and never change who owns the window.
        window->title = windowTitle(display_, window->client, atoms_.netWmName);
        return false;
      }
      resolveIdentity(*window);
      return window->isVisible();
    }
    default:
      return false;
  }
}

std::set<Window> WindowModel::excludedWindows(const ContentFilter& filter,
                                              std::int32_t ownProcess) const {
  std::set<Window> excluded;
  std::set<std::int32_t> excludedProcesses;
  if (ownProcess > 0) excludedProcesses.insert(ownProcess);
  for (const auto& [id, window] : windows_) {
    const auto& identity = window->identity;
    if (filter.excludesApplication(identity.id, identity.processID) && identity.processID > 0) {
      excludedProcesses.insert(identity.processID);
    }
  }
  const bool excludesApplications = !filter.excludedApplications.empty();
  auto isExcludedItself = [&](const TrackedWindow& window) {
    const auto& identity = window.identity;
    if (filter.exceptingWindowIDs.count(static_cast<std::uint32_t>(window.id)) != 0 ||
        filter.exceptingWindowIDs.count(static_cast<std::uint32_t>(window.client)) != 0) {
      return identity.processID == ownProcess && ownProcess > 0;
    }
    if (identity.processID > 0 && excludedProcesses.count(identity.processID) != 0) return true;
    if (filter.excludesApplication(identity.id, identity.processID)) return true;
    if (filter.excludedWindowIDs.count(static_cast<std::uint32_t>(window.id)) != 0 ||
        filter.excludedWindowIDs.count(static_cast<std::uint32_t>(window.client)) != 0) {
      return true;
    }
    if (filter.excludeDesktopWindows && window.isDesktopWindow) return true;
    return excludesApplications && !window.identityKnown;
  };
  for (const auto& [id, window] : windows_) {
    if (isExcludedItself(*window)) excluded.insert(id);
  }
  // Transient dialogs follow their owner, through chains of any length.
  bool grew = true;
  while (grew) {
    grew = false;
    for (const auto& [id, window] : windows_) {
      if (excluded.count(id) != 0 || window->transientFor == None) continue;
      const Window owner = topLevelOf(window->transientFor);
      if (owner != None && excluded.count(owner) != 0) {
        excluded.insert(id);
        grew = true;
      }
    }
  }
  return excluded;
}

}  // namespace corvane::platform::x11
