#include "platform/x11/window_model.h"

#include "platform/x11/xlib.h"

#include <X11/Xlib-xcb.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <deque>

#include "platform/x11/exclusion_policy.h"
#include "platform/x11/window_tree_snapshot.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {
namespace {

// On every window tracked, top-level or inside one: who it is and what changes inside it.
constexpr long kWatchedEvents = PropertyChangeMask | SubstructureNotifyMask;

XID resourceMaskOf(Display* display) {
  return xcb_get_setup(XGetXCBConnection(display))->resource_id_mask;
}

XRectangle rectangleOf(const InsideBox& box) {
  return XRectangle{static_cast<short>(box.x), static_cast<short>(box.y),
                    static_cast<unsigned short>(std::max(0, box.width)),
                    static_cast<unsigned short>(std::max(0, box.height))};
}

XRenderColor fillColourOf(const TrackedWindow& window) {
  // A window with alpha is cleared instead, so that what the frame shows beneath it (already
  // filtered) shows through.
  return window.hasAlpha ? XRenderColor{0, 0, 0, 0} : renderColour(kNeutralFillColour);
}

}  // namespace

WindowModel::QueuedChanges WindowModel::queuedChanges(const std::set<Window>& excluded) const {
  struct Search {
    const WindowModel* model;
    const std::set<Window>* excluded;
    QueuedChanges changes;
  } search{this, &excluded, {}};
  auto note = [](Display*, XEvent* event, XPointer argument) -> Bool {
    auto* search = reinterpret_cast<Search*>(argument);
    search->model->noteQueued(*event, *search->excluded, search->changes);
    return False;  // look at every queued event, take none
  };
  XEvent ignored;
  XCheckIfEvent(display_, &ignored, note, reinterpret_cast<XPointer>(&search));
  return search.changes;
}

void WindowModel::noteQueued(const XEvent& event, const std::set<Window>& excluded,
                             QueuedChanges& changes) const {
  if (drewBeforeFill(event)) {
    changes.outdateEveryFrame = true;
  } else if (shapeEventBase_ >= 0 && event.type == shapeEventBase_ + ShapeNotify) {
    const TrackedWindow* window = find(reinterpret_cast<const XShapeEvent&>(event).window);
    changes.outdateEveryFrame |= window != nullptr && window->isVisible();
  } else if (event.type == PropertyNotify) {
    const auto& property = event.xproperty;
    if (property.window == root_) {
      changes.outdateEveryFrame |= property.atom == atoms_.netSupportingWmCheck;
    } else if (isNamingProperty(property.atom)) {
      changes.outdateEveryFrame |= mayRenameDrawn(property.window, excluded);
    }
  } else if (const Window top = inside_.foreignArrivalIn(event); top != None) {
    changes.foreignArrivals.insert(top);
  }
}

bool WindowModel::mayRenameDrawn(Window renamed, const std::set<Window>& excluded) const {
  // Who a window is decides about it, and about the other windows of its application's client.
  const Window top = topLevelOf(renamed);
  const XID client = renamed & ~resourceMaskOf(display_);
  for (const auto& [id, window] : windows_) {
    if (!window->isVisible() || excluded.count(id) != 0) continue;
    if (id == top || window->clientOwner == client) return true;
  }
  return false;
}

bool WindowModel::isNamingProperty(Atom atom) const {
  return atom == atoms_.wmClass || atom == atoms_.netWmPid || atom == atoms_.wmTransientFor ||
         atom == atoms_.netWmWindowType;
}

bool WindowModel::drewBeforeFill(const XEvent& event) const {
  if (event.type != damageEventBase_ + XDamageNotify) return false;
  const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
  const TrackedWindow* window = find(damage.drawable);
  return window != nullptr && damage.serial < window->vacatedFillSerial;
}

WindowModel::WindowModel(Display* display, const Atoms& atoms, int damageEventBase,
                         int shapeEventBase,
                         std::shared_ptr<const ApplicationIdentityResolver> identities)
    : display_(display),
      atoms_(atoms),
      damageEventBase_(damageEventBase),
      shapeEventBase_(shapeEventBase),
      identities_(std::move(identities)),
      resolvedWith_(identities_->entries()),
      root_(DefaultRootWindow(display)),
      inside_(resourceMaskOf(display)),
      changed_(XFixesCreateRegion(display, nullptr, 0)),
      damageParts_(XFixesCreateRegion(display, nullptr, 0)),
      vacated_(XFixesCreateRegion(display, nullptr, 0)) {}

WindowModel::~WindowModel() {
  ErrorTrap trap(display_);
  for (auto& [id, window] : windows_) release(*window);
  for (XserverRegion region : {changed_, damageParts_, vacated_}) {
    if (region != None) XFixesDestroyRegion(display_, region);
  }
  XSync(display_, False);
}

void WindowModel::markChanged(const TrackedWindow& window) {
  auto clamp = [](long value, long low, long high) { return std::clamp(value, low, high); };
  const long left = clamp(window.x, -32768, 32767), top = clamp(window.y, -32768, 32767);
  const long outerWidth = std::max(0L, long{window.width} + 2L * window.borderWidth);
  const long outerHeight = std::max(0L, long{window.height} + 2L * window.borderWidth);
  XRectangle box{static_cast<short>(left), static_cast<short>(top),
                 static_cast<unsigned short>(clamp(outerWidth, 0, 65535)),
                 static_cast<unsigned short>(clamp(outerHeight, 0, 65535))};
  if (box.width == 0 || box.height == 0) return;
  XFixesSetRegion(display_, damageParts_, &box, 1);
  XFixesUnionRegion(display_, changed_, changed_, damageParts_);
}

bool WindowModel::takeChanges(XserverRegion into, const std::set<Window>& notDrawn) {
  for (Window id : drewSinceTaken_) {
    TrackedWindow* window = lookup(id);
    if (window == nullptr || window->drawnSinceTaken == None) continue;
    if (notDrawn.count(id) == 0) {
      XFixesUnionRegion(display_, changed_, changed_, window->drawnSinceTaken);
    }
    XFixesSetRegion(display_, window->drawnSinceTaken, nullptr, 0);
  }
  drewSinceTaken_.clear();
  const bool bounded = !changedEverywhere_;
  if (bounded) XFixesCopyRegion(display_, into, changed_);
  XFixesSetRegion(display_, changed_, nullptr, 0);
  changedEverywhere_ = false;
  return bounded;
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
  WindowTreeSnapshot facts(display_, atoms_, {atoms_.wmState, atoms_.wmClass});
  readAhead(facts, list);
  readWindowManagerClient();
  for (Window window : list) add(window, order_.empty() ? None : order_.back(), facts);
  namePendingPixmaps();
  trap.sync();
  return runtime::Status::success();
}

void WindowModel::readAhead(WindowTreeSnapshot& facts, const std::vector<Window>& windows) {
  // Every window is read ahead, each level of the trees in one round trip, and then the
  // properties of each application's window in one more. A window gone meanwhile is read as
  // gone, alone.
  facts.readTrees(windows, kWatchedEvents);
  std::vector<std::pair<Window, Atom>> clientProperties;
  for (Window top : windows) {
    const Window client = findClient(top, facts);
    for (Atom atom : {atoms_.wmTransientFor, atoms_.netWmWindowType, atoms_.netWmDesktop,
                      atoms_.netWmName, atoms_.wmName, atoms_.netFrameExtents}) {
      clientProperties.emplace_back(client == None ? top : client, atom);
    }
  }
  facts.readProperties(clientProperties);
}

void WindowModel::abandon() {
  changed_ = damageParts_ = vacated_ = None;
  windows_.clear();
  order_.clear();
  inside_.clear();
  unread_.clear();
  repaintsToRequest_.clear();
  treesToRead_.clear();
  pixmapsToName_.clear();
}

TrackedWindow* WindowModel::lookup(Window window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

const TrackedWindow* WindowModel::find(Window window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

std::vector<const TrackedWindow*> WindowModel::stacking() const {
  std::vector<const TrackedWindow*> result;
  result.reserve(order_.size());
  for (Window id : order_) result.push_back(windows_.at(id).get());
  return result;
}

bool WindowModel::complete(TrackedWindow& window, WindowFacts& facts) {
  {
    const auto read = facts.attributes(window.id);
    if (!read) return false;  // gone
    const XWindowAttributes& attributes = *read;
    ErrorTrap trap(display_);
    window.x = attributes.x;
    window.y = attributes.y;
    window.width = attributes.width;
    window.height = attributes.height;
    window.borderWidth = attributes.border_width;
    window.mapped = attributes.map_state != IsUnmapped;
    window.overrideRedirect = attributes.override_redirect;
    window.inputOnly = attributes.c_class == InputOnly;
    window.visual = attributes.visual;
    if (!window.inputOnly) {
      XRenderPictFormat* format = XRenderFindVisualFormat(display_, attributes.visual);
      window.hasAlpha =
          format != nullptr && format->type == PictTypeDirect && format->direct.alphaMask != 0;
    }
    XSelectInput(display_, window.id, kWatchedEvents);
    if (!window.inputOnly && window.damage == None) {
      window.damage = XDamageCreate(display_, window.id, XDamageReportNonEmpty);
    }
    if (shapeEventBase_ >= 0) XShapeSelectInput(display_, window.id, ShapeNotifyMask);
  }
  readShape(window, facts);
  resolveIdentity(window, facts);
  window.unread = false;
  return true;
}

void WindowModel::addUnread(Window id, int x, int y, int width, int height, int borderWidth,
                            bool overrideRedirect) {
  if (windows_.count(id) != 0) return;
  auto window = std::make_unique<TrackedWindow>();
  window->id = id;
  window->x = x;
  window->y = y;
  window->width = width;
  window->height = height;
  window->borderWidth = borderWidth;
  window->overrideRedirect = overrideRedirect;
  window->unread = true;
  windows_.emplace(id, std::move(window));
  order_.push_back(id);
  unread_.insert(id);
}

void WindowModel::readUnread() {
  if (unread_.empty()) return;
  const std::vector<Window> list(unread_.begin(), unread_.end());
  unread_.clear();
  WindowTreeSnapshot facts(display_, atoms_, {atoms_.wmState, atoms_.wmClass});
  readAhead(facts, list);
  for (Window id : list) {
    TrackedWindow* window = lookup(id);
    if (window == nullptr) continue;
    if (!complete(*window, facts)) {
      remove(id);  // gone before it could be read: it never showed anything
      continue;
    }
    treesToRead_.erase(id);
    markChanged(*window);
    // Named with the others made meanwhile, before the next frame.
    if (window->isVisible()) pixmapsToName_.insert(id);
  }
}

void WindowModel::add(Window id, Window below, WindowFacts& facts) {
  if (windows_.count(id) != 0) return;
  auto window = std::make_unique<TrackedWindow>();
  window->id = id;
  if (!complete(*window, facts)) return;
  TrackedWindow& stored = *window;
  windows_.emplace(id, std::move(window));
  auto position = below == None ? order_.begin() : std::find(order_.begin(), order_.end(), below);
  if (position != order_.end() && below != None) ++position;
  order_.insert(below == None ? order_.begin() : position, id);
  markChanged(stored);
  // Named with the others made meanwhile, before the next frame.
  if (stored.isVisible()) pixmapsToName_.insert(id);
}

void WindowModel::releasePixmap(TrackedWindow& window) {
  if (window.picture != None) XRenderFreePicture(display_, window.picture);
  if (window.pixmap != None) XFreePixmap(display_, window.pixmap);
  window.picture = None;
  window.pixmap = None;
}

void WindowModel::release(TrackedWindow& window) {
  releasePixmap(window);
  if (window.damage != None) XDamageDestroy(display_, window.damage);
  if (window.boundingShape != None) XFixesDestroyRegion(display_, window.boundingShape);
  if (window.drawnSinceTaken != None) XFixesDestroyRegion(display_, window.drawnSinceTaken);
  if (window.recentlyDrawn != None) XFixesDestroyRegion(display_, window.recentlyDrawn);
  window.boundingShape = None;
  window.drawnSinceTaken = None;
  window.recentlyDrawn = None;
  window.damage = None;
}

void WindowModel::remove(Window id) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  // An unmapped window showed nothing (windows that come and go unmapped cost no request).
  if (it->second->mapped) markChanged(*it->second);
  if (!it->second->unread) {
    ErrorTrap trap(display_);
    release(*it->second);
  }
  inside_.forgetTree(id);
  unread_.erase(id);
  repaintsToRequest_.erase(id);
  treesToRead_.erase(id);
  pixmapsToName_.erase(id);
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
  LiveWindowFacts facts(display_);
  readShape(window, facts);
}

void WindowModel::readShape(TrackedWindow& window, WindowFacts& facts) {
  if (shapeEventBase_ < 0 || window.inputOnly) return;
  ErrorTrap trap(display_);
  if (window.boundingShape != None) XFixesDestroyRegion(display_, window.boundingShape);
  window.boundingShape = None;
  if (!facts.boundingShaped(window.id)) return;
  window.boundingShape = XFixesCreateRegionFromWindow(display_, window.id, WindowRegionBounding);
  if (!trap.sync()) window.boundingShape = None;
}

Window WindowModel::findClient(Window top, WindowFacts& facts) const {
  // The window manager marks the application's window with WM_STATE. A frame it has not
  // marked yet still holds a window that names its class: that one speaks for the frame.
  for (Atom marker : {atoms_.wmState, atoms_.wmClass}) {
    if (facts.hasProperty(top, marker)) return top;
    std::deque<std::pair<Window, int>> pending{{top, 0}};
    while (!pending.empty()) {
      auto [window, depth] = pending.front();
      pending.pop_front();
      if (depth > 0 && facts.hasProperty(window, marker)) return window;
      if (depth >= 3) continue;
      for (Window child : facts.children(window)) pending.emplace_back(child, depth + 1);
    }
  }
  return None;
}

void WindowModel::resolveIdentity(TrackedWindow& window, WindowFacts& facts) {
  Window client = findClient(window.id, facts);
  if (client == None) client = window.id;
  window.client = client;
  window.clientOwner = facts.owner(client);
  const auto pid = facts.processId(client).value_or(0);
  const auto windowClass = windowClassOf(facts.property(client, atoms_.wmClass));
  // A process id alone does not say which application a window belongs to: until its class
  // is set (or another window of the same X client names one) it stays unidentified.
  window.hasClass = windowClass.has_value();
  window.identity = identities_->resolve(pid, windowClass);
  const auto transient = cardinalsOf(facts.property(client, atoms_.wmTransientFor), XA_WINDOW);
  window.transientFor = transient.empty() ? None : static_cast<Window>(transient.front());
  const auto types = cardinalsOf(facts.property(client, atoms_.netWmWindowType), XA_ATOM);
  auto hasType = [&](Atom type) {
    return std::find(types.begin(), types.end(), static_cast<long>(type)) != types.end();
  };
  window.isDesktopWindow = hasType(atoms_.netWmWindowTypeDesktop);
  window.isDock = hasType(atoms_.netWmWindowTypeDock);
  window.isNotice =
      hasType(atoms_.netWmWindowTypeTooltip) || hasType(atoms_.netWmWindowTypeNotification);
  window.desktop = facts.desktop(client, atoms_.netWmDesktop);
  window.title = facts.title(client, atoms_.netWmName);
  readTree(window, facts);
}

void WindowModel::readWindowManagerClient() {
  ErrorTrap trap(display_);
  windowManagerClient_ = 0;
  const auto named =
      cardinalsOf(propertyValue(display_, root_, atoms_.netSupportingWmCheck), XA_WINDOW);
  if (named.empty()) return;
  const auto check = static_cast<Window>(named.front());
  // A window manager that ended leaves the root's property behind; its window is gone.
  const auto confirmed =
      cardinalsOf(propertyValue(display_, check, atoms_.netSupportingWmCheck), XA_WINDOW);
  if (confirmed.empty() || static_cast<Window>(confirmed.front()) != check) return;
  windowManagerClient_ = windowOwner(display_, check);
}

bool WindowModel::refreshIdentities() {
  auto entries = identities_->entries();
  if (entries == resolvedWith_) return false;
  resolvedWith_ = std::move(entries);
  changedEverywhere_ = true;
  ErrorTrap trap(display_);
  for (auto& [id, window] : windows_) {
    const auto windowClass = x11::windowClass(display_, window->client);
    window->hasClass = windowClass.has_value();
    window->identity = identities_->resolve(window->identity.processID, windowClass);
    for (auto& embedded : window->embedded) {
      const auto embeddedClass = x11::windowClass(display_, embedded.id);
      embedded.hasClass = embeddedClass.has_value();
      embedded.identity = identities_->resolve(embedded.identity.processID, embeddedClass);
    }
  }
  return true;
}

void WindowModel::readTree(TrackedWindow& window, WindowFacts& facts) {
  window.shownInside.clear();
  window.clientArea.reset();
  const auto previous = std::move(window.embedded);
  window.embedded.clear();
  const XID frameOwner = facts.owner(window.id);
  window.owner = frameOwner;
  const auto visited = inside_.takeVisited(window.id);
  inside_.beginTree(window.id, {frameOwner, window.clientOwner});
  struct Pending {
    Window id;
    int insideX, insideY;  // its inside corner relative to the top-level's
    XID owner;
  };
  std::deque<Pending> pending{{window.id, 0, 0, frameOwner}};
  ErrorTrap trap(display_);
  while (!pending.empty()) {
    const Pending parent = pending.front();
    pending.pop_front();
    for (Window child : facts.children(parent.id)) {
      const auto read = facts.attributes(child);
      if (!read) continue;
      const XWindowAttributes& attributes = *read;
      // Only a window that shows can be asked to paint: one that maps or comes to show later is
      // exposed by the server then.
      if (attributes.map_state == IsViewable && attributes.c_class == InputOutput) {
        window.shownInside.push_back(child);
      }
      XSelectInput(display_, child, kWatchedEvents);
      const XID owner = facts.owner(child);
      inside_.record(
          child, InsideWindows::Place{window.id, parent.id, attributes.x, attributes.y,
                                      attributes.width, attributes.height, attributes.border_width,
                                      attributes.map_state != IsUnmapped,
                                      attributes.c_class == InputOnly, owner});
      const int outerX = parent.insideX + attributes.x;
      const int outerY = parent.insideY + attributes.y;
      const int border = attributes.border_width;
      if (child == window.client && child != window.id)
        window.clientArea =
            InnerBox{outerX + border, outerY + border, attributes.width, attributes.height};
      const bool foreign =
          owner != 0 && owner != frameOwner && owner != window.clientOwner && owner != parent.owner;
      if (foreign && attributes.map_state != IsUnmapped && attributes.c_class != InputOnly) {
        EmbeddedWindow embedded;
        embedded.id = child;
        embedded.owner = owner;
        embedded.x = outerX;
        embedded.y = outerY;
        embedded.width = attributes.width + 2 * border;
        embedded.height = attributes.height + 2 * border;
        const auto windowClass = windowClassOf(facts.property(child, atoms_.wmClass));
        embedded.hasClass = windowClass.has_value();
        embedded.identity = identities_->resolve(facts.processId(child).value_or(0), windowClass);
        window.embedded.push_back(std::move(embedded));
      }
      pending.push_back({child, outerX + border, outerY + border, owner});
    }
  }
  inside_.treeRead(window.id, NextRequest(display_));
  window.shownArea = shownAreaOf(window, facts);
  neutraliseWhereEmbeddedWere(window, previous, visited);
}

std::optional<InnerBox> WindowModel::shownAreaOf(const TrackedWindow& window,
                                                 WindowFacts& facts) const {
  if (!window.clientArea) return std::nullopt;
  const auto extents = cardinalsOf(facts.property(window.client, atoms_.netFrameExtents),
                                   XA_CARDINAL);  // left, right, top, bottom
  if (extents.size() != 4 || std::any_of(extents.begin(), extents.end(), [](long extent) {
        return extent < 0 || extent > 0xFFFF;
      })) {
    return std::nullopt;
  }
  const InnerBox& client = *window.clientArea;
  const int left = std::max(0, client.x - static_cast<int>(extents[0]));
  const int top = std::max(0, client.y - static_cast<int>(extents[2]));
  const int right = std::min(window.width, client.x + client.width + static_cast<int>(extents[1]));
  const int bottom =
      std::min(window.height, client.y + client.height + static_cast<int>(extents[3]));
  if (right <= left || bottom <= top) return std::nullopt;
  if (left == 0 && top == 0 && right == window.width && bottom == window.height) {
    return std::nullopt;
  }
  return InnerBox{left, top, right - left, bottom - top};
}

void WindowModel::neutraliseWhereEmbeddedWere(TrackedWindow& window,
                                              const std::vector<EmbeddedWindow>& previous,
                                              const std::vector<InsideBox>& visited) {
  // Where a window of another client was and no longer is, the pixmap keeps its last pixels
  // until the top-level's own application paints there, and a request of the application that
  // never paints there (a repaint around the hole, a copy out of it) would keep or spread them.
  std::vector<XRectangle> vacated;
  for (const auto& before : previous) {
    const bool stayed =
        std::any_of(window.embedded.begin(), window.embedded.end(), [&](const EmbeddedWindow& now) {
          return now.id == before.id && now.x == before.x && now.y == before.y &&
                 now.width == before.width && now.height == before.height;
        });
    if (stayed) continue;
    vacated.push_back(rectangleOf(InsideBox{before.x, before.y, before.width, before.height}));
  }
  // The places windows of other clients passed through since the last read, as their events
  // told, wherever none is now.
  for (const InsideBox& place : visited) {
    std::vector<InsideBox> parts{place};
    for (const auto& now : window.embedded) {
      std::vector<InsideBox> outside;
      for (const InsideBox& part : parts) {
        for (const InsideBox& left : boxWithout(part, {now.x, now.y, now.width, now.height})) {
          outside.push_back(left);
        }
      }
      parts = std::move(outside);
    }
    for (const InsideBox& part : parts) vacated.push_back(rectangleOf(part));
  }
  if (!vacated.empty()) neutralise(window, vacated);
}

void WindowModel::followInside(const XEvent& event) {
  const auto change = inside_.apply(event);
  if (change.arrived != None) {
    ErrorTrap trap(display_);
    XSelectInput(display_, change.arrived, kWatchedEvents);
    if (change.sizeUnknown) {
      // Came from outside every top-level: its size is asked once.
      Window root;
      int x, y;
      unsigned width, height, border, depth;
      if (XGetGeometry(display_, change.arrived, &root, &x, &y, &width, &height, &border, &depth)) {
        inside_.resized(change.arrived, static_cast<int>(width), static_cast<int>(height),
                        static_cast<int>(border));
      }
    }
  }
  if (change.left.empty()) return;
  if (TrackedWindow* window = lookup(change.top)) {
    fillVacated(*window, change.left, event.xany.serial);
  }
}

void WindowModel::fillVacated(TrackedWindow& window, const std::vector<InsideBox>& left,
                              unsigned long eventSerial) {
  // A new pixmap, not named yet, is filled whole when it is.
  if (window.picture == None || window.damage == None) return;
  ErrorTrap trap(display_);
  std::vector<XRectangle> boxes;
  for (const InsideBox& box : left) boxes.push_back(rectangleOf(box));
  XFixesSetRegion(display_, vacated_, boxes.data(), static_cast<int>(boxes.size()));
  // The fill is made on the event, but the server may well carry out the host's next requests
  // first (nothing short of holding the server orders one client's requests before another's).
  // So what the application drew since the window left (a copy within itself, a scroll) may
  // hold that window's last pixels too: what was taken since, and what is still untaken, is
  // filled as well. Drawing after this request, before the fill, is reported with an older
  // serial than the fill's: it is filled when its report comes, and until then the report holds
  // back every frame. That second fill is not followed by a third: drawing in the few requests
  // between its taking and its fill (a copy out of what was not filled yet) is the race that
  // remains.
  if (window.recentlyDrawn != None && window.recentlyDrawnUpTo > eventSerial) {
    XFixesUnionRegion(display_, vacated_, vacated_, window.recentlyDrawn);
  }
  XDamageSubtract(display_, window.damage, None, damageParts_);
  XFixesUnionRegion(display_, vacated_, vacated_, damageParts_);
  window.vacatedFillSerial = fillWithin(window, vacated_);
  // The fill goes out at once. The application is asked to paint there again before the next
  // frame (once however often windows leave it until then: asking is the costly part).
  XFlush(display_);
  repaintsToRequest_.insert(window.id);
}

unsigned long WindowModel::fillWithin(TrackedWindow& window, XserverRegion inside) {
  const XRenderColor colour = fillColourOf(window);
  const int border = window.borderWidth;
  // The named pixmap includes the border; the inside starts at its width.
  XFixesTranslateRegion(display_, inside, border, border);
  XFixesSetPictureClipRegion(display_, window.picture, 0, 0, inside);
  const unsigned long serial = NextRequest(display_);
  XRenderFillRectangle(display_, PictOpSrc, window.picture, &colour, 0, 0,
                       static_cast<unsigned>(std::max(0, window.width + 2 * border)),
                       static_cast<unsigned>(std::max(0, window.height + 2 * border)));
  XFixesSetPictureClipRegion(display_, window.picture, 0, 0, None);
  XFixesTranslateRegion(display_, inside, -border, -border);
  markChanged(window);
  return serial;
}

void WindowModel::renamePixmap(TrackedWindow& window) {
  ErrorTrap trap(display_);
  releasePixmap(window);
  if (window.inputOnly) return;
  XRenderPictFormat* format = XRenderFindVisualFormat(display_, window.visual);
  if (format == nullptr) return;
  window.pixmap = XCompositeNameWindowPixmap(display_, window.id);
  window.picture = XRenderCreatePicture(display_, window.pixmap, format, 0, nullptr);
  if (!trap.sync()) {
    // Not viewable any more: the event saying so follows.
    trap.clear();
    releasePixmap(window);
    trap.sync();
  }
}

void WindowModel::neutralise(TrackedWindow& window, const std::vector<XRectangle>& areas) {
  if (window.picture == None) return;
  ErrorTrap trap(display_);
  // Whatever the application asks of the server afterwards (drawing only some of what a request
  // spans, copying within itself, blending over what is there), the pixmap then holds only its
  // own drawing and this fill.
  const XRenderColor colour = fillColourOf(window);
  std::vector<XRectangle> inside = areas;
  if (inside.empty()) {
    inside.push_back(XRectangle{0, 0, static_cast<unsigned short>(std::max(0, window.width)),
                                static_cast<unsigned short>(std::max(0, window.height))});
  }
  // The named pixmap includes the border; the inside starts at its width.
  for (XRectangle& area : inside) {
    area.x = static_cast<short>(area.x + window.borderWidth);
    area.y = static_cast<short>(area.y + window.borderWidth);
  }
  XRenderFillRectangles(display_, PictOpSrc, window.picture, &colour, inside.data(),
                        static_cast<int>(inside.size()));
  markChanged(window);
  // The fill itself is reported as damage: only what comes after it is the application's. The
  // fill's damage is taken at once, so the application's drawing after it starts a report of its
  // own (reports come only when the damage was empty) rather than merging into the fill's.
  if (window.damage != None) XDamageSubtract(display_, window.damage, None, None);
  window.repaintSerial = NextRequest(display_);
  window.repaintPending = true;
  requestRepaint(window);
}

void WindowModel::requestRepaint(TrackedWindow& window) {
  ErrorTrap trap(display_);
  XClearArea(display_, window.id, 0, 0, 0, 0, True);
  for (Window inside : window.shownInside) XClearArea(display_, inside, 0, 0, 0, 0, True);
  XFlush(display_);
}

void WindowModel::settle() {
  readUnread();
  std::vector<Window> trees;
  for (Window id : treesToRead_) {
    if (lookup(id) != nullptr) trees.push_back(id);
  }
  treesToRead_.clear();
  // Read ahead together, a level of the trees per round trip, as the windows made since are:
  // many windows mapped at once (a desktop switch, a session restored) cost a few round trips.
  WindowTreeSnapshot facts(display_, atoms_, {atoms_.wmState, atoms_.wmClass});
  if (!trees.empty()) readAhead(facts, trees);
  for (Window id : trees) {
    if (TrackedWindow* window = lookup(id)) {
      resolveIdentity(*window, facts);
      markChanged(*window);
    }
  }
  // After the trees were read, so that the windows that came inside are asked too.
  std::set<Window> repaints;
  repaints.swap(repaintsToRequest_);
  for (Window id : repaints) {
    if (TrackedWindow* window = lookup(id)) requestRepaint(*window);
  }
  namePendingPixmaps();
}

void WindowModel::namePendingPixmaps() {
  std::set<Window> pending;
  pending.swap(pixmapsToName_);
  std::vector<TrackedWindow*> windows;
  for (Window id : pending) {
    TrackedWindow* window = lookup(id);
    if (window != nullptr && window->isVisible() && !window->inputOnly) windows.push_back(window);
  }
  if (windows.empty()) return;
  // All named in one round trip. A window no longer viewable cannot be named: then each is
  // named again on its own, which tells which.
  std::vector<TrackedWindow*> named;
  {
    ErrorTrap trap(display_);
    for (TrackedWindow* window : windows) {
      releasePixmap(*window);
      XRenderPictFormat* format = XRenderFindVisualFormat(display_, window->visual);
      if (format == nullptr) continue;
      window->pixmap = XCompositeNameWindowPixmap(display_, window->id);
      window->picture = XRenderCreatePicture(display_, window->pixmap, format, 0, nullptr);
      named.push_back(window);
    }
    if (!trap.sync()) {
      for (TrackedWindow* window : named) {
        {
          ErrorTrap forget(display_);
          releasePixmap(*window);
          forget.sync();
        }
        renamePixmap(*window);
      }
    }
  }
  for (TrackedWindow* window : windows) {
    markChanged(*window);
    neutralise(*window, {});
  }
}

Window WindowModel::topLevelOf(Window window) const {
  if (windows_.count(window) != 0) return window;
  if (const Window top = inside_.topOf(window); top != None) return top;
  for (const auto& [id, tracked] : windows_) {
    if (tracked->client == window) return id;
  }
  return None;
}

bool WindowModel::handle(const XEvent& event) {
  if (const Window top = inside_.foreignArrivalIn(event); top != None) {
    foreignArrivals_.insert(top);
  }
  if (event.type == damageEventBase_ + XDamageNotify) {
    const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
    TrackedWindow* window = lookup(damage.drawable);
    if (window == nullptr) return false;
    {
      ErrorTrap trap(display_);
      // What it drew, relative to its inside corner.
      const unsigned long taken = NextRequest(display_);
      XDamageSubtract(display_, damage.damage, None, damageParts_);
      // Kept until an event newer than the request that took it comes: a window of another
      // client may have left before it was taken, in an event still on its way.
      if (window->recentlyDrawn == None) {
        window->recentlyDrawn = XFixesCreateRegion(display_, nullptr, 0);
      }
      if (damage.serial >= window->recentlyDrawnUpTo) {
        XFixesCopyRegion(display_, window->recentlyDrawn, damageParts_);
      } else {
        XFixesUnionRegion(display_, window->recentlyDrawn, window->recentlyDrawn, damageParts_);
      }
      window->recentlyDrawnUpTo = taken;
      // Drawn after a window of another client left it and before the fill of where it was:
      // a copy within itself may have carried that window's last pixels here.
      // (Once: the fill's own report must not start another.)
      if (damage.serial < window->vacatedFillSerial && window->picture != None) {
        fillWithin(*window, damageParts_);
        window->vacatedFillSerial = 0;
        repaintsToRequest_.insert(window->id);
        XFlush(display_);
      }
      XFixesTranslateRegion(display_, damageParts_, window->x + window->borderWidth,
                            window->y + window->borderWidth);
      // The border's own damage lies around it.
      const int border = window->borderWidth;
      if (border > 0) {
        XFixesExpandRegion(display_, damageParts_, damageParts_, border, border, border, border);
      }
      if (window->drawnSinceTaken == None) {
        window->drawnSinceTaken = XFixesCreateRegion(display_, nullptr, 0);
      }
      XFixesUnionRegion(display_, window->drawnSinceTaken, window->drawnSinceTaken, damageParts_);
      drewSinceTaken_.insert(window->id);
    }
    if (damage.serial >= window->repaintSerial && damage.serial != window->vacatedFillSerial) {
      window->repaintPending = false;
    }
    return window->isVisible();
  }
  if (shapeEventBase_ >= 0 && event.type == shapeEventBase_ + ShapeNotify) {
    const auto& shape = reinterpret_cast<const XShapeEvent&>(event);
    TrackedWindow* window = lookup(shape.window);
    if (window == nullptr || shape.kind != ShapeBounding) return false;
    readShape(*window);
    markChanged(*window);
    return window->isVisible();
  }
  // A change inside a top-level: where windows of other clients left is filled at once, and its
  // tree is read again before the next frame.
  auto changedInside = [this, &event](Window parent) {
    followInside(event);
    const Window top = topLevelOf(parent);
    if (top == None) return false;
    treesToRead_.insert(top);
    markChanged(*lookup(top));
    return lookup(top)->isVisible();
  };
  switch (event.type) {
    case CreateNotify: {
      const auto& create = event.xcreatewindow;
      if (create.parent != root_) return changedInside(create.parent);
      addUnread(create.window, create.x, create.y, create.width, create.height, create.border_width,
                create.override_redirect);
      return false;
    }
    case DestroyNotify: {
      const auto& destroy = event.xdestroywindow;
      if (destroy.event == root_) {
        const bool visible = lookup(destroy.window) && lookup(destroy.window)->isVisible();
        remove(destroy.window);
        return visible;
      }
      return changedInside(destroy.event);
    }
    case MapNotify: {
      const auto& map = event.xmap;
      if (map.event != root_) return changedInside(map.event);
      TrackedWindow* window = lookup(map.window);
      if (window == nullptr) return false;
      window->mapped = true;
      window->overrideRedirect = map.override_redirect;
      markChanged(*window);
      // Read before the next frame, once however often it is mapped and unmapped until then
      // (a window manager switching desktops does that to many windows at once).
      treesToRead_.insert(window->id);
      // Mapping made a new backing pixmap, filled with whatever was on screen beneath.
      pixmapsToName_.insert(window->id);
      return true;
    }
    case UnmapNotify: {
      const auto& unmap = event.xunmap;
      if (unmap.event != root_) return changedInside(unmap.event);
      TrackedWindow* window = lookup(unmap.window);
      if (window == nullptr) return false;
      window->mapped = false;
      markChanged(*window);
      // Not drawn while unmapped, and a new pixmap comes with the next map: holding the old
      // one would only keep the server's memory for it.
      ErrorTrap trap(display_);
      releasePixmap(*window);
      return true;
    }
    case ConfigureNotify: {
      const auto& configure = event.xconfigure;
      if (configure.event != root_) return changedInside(configure.event);
      TrackedWindow* window = lookup(configure.window);
      if (window == nullptr) return false;
      const bool newPixmap = configure.width != window->width ||
                             configure.height != window->height ||
                             configure.border_width != window->borderWidth;
      markChanged(*window);
      window->x = configure.x;
      window->y = configure.y;
      window->width = configure.width;
      window->height = configure.height;
      window->borderWidth = configure.border_width;
      window->overrideRedirect = configure.override_redirect;
      restack(configure.window, configure.above);
      markChanged(*window);
      if (newPixmap && window->boundingShape != None) readShape(*window);
      if (newPixmap && window->isVisible()) pixmapsToName_.insert(window->id);
      return window->mapped;
    }
    case ReparentNotify: {
      const auto& reparent = event.xreparent;
      if (reparent.event == root_) {
        if (reparent.parent == root_) {
          addUnread(reparent.window, reparent.x, reparent.y, 0, 0, 0, reparent.override_redirect);
          return false;
        }
        const bool visible = lookup(reparent.window) && lookup(reparent.window)->isVisible();
        remove(reparent.window);
        return visible;
      }
      return changedInside(reparent.event);
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
      markChanged(*lookup(circulate.window));
      return lookup(circulate.window)->mapped;
    }
    case PropertyNotify: {
      const auto& property = event.xproperty;
      if (property.window == root_) {
        if (property.atom == atoms_.netSupportingWmCheck) {
          readWindowManagerClient();  // another window manager: other windows are its own
        } else if (property.atom != atoms_.rootPixmap) {
          return false;
        }
        changedEverywhere_ = true;  // a new desktop background or other windows left out
        return true;
      }
      const Atom atom = property.atom;
      if (atom != atoms_.wmClass && atom != atoms_.netWmPid && atom != atoms_.wmState &&
          atom != atoms_.wmTransientFor && atom != atoms_.netWmWindowType &&
          atom != atoms_.netWmDesktop && atom != atoms_.netWmName && atom != XA_WM_NAME &&
          atom != atoms_.netFrameExtents) {
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
      treesToRead_.insert(top);
      markChanged(*window);
      return window->isVisible();
    }
    default:
      return false;
  }
}

std::set<Window> WindowModel::excludedWindows(const ContentFilter& filter,
                                              std::int32_t ownProcess) const {
  std::vector<WindowToJudge> judged;
  judged.reserve(windows_.size());
  for (const auto& [id, window] : windows_) {
    judged.push_back(WindowToJudge{
        .id = id,
        .client = window->client,
        .owner = window->owner,
        .clientOwner = window->clientOwner,
        .identity = &window->identity,
        .hasClass = window->hasClass,
        .isDesktopWindow = window->isDesktopWindow,
        .isDock = window->isDock,
        .isNotice = window->isNotice,
        .transientFor = window->transientFor == None ? None : topLevelOf(window->transientFor)});
    for (const auto& embedded : window->embedded) {
      judged.push_back(WindowToJudge{.id = embedded.id,
                                     .client = embedded.id,
                                     .owner = embedded.owner,
                                     .clientOwner = embedded.owner,
                                     .identity = &embedded.identity,
                                     .hasClass = embedded.hasClass,
                                     .embedded = true});
    }
  }
  return ExclusionPolicy(filter, ownProcess, windowManagerClient_).excludedWindows(judged);
}

}  // namespace corvane::platform::x11
