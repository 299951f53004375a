#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/workspace.h"
#include "platform/x11/application_identity.h"
#include "platform/x11/client_windows.h"
#include "platform/x11/x_event_pump.h"
#include "runtime/observers.h"

namespace corvane::platform::x11 {

// What the workspace knows at one moment, read from the window manager's lists.
struct WorkspaceSnapshot {
  std::vector<ClientWindow> clients;  // bottom to top
  std::vector<RunningApplication> applications;
  std::optional<RunningApplication> frontmost;
  std::optional<RunningApplication> desktopOwner;
  int activeDesktop = 0;
};

// The events that lead from one snapshot to the next, in the order they are announced:
// terminations, launches, hides and unhides, the activation, the desktop change.
std::vector<WorkspaceEvent> workspaceChanges(const WorkspaceSnapshot& before,
                                             const WorkspaceSnapshot& after);

// Running applications, activation and desktops of an X session (EWMH), kept up to date by a
// thread of its own that announces the workspace events on the main actor.
class X11Workspace final : public Workspace, public std::enable_shared_from_this<X11Workspace> {
 public:
  // Reads the workspace once before returning, then follows it.
  static runtime::Result<std::shared_ptr<X11Workspace>> open(
      const std::string& displayName = {},
      std::shared_ptr<const ApplicationIdentityResolver> identities = {});
  ~X11Workspace() override;

  std::vector<RunningApplication> runningApplications() const override;
  std::optional<RunningApplication> frontmostApplication() const override;
  std::optional<RunningApplication> desktopWindowOwner() const override;
  int activeDesktop() const override;
  std::vector<Rect> frontmostApplicationWindowFrames() const override;

  bool activate(std::int32_t processIdentifier) override;
  bool hide(std::int32_t processIdentifier) override;
  bool unhide(std::int32_t processIdentifier) override;
  bool terminate(std::int32_t processIdentifier) override;
  bool openURL(const std::string& url) override;

  runtime::Subscription observe(WorkspaceObserver observer) override {
    return observers_.add(std::move(observer));
  }

  // Seconds between the close requests and SIGTERM for an application that is still running.
  void setTerminateGrace(double seconds) { terminateGrace_ = seconds; }

 private:
  explicit X11Workspace(std::shared_ptr<const ApplicationIdentityResolver> identities);
  struct Watcher;
  void publish(WorkspaceSnapshot snapshot);
  std::vector<ClientWindow> clientsOf(std::int32_t processIdentifier) const;

  std::shared_ptr<const ApplicationIdentityResolver> identities_;
  mutable std::mutex mutex_;
  WorkspaceSnapshot snapshot_;
  runtime::Observers<const WorkspaceEvent&> observers_;
  double terminateGrace_ = 2.0;
  std::shared_ptr<Watcher> watcher_;
  XEventPump pump_;
};

// Reads the workspace of a display as it is now.
WorkspaceSnapshot readWorkspace(Display* display, const Atoms& atoms,
                                const ApplicationIdentityResolver& identities);

// Starts `url` with xdg-open in a session of its own; false when it cannot be started or the
// text could be taken for an option.
bool openWithDesktopHandler(const std::string& url);

}  // namespace corvane::platform::x11
