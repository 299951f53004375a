#pragma once

#include "platform/x11/xlib.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace corvane::platform::x11 {

// A box relative to a top-level window's inside corner.
struct InsideBox {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const InsideBox&) const = default;
};

// The parts of `box` outside `cut` (at most four).
std::vector<InsideBox> boxWithout(const InsideBox& box, const InsideBox& cut);

// Where each window inside the top-level windows is, kept from the structure events of its
// parent as they arrive rather than only when a tree is read: every place a window of another
// X client (a plug) leaves inside a top-level is known the moment it leaves it, however often
// it moves, resizes, unmaps, goes or moves to another parent between two reads.
class InsideWindows {
 public:
  struct Place {
    Window top = None;
    Window parent = None;
    int x = 0, y = 0;  // outer corner relative to the parent's inside corner
    int width = 0, height = 0, border = 0;
    bool mapped = false;
    bool inputOnly = false;
    XID owner = 0;  // the X client that made it; 0 when unknown
  };
  // What one event changed: the top-level windows of other clients left boxes in (and those
  // boxes), and a window newly inside a top-level (to watch like the others), of a size still
  // unknown when it came from outside every top-level.
  struct Change {
    Window top = None;
    std::vector<InsideBox> left;
    Window arrived = None;
    bool sizeUnknown = false;
  };

  // `resourceMask`: the bits of an id a client numbers its own resources with; the other bits
  // name the client.
  explicit InsideWindows(XID resourceMask) : resourceMask_(resourceMask) {}

  // Every place (relative to the inside corner of `top`) a window of another client was seen
  // in, mapped, since the last call: to be filled where none is now once the tree is read again.
  // Events read after a tree read may be older than it; the places they tell of are kept here.
  std::vector<InsideBox> takeVisited(Window top);
  // Forgets the windows inside `top` (and the places visited) before its tree is recorded
  // again; `owners` are the X clients whose windows are the top-level's own (its frame's and
  // its application's).
  void beginTree(Window top, std::vector<XID> owners);
  void record(Window window, const Place& place);
  // The tree of `top` was read (and recorded) with requests before `serial`.
  void treeRead(Window top, unsigned long serial);
  void forgetTree(Window top);
  void clear();

  // The top-level `window` is inside (or is), None when it is in none.
  Window topOf(Window window) const;
  bool knows(Window window) const { return places_.count(window) != 0; }

  // Applies a Create, Configure, Gravity, Map, Unmap, Destroy or Reparent event received from a
  // parent inside (or being) a top-level. A window reparented in from elsewhere whose size is
  // not known yet arrives with no size: give it with resized().
  Change apply(const XEvent& event);
  // The top-level into which `event` (received from a parent inside it, or from the root for a
  // window reparented into it) makes, maps, moves, resizes or brings a window of another client
  // than the top-level's own: what that window shows may be in the top-level's pixmap from then
  // on. None for any other event.
  Window foreignArrivalIn(const XEvent& event) const;
  void resized(Window window, int width, int height, int border);

 private:
  bool isForeign(const Place& place) const;
  // Its outer box relative to its top-level's inside corner.
  InsideBox boxOf(const Place& place) const;
  // The boxes of the mapped windows of other clients at or inside `window`, by window.
  std::vector<std::pair<Window, InsideBox>> foreignBoxesFrom(Window window) const;
  std::vector<Window> subtree(Window window) const;
  void forget(Window window);
  Change moved(Window window, int x, int y, int width, int height, int border);
  // The window an event is about, and the parent it was received from.
  static std::pair<Window, Window> subjectOf(const XEvent& event);
  bool isStale(const XEvent& event, Window top, Window parent) const;
  void visitDescribed(const XEvent& event, Window top, Window parent);
  bool inParent(Window window, Window parent) const;
  void visit(Window top, const InsideBox& box);
  void remember(Window window, const Place& place);
  Change leaving(Window window);

  XID resourceMask_;
  std::unordered_map<Window, Place> places_;
  std::unordered_map<Window, std::vector<XID>> owners_;             // by top-level
  std::unordered_map<Window, std::unordered_set<Window>> members_;  // by top-level
  std::unordered_map<Window, std::vector<InsideBox>> visited_;      // by top-level
  std::unordered_map<Window, unsigned long> readAt_;                // by top-level
  // Where each window was last seen (by a read or an event), even when no tree holds it now.
  struct Seen {
    Window parent = None;
    InsideBox box;  // relative to the parent's inside corner
  };
  std::unordered_map<Window, Seen> lastSeen_;
};

}  // namespace corvane::platform::x11
