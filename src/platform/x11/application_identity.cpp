#include "platform/x11/application_identity.h"

#include <unistd.h>
#include "platform/x11/xlib.h"

#include <algorithm>
#include <climits>

#include "platform/proc_entries.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {
namespace {

std::string stripDesktopSuffix(std::string name) {
  if (name.size() > 8 && name.ends_with(".desktop")) name.resize(name.size() - 8);
  return name;
}

void addOnce(std::vector<std::string>& names, const std::string& name) {
  if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
    names.push_back(name);
  }
}

}  // namespace

bool filterExcludes(const ContentFilter& filter, const ApplicationIdentity& identity) {
  if (filter.excludesApplication(identity.id, identity.processID, identity.windowClassNames)) {
    return true;
  }
  return std::any_of(identity.otherIds.begin(), identity.otherIds.end(),
                     [&](const std::string& id) { return filter.excludesApplication(id, 0); });
}

ApplicationIdentityResolver::ApplicationIdentityResolver(
    std::shared_ptr<const DesktopEntryIndex> entries, std::filesystem::path procRoot)
    : ApplicationIdentityResolver(std::make_shared<FixedDesktopEntries>(std::move(entries)),
                                  std::move(procRoot)) {}

ApplicationIdentityResolver::ApplicationIdentityResolver(
    std::shared_ptr<DesktopEntrySource> entries, std::filesystem::path procRoot)
    : entries_(std::move(entries)), procRoot_(std::move(procRoot)) {}

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
  // The id is relative to the applications directory it lives in.
  const std::string generic = file->generic_string();
  const auto applications = generic.rfind("/applications/");
  if (applications != std::string::npos) {
    return desktopIdForRelativePath(generic.substr(applications + 14));
  }
  return stripDesktopSuffix(file->filename().string());
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
  if (auto id = flatpakId(processID)) {
    fromEntry(*id);
  } else if (auto launched = launchedDesktopId(processID)) {
    fromEntry(*launched);
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
  for (const auto& id : claimingEntries) {
    if (id != identity.id) addOnce(identity.otherIds, id);
  }
  if (identity.id.empty()) identity.id = executableName(processID).value_or("");
  if (identity.name.empty() && windowClass) identity.name = windowClass->className;
  if (identity.name.empty()) identity.name = identity.id;
  addNamesOfProcess(identity);
  return identity;
}

void ApplicationIdentityResolver::addNamesOfProcess(ApplicationIdentity& identity) const {
  if (identity.processID <= 0) return;
  const auto startTime = readProcStartTime(procRoot_, identity.processID).value_or(0);
  std::lock_guard lock(mutex_);
  auto& known = processNames_[identity.processID];
  // Another process was given the id since: what the earlier one was called is not its name.
  if (known.startTime != startTime) known = ProcessNames{startTime, {}, {}};
  addOnce(known.ids, identity.id);
  for (const auto& id : identity.otherIds) addOnce(known.ids, id);
  for (const auto& name : identity.windowClassNames) addOnce(known.windowClassNames, name);
  for (const auto& id : known.ids) {
    if (id != identity.id) addOnce(identity.otherIds, id);
  }
  for (const auto& name : known.windowClassNames) addOnce(identity.windowClassNames, name);
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
