#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/x11/window_facts.h"
#include "platform/x11/x_atoms.h"

struct xcb_connection_t;
struct xcb_res_query_client_ids_cookie_t;

namespace corvane::platform::x11 {

// Whole window trees read ahead, a level of the trees at a time: every request about the windows
// of a level goes out before the first answer is awaited, so a tree costs a round trip per level
// rather than several per window. A window that goes away meanwhile answers as gone, alone. A
// question that was not read ahead is asked of the server when it comes. Used on the thread that
// owns the display; the answers are as of the read.
class WindowTreeSnapshot : public WindowFacts {
 public:
  // `treeProperties`: read for every window read.
  WindowTreeSnapshot(Display* display, const Atoms& atoms, std::vector<Atom> treeProperties);

  // Reads `tops` and every window inside them: attributes, children, owner, process and the tree
  // properties, and whether the tops are shaped. `eventMask` is selected on each window before
  // it is read, so whatever changes after its read arrives as an event.
  void readTrees(const std::vector<Window>& tops, long eventMask);
  // Reads `windows` and the windows that hold them, up to the root, selecting no events.
  void readWithAncestors(const std::vector<Window>& windows);
  // Reads more properties of windows already read, all in one round trip.
  void readProperties(const std::vector<std::pair<Window, Atom>>& wanted);

  std::optional<XWindowAttributes> attributes(Window window) override;
  std::vector<Window> children(Window window) override;
  Window parent(Window window) override;
  std::optional<PropertyValue> property(Window window, Atom property) override;
  XID owner(Window window) override;
  std::optional<std::int32_t> processId(Window window) override;
  bool boundingShaped(Window window) override;

 private:
  struct Entry {
    bool gone = false;  // some request about it found no such window: nothing of it counts
    std::optional<XWindowAttributes> attributes;
    Window parent = None;
    std::vector<Window> children;
    XID owner = 0;
    std::optional<std::int32_t> resourceProcess;  // as X-Resource knows it
    std::map<Atom, std::optional<PropertyValue>> properties;
    std::optional<bool> boundingShaped;  // asked of the tops only
  };
  struct Pending;
  // What X-Resource says of the client whose ids start at the key (a window id without its
  // resource bits): nothing known when the server has no such client.
  struct Maker {
    XID owner = 0;
    std::optional<std::int32_t> process;
  };

  // Reads one level; returns the children of its windows not read yet.
  std::vector<Window> readLevel(const std::vector<Window>& level, long eventMask, bool topLevel);
  Pending ask(Window window, bool isTop);
  // The X client that made each window asked about and its process, asked once per client: sent
  // with a level's other questions, then collected into makers_.
  std::vector<std::pair<XID, xcb_res_query_client_ids_cookie_t>> askMakers(
      const std::vector<Pending>& pending);
  void collectMakers(std::vector<std::pair<XID, xcb_res_query_client_ids_cookie_t>>& asked);
  void collect(Pending& pending, Entry& entry);
  const Entry* find(Window window) const;

  Display* display_;
  xcb_connection_t* connection_;
  const Atoms& atoms_;
  std::vector<Atom> treeProperties_;
  bool hasResourceExtension_ = false;
  bool hasShapeExtension_ = false;
  LiveWindowFacts live_;
  XID resourceMask_;
  std::unordered_map<Window, Entry> entries_;
  std::unordered_map<XID, Maker> makers_;
};

}  // namespace corvane::platform::x11
