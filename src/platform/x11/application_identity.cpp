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

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool containsIgnoringCase(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& known) {
    return strcasecmp(known.c_str(), name.c_str()) == 0;
  });
}

}  // namespace

std::string claimingEntriesKey(const ApplicationIdentity& identity) {
  auto entries = identity.claimingEntries;
  std::sort(entries.begin(), entries.end());
  std::string key;
  for (const auto& id : entries) key += (key.empty() ? "" : "\n") + id;
  return key;
}

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
  Indexes indexes{entries(), nullptr};
  if (indexes.current) indexes.former = indexes.current->former();
  auto entryById = [&](const std::string& id) -> const DesktopEntry* {
    const auto* indexed = indexes.indexed(id);
    return indexed ? &indexed->entry : nullptr;
  };
  ApplicationIdentity identity;
  identity.processID = processID;
  auto fromEntry = [&](const std::string& id) {
    identity.id = id;
    if (auto entry = entryById(id); entry && !entry->name.empty()) identity.name = entry->name;
  };
  // Every entry that claims the class is a name of the window, whatever names it first; but an
  // entry that claims its instance speaks for it before those that claim only its class (a web
  // application's window carries the browser's class and an instance of its own).
  std::vector<std::string> claimingEntries;
  const bool instanceClaimed = windowClass && instanceIsClaimed(*windowClass, indexes);
  if (windowClass) {
    for (const auto* name : {&windowClass->className, &windowClass->instance}) {
      if (instanceClaimed && name != &windowClass->instance) continue;
      for (const auto* index : indexes.all()) {
        if (index == nullptr) continue;
        for (auto& id : index->idsClaimingWindowClass(*name)) addOnce(claimingEntries, id);
      }
    }
  }
  // Read once: it tells this process from a later one given its id, and where it descends from.
  const auto parentage = readProcParentage(procRoot_, processID);
  const auto startTime = parentage ? parentage->startTime : 0;
  const auto launch = readProcLaunchRecord(procRoot_, processID);
  const auto unitIds = readProcLaunchUnitIds(procRoot_, processID);
  const auto flatpak = flatpakId(processID);
  identity.namesIncomplete = !launch.readable;
  // What a process runs names it: the entries whose Exec= starts its command.
  std::vector<std::string> startingEntries;
  if (processID > 0) {
    const auto commandLine = readProcCommandLine(procRoot_, processID);
    const auto executable = readProcExecutable(procRoot_, processID).value_or("");
    const auto script = interpretedScript(
        commandLine, executable, readProcWorkingDirectory(procRoot_, processID).value_or(""));
    startingEntries =
        entriesStarting(processID, startTime, {commandLine, executable, script}, indexes);
    // An entry that says which class its windows carry does not speak for a window of another
    // class (two applications may run one program), unless the process hides its other names, or
    // the window's class is one no entry claims and the arguments the entry gives single it out
    // (a suite's module loading under a generic class).
    if (windowClass && launch.readable) {
      std::erase_if(startingEntries, [&](const std::string& id) {
        const auto entry = entryById(id);
        return entry && !entry->startupWMClass.empty() &&
               strcasecmp(entry->startupWMClass.c_str(), windowClass->className.c_str()) != 0 &&
               strcasecmp(entry->startupWMClass.c_str(), windowClass->instance.c_str()) != 0 &&
               (!claimingEntries.empty() || !entry->fixesArguments());
      });
    }
    if (identity.namesIncomplete && !commandLine.empty()) {
      addOnce(identity.programNames,
              std::filesystem::path(commandLine.front()).filename().string());
    }
    if (identity.namesIncomplete) {
      addOnce(identity.programNames, executable.filename().string());
      addOnce(identity.programNames, readProcCommandName(procRoot_, processID).value_or(""));
    }
  }
  const auto indexedUnit = std::find_if(unitIds.begin(), unitIds.end(),
                                        [&](const auto& id) { return entryById(id) != nullptr; });
  if (flatpak) {
    fromEntry(*flatpak);
  } else if (launch.desktopFile) {
    fromEntry(desktopIdOfEntryFile(*launch.desktopFile));
  } else if (!claimingEntries.empty()) {
    // An entry whose StartupWMClass is the class, else the instance, exactly speaks for it.
    auto claimsExactly = [&](const std::string& name) {
      return std::find_if(claimingEntries.begin(), claimingEntries.end(), [&](const auto& id) {
        const auto entry = entryById(id);
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
    addOnce(identity.windowClassNames, windowClass->instance);
    if (!instanceClaimed) addOnce(identity.windowClassNames, windowClass->className);
  }
  if (flatpak) addOnce(identity.ownIds, *flatpak);
  for (const auto& id : claimingEntries) {
    addOnce(identity.ownIds, id);
    // The classes the entries say their windows carry are the window's too.
    if (auto entry = entryById(id))
      addOnceIgnoringCase(identity.windowClassNames, entry->startupWMClass);
  }
  identity.claimingEntries = std::move(claimingEntries);
  if (launch.desktopFile) addOnce(identity.processIds, desktopIdOfEntryFile(*launch.desktopFile));
  for (const auto& id : startingEntries) addOnce(identity.processIds, id);
  for (const auto& id : unitIds) addOnce(identity.originIds, id);
  if (launch.inheritedDesktopFile) {
    addOnce(identity.originIds, desktopIdOfEntryFile(*launch.inheritedDesktopFile));
  }
  if (launch.appImage) {
    // The AppImage as its entry's Exec= starts it (its runtime runs the application inside).
    for (const auto& id :
         entriesStarting(0, 0, {{launch.appImage->string()}, *launch.appImage, {}}, indexes)) {
      addOnce(identity.originIds, id);
    }
  }
  addEntryKinds(identity, indexes);
  if (identity.id.empty()) identity.id = executableName(processID).value_or("");
  if (identity.name.empty() && windowClass) identity.name = windowClass->className;
  if (identity.name.empty()) identity.name = identity.id;
  addNamesOfProcess(identity, startTime);
  if (parentage) {
    identity.ancestors = ancestry_.of(*parentage);
    for (auto& ancestor : identity.ancestors) {
      for (const auto& id :
           entriesStarting(ancestor.processID, ancestor.startTime,
                           {ancestor.commandLine, ancestor.executable, ancestor.script}, indexes)) {
        addOnce(ancestor.ids, id);
      }
    }
  }
  return identity;
}

void ApplicationIdentityResolver::addNamesOfProcess(ApplicationIdentity& identity,
                                                    std::uint64_t startTime) const {
  if (identity.processID <= 0) return;
  const std::string key = claimingEntriesKey(identity);
  auto isOwn = [&](const std::string& id) {
    return id == identity.id || contains(identity.ownIds, id) || contains(identity.processIds, id);
  };
  std::lock_guard lock(mutex_);
  auto& known = processNames_[identity.processID];
  // Another process was given the id since: what the earlier one was called is not its name.
  if (known.startTime != startTime) known = ProcessNames{startTime, {}, {}, {}};
  for (const auto& id : known.ids) {
    if (!isOwn(id)) addOnce(identity.formerIds, id);
  }
  for (const auto& name : known.windowClassNames) {
    if (!containsIgnoringCase(identity.windowClassNames, name)) {
      addOnceIgnoringCase(identity.formerWindowClassNames, name);
    }
  }
  addOnce(known.ids, identity.id);
  for (const auto* ids : {&identity.ownIds, &identity.processIds}) {
    for (const auto& id : *ids) addOnce(known.ids, id);
  }
  for (const auto& name : identity.windowClassNames)
    addOnceIgnoringCase(known.windowClassNames, name);
  addOnce(known.applications, key);
  identity.processApplications = known.applications;
}

bool ApplicationIdentityResolver::instanceIsClaimed(const WindowClass& windowClass,
                                                    const Indexes& indexes) {
  if (windowClass.instance.empty() ||
      strcasecmp(windowClass.instance.c_str(), windowClass.className.c_str()) == 0) {
    return false;
  }
  const auto all = indexes.all();
  return std::any_of(all.begin(), all.end(), [&](const DesktopEntryIndex* index) {
    return index != nullptr && !index->idsClaimingWindowClass(windowClass.instance).empty();
  });
}

void ApplicationIdentityResolver::addEntryKinds(ApplicationIdentity& identity,
                                                const Indexes& indexes) {
  for (const auto* ids : {&identity.ownIds, &identity.processIds}) {
    for (const auto& id : *ids) {
      const auto* indexed = indexes.indexed(id);
      if (indexed && (indexed->entry.noDisplay || indexed->entry.startsOnlyARunner())) {
        addOnce(identity.genericEntries, id);
      }
    }
  }
  for (const auto* ids : {&identity.processIds, &identity.originIds}) {
    for (const auto& id : *ids) {
      for (const auto* index : indexes.all()) {
        if (index == nullptr) continue;
        for (const auto& module : index->idsSharingProgramWith(id)) {
          addOnce(identity.suiteEntries, module);
        }
      }
    }
  }
}

std::vector<std::string> ApplicationIdentityResolver::entriesStarting(
    std::int32_t processID, std::uint64_t startTime, const ProcessCommand& command,
    const Indexes& indexes) const {
  const auto& [commandLine, executable, script] = command;
  std::vector<std::string> ids;
  bool cached = false;
  if (processID > 0) {
    std::lock_guard lock(mutex_);
    const auto found = startingEntries_.find(processID);
    if (found != startingEntries_.end() && found->second.startTime == startTime &&
        found->second.index.lock() == indexes.current) {
      ids = found->second.ids;
      cached = true;
    }
  }
  if (!cached && indexes.current) {
    ids = indexes.current->idsStartingCommand(commandLine, executable, script);
    if (processID > 0) {
      std::lock_guard lock(mutex_);
      if (startingEntries_.size() >= kMostCachedProcesses) startingEntries_.clear();
      startingEntries_.insert_or_assign(processID,
                                        StartingEntries{startTime, indexes.current, ids});
    }
  }
  if (indexes.former && indexes.former->size() > 0) {
    for (auto& id : indexes.former->idsStartingCommand(commandLine, executable, script)) {
      addOnce(ids, id);
    }
  }
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
