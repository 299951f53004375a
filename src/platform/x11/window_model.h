#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/screen_capture.h"
#include "platform/x11/application_identity.h"
#include "platform/x11/x_atoms.h"
#include "runtime/result.h"

namespace corvane::platform::x11 {

// One top-level window (a child of the root) as the capture knows it.
struct TrackedWindow {
  Window id = None;
  Window client = None;  // the application's own window: itself, or the one a frame holds
  int x = 0, y = 0;      // outer corner, border included
  int width = 0, height = 0, borderWidth = 0;
  bool mapped = false;
  bool overrideRedirect = false;
  bool inputOnly = false;
  bool hasAlpha = false;
  Visual* visual = nullptr;
  Damage damage = None;
  // Inside a window manager's frame, the application's own window has its own report: the
  // frame's decorations repainting says nothing about the application's pixels.
  Damage clientDamage = None;
  Window clientDamageTarget = None;
  Picture picture = None;
  // A non-rectangular window: only its bounding shape is drawn (outside it the backing pixmap
  // was never painted by the application). Relative to the window's inside corner.
  XserverRegion boundingShape = None;
  // Its backing pixmap may still hold what lay beneath it: shown as a neutral fill until the
  // first damage reported at or after `gateSerial`.
  bool awaitingRepaint = true;
  unsigned long gateSerial = 0;
  ApplicationIdentity identity;
  bool identityKnown = false;  // a process or a window class was found
  Window transientFor = None;
  bool isDesktopWindow = false;
  int desktop = -1;
  std::string title;

  bool isVisible() const { return mapped && !inputOnly && width > 0 && height > 0; }
};

// An event-driven model of the top-level windows in stacking order. It selects structure and
// property events on the root and on each top-level, redirects nothing itself and reads the
// tree only once, in load(); afterwards every change arrives as an event.
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

  // Bottom to top.
  std::vector<const TrackedWindow*> stacking() const;
  const TrackedWindow* find(Window window) const;
  // A Render picture of the window's contents (its children included), made on first use and
  // released with the window; None when it cannot be made.
  Picture picture(Window window);
  std::size_t size() const { return order_.size(); }

  // The windows the filter leaves out: excluded applications (by id or process, with their
  // popups and transient dialogs), excluded window ids, the desktop windows when asked, and
  // every window of `ownProcess`. Windows nobody can be named for are left out too whenever
  // the filter excludes an application.
  std::set<Window> excludedWindows(const ContentFilter& filter, std::int32_t ownProcess) const;

  // Forgets the server resources without asking the server (after the connection was lost).
  void abandon();

 private:
  TrackedWindow* lookup(Window window);
  void add(Window window, Window below);
  void remove(Window window);
  void restack(Window window, Window above);
  void resolveIdentity(TrackedWindow& window);
  void gate(TrackedWindow& window);
  void requestRepaint(TrackedWindow& window);
  Window findClient(Window top) const;
  Window topLevelOf(Window window) const;
  void release(TrackedWindow& window);
  void readShape(TrackedWindow& window);

  Display* display_;
  const Atoms& atoms_;
  int damageEventBase_;
  int shapeEventBase_;
  std::shared_ptr<const ApplicationIdentityResolver> identities_;
  Window root_;
  std::vector<Window> order_;
  std::unordered_map<Window, std::unique_ptr<TrackedWindow>> windows_;
};

}  // namespace corvane::platform::x11
