#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <set>
#include <vector>

#include "platform/screen_capture.h"
#include "platform/x11/application_identity.h"

namespace corvane::platform::x11 {

// A window as the exclusion policy sees it: a top-level window, with the application's window it
// holds, or a window of another X client embedded in one (an XEmbed plug, a tray icon).
struct WindowToJudge {
  Window id = None;
  Window client = None;  // the application's own window: itself, or the one a frame holds
  XID owner = 0;         // the X client that made the window itself (a frame: the window manager)
  XID clientOwner = 0;   // the X client that made `client`
  const ApplicationIdentity* identity = nullptr;
  bool hasClass = false;  // `client` names its class
  bool embedded = false;  // inside a top-level of another X client
  bool isDesktopWindow = false;
  bool isDock = false;
  Window transientFor = None;  // the top-level window it is a transient dialog of
};

// Which windows a capture leaves out. Every rule that decides it is here:
// - the filter's excepting windows are kept, its excluded windows left out;
// - the desktop windows, when the filter asks;
// - the desktop's surfaces that draw other windows' titles and icons: every window of an X client
//   that made a dock (panels, taskbars, their window lists and tooltips) and the window manager's
//   own windows other than its frames (its window switcher, menus and on-screen displays);
// - the windows of the excluded applications and of this process, by the names their
//   applications go by (see leavesOut), with their popups and transient dialogs;
// - windows nobody can be named for, whenever the filter excludes an application.
class ExclusionPolicy {
 public:
  // `windowManagerClient`: the X client that is the window manager, 0 when none or unknown.
  ExclusionPolicy(const ContentFilter& filter, std::int32_t ownProcess,
                  XID windowManagerClient = 0);

  // The windows among `windows` (and their embedded windows) that the capture leaves out.
  std::set<Window> excludedWindows(const std::vector<WindowToJudge>& windows) const;

  // Whether what goes by `identity` belongs to an excluded application, judged alone: by its
  // process or by any of its names, by a name close to an excluded id when its names are
  // incomplete, or by a process it descends from (up to this process, whose children are not
  // its windows).
  bool leavesOut(const ApplicationIdentity& identity) const;

 private:
  bool isDesktopSurface(const WindowToJudge& window, const std::set<XID>& dockClients) const;

  const ContentFilter& filter_;  // outlives the policy
  std::int32_t ownProcess_;
  XID windowManagerClient_;
};

}  // namespace corvane::platform::x11
