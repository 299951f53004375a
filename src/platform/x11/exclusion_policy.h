#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <map>
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
  bool isNotice = false;       // a tooltip or a notification
  Window transientFor = None;  // the top-level window it is a transient dialog of
};

// Which windows a capture leaves out. Every rule that decides it is here:
// - the filter's excepting windows are kept, its excluded windows left out;
// - the desktop windows, when the filter asks, with the windows transient for them;
// - the desktop's surfaces that draw other windows' titles and icons: the docks; every other
//   window of an X client that made a dock or a launcher that lists the running windows (panels,
//   taskbars, their window lists, tooltips and notifications; Plasma's KRunner) but for the
//   desktop windows it made and the windows it opens from them (see isDesktopSurface); and the
//   window manager's own windows other than its frames (its window switcher, menus and on-screen
//   displays);
// - every window of this process;
// - the windows of the excluded applications, by the names that speak for them (see
//   namesExcluded), with their popups and transient dialogs; a window without a class of its
//   own goes with every application the other windows of its X client name;
// - windows nobody can be named for, whenever the filter excludes an application;
// - a window no entry claims yet of a process that may draw an excluded application under a
//   later name (see awaitsItsName).
class ExclusionPolicy {
 public:
  // `windowManagerClient`: the X client that is the window manager, 0 when none or unknown.
  // `filter` outlives the policy.
  ExclusionPolicy(const ContentFilter& filter, std::int32_t ownProcess,
                  XID windowManagerClient = 0);

  // The windows among `windows` (and their embedded windows) that the capture leaves out.
  std::set<Window> excludedWindows(const std::vector<WindowToJudge>& windows) const;

  // Whether a window of `identity`, judged alone (no other window of its process in view),
  // belongs to an excluded application.
  bool leavesOut(const ApplicationIdentity& identity) const;

 private:
  struct Context {
    // The processes that draw windows of several applications (a browser and its web apps).
    std::set<std::int32_t> severalApplications;
    // The processes whose windows, and helpers, are left out.
    std::set<std::int32_t> excludedProcesses;
  };
  // Whether an excluded application goes by a name that speaks for `identity`:
  // - its own names always: the entries that claim its class, its flatpak id, its class;
  // - its process's names (the entry it was launched from, the entries whose Exec= runs its
  //   command, the names its windows went by before, its process being left out) unless its
  //   process draws windows of several applications and an entry claims its class;
  // - where it comes from (its launch unit, an inherited launch record, its AppImage, the
  //   processes it descends from up to this one) unless it is an installed application of its
  //   own, another than the one it comes from;
  // - when its names are incomplete, any of those written like an excluded id (namesAreClose).
  bool namesExcluded(const ApplicationIdentity& identity, const Context& context) const;
  // Whether a window no entry claims yet belongs to a process that may draw an excluded
  // application under another name (an office suite opening a private module's window under a
  // generic class, which it renames once the module has loaded): it is left out until it has a
  // name, without its process being left out.
  bool awaitsItsName(const ApplicationIdentity& identity) const;
  // Whether entries of its own name it (claiming its class, launching its process or starting
  // its command), other than hidden ones and those that only start a runner, and none of them is
  // the application it comes from, or a helper of it.
  static bool isApplicationOfItsOwn(const ApplicationIdentity& identity);
  // `shellClients`: the X clients that made a dock or a launcher that lists the windows;
  // `windows`: every top-level window, by id.
  bool isDesktopSurface(const WindowToJudge& window, const std::set<XID>& shellClients,
                        const std::map<Window, const WindowToJudge*>& windows) const;

  const ContentFilter& filter_;
  std::int32_t ownProcess_;
  XID windowManagerClient_;
};

}  // namespace corvane::platform::x11
