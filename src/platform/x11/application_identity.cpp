#include "platform/x11/application_identity.h"

#include <strings.h>
#include <unistd.h>
#include "platform/x11/xlib.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "platform/proc_entries.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

// So many processes' entries are kept; past that the cache starts afresh.
constexpr std::size_t kMostCachedProcesses = 4096;

void addOnce(std::vector<std::string>& names, const std::string& name) {
  if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
    names.push_back(name);
  }
}

void addOnceIgnoringCase(std::vector<std::string>& names, const std::string& name) {
  if (!name.empty() && std::none_of(names.begin(), names.end(), [&](const std::string& known) {
        return strcasecmp(known.c_str(), name.c_str()) == 0;
      })) {
    names.push_back(name);
  }
}

}  // namespace

ApplicationIdentityResolver::ApplicationIdentityResolver(
    std::shared_ptr<const DesktopEntryIndex> entries, std::filesystem::path procRoot)
    : ApplicationIdentityResolver(std::make_shared<FixedDesktopEntries>(std::move(entries)),
                                  std::move(procRoot)) {}

ApplicationIdentityResolver::ApplicationIdentityResolver(
    std::shared_ptr<DesktopEntrySource> entries, std::filesystem::path procRoot)
    : entries_(std::move(entries)), procRoot_(std::move(procRoot)), ancestry_(procRoot_) {}

std::shared_ptr<const DesktopEntryIndex> ApplicationIdentityResolver::entries() const {
  return entries_ ? entries_->current() : nullptr;
}

std::optional<std::string> ApplicationIdentityResolver::flatpakId(std::int32_t processID) const {
  return readProcFlatpakId(procRoot_, processID);
}

std::optional<std::string> ApplicationIdentityResolver::launchedDesktopId(
    std::int32_t processID) const {
  const auto file = readProcLaunchedDesktopFile(procRoot_, processID);
  if (!file) return std::nullopt;
  return desktopIdOfEntryFile(*file);
}

std::optional<std::string> ApplicationIdentityResolver::executableName(
    std::int32_t processID) const {
  if (auto executable = readProcExecutable(procRoot_, processID)) {
    return executable->filename().string();
  }
  return readProcCommandName(procRoot_, processID);
}

ApplicationIdentity ApplicationIdentityResolver::resolve(
    std::int32_t processID, const std::optional<WindowClass>& windowClass) const {
  const auto entries = this->entries();
  ApplicationIdentity identity;
  identity.processID = processID;
  auto fromEntry = [&](const std::string& id) {
    identity.id = id;
    if (auto entry = entries ? entries->byId(id) : std::nullopt; entry && !entry->name.empty()) {
      identity.name = entry->name;
    }
  };
  // Every entry that claims the class is a name of the window, whatever names it first.
  std::vector<std::string> claimingEntries;
  if (windowClass && entries) {
    for (const auto& name : {windowClass->className, windowClass->instance}) {
      for (auto& id : entries->idsClaimingWindowClass(name)) addOnce(claimingEntries, id);
    }
  }
  // Read once: it tells this process from a later one given its id, and where it descends from.
  const auto parentage = readProcParentage(procRoot_, processID);
  const auto startTime = parentage ? parentage->startTime : 0;
  const auto launch = readProcLaunchRecord(procRoot_, processID);
  auto unitIds = readProcLaunchUnitIds(procRoot_, processID);
  // Without its environment, a process is named by what it runs: the entries that start it.
  identity.namesIncomplete = !launch.readable;
  std::vector<std::string> startingEntries;
  if (identity.namesIncomplete && processID > 0) {
    const auto commandLine = readProcCommandLine(procRoot_, processID);
    const auto executable = readProcExecutable(procRoot_, processID).value_or("");
    if (entries) {
      startingEntries = entriesStarting(processID, startTime, commandLine, executable, entries);
    }
    if (!commandLine.empty()) {
      addOnce(identity.programNames,
              std::filesystem::path(commandLine.front()).filename().string());
    }
    addOnce(identity.programNames, executable.filename().string());
    addOnce(identity.programNames, readProcCommandName(procRoot_, processID).value_or(""));
  }
  const auto indexedUnit = std::find_if(unitIds.begin(), unitIds.end(), [&](const auto& id) {
    return entries && entries->byId(id).has_value();
  });
  if (auto id = flatpakId(processID)) {
    fromEntry(*id);
  } else if (launch.desktopFile) {
    fromEntry(desktopIdOfEntryFile(*launch.desktopFile));
  } else if (!claimingEntries.empty()) {
    // An entry whose StartupWMClass is the class, else the instance, exactly speaks for it.
    auto claimsExactly = [&](const std::string& name) {
      return std::find_if(claimingEntries.begin(), claimingEntries.end(), [&](const auto& id) {
        const auto entry = entries->byId(id);
        return entry && !name.empty() && entry->startupWMClass == name;
      });
    };
    auto speaker = claimsExactly(windowClass->className);
    if (speaker == claimingEntries.end()) speaker = claimsExactly(windowClass->instance);
    fromEntry(speaker != claimingEntries.end() ? *speaker : claimingEntries.front());
  } else if (indexedUnit != unitIds.end()) {
    fromEntry(*indexedUnit);
  } else if (!startingEntries.empty()) {
    fromEntry(startingEntries.front());
  }
  if (windowClass) {
    if (identity.id.empty()) {
      identity.id =
          !windowClass->className.empty() ? windowClass->className : windowClass->instance;
    }
    for (const auto& name : {windowClass->instance, windowClass->className}) {
      addOnce(identity.windowClassNames, name);
    }
  }
  for (const auto* ids : {&claimingEntries, &unitIds, &startingEntries}) {
    for (const auto& id : *ids) {
      if (id != identity.id) addOnce(identity.otherIds, id);
    }
  }
  // The classes the entries say their windows carry are the application's too.
  for (const auto& id : identity.otherIds) {
    if (auto entry = entries ? entries->byId(id) : std::nullopt) {
      addOnceIgnoringCase(identity.windowClassNames, entry->startupWMClass);
    }
  }
  if (auto entry = entries ? entries->byId(identity.id) : std::nullopt) {
    addOnceIgnoringCase(identity.windowClassNames, entry->startupWMClass);
  }
  const bool namedByProgram = identity.id.empty();
  if (namedByProgram) identity.id = executableName(processID).value_or("");
  if (identity.name.empty() && windowClass) identity.name = windowClass->className;
  if (identity.name.empty()) identity.name = identity.id;
  auto unshared = addNamesOfProcess(identity, startTime, namedByProgram);
  unshared.insert(unshared.end(), unitIds.begin(), unitIds.end());
  if (!namedByProgram) addNamesOfApplication(identity, unshared);
  if (parentage) identity.ancestors = ancestry_.of(*parentage);
  return identity;
}

std::vector<std::string> ApplicationIdentityResolver::addNamesOfProcess(
    ApplicationIdentity& identity, std::uint64_t startTime, bool namedByProgram) const {
  if (identity.processID <= 0) return {};
  std::lock_guard lock(mutex_);
  auto& known = processNames_[identity.processID];
  // Another process was given the id since: what the earlier one was called is not its name.
  if (known.startTime != startTime) known = ProcessNames{startTime, {}, {}, {}};
  addOnce(known.ids, identity.id);
  if (namedByProgram) addOnce(known.programIds, identity.id);
  for (const auto& id : identity.otherIds) addOnce(known.ids, id);
  for (const auto& name : identity.windowClassNames) addOnce(known.windowClassNames, name);
  for (const auto& id : known.ids) {
    if (id != identity.id) addOnce(identity.otherIds, id);
  }
  for (const auto& name : known.windowClassNames) addOnce(identity.windowClassNames, name);
  return known.programIds;
}

void ApplicationIdentityResolver::addNamesOfApplication(
    ApplicationIdentity& identity, const std::vector<std::string>& unsharedIds) const {
  std::vector<std::string> ids{identity.id};
  for (const auto& id : identity.otherIds) {
    if (std::find(unsharedIds.begin(), unsharedIds.end(), id) == unsharedIds.end()) {
      ids.push_back(id);
    }
  }
  const auto group = applications_.join(ids, identity.windowClassNames);
  for (const auto& id : group.ids) {
    if (id != identity.id) addOnce(identity.otherIds, id);
  }
  for (const auto& name : group.windowClassNames) {
    addOnceIgnoringCase(identity.windowClassNames, name);
  }
}

std::vector<std::string> ApplicationIdentityResolver::entriesStarting(
    std::int32_t processID, std::uint64_t startTime, const std::vector<std::string>& commandLine,
    const std::filesystem::path& executable,
    const std::shared_ptr<const DesktopEntryIndex>& entries) const {
  {
    std::lock_guard lock(mutex_);
    const auto cached = startingEntries_.find(processID);
    if (cached != startingEntries_.end() && cached->second.startTime == startTime &&
        cached->second.index.lock() == entries) {
      return cached->second.ids;
    }
  }
  auto ids = entries->idsStartingCommand(commandLine, executable);
  std::lock_guard lock(mutex_);
  if (startingEntries_.size() >= kMostCachedProcesses) startingEntries_.clear();
  startingEntries_.insert_or_assign(processID, StartingEntries{startTime, entries, ids});
  return ids;
}

std::optional<std::int32_t> windowProcessId(Display* display, Window window) {
  {
    ErrorTrap trap(display);
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    const bool answered = XResQueryClientIds(display, 1, &spec, &count, &values) == Success;
    std::optional<std::int32_t> pid;
    for (long i = 0; answered && !trap.failed() && i < count; ++i) {
      const pid_t value = XResGetClientPid(&values[i]);
      if (value > 0) pid = value;
    }
    if (values != nullptr) XResClientIdsDestroy(count, values);
    if (pid) return pid;
  }
  const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);
  const auto pid = propertyValue(display, window, netWmPid, XA_CARDINAL);
  const auto claimed = cardinalsOf(pid, XA_CARDINAL);
  if (claimed.empty() || claimed.front() <= 0) return std::nullopt;
  return processIdClaimedOnThisHost(pid, propertyValue(display, window, XA_WM_CLIENT_MACHINE));
}

std::optional<std::int32_t> processIdClaimedOnThisHost(
    const std::optional<PropertyValue>& netWmPid, const std::optional<PropertyValue>& machine) {
  const auto pid = cardinalsOf(netWmPid, XA_CARDINAL);
  if (pid.empty() || pid.front() <= 0) return std::nullopt;
  char host[HOST_NAME_MAX + 1] = {};
  gethostname(host, sizeof host - 1);
  const auto name = textOf(machine);
  if (!name || *name != host) return std::nullopt;
  return static_cast<std::int32_t>(pid.front());
}

XID windowOwner(Display* display, Window window) {
  ErrorTrap trap(display);
  XResClientIdSpec spec{window, XRES_CLIENT_ID_XID_MASK};
  long count = 0;
  XResClientIdValue* values = nullptr;
  const bool answered = XResQueryClientIds(display, 1, &spec, &count, &values) == Success;
  XID owner = 0;
  // An error of an earlier request may arrive with the reply: the reply is still freed.
  for (long i = 0; answered && !trap.failed() && i < count; ++i) {
    if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_XID) owner = values[i].spec.client;
  }
  if (values != nullptr) XResClientIdsDestroy(count, values);
  return owner;
}

}  // namespace corvane::platform::x11
