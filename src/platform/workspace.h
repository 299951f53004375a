#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "runtime/subscription.h"

namespace corvane::platform {

// A running application. Its bundleIdentifier is the application id used everywhere: the
// desktop-entry id where one is known, otherwise the window class.
struct RunningApplication {
  std::string bundleIdentifier;
  std::string localizedName;
  std::int32_t processIdentifier = 0;
  bool isHidden = false;
  bool isActive = false;
  // It has windows of its own a user works in. False for the desktop shell's own components
  // (the desktop-icon owner, panels, docks), which input is never handed back to.
  bool hasOrdinaryWindows = true;
  // The application has quit (set on the value an applicationTerminated event carries).
  bool isTerminated = false;

  bool operator==(const RunningApplication&) const = default;
};

// What changed in the workspace. Application events name the application; every event carries
// the desktop active once the change is made.
enum class WorkspaceEventKind {
  applicationLaunched,
  applicationTerminated,
  applicationActivated,
  applicationHidden,
  applicationUnhidden,
  activeDesktopChanged,
};

struct WorkspaceEvent {
  WorkspaceEventKind kind = WorkspaceEventKind::activeDesktopChanged;
  std::optional<RunningApplication> application;
  int desktop = 0;

  bool operator==(const WorkspaceEvent&) const = default;
};

using WorkspaceObserver = std::function<void(const WorkspaceEvent&)>;

// Running applications, the frontmost one, activation and the desktop.
class Workspace {
 public:
  virtual ~Workspace() = default;

  virtual std::vector<RunningApplication> runningApplications() const = 0;
  virtual std::optional<RunningApplication> frontmostApplication() const = 0;
  // The application that owns the desktop windows (the file manager drawing desktop icons).
  virtual std::optional<RunningApplication> desktopWindowOwner() const = 0;
  virtual int activeDesktop() const = 0;
  // The frames (desktop points) of the frontmost application's windows that are on screen now:
  // mapped, not iconified, on the active desktop. Empty when there is no frontmost application
  // or its windows cannot be read.
  virtual std::vector<Rect> frontmostApplicationWindowFrames() const = 0;

  virtual bool activate(std::int32_t processIdentifier) = 0;
  virtual bool hide(std::int32_t processIdentifier) = 0;
  virtual bool unhide(std::int32_t processIdentifier) = 0;
  // Asks the application to quit (window close requests, then SIGTERM); true when asked. Only an
  // application of this user is asked.
  virtual bool terminate(std::int32_t processIdentifier) = 0;
  // Opens a URL or file with the desktop's handler; false when nothing could open it.
  virtual bool openURL(const std::string& url) = 0;

  // Workspace events, delivered on the main actor after the change, in the order they happened.
  virtual runtime::Subscription observe(WorkspaceObserver observer) = 0;
};

}  // namespace corvane::platform
