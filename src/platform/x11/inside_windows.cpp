#include "platform/x11/inside_windows.h"

#include <algorithm>
#include <optional>

namespace corvane::platform::x11 {
namespace {

// Deeper trees than this are not followed (and never made by toolkits).
constexpr int kDeepestTree = 64;
// Places remembered per top-level between two reads of its tree; more are joined into one box.
constexpr std::size_t kMostPlaces = 64;
// Windows remembered where they were last seen (no tree may hold them any more).
constexpr std::size_t kMostRemembered = 4096;

}  // namespace

std::vector<InsideBox> boxWithout(const InsideBox& box, const InsideBox& cut) {
  const int left = std::max(box.x, cut.x), right = std::min(box.x + box.width, cut.x + cut.width);
  const int top = std::max(box.y, cut.y), bottom = std::min(box.y + box.height, cut.y + cut.height);
  if (box.width <= 0 || box.height <= 0) return {};
  if (left >= right || top >= bottom) return {box};
  std::vector<InsideBox> parts;
  auto add = [&parts](int x, int y, int width, int height) {
    if (width > 0 && height > 0) parts.push_back(InsideBox{x, y, width, height});
  };
  add(box.x, box.y, box.width, top - box.y);                   // above
  add(box.x, bottom, box.width, box.y + box.height - bottom);  // below
  add(box.x, top, left - box.x, bottom - top);                 // left
  add(right, top, box.x + box.width - right, bottom - top);    // right
  return parts;
}

void InsideWindows::beginTree(Window top, std::vector<XID> owners) {
  forgetTree(top);
  owners_[top] = std::move(owners);
}

void InsideWindows::record(Window window, const Place& place) {
  if (auto known = places_.find(window); known != places_.end()) {
    members_[known->second.top].erase(window);
  }
  places_[window] = place;
  members_[place.top].insert(window);
  remember(window, place);
}

void InsideWindows::remember(Window window, const Place& place) {
  if (lastSeen_.size() >= kMostRemembered && lastSeen_.count(window) == 0) lastSeen_.clear();
  lastSeen_[window] = Seen{place.parent, InsideBox{place.x, place.y, place.width + 2 * place.border,
                                                   place.height + 2 * place.border}};
}

void InsideWindows::forgetTree(Window top) {
  if (auto members = members_.find(top); members != members_.end()) {
    for (Window window : members->second) places_.erase(window);
    members_.erase(members);
  }
  owners_.erase(top);
  visited_.erase(top);
  readAt_.erase(top);
}

void InsideWindows::clear() {
  places_.clear();
  owners_.clear();
  members_.clear();
  visited_.clear();
  lastSeen_.clear();
  readAt_.clear();
}

Window InsideWindows::topOf(Window window) const {
  if (owners_.count(window) != 0) return window;
  auto place = places_.find(window);
  return place == places_.end() ? None : place->second.top;
}

bool InsideWindows::isForeign(const Place& place) const {
  if (place.owner == 0 || place.inputOnly) return false;
  if (auto owners = owners_.find(place.top); owners != owners_.end()) {
    const auto& own = owners->second;
    if (std::find(own.begin(), own.end(), place.owner) != own.end()) return false;
  }
  if (auto parent = places_.find(place.parent); parent != places_.end()) {
    return parent->second.owner != place.owner;
  }
  return true;
}

InsideBox InsideWindows::boxOf(const Place& place) const {
  InsideBox box{place.x, place.y, place.width + 2 * place.border, place.height + 2 * place.border};
  Window parent = place.parent;
  for (int depth = 0; depth < kDeepestTree && parent != place.top; ++depth) {
    auto above = places_.find(parent);
    if (above == places_.end()) break;
    box.x += above->second.x + above->second.border;
    box.y += above->second.y + above->second.border;
    parent = above->second.parent;
  }
  return box;
}

std::vector<Window> InsideWindows::subtree(Window window) const {
  std::vector<Window> found{window};
  auto place = places_.find(window);
  if (place == places_.end()) return found;
  auto members = members_.find(place->second.top);
  if (members == members_.end()) return found;
  for (Window member : members->second) {
    if (member == window) continue;
    Window parent = places_.at(member).parent;
    for (int depth = 0; depth < kDeepestTree && parent != place->second.top; ++depth) {
      if (parent == window) {
        found.push_back(member);
        break;
      }
      auto above = places_.find(parent);
      if (above == places_.end()) break;
      parent = above->second.parent;
    }
  }
  return found;
}

std::vector<std::pair<Window, InsideBox>> InsideWindows::foreignBoxesFrom(Window window) const {
  std::vector<std::pair<Window, InsideBox>> boxes;
  for (Window member : subtree(window)) {
    auto place = places_.find(member);
    if (place == places_.end() || !place->second.mapped || !isForeign(place->second)) continue;
    boxes.emplace_back(member, boxOf(place->second));
  }
  return boxes;
}

void InsideWindows::forget(Window window) {
  auto place = places_.find(window);
  if (place == places_.end()) return;
  auto& members = members_[place->second.top];
  for (Window member : subtree(window)) {
    members.erase(member);
    places_.erase(member);
  }
}

InsideWindows::Change InsideWindows::leaving(Window window) {
  Change change;
  auto place = places_.find(window);
  if (place == places_.end()) return change;
  change.top = place->second.top;
  for (const auto& [member, box] : foreignBoxesFrom(window)) change.left.push_back(box);
  return change;
}

InsideWindows::Change InsideWindows::moved(Window window, int x, int y, int width, int height,
                                           int border) {
  Change change;
  auto place = places_.find(window);
  if (place == places_.end()) return change;
  change.top = place->second.top;
  const auto before = foreignBoxesFrom(window);
  place->second.x = x;
  place->second.y = y;
  place->second.width = width;
  place->second.height = height;
  place->second.border = border;
  remember(window, place->second);
  for (const auto& [member, old] : before) {
    const InsideBox now = boxOf(places_.at(member));
    visit(change.top, now);
    for (const InsideBox& part : boxWithout(old, now)) change.left.push_back(part);
  }
  return change;
}

void InsideWindows::visit(Window top, const InsideBox& box) {
  if (box.width <= 0 || box.height <= 0) return;
  auto& places = visited_[top];
  if (std::find(places.begin(), places.end(), box) != places.end()) return;
  places.push_back(box);
  if (places.size() <= kMostPlaces) return;
  InsideBox all = places.front();
  for (const InsideBox& place : places) {
    const int right = std::max(all.x + all.width, place.x + place.width);
    const int bottom = std::max(all.y + all.height, place.y + place.height);
    all.x = std::min(all.x, place.x);
    all.y = std::min(all.y, place.y);
    all.width = right - all.x;
    all.height = bottom - all.y;
  }
  places = {all};
}

std::vector<InsideBox> InsideWindows::takeVisited(Window top) {
  auto places = visited_.find(top);
  if (places == visited_.end()) return {};
  auto taken = std::move(places->second);
  visited_.erase(places);
  return taken;
}

void InsideWindows::visitDescribed(const XEvent& event, Window top, Window parent) {
  // Where the event says the window is (its size as last known when the event does not say:
  // no tree may hold it any more).
  const Window window = subjectOf(event).first;
  const auto seen = lastSeen_.find(window);
  auto sized = [&](int x, int y) -> std::optional<InsideBox> {
    if (seen == lastSeen_.end()) return std::nullopt;
    return InsideBox{x, y, seen->second.box.width, seen->second.box.height};
  };
  std::optional<InsideBox> told;
  switch (event.type) {
    case CreateNotify: {
      const auto& create = event.xcreatewindow;
      told = InsideBox{create.x, create.y, create.width + 2 * create.border_width,
                       create.height + 2 * create.border_width};
      break;
    }
    case ConfigureNotify: {
      const auto& configure = event.xconfigure;
      told = InsideBox{configure.x, configure.y, configure.width + 2 * configure.border_width,
                       configure.height + 2 * configure.border_width};
      break;
    }
    case GravityNotify:
      told = sized(event.xgravity.x, event.xgravity.y);
      break;
    case ReparentNotify:
      // Told to the parent it left, it says nothing of where it was.
      if (event.xreparent.parent == parent) told = sized(event.xreparent.x, event.xreparent.y);
      break;
    case MapNotify:
      // Mapped where it was last seen in this parent, by a read or an event.
      if (seen != lastSeen_.end() && seen->second.parent == parent) told = seen->second.box;
      break;
    default:
      break;
  }
  if (!told) return;
  const auto record = places_.find(window);
  const Place place{top,
                    parent,
                    told->x,
                    told->y,
                    told->width,
                    told->height,
                    0,
                    true,
                    record != places_.end() && record->second.inputOnly,
                    window & ~resourceMask_};
  remember(window, place);
  if (isForeign(place)) visit(top, boxOf(place));
}

bool InsideWindows::isStale(const XEvent& event, Window top, Window parent) const {
  if (auto read = readAt_.find(top); read != readAt_.end() && event.xany.serial < read->second) {
    return true;
  }
  if (event.type == CreateNotify || event.type == ReparentNotify) return false;
  // Its record puts it elsewhere: the record is newer than the event.
  return !inParent(subjectOf(event).first, parent);
}

void InsideWindows::treeRead(Window top, unsigned long serial) {
  readAt_[top] = serial;
}

bool InsideWindows::inParent(Window window, Window parent) const {
  auto place = places_.find(window);
  return place != places_.end() && place->second.parent == parent;
}

std::pair<Window, Window> InsideWindows::subjectOf(const XEvent& event) {
  switch (event.type) {
    case CreateNotify:
      return {event.xcreatewindow.window, event.xcreatewindow.parent};
    case ConfigureNotify:
      return {event.xconfigure.window, event.xconfigure.event};
    case GravityNotify:
      return {event.xgravity.window, event.xgravity.event};
    case MapNotify:
      return {event.xmap.window, event.xmap.event};
    case UnmapNotify:
      return {event.xunmap.window, event.xunmap.event};
    case DestroyNotify:
      return {event.xdestroywindow.window, event.xdestroywindow.event};
    case ReparentNotify:
      return {event.xreparent.window, event.xreparent.event};
    default:
      return {None, None};
  }
}

Window InsideWindows::foreignArrivalIn(const XEvent& event) const {
  auto [window, parent] = subjectOf(event);
  switch (event.type) {
    case CreateNotify:
    case MapNotify:
    case ConfigureNotify:
    case GravityNotify:
      break;
    case ReparentNotify:
      parent = event.xreparent.parent;
      break;
    default:
      return None;
  }
  const Window top = topOf(parent);
  if (top == None) return None;
  const auto owners = owners_.find(top);
  if (owners == owners_.end()) return top;  // whose its own windows are is not known yet
  const XID owner = window & ~resourceMask_;
  const auto& own = owners->second;
  return std::find(own.begin(), own.end(), owner) == own.end() ? top : None;
}

InsideWindows::Change InsideWindows::apply(const XEvent& event) {
  const Window parent = subjectOf(event).second;
  const Window top = topOf(parent);
  if (top == None) return {};
  if (event.type == DestroyNotify) lastSeen_.erase(event.xdestroywindow.window);
  // Every place a window of another client is said to be in is kept, whatever its record says
  // (it may have been mapped where the record does not know it): those left are filled, whatever
  // the events in between, when the tree is read again.
  visitDescribed(event, top, parent);
  // An event the last read of the tree may have seen already (sent before that read ended, or
  // about a window its record puts elsewhere) changes no record.
  if (isStale(event, top, parent)) return Change{.top = top};
  switch (event.type) {
    case CreateNotify: {
      const auto& create = event.xcreatewindow;
      if (knows(create.window)) return {};
      record(create.window,
             Place{top, create.parent, create.x, create.y, create.width, create.height,
                   create.border_width, false, false, create.window & ~resourceMask_});
      return Change{.top = top, .arrived = create.window};
    }
    case ConfigureNotify: {
      const auto& configure = event.xconfigure;
      return moved(configure.window, configure.x, configure.y, configure.width, configure.height,
                   configure.border_width);
    }
    case GravityNotify: {
      const auto& gravity = event.xgravity;
      const Place& now = places_.at(gravity.window);
      return moved(gravity.window, gravity.x, gravity.y, now.width, now.height, now.border);
    }
    case MapNotify: {
      Place& place = places_.at(event.xmap.window);
      place.mapped = true;
      for (const auto& [member, box] : foreignBoxesFrom(event.xmap.window)) visit(top, box);
      return Change{.top = top};
    }
    case UnmapNotify: {
      Change change = leaving(event.xunmap.window);
      places_.at(event.xunmap.window).mapped = false;
      return change;
    }
    case DestroyNotify: {
      Change change = leaving(event.xdestroywindow.window);
      forget(event.xdestroywindow.window);
      return change;
    }
    case ReparentNotify: {
      const auto& reparent = event.xreparent;
      auto place = places_.find(reparent.window);
      if (place != places_.end() && place->second.parent == reparent.parent) return {};
      Change change;
      Place arriving{.owner = reparent.window & ~resourceMask_};
      change.sizeUnknown = place == places_.end();
      if (place != places_.end()) {
        change = leaving(reparent.window);
        arriving = place->second;
        forget(reparent.window);
      }
      const Window into = topOf(reparent.parent);
      if (into == None) {
        change.sizeUnknown = false;
        return change;
      }
      // Reparenting unmaps a mapped window first and maps it again after.
      arriving.top = into;
      arriving.parent = reparent.parent;
      arriving.x = reparent.x;
      arriving.y = reparent.y;
      arriving.mapped = false;
      record(reparent.window, arriving);
      if (change.top == None) change.top = into;
      change.arrived = reparent.window;
      return change;
    }
    default:
      return {};
  }
}

void InsideWindows::resized(Window window, int width, int height, int border) {
  auto place = places_.find(window);
  if (place == places_.end()) return;
  place->second.width = width;
  place->second.height = height;
  place->second.border = border;
  remember(window, place->second);
}

}  // namespace corvane::platform::x11
