#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop_entry_index.h"
#include "platform/proc_entries.h"
#include "platform/process_ancestry.h"
#include "platform/screen_capture.h"
#include "platform/x11/x_properties.h"

namespace corvane::platform::x11 {

// Who a window belongs to: the application id used everywhere as the bundle identifier, its
// display name and the process, with every other name it goes by, kept apart by what ties each
// name to the window. ExclusionPolicy decides which of them speak for the window.
struct ApplicationIdentity {
  std::string id;
  std::string name;
  std::int32_t processID = 0;

  // The window's own names, which always speak for it. Ids, compared exactly: every desktop entry
  // that claims the window's class (by its StartupWMClass, its id or the last dotted part of its
  // id, now or as it was earlier in this run) and the process's flatpak id. Where entries claim
  // the window's instance and its class is another, only they do (a web application's window
  // carries the browser's class).
  std::vector<std::string> ownIds;
  // Compared without regard to case: the WM_CLASS instance and class (not the class where entries
  // claim the instance), and the StartupWMClass of the entries that claim them.
  std::vector<std::string> windowClassNames;
  // The entries among `ownIds` that claim the window's class: a window some entry claims is an
  // application of its own, even in a process that draws another application's windows too.
  std::vector<std::string> claimingEntries;

  // The names of its process, which speak for every window of a process that draws one
  // application's windows: the entry a launcher recorded for the process itself and the entries
  // whose Exec= runs its command, unless one names another class in its StartupWMClass (both
  // ids) ...
  std::vector<std::string> processIds;
  // ... and the ids and classes the process's windows went by before (a program that renames its
  // class is still known by the names it had).
  std::vector<std::string> formerIds;
  std::vector<std::string> formerWindowClassNames;
  // The applications the process's windows were seen as so far, each the entries claiming a
  // window's class (joined): more than one when the process draws windows of several
  // applications (a browser and its web apps, an office suite's modules).
  std::vector<std::string> processApplications;

  // Where it comes from, which speaks for a process that is no installed application of its own
  // (a helper): the launch units it runs in (the scope or service a launcher or the bus started),
  // the entry a launcher recorded for a process it descends from (inherited) and the entries
  // whose Exec= runs the AppImage it came from; and the processes it descends from, its parent
  // first, each with the ids it was launched under and the entries whose Exec= it runs.
  std::vector<std::string> originIds;
  std::vector<ProcessAncestor> ancestors;

  // The entries among `ownIds` and `processIds` that are hidden from menus (NoDisplay) or start
  // only an interpreter, a shell or a launcher: they name the process (every Python program runs
  // the interpreter's entry) but do not make it an application of its own.
  std::vector<std::string> genericEntries;
  // The entries that start the program of an entry naming its process or where it comes from,
  // with other arguments (the other modules of an office suite): a window of the process that no
  // entry claims yet may turn out to be any of them.
  std::vector<std::string> suiteEntries;

  // The process's launch could not be read (it is not dumpable, or the process is unknown): every
  // name read, and `programNames` (what it runs), is also compared loosely (namesAreClose).
  bool namesIncomplete = false;
  std::vector<std::string> programNames;
  bool operator==(const ApplicationIdentity&) const = default;
};

// The key under which a window's application is counted among its process's applications
// (`processApplications`): the entries claiming its class, sorted and joined; empty when none
// does.
std::string claimingEntriesKey(const ApplicationIdentity& identity);

// Turns a process and a window class into an application id: the flatpak id, the desktop file
// the process was launched from, a desktop entry whose StartupWMClass matches, the launch unit's,
// the entry whose Exec= the process runs, the window class, and last the executable's name; and
// gathers every other name it goes by (ApplicationIdentity). A process keeps every name it went
// by while it runs, so a window that renames its class is still known by the names it had; and an
// entry removed, renamed or changed while the entries are followed goes on claiming what it
// claimed. Safe to call from any thread.
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
    std::vector<std::string> applications;
  };
  // The entries whose Exec= a process runs, as one index tells.
  struct StartingEntries {
    std::uint64_t startTime = 0;
    std::weak_ptr<const DesktopEntryIndex> index;
    std::vector<std::string> ids;
  };
  // The entries a look-up goes through: those there are, and those that left
  // (DesktopEntryIndex::former).
  struct Indexes {
    std::shared_ptr<const DesktopEntryIndex> current;
    std::shared_ptr<const DesktopEntryIndex> former;
    // Both, either null.
    std::array<const DesktopEntryIndex*, 2> all() const { return {current.get(), former.get()}; }
    // The entry with that id, from the entries there are before those that left; null when none.
    const IndexedDesktopEntry* indexed(const std::string& id) const {
      for (const auto* index : all()) {
        if (const auto* entry = index ? index->indexed(id) : nullptr) return entry;
      }
      return nullptr;
    }
  };
  // What a process runs, as entries' Exec= lines are matched against it (for the call only).
  struct ProcessCommand {
    const std::vector<std::string>& commandLine;
    const std::filesystem::path& executable;
    const std::optional<InterpretedScript>& script;
  };
  // Whether an entry claims the window's instance, which differs from its class.
  static bool instanceIsClaimed(const WindowClass& windowClass, const Indexes& indexes);
  // Fills `genericEntries` and `suiteEntries` from the names gathered.
  static void addEntryKinds(ApplicationIdentity& identity, const Indexes& indexes);
  // Adds what the process's windows went by before to `identity` and remembers its names now.
  void addNamesOfProcess(ApplicationIdentity& identity, std::uint64_t startTime) const;
  // The entries whose Exec= starts what a process runs (DesktopEntryIndex::idsStartingCommand),
  // the current index's answer kept for the process and the index (it reads every entry).
  std::vector<std::string> entriesStarting(std::int32_t processID, std::uint64_t startTime,
                                           const ProcessCommand& command,
                                           const Indexes& indexes) const;

  std::shared_ptr<DesktopEntrySource> entries_;
  std::filesystem::path procRoot_;
  mutable std::mutex mutex_;
  mutable std::map<std::int32_t, ProcessNames> processNames_;
  mutable std::map<std::int32_t, StartingEntries> startingEntries_;  // a cache, by process
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
