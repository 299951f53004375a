#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/notification_center.h"

namespace corvane::platform {

// A running application. Its bundleIdentifier is the application id used everywhere: the
// desktop-entry id where one is known, otherwise the window class.
struct RunningApplication {
  std::string bundleIdentifier;
  std::string localizedName;
  std::int32_t processIdentifier = 0;
  bool isHidden = false;
  bool isActive = false;

  bool operator==(const RunningApplication&) const = default;
};

// Workspace notifications, posted on the main actor with the application as the notification's
// object (std::any holding a RunningApplication) where one is concerned.
inline constexpr const char* kWorkspaceDidActivateApplication = "WorkspaceDidActivateApplication";
inline constexpr const char* kWorkspaceDidLaunchApplication = "WorkspaceDidLaunchApplication";
inline constexpr const char* kWorkspaceDidTerminateApplication = "WorkspaceDidTerminateApplication";
inline constexpr const char* kWorkspaceDidHideApplication = "WorkspaceDidHideApplication";
inline constexpr const char* kWorkspaceDidUnhideApplication = "WorkspaceDidUnhideApplication";
// The active desktop (Space) changed; userInfo "desktop" holds the new index.
inline constexpr const char* kWorkspaceActiveSpaceDidChange = "WorkspaceActiveSpaceDidChange";

// Running applications, the frontmost one, activation and the desktop.
class Workspace {
 public:
  virtual ~Workspace() = default;

  virtual std::vector<RunningApplication> runningApplications() const = 0;
  virtual std::optional<RunningApplication> frontmostApplication() const = 0;
  // The application that owns the desktop windows (the file manager drawing desktop icons).
  virtual std::optional<RunningApplication> desktopWindowOwner() const = 0;
  virtual int activeDesktop() const = 0;

  virtual bool activate(std::int32_t processIdentifier) = 0;
  virtual bool hide(std::int32_t processIdentifier) = 0;
  virtual bool unhide(std::int32_t processIdentifier) = 0;
  // Asks the application to quit (window close requests, then SIGTERM); true when asked.
  virtual bool terminate(std::int32_t processIdentifier) = 0;
  // Opens a URL or file with the desktop's handler; false when nothing could open it.
  virtual bool openURL(const std::string& url) = 0;

  virtual runtime::NotificationCenter& notifications() = 0;
};

}  // namespace corvane::platform
