#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_entry_index.h"
#include "platform/screen_capture.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {

// Who a window belongs to: the application id used everywhere as the bundle identifier, its
// display name and the process, with every other name it goes by. Names disagree (two desktop
// entries claim one window class, a program renames its class): the window is left out when any
// of them is excluded.
struct ApplicationIdentity {
  std::string id;
  std::string name;
  std::int32_t processID = 0;
  // Compared exactly: the flatpak id, the trusted launch entry, every desktop entry that claims
  // the window's class, and the ids the process's windows went by before.
  std::vector<std::string> otherIds;
  // Compared without regard to case: the WM_CLASS instance and class, and the classes the
  // process's windows had before.
  std::vector<std::string> windowClassNames;
  bool operator==(const ApplicationIdentity&) const = default;
};

// Whether `filter` leaves out what goes by `identity`: by its process or by any of its names.
bool filterExcludes(const ContentFilter& filter, const ApplicationIdentity& identity);

// Turns a process and a window class into an application id: the flatpak id, the desktop file
// the process was launched from, a desktop entry whose StartupWMClass matches, the window class,
// and last the executable's name. A process keeps every name it went by while it runs, so a
// window that renames its class is still known by the names it had. Safe to call from any thread.
class ApplicationIdentityResolver {
 public:
  explicit ApplicationIdentityResolver(std::shared_ptr<const DesktopEntryIndex> entries,
                                       std::filesystem::path procRoot = "/proc");
  explicit ApplicationIdentityResolver(std::shared_ptr<DesktopEntrySource> entries,
                                       std::filesystem::path procRoot = "/proc");

  ApplicationIdentity resolve(std::int32_t processID,
                              const std::optional<WindowClass>& windowClass) const;
  // The desktop entries resolution uses now: another pointer once they changed.
  std::shared_ptr<const DesktopEntryIndex> entries() const;
  // Why the entries are polled rather than followed as they change (see DesktopEntrySource).
  std::optional<std::string> entriesPollingReason() const {
    return entries_ ? entries_->pollingReason() : std::nullopt;
  }

  // Pieces of the above, for a process id; empty when unknown or unreadable.
  std::optional<std::string> flatpakId(std::int32_t processID) const;
  std::optional<std::string> launchedDesktopId(std::int32_t processID) const;
  std::optional<std::string> executableName(std::int32_t processID) const;

 private:
  struct ProcessNames {
    std::uint64_t startTime = 0;
    std::vector<std::string> ids;
    std::vector<std::string> windowClassNames;
  };
  // Adds what the process was known by before to `identity` and remembers its names now.
  void addNamesOfProcess(ApplicationIdentity& identity) const;

  std::shared_ptr<DesktopEntrySource> entries_;
  std::filesystem::path procRoot_;
  mutable std::mutex mutex_;
  mutable std::map<std::int32_t, ProcessNames> processNames_;
};

// The process that owns a window: the X-Resource client id when the server knows it (always a
// local process), else _NET_WM_PID when WM_CLIENT_MACHINE names this host.
std::optional<std::int32_t> windowProcessId(Display* display, Window window);
// The second half of the above, from the window's _NET_WM_PID and WM_CLIENT_MACHINE as read.
std::optional<std::int32_t> processIdClaimedOnThisHost(const std::optional<PropertyValue>& netWmPid,
                                                       const std::optional<PropertyValue>& machine);

// The X client that made a window, as the base of its resource ids (X-Resource); 0 when the
// server cannot tell.
XID windowOwner(Display* display, Window window);

}  // namespace corvane::platform::x11
