#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/screen_capture.h"
#include "platform/x11/application_identity.h"
#include "platform/x11/inside_windows.h"
#include "platform/x11/window_facts.h"
#include "platform/x11/x_atoms.h"
#include "runtime/result.h"

namespace corvane::platform::x11 {

class WindowTreeSnapshot;

// What a window shows where it has not drawn since its backing pixmap was made (or where a window
// of another client inside it left).
inline constexpr std::uint32_t kNeutralFillColour = 0xFF808080;

inline XRenderColor renderColour(std::uint32_t argb) {
  auto channel = [argb](int shift) {
    const unsigned value = (argb >> shift) & 0xFF;
    return static_cast<unsigned short>(value * 0x101);
  };
  return XRenderColor{channel(16), channel(8), channel(0), channel(24)};
}

// A window made by another X client than the top-level window that holds it (an XEmbed plug,
// a tray icon): it is named and filtered as a window of its own.
struct EmbeddedWindow {
  Window id = None;
  XID owner = 0;
  int x = 0, y = 0, width = 0, height = 0;  // outer box relative to the top-level's inside corner
  bool hasClass = false;
  ApplicationIdentity identity;
};

// A rectangle inside a top-level window, relative to its inside corner.
struct InnerBox {
  int x = 0, y = 0, width = 0, height = 0;
};

// One top-level window (a child of the root) as the capture knows it.
struct TrackedWindow {
  Window id = None;
  Window client = None;  // the application's own window: itself, or the one a frame holds
  XID owner = 0;         // the X client that made the window itself (a frame: the window manager)
  XID clientOwner = 0;   // the X client that made `client`
  // Where a frame the window manager made holds `client` (inside the client's border); unset
  // when the window is its own client.
  std::optional<InnerBox> clientArea;
  // The part of a frame that shows on screen: `clientArea` and the frame around it as the window
  // manager tells the client (_NET_FRAME_EXTENTS). Unset when that is the whole frame or unknown.
  // Window managers that draw their frames with GTK themes (muffin, marco) make the frame's window
  // larger, with invisible borders to resize it by that hold the window's background (opaque
  // black, whatever its depth); their compositors draw those borders as nothing, and so does the
  // capture: what lies beneath shows there.
  std::optional<InnerBox> shownArea;
  int x = 0, y = 0;  // outer corner, border included
  int width = 0, height = 0, borderWidth = 0;
  bool mapped = false;
  bool overrideRedirect = false;
  bool inputOnly = false;
  bool hasAlpha = false;
  Visual* visual = nullptr;
  Damage damage = None;
  // The backing pixmap the server had made for the window when it was last mapped or resized,
  // named so that it stays ours: drawing from it never reads through to the screen.
  Pixmap pixmap = None;
  Picture picture = None;
  // A non-rectangular window: only its bounding shape is drawn (outside it the backing pixmap
  // was never painted by the application). Relative to the window's inside corner.
  XserverRegion boundingShape = None;
  // Each new backing pixmap starts out holding what lay beneath the window: it is filled with
  // the neutral colour as soon as it is named, so it never holds a pixel the application did
  // not draw itself. Until the application's drawing is reported (at or after `repaintSerial`)
  // the window is still awaiting its repaint.
  bool repaintPending = false;
  unsigned long repaintSerial = 0;
  // What it drew since the changes were last taken (root pixels; None until it first draws).
  XserverRegion drawnSinceTaken = None;
  // What the damage taken by the request numbered `recentlyDrawnUpTo` (and maybe a few before
  // it) held, relative to its inside corner: drawing that may have come after a window of
  // another client left it, in an event still on its way.
  XserverRegion recentlyDrawn = None;
  unsigned long recentlyDrawnUpTo = 0;
  // The request that last filled places windows of other clients left in it: what it drew
  // before that request was carried out may have copied their last pixels about.
  unsigned long vacatedFillSerial = 0;
  // Known only from the event that made it or brought it to the root: read before the next
  // frame (a window gone by then was never there).
  bool unread = false;
  ApplicationIdentity identity;
  bool hasClass = false;  // the client window names its class
  Window transientFor = None;
  bool isDesktopWindow = false;
  // A panel, taskbar or dock (_NET_WM_WINDOW_TYPE_DOCK): it draws other windows' titles and icons.
  bool isDock = false;
  // A tooltip or a notification (_NET_WM_WINDOW_TYPE_TOOLTIP, _NOTIFICATION): it tells of whatever
  // it was shown for, which need not be the window it is transient for.
  bool isNotice = false;
  int desktop = -1;
  std::string title;
  // The windows inside it (all depths) that showed when its tree was read, and those inside it
  // made by other X clients.
  std::vector<Window> shownInside;
  std::vector<EmbeddedWindow> embedded;

  bool isVisible() const { return mapped && !inputOnly && width > 0 && height > 0; }
  bool awaitingRepaint() const { return repaintPending; }
  // What of it shows on screen, relative to its inside corner: `shownArea`, else all of it.
  InnerBox shownBox() const { return shownArea.value_or(InnerBox{0, 0, width, height}); }
};

// An event-driven model of the top-level windows in stacking order. It selects structure and
// property events on the root and on each window it tracks, redirects nothing itself and reads
// the tree only once, in load(); afterwards every change arrives as an event.
class WindowModel {
 public:
  // `shapeEventBase` is negative when the server has no SHAPE extension.
  WindowModel(Display* display, const Atoms& atoms, int damageEventBase, int shapeEventBase,
              std::shared_ptr<const ApplicationIdentityResolver> identities);
  ~WindowModel();
  WindowModel(const WindowModel&) = delete;
  WindowModel& operator=(const WindowModel&) = delete;

  // Reads the tree once; fails when the root's children cannot be listed.
  runtime::Status load();
  // Applies one event; true when what the screen shows may have changed.
  bool handle(const XEvent& event);
  // The type of the events that report a window's drawing.
  int damageEventType() const { return damageEventBase_ + XDamageNotify; }
  // Finishes what the events since the last call asked for: re-reads who changed windows are and
  // their trees (neutralising where windows of other clients left them), and names and
  // neutralises the backing pixmaps made since. Call before composing.
  void settle();
  // What the events received and not applied yet say of a frame composed meanwhile. Each window
  // is drawn from a pixmap of its own, named and filled before the frame, and a window not read
  // yet is not drawn, so top-level windows made, mapped, unmapped, moved, restacked or gone only
  // leave such a frame a moment behind. What may make it hold what it must not:
  struct QueuedChanges {
    // a change of the window manager, of who a window drawn (not in `excluded`) is, or of who
    // another window of its application's client is, a new shape of a visible window, or
    // drawing that may have spread the last pixels of a window that left its host before they
    // were filled (it is filled when the report is applied): no such frame may be shown;
    bool outdateEveryFrame = false;
    // the top-level windows into which a window of another client was made, mapped, moved or
    // brought: a frame that drew one of them may not be shown.
    std::set<Window> foreignArrivals;
  };
  QueuedChanges queuedChanges(const std::set<Window>& excluded) const;
  // The top-level windows into which a window of another client came or moved in the events
  // applied since the last call.
  std::set<Window> takeForeignArrivals() { return std::exchange(foreignArrivals_, {}); }

  // Where (root pixels) what the windows show may differ from when the changes were last taken:
  // what windows drew (their damage), both the old and the new box of every window that mapped,
  // unmapped, moved, resized, restacked, changed shape, tree, pixmap or identity. Copies that
  // region into `into` and starts afresh; false when the change is unbounded (the first time,
  // a new desktop background, newly named applications, markAllChanged()), `into` then unset.
  // What windows in `notDrawn` drew is left out: a window the frame leaves out changes nothing
  // in it by drawing (its own window, repainting the frames it shows, would otherwise mark them
  // changed again and again).
  bool takeChanges(XserverRegion into, const std::set<Window>& notDrawn);
  // The next takeChanges() reports an unbounded change.
  void markAllChanged() { changedEverywhere_ = true; }

  // Bottom to top.
  std::vector<const TrackedWindow*> stacking() const;
  const TrackedWindow* find(Window window) const;
  std::size_t size() const { return order_.size(); }

  // The windows (top-level and embedded, by id) the filter leaves out, as ExclusionPolicy decides
  // for the windows as they are now, `ownProcess` being this application's.
  std::set<Window> excludedWindows(const ContentFilter& filter, std::int32_t ownProcess) const;
  // Names every window again when the desktop entries changed since they were last named (an
  // application installed meanwhile); true when it did. Call before excludedWindows.
  bool refreshIdentities();

  // Forgets the server resources without asking the server (after the connection was lost).
  void abandon();

 private:
  TrackedWindow* lookup(Window window);
  // Adds what `event` says to `changes` (see queuedChanges()).
  void noteQueued(const XEvent& event, const std::set<Window>& excluded,
                  QueuedChanges& changes) const;
  // Whether a new name of `renamed` may change the judgement of a window drawn.
  bool mayRenameDrawn(Window renamed, const std::set<Window>& excluded) const;
  // Whether a property `atom` tells who a window is, as the exclusion policy judges it.
  bool isNamingProperty(Atom atom) const;
  // Whether `event` reports drawing done after a window of another client left the window and
  // before the place was filled.
  bool drewBeforeFill(const XEvent& event) const;
  void add(Window window, Window below, WindowFacts& facts);
  // Reads the facts of `window`, selecting its events first; false when it is gone.
  bool complete(TrackedWindow& window, WindowFacts& facts);
  // Tracks a window known from an event only, on top of the others; read in settle().
  void addUnread(Window window, int x, int y, int width, int height, int borderWidth,
                 bool overrideRedirect);
  void readUnread();
  // Reads `windows` and their trees ahead into `facts`, with the properties naming them.
  void readAhead(WindowTreeSnapshot& facts, const std::vector<Window>& windows);
  // Follows a structure event from inside a top-level: fills the places windows of other
  // clients left at once, and watches windows that came inside.
  void followInside(const XEvent& event);
  void fillVacated(TrackedWindow& window, const std::vector<InsideBox>& left,
                   unsigned long eventSerial);
  // Fills `inside` (relative to its inside corner) of its pixmap; returns the fill's request.
  unsigned long fillWithin(TrackedWindow& window, XserverRegion inside);
  void remove(Window window);
  void restack(Window window, Window above);
  void resolveIdentity(TrackedWindow& window, WindowFacts& facts);
  void readTree(TrackedWindow& window, WindowFacts& facts);
  std::optional<InnerBox> shownAreaOf(const TrackedWindow& window, WindowFacts& facts) const;
  void neutraliseWhereEmbeddedWere(TrackedWindow& window,
                                   const std::vector<EmbeddedWindow>& previous,
                                   const std::vector<InsideBox>& visited);
  void renamePixmap(TrackedWindow& window);
  // Names and neutralises the backing pixmaps made since they were last named.
  void namePendingPixmaps();
  void neutralise(TrackedWindow& window, const std::vector<XRectangle>& areas);
  void requestRepaint(TrackedWindow& window);
  Window findClient(Window top, WindowFacts& facts) const;
  Window topLevelOf(Window window) const;
  void release(TrackedWindow& window);
  void releasePixmap(TrackedWindow& window);
  void readShape(TrackedWindow& window);
  void readShape(TrackedWindow& window, WindowFacts& facts);
  // Which X client the window manager is: the maker of the window that _NET_SUPPORTING_WM_CHECK
  // names on the root (and on itself); 0 when none runs or the server cannot tell.
  void readWindowManagerClient();
  // Adds the window's outer box, border included, as it is now to the changes.
  void markChanged(const TrackedWindow& window);

  Display* display_;
  const Atoms& atoms_;
  int damageEventBase_;
  int shapeEventBase_;
  std::shared_ptr<const ApplicationIdentityResolver> identities_;
  // The desktop entries the windows were named with.
  std::shared_ptr<const DesktopEntryIndex> resolvedWith_;
  Window root_;
  std::vector<Window> order_;
  std::unordered_map<Window, std::unique_ptr<TrackedWindow>> windows_;
  // Windows inside the top-levels, where they are.
  InsideWindows inside_;
  std::set<Window> unread_;
  std::set<Window> treesToRead_;
  // Top-levels filled where windows of other clients left, to be asked to paint there again.
  std::set<Window> repaintsToRequest_;
  // Top-levels with a backing pixmap made since it was last named: named and neutralised in
  // settle().
  std::set<Window> pixmapsToName_;
  // The changes since they were last taken (root pixels), and a scratch region for damage.
  XserverRegion changed_ = None;
  XserverRegion damageParts_ = None;
  XserverRegion vacated_ = None;
  // The windows whose drawnSinceTaken holds something.
  std::set<Window> drewSinceTaken_;
  bool changedEverywhere_ = true;
  std::set<Window> foreignArrivals_;
  XID windowManagerClient_ = 0;
};

}  // namespace corvane::platform::x11
