#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_entry_index.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {

// Who a window belongs to: the application id used everywhere as the bundle identifier, its
// display name and the process. When the id was taken from the window's WM_CLASS (no flatpak,
// launch file or desktop entry named it), the instance and class names come with it.
struct ApplicationIdentity {
  std::string id;
  std::string name;
  std::int32_t processID = 0;
  std::vector<std::string> windowClassNames;
  bool operator==(const ApplicationIdentity&) const = default;
};

// Turns a process and a window class into an application id: the flatpak id, the desktop file
// the process was launched from, a desktop entry whose StartupWMClass matches, the window class,
// and last the executable's name.
class ApplicationIdentityResolver {
 public:
  explicit ApplicationIdentityResolver(std::shared_ptr<const DesktopEntryIndex> entries,
                                       std::filesystem::path procRoot = "/proc");

  ApplicationIdentity resolve(std::int32_t processID,
                              const std::optional<WindowClass>& windowClass) const;

  // Pieces of the above, for a process id; empty when unknown or unreadable.
  std::optional<std::string> flatpakId(std::int32_t processID) const;
  std::optional<std::string> launchedDesktopId(std::int32_t processID) const;
  std::optional<std::string> executableName(std::int32_t processID) const;

 private:
  std::shared_ptr<const DesktopEntryIndex> entries_;
  std::filesystem::path procRoot_;
};

// The process that owns a window: the X-Resource client id when the server knows it (always a
// local process), else _NET_WM_PID when WM_CLIENT_MACHINE names this host.
std::optional<std::int32_t> windowProcessId(Display* display, Window window);

// The X client that made a window, as the base of its resource ids (X-Resource); 0 when the
// server cannot tell.
XID windowOwner(Display* display, Window window);

}  // namespace corvane::platform::x11
