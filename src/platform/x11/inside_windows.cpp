#include "platform/x11/inside_windows.h"

#include <algorithm>

namespace corvane::platform::x11 {
namespace {

// Deeper trees than this are not followed (and never made by toolkits).
constexpr int kDeepestTree = 64;

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
}

void InsideWindows::forgetTree(Window top) {
  if (auto members = members_.find(top); members != members_.end()) {
    for (Window window : members->second) places_.erase(window);
    members_.erase(members);
  }
  owners_.erase(top);
}

void InsideWindows::clear() {
  places_.clear();
  owners_.clear();
  members_.clear();
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
  for (const auto& [member, old] : before) {
    const InsideBox now = boxOf(places_.at(member));
    for (const InsideBox& part : boxWithout(old, now)) change.left.push_back(part);
  }
  return change;
}

InsideWindows::Change InsideWindows::apply(const XEvent& event) {
  switch (event.type) {
    case CreateNotify: {
      const auto& create = event.xcreatewindow;
      const Window top = topOf(create.parent);
      if (top == None || knows(create.window)) return {};
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
      auto place = places_.find(gravity.window);
      if (place == places_.end()) return {};
      const Place& now = place->second;
      return moved(gravity.window, gravity.x, gravity.y, now.width, now.height, now.border);
    }
    case MapNotify: {
      auto place = places_.find(event.xmap.window);
      if (place == places_.end()) return {};
      place->second.mapped = true;
      return Change{.top = place->second.top};
    }
    case UnmapNotify: {
      Change change = leaving(event.xunmap.window);
      if (auto place = places_.find(event.xunmap.window); place != places_.end()) {
        place->second.mapped = false;
      }
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
      const Window top = topOf(reparent.parent);
      if (top == None) {
        change.sizeUnknown = false;
        return change;
      }
      // Reparenting unmaps a mapped window first and maps it again after.
      arriving.top = top;
      arriving.parent = reparent.parent;
      arriving.x = reparent.x;
      arriving.y = reparent.y;
      arriving.mapped = false;
      record(reparent.window, arriving);
      if (change.top == None) change.top = top;
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
}

}  // namespace corvane::platform::x11
