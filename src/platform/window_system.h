#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/screens.h"
#include "runtime/subscription.h"

namespace corvane::platform {

// Window levels, lowest first. On X11 they become window-manager hints: belowDesktop and the
// levels above normal ask for _NET_WM_STATE_BELOW / _NET_WM_STATE_ABOVE; status and screenSaver
// also keep the window above full-screen windows (a bypass-compositor dock-like stacking).
enum class WindowLevel { belowDesktop, normal, floating, status, screenSaver };

// How a window behaves across desktops and window cycling; a set of flags.
enum class CollectionBehavior : std::uint32_t {
  none = 0,
  managed = 1u << 0,              // an ordinary window the window manager places and cycles
  canJoinAllSpaces = 1u << 1,     // sticky: shown on every virtual desktop
  stationary = 1u << 2,           // does not move with desktop switches (sticky on X11 too)
  ignoresCycle = 1u << 3,         // left out of Alt-Tab, taskbar and pager
  participatesInCycle = 1u << 4,  // listed in Alt-Tab, taskbar and pager
  fullScreenPrimary = 1u << 5,    // may be made full-screen
  fullScreenAuxiliary = 1u << 6,  // may float over another window's full-screen state
  moveToActiveSpace = 1u << 7,    // comes to the current virtual desktop whenever it is shown
};

constexpr CollectionBehavior operator|(CollectionBehavior a, CollectionBehavior b) {
  return static_cast<CollectionBehavior>(static_cast<std::uint32_t>(a) |
                                         static_cast<std::uint32_t>(b));
}
constexpr bool hasFlag(CollectionBehavior set, CollectionBehavior flag) {
  return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(flag)) != 0;
}

// A floating panel of this application (the presenter controls, the source guard): on every
// desktop, over full-screen windows, and out of the taskbar, pager and window cycling.
inline constexpr CollectionBehavior kFloatingPanelBehavior =
    CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary |
    CollectionBehavior::fullScreenAuxiliary | CollectionBehavior::ignoresCycle;

// Whether other programs may capture the window. X11 cannot hide a mapped window from another
// program's capture, so a window with sharing `none` whose content must never be captured is
// kept unmapped while it is ordered in (see TopLevelWindow::setMapsOnlyWhenShared).
enum class SharingType { none, readOnly };

enum class WindowStyle { titled, borderless };

// The frame assumed around a titled window until a window manager says what it is: a title bar
// and borders a little larger than the common desktops' own, so the window fits either way.
inline constexpr FrameExtents kAssumedTitledFrame{6, 6, 42, 6};

// What a window hosts. The platform layer supplies it (a Qt widget in the app, a record in the
// simulated twin); core code only attaches and detaches it.
class ContentView {
 public:
  virtual ~ContentView() = default;
  // Asks the view to draw again at the next opportunity.
  virtual void setNeedsDisplay() = 0;
};

// One top-level window. Frames are in desktop points with the origin at the top left of the
// whole desktop (the X11 root). Every call is made on the main actor.
class TopLevelWindow {
 public:
  virtual ~TopLevelWindow() = default;

  // The native window's number (the X11 window id); 0 before the window first goes on screen and
  // after it has been closed.
  virtual std::uint32_t windowNumber() const = 0;

  virtual void setTitle(const std::string& title) = 0;
  virtual std::string title() const = 0;
  virtual void setStyle(WindowStyle style) = 0;
  virtual WindowStyle style() const = 0;
  virtual void setLevel(WindowLevel level) = 0;
  virtual WindowLevel level() const = 0;
  virtual void setCollectionBehavior(CollectionBehavior behavior) = 0;
  virtual CollectionBehavior collectionBehavior() const = 0;
  virtual void setSharingType(SharingType sharing) = 0;
  virtual SharingType sharingType() const = 0;
  // When set, the window is mapped only while its sharing type is readOnly: ordered in with
  // sharing none it counts as visible (it has its frame, number and place in the order) but
  // nothing of it reaches the screen, so nothing of it can be captured. A window taken off the
  // screen this way may get a new number (no map asked for earlier can then bring it back).
  virtual void setMapsOnlyWhenShared(bool value) = 0;
  virtual bool mapsOnlyWhenShared() const = 0;
  virtual void setIgnoresMouseEvents(bool ignores) = 0;
  virtual bool ignoresMouseEvents() const = 0;
  // Shown on the local screen (the default), or kept out of sight while it stays mapped, whole on
  // the screen, so another program's capture of the window still receives its frames. Setting
  // it back to shown lets the mouse reach it again; its frame is then set again by the caller.
  virtual void setShownLocally(bool shown) = 0;
  virtual bool isShownLocally() const = 0;
  // Whether ordering requests may bring the window forward, and whether it is listed among the
  // application's windows (taskbar / window list).
  virtual void setCanBeOrderedFront(bool value) = 0;
  virtual bool canBeOrderedFront() const = 0;
  virtual void setListedInWindowsMenu(bool value) = 0;
  virtual bool isListedInWindowsMenu() const = 0;
  // When set, ordering the window in never takes the keyboard from the active application; a
  // click on the window still gives it the keyboard, and that first click also reaches the
  // control under the pointer.
  virtual void setTakesFocusOnlyOnClick(bool value) = 0;
  virtual bool takesFocusOnlyOnClick() const = 0;
  // When set, pressing on the window's background (not on a control) and dragging moves the
  // window, through the window manager.
  virtual void setMovableByWindowBackground(bool value) = 0;
  virtual bool isMovableByWindowBackground() const = 0;

  // The content area; the window manager's frame, when it puts one around the window, lies
  // outside it (frameExtents()).
  virtual void setFrame(const Rect& frame) = 0;
  virtual Rect frame() const = 0;
  // How far the window manager's frame reaches beyond the content in the window's current style:
  // what the manager said for this window, else what it said last for another window of this
  // window system in that style, else an assumption (kAssumedTitledFrame; nothing when
  // borderless). Never waits for the window manager.
  virtual FrameExtents frameExtents() const = 0;
  // Runs `handler` on the main actor after the window manager said anew what its frame around the
  // window is (the first time after the window was asked to go on screen, or after it changed).
  virtual runtime::Subscription observeFrameExtents(std::function<void()> handler) = 0;
  virtual void setMinSize(const Size& size) = 0;
  virtual Size minSize() const = 0;
  // Runs `handler` on the main actor after the window's origin changed, whoever moved it (this
  // code, the user or the window manager), until the subscription ends.
  virtual runtime::Subscription observeMove(std::function<void()> handler) = 0;

  // Limits what of the window reaches the screen (and a capture) to these rectangles, in points
  // from the window's top left; none shows the whole window again. On X11 this is the window's
  // bounding shape, so nothing of it outside them covers what lies beneath.
  virtual void setShape(std::optional<std::vector<Rect>> rects) = 0;
  virtual std::optional<std::vector<Rect>> shape() const = 0;

  virtual void setContentView(std::shared_ptr<ContentView> view) = 0;
  virtual std::shared_ptr<ContentView> contentView() const = 0;

  // Brings the window to the front of its level; the Regardless form does so even when the
  // application is not active. makeKeyAndOrderFront also gives it the keyboard.
  virtual void orderFront() = 0;
  virtual void orderFrontRegardless() = 0;
  virtual void makeKeyAndOrderFront() = 0;
  virtual void orderOut() = 0;
  // Ordered out for good: the native window is destroyed and the number becomes 0.
  virtual void close() = 0;

  // Ordered in (part of the window order), whether or not it is mapped.
  virtual bool isVisible() const = 0;
  // Actually on screen: ordered in and, for a window that maps only when shared, shared.
  virtual bool isMapped() const = 0;
  virtual bool isKey() const = 0;
};

// Makes windows and answers where they are. Main actor only.
//
// The levels above normal keep their order among this window system's own windows: ordering a
// window in never puts it above a visible window of a higher level (on X11 those levels share one
// window-manager layer, so the window system raises the higher windows again).
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  virtual std::shared_ptr<TopLevelWindow> makeWindow(const Rect& frame, WindowStyle style) = 0;
  virtual std::vector<Screen> screens() const = 0;
  // Brings this application forward; with ignoringOtherApps even when another one is active.
  virtual void activateApplication(bool ignoringOtherApps) = 0;

  std::optional<Screen> mainScreen() const;
  std::optional<Screen> screen(std::uint32_t displayID) const;
  // The screen that holds the largest part of `frame`; none when it touches no screen.
  std::optional<Screen> screenOverlappingMost(const Rect& frame) const;
};

inline std::optional<Screen> WindowSystem::mainScreen() const {
  auto all = screens();
  for (const auto& s : all) {
    if (s.isMain) return s;
  }
  if (!all.empty()) return all.front();
  return std::nullopt;
}

inline std::optional<Screen> WindowSystem::screen(std::uint32_t displayID) const {
  for (const auto& s : screens()) {
    if (s.displayID == displayID) return s;
  }
  return std::nullopt;
}

inline std::optional<Screen> WindowSystem::screenOverlappingMost(const Rect& frame) const {
  std::optional<Screen> best;
  double bestArea = 0;
  for (const auto& s : screens()) {
    const double area = s.frame.intersection(frame).area();
    if (area > bestArea) {
      bestArea = area;
      best = s;
    }
  }
  return best;
}

}  // namespace corvane::platform
