#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/application_name_groups.h"
#include "platform/desktop_entry_index.h"
#include "platform/proc_entries.h"
#include "platform/process_ancestry.h"
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
  // Compared exactly: the flatpak id, the trusted launch entry, the launch units' ids, every
  // desktop entry that claims the window's class, and the ids the process's windows, and the
  // application's windows in other processes, went by before.
  std::vector<std::string> otherIds;
  // Compared without regard to case: the WM_CLASS instance and class, the StartupWMClass of its
  // entries, and the classes the process (and the application elsewhere) had before.
  std::vector<std::string> windowClassNames;
  // The process's launch could not be read (it is not dumpable, or the process is unknown): every
  // name read, and `programNames` (what it runs), is also compared loosely (namesAreClose).
  bool namesIncomplete = false;
  std::vector<std::string> programNames;
  // The processes it descends from, its parent first.
  std::vector<ProcessAncestor> ancestors;
  bool operator==(const ApplicationIdentity&) const = default;
};

// Turns a process and a window class into an application id: the flatpak id, the desktop file
// the process was launched from, a desktop entry whose StartupWMClass matches, the launch unit's
// or (when the launch cannot be read) the entry whose Exec= the process runs, the window class,
// and last the executable's name. A process keeps every name it went by while it runs, so a
// window that renames its class is still known by the names it had; and names seen together
// stay together for the resolver's life, so a later copy of an application that shows one of them
// is known by all (its entry removed or renamed meanwhile). Safe to call from any thread.
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
    std::vector<std::string> programIds;  // the ids among `ids` that name only its executable
  };
  // The entries whose Exec= a process runs, as one index tells.
  struct StartingEntries {
    std::uint64_t startTime = 0;
    std::weak_ptr<const DesktopEntryIndex> index;
    std::vector<std::string> ids;
  };
  // Adds what the process was known by before to `identity` and remembers its names now (`id`
  // naming only its executable when `namedByProgram`). Returns the ids that name only its
  // executable.
  std::vector<std::string> addNamesOfProcess(ApplicationIdentity& identity, std::uint64_t startTime,
                                             bool namedByProgram) const;
  // The same for the application, across its processes: `identity`'s names join every earlier
  // group that shares one of them, and it goes by all of the group's names. `unsharedIds` join no
  // group: an executable's name (every Python program has one) and the launch units (which every
  // process started inside one shares) are no application's own.
  void addNamesOfApplication(ApplicationIdentity& identity,
                             const std::vector<std::string>& unsharedIds) const;
  // DesktopEntryIndex::idsStartingCommand, kept for the process and the index (it reads every
  // entry).
  std::vector<std::string> entriesStarting(
      std::int32_t processID, std::uint64_t startTime, const std::vector<std::string>& commandLine,
      const std::filesystem::path& executable,
      const std::shared_ptr<const DesktopEntryIndex>& entries) const;

  std::shared_ptr<DesktopEntrySource> entries_;
  std::filesystem::path procRoot_;
  mutable std::mutex mutex_;
  mutable std::map<std::int32_t, ProcessNames> processNames_;
  mutable std::map<std::int32_t, StartingEntries> startingEntries_;  // a cache, by process
  mutable ApplicationNameGroups applications_;
  ProcessAncestry ancestry_;
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
