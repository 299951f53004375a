#include "platform/x11/window_tree_snapshot.h"

#include <X11/Xlib-xcb.h>
#include <xcb/res.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <cstdlib>
#include <memory>

#include "platform/x11/application_identity.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <class Reply>
using ReplyPointer = std::unique_ptr<Reply, FreeReply>;

// The reply to `cookie`, or none when the request failed; `gone` is set when it failed because
// the window is no more. The error is the request's own and concerns no other.
template <class Reply, class Cookie>
ReplyPointer<Reply> take(xcb_connection_t* connection,
                         Reply* (*fetch)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                         Cookie cookie, bool& gone) {
  xcb_generic_error_t* error = nullptr;
  ReplyPointer<Reply> reply(fetch(connection, cookie, &error));
  if (error != nullptr && error->error_code == XCB_WINDOW) gone = true;
  std::free(error);
  return reply;
}

// As Xlib hands a property over: format-32 items widened to long with their sign.
std::optional<PropertyValue> propertyFrom(const xcb_get_property_reply_t* reply) {
  if (reply == nullptr || reply->type == XCB_NONE) return std::nullopt;
  PropertyValue value;
  value.type = reply->type;
  value.format = reply->format;
  const void* data = xcb_get_property_value(reply);
  if (reply->format == 32) {
    const auto* items = static_cast<const std::int32_t*>(data);
    value.items.assign(items, items + reply->value_len);
  } else if (reply->format == 8) {
    value.bytes.assign(static_cast<const char*>(data), reply->value_len);
  }
  return value;
}

Visual* visualWithId(Display* display, VisualID id) {
  for (int screen = 0; screen < ScreenCount(display); ++screen) {
    const Screen* info = ScreenOfDisplay(display, screen);
    for (int d = 0; d < info->ndepths; ++d) {
      const Depth& depth = info->depths[d];
      for (int v = 0; v < depth.nvisuals; ++v) {
        if (depth.visuals[v].visualid == id) return &depth.visuals[v];
      }
    }
  }
  return nullptr;
}

XWindowAttributes attributesFrom(Display* display, const xcb_get_window_attributes_reply_t& state,
                                 const xcb_get_geometry_reply_t& geometry) {
  XWindowAttributes out{};
  out.x = geometry.x;
  out.y = geometry.y;
  out.width = geometry.width;
  out.height = geometry.height;
  out.border_width = geometry.border_width;
  out.depth = geometry.depth;
  out.root = geometry.root;
  out.visual = visualWithId(display, state.visual);
  out.c_class = state._class;
  out.bit_gravity = state.bit_gravity;
  out.win_gravity = state.win_gravity;
  out.backing_store = state.backing_store;
  out.backing_planes = state.backing_planes;
  out.backing_pixel = state.backing_pixel;
  out.save_under = state.save_under;
  out.colormap = state.colormap;
  out.map_installed = state.map_is_installed;
  out.map_state = state.map_state;
  out.all_event_masks = state.all_event_masks;
  out.your_event_mask = state.your_event_mask;
  out.do_not_propagate_mask = state.do_not_propagate_mask;
  out.override_redirect = state.override_redirect;
  for (int screen = 0; screen < ScreenCount(display); ++screen) {
    if (RootWindow(display, screen) == geometry.root) out.screen = ScreenOfDisplay(display, screen);
  }
  return out;
}

}  // namespace

struct WindowTreeSnapshot::Pending {
  Window id = None;
  xcb_get_window_attributes_cookie_t state{};
  xcb_get_geometry_cookie_t geometry{};
  xcb_query_tree_cookie_t tree{};
  std::optional<xcb_shape_query_extents_cookie_t> shape;
  std::vector<std::pair<Atom, xcb_get_property_cookie_t>> properties;
};

WindowTreeSnapshot::WindowTreeSnapshot(Display* display, const Atoms& atoms,
                                       std::vector<Atom> treeProperties)
    : display_(display),
      connection_(XGetXCBConnection(display)),
      atoms_(atoms),
      treeProperties_(std::move(treeProperties)),
      live_(display),
      resourceMask_(xcb_get_setup(connection_)->resource_id_mask) {
  const xcb_query_extension_reply_t* resources = xcb_get_extension_data(connection_, &xcb_res_id);
  hasResourceExtension_ = resources != nullptr && resources->present;
  const xcb_query_extension_reply_t* shape = xcb_get_extension_data(connection_, &xcb_shape_id);
  hasShapeExtension_ = shape != nullptr && shape->present;
}

WindowTreeSnapshot::Pending WindowTreeSnapshot::ask(Window window, bool isTop) {
  Pending pending;
  pending.id = window;
  pending.state = xcb_get_window_attributes(connection_, window);
  pending.geometry = xcb_get_geometry(connection_, window);
  pending.tree = xcb_query_tree(connection_, window);
  if (isTop && hasShapeExtension_) pending.shape = xcb_shape_query_extents(connection_, window);
  for (Atom atom : treeProperties_) {
    pending.properties.emplace_back(atom, xcb_get_property(connection_, 0, window, atom,
                                                           XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20));
  }
  return pending;
}

void WindowTreeSnapshot::collect(Pending& pending, Entry& entry) {
  bool gone = false;
  auto state = take(connection_, &xcb_get_window_attributes_reply, pending.state, gone);
  auto geometry = take(connection_, &xcb_get_geometry_reply, pending.geometry, gone);
  if (state && geometry) entry.attributes = attributesFrom(display_, *state, *geometry);
  if (auto tree = take(connection_, &xcb_query_tree_reply, pending.tree, gone)) {
    entry.parent = tree->parent;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    entry.children.assign(children, children + xcb_query_tree_children_length(tree.get()));
  }
  if (pending.shape) {
    auto shape = take(connection_, &xcb_shape_query_extents_reply, *pending.shape, gone);
    entry.boundingShaped = shape && shape->bounding_shaped;
  }
  for (auto& [atom, cookie] : pending.properties) {
    entry.properties[atom] =
        propertyFrom(take(connection_, &xcb_get_property_reply, cookie, gone).get());
  }
  // Gone before all its questions were answered: it is skipped like one gone before the first.
  if (gone) entry = Entry{.gone = true};
}

std::vector<Window> WindowTreeSnapshot::readLevel(const std::vector<Window>& level, long eventMask,
                                                  bool topLevel) {
  ErrorTrap trap(display_);
  std::vector<Pending> pending;
  for (Window window : level) {
    if (entries_.count(window) != 0) continue;
    if (eventMask != NoEventMask) XSelectInput(display_, window, eventMask);
    pending.push_back({.id = window});
  }
  for (Pending& asked : pending) asked = ask(asked.id, topLevel);
  auto makers = askMakers(pending);
  collectMakers(makers);
  std::vector<Window> next;
  for (Pending& asked : pending) {
    Entry& entry = entries_[asked.id];
    collect(asked, entry);
    if (entry.gone) continue;
    if (auto maker = makers_.find(asked.id & ~resourceMask_); maker != makers_.end()) {
      entry.owner = maker->second.owner;
      entry.resourceProcess = maker->second.process;
    }
    for (Window child : entry.children) {
      if (entries_.count(child) == 0) next.push_back(child);
    }
  }
  return next;
}

std::vector<std::pair<XID, xcb_res_query_client_ids_cookie_t>> WindowTreeSnapshot::askMakers(
    const std::vector<Pending>& pending) {
  // X-Resource names the client a window's id was given to, whichever window of it is asked
  // about: one question per client rather than per window (a window manager's frames hold
  // dozens of windows each).
  std::vector<std::pair<XID, xcb_res_query_client_ids_cookie_t>> asked;
  if (!hasResourceExtension_) return asked;
  for (const Pending& question : pending) {
    const Window window = question.id;
    const XID client = window & ~resourceMask_;
    if (makers_.count(client) != 0) continue;
    makers_[client] = Maker{};
    const xcb_res_client_id_spec_t spec{
        static_cast<std::uint32_t>(window),
        XCB_RES_CLIENT_ID_MASK_CLIENT_XID | XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    asked.emplace_back(client, xcb_res_query_client_ids(connection_, 1, &spec));
  }
  return asked;
}

void WindowTreeSnapshot::collectMakers(
    std::vector<std::pair<XID, xcb_res_query_client_ids_cookie_t>>& asked) {
  for (auto& [client, cookie] : asked) {
    bool gone = false;
    auto ids = take(connection_, &xcb_res_query_client_ids_reply, cookie, gone);
    if (!ids) continue;
    Maker& maker = makers_[client];
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
      const xcb_res_client_id_value_t& value = *it.data;
      if (value.spec.mask & XCB_RES_CLIENT_ID_MASK_CLIENT_XID) maker.owner = value.spec.client;
      if ((value.spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) && value.length >= 4) {
        const auto pid = static_cast<std::int32_t>(*xcb_res_client_id_value_value(&value));
        if (pid > 0) maker.process = pid;
      }
    }
  }
}

void WindowTreeSnapshot::readTrees(const std::vector<Window>& tops, long eventMask) {
  std::vector<Window> level = readLevel(tops, eventMask, true);
  while (!level.empty()) level = readLevel(level, eventMask, false);
  // A window the server cannot name a process for may name one itself.
  std::vector<std::pair<Window, Atom>> claims;
  for (const auto& [id, entry] : entries_) {
    if (entry.resourceProcess || !entry.attributes) continue;
    claims.emplace_back(id, atoms_.netWmPid);
    claims.emplace_back(id, atoms_.wmClientMachine);
  }
  readProperties(claims);
}

void WindowTreeSnapshot::readProperties(const std::vector<std::pair<Window, Atom>>& wanted) {
  std::vector<std::pair<std::pair<Window, Atom>, xcb_get_property_cookie_t>> pending;
  for (const auto& [window, atom] : wanted) {
    // Only windows of the trees: another is asked about when the question comes.
    auto entry = entries_.find(window);
    if (entry == entries_.end() || entry->second.gone ||
        entry->second.properties.count(atom) != 0) {
      continue;
    }
    pending.push_back(
        {{window, atom},
         xcb_get_property(connection_, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20)});
  }
  for (auto& [key, cookie] : pending) {
    bool gone = false;
    auto value = propertyFrom(take(connection_, &xcb_get_property_reply, cookie, gone).get());
    Entry& entry = entries_[key.first];
    if (gone) {
      entry = Entry{.gone = true};
    } else if (!entry.gone) {
      entry.properties[key.second] = std::move(value);
    }
  }
}

void WindowTreeSnapshot::readWithAncestors(const std::vector<Window>& windows) {
  const Window root = DefaultRootWindow(display_);
  std::vector<Window> level = windows;
  for (int depth = 0; depth < 16 && !level.empty(); ++depth) {
    readLevel(level, NoEventMask, false);
    std::vector<Window> parents;
    for (Window window : level) {
      const Entry* entry = find(window);
      if (entry != nullptr && entry->parent != None && entry->parent != root &&
          entries_.count(entry->parent) == 0) {
        parents.push_back(entry->parent);
      }
    }
    level = std::move(parents);
  }
}

const WindowTreeSnapshot::Entry* WindowTreeSnapshot::find(Window window) const {
  auto it = entries_.find(window);
  return it == entries_.end() ? nullptr : &it->second;
}

std::optional<XWindowAttributes> WindowTreeSnapshot::attributes(Window window) {
  const Entry* entry = find(window);
  return entry ? entry->attributes : live_.attributes(window);
}

std::vector<Window> WindowTreeSnapshot::children(Window window) {
  const Entry* entry = find(window);
  return entry ? entry->children : live_.children(window);
}

Window WindowTreeSnapshot::parent(Window window) {
  const Entry* entry = find(window);
  return entry ? entry->parent : live_.parent(window);
}

std::optional<PropertyValue> WindowTreeSnapshot::property(Window window, Atom atom) {
  if (const Entry* entry = find(window)) {
    if (entry->gone) return std::nullopt;
    if (auto it = entry->properties.find(atom); it != entry->properties.end()) return it->second;
  }
  return live_.property(window, atom);
}

XID WindowTreeSnapshot::owner(Window window) {
  const Entry* entry = find(window);
  return entry ? entry->owner : live_.owner(window);
}

bool WindowTreeSnapshot::boundingShaped(Window window) {
  const Entry* entry = find(window);
  if (entry != nullptr && entry->gone) return false;
  if (entry == nullptr || !entry->boundingShaped) return live_.boundingShaped(window);
  return *entry->boundingShaped;
}

std::optional<std::int32_t> WindowTreeSnapshot::processId(Window window) {
  const Entry* entry = find(window);
  if (entry == nullptr) return live_.processId(window);
  if (entry->gone) return std::nullopt;
  if (entry->resourceProcess) return entry->resourceProcess;
  const auto claimed = property(window, atoms_.netWmPid);
  if (cardinalsOf(claimed, XA_CARDINAL).empty()) return std::nullopt;
  return processIdClaimedOnThisHost(claimed, property(window, atoms_.wmClientMachine));
}

}  // namespace corvane::platform::x11
